// The menu bar of the windowed host, drawn with Dear ImGui in the strip
// above the picture, and the modal loop the menus and every dialog run in.
//
// While the ST runs, the bar is only drawn (again when an item changed): a
// click on it opens the menus' own modal loop (the original platform's
// menu tracking), which ends with the choice, and the choice goes to
// MENU_Command. A key with the Command key (Right Alt or the system key)
// chooses by the shortcut table (through the host's key events,
// EVENTS_MenuKeyHook).
#include <imgui.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "host/events.h"
#include "host/shared/dialogs.h"
#include "host/shared/input.h"
#include "host/shared/menus.h"
#include "host/sdl/keys.h"
#include "host/sdl/sdl_host.h"
#include "host/sound.h"
#include "machine/diskimg.h"
#include "platform/gui.h"
#include "platform/window.h"

void (*SDL_ModalTurnHook)(u32 turn);

namespace {

u32 modal_depth;
bool selecting;  // the menus' own loop runs: the bar is what it draws
// What the bar was last drawn for while no modal loop ran.
u32 drawn_generation = ~0u;
int drawn_width = -1, drawn_height = -1;
// Where each title and item was last drawn closed, for the window tests.
std::map<std::pair<u32, u32>, SDL_Rect> item_rects;

void note_rect(u32 menu, u32 item) {
  const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
  item_rects[{menu, item}] = {int(a.x), int(a.y), int(b.x - a.x), int(b.y - a.y)};
}

// The items of a menu; returns the choice made in it or its submenus.
i32 draw_items(const MENU_Menu& m) {
  i32 choice = 0;
  for (size_t i = 0; i < m.items.size(); ++i) {
    const MENU_Item& it = m.items[i];
    const u32 n = u32(i + 1);
    if (it.text.empty()) continue;
    if (it.text == "-") {
      ImGui::Separator();
      continue;
    }
    ImGui::PushID(int(n));
    if (const MENU_Menu* sub = it.submenu ? MENU_Find(it.submenu) : nullptr) {
      const bool open = ImGui::BeginMenu(it.text.c_str(), it.enabled);
      if (!open) note_rect(m.id, n);  // an open one's last item is its popup
      if (open) {
        if (const i32 c = draw_items(*sub)) choice = c;
        ImGui::EndMenu();
      }
    } else {
      char shortcut[16] = "";
      if (it.key) SDL_snprintf(shortcut, sizeof shortcut, "RAlt+%c", it.key);
      if (ImGui::MenuItem(it.text.c_str(), it.key ? shortcut : nullptr, it.checked, it.enabled))
        choice = MENU_Choice(m.id, n);
      note_rect(m.id, n);
    }
    ImGui::PopID();
  }
  return choice;
}

// The bar; `open` tells whether a menu was open in this frame. `close`
// closes whatever is open.
i32 draw_bar(bool& open, bool close = false) {
  open = false;
  if (MENU_BarHidden || MENU_Menus.size() < MENU_BarCount) return 0;
  i32 choice = 0;
  if (ImGui::BeginMainMenuBar()) {
    for (u32 b = 0; b < MENU_BarCount; ++b) {
      const MENU_Menu& m = MENU_Menus[b];
      ImGui::PushID(int(m.id));
      const bool shown = ImGui::BeginMenu(m.title.c_str());
      if (!shown) note_rect(m.id, 0);
      if (shown) {
        open = true;
        if (const i32 c = draw_items(m)) choice = c;
        if (close) ImGui::CloseCurrentPopup();
        ImGui::EndMenu();
      }
      ImGui::PopID();
    }
    ImGui::EndMainMenuBar();
  }
  return choice;
}

// Draws what the window shows over the picture: while no modal loop runs,
// the bar alone, made anew only when it changed.
void overlay(SDL_Renderer* renderer) {
  if (modal_depth == 0) {
    int w = 0, h = 0;
    SDL_GetWindowSize(PLATFORM_Window(), &w, &h);
    if (MENU_Generation != drawn_generation || w != drawn_width || h != drawn_height) {
      PLATFORM_GuiBeginFrame(false);
      bool open;
      draw_bar(open);
      PLATFORM_GuiEndFrame();
      drawn_generation = MENU_Generation;
      drawn_width = w;
      drawn_height = h;
    }
  }
  PLATFORM_GuiDraw(renderer);
}

// Every event reaches Dear ImGui first; a left click on the bar opens the
// menus, whatever is held and whether or not the pointer is captured (not
// without a display to show them on). Everything else, releases too, goes
// on to the host.
bool filter(const SDL_Event& e) {
  if (e.type != SDL_MOUSEBUTTONDOWN || e.button.button != SDL_BUTTON_LEFT) {
    PLATFORM_GuiEvent(e);
    return false;
  }
  int x, y;
  SDL_HostPointerAt(e.button, x, y);
  // Dear ImGui takes the click where the pointer is.
  SDL_Event at = e;
  at.button.x = x;
  at.button.y = y;
  PLATFORM_GuiEvent(at);
  if (!PLATFORM_InMenuStrip(x, y) || !PLATFORM_DisplayAvailable()) return false;
  // While a disk image expands the menus stay shut: a command now would
  // change the drives or the machine under it, and a quit would save a
  // machine a restore has only half put back.
  if (DISKIMG_Expanding) return true;
  if (SOUND_Active) SOUND_Pause(1);
  APP_ShowCursor();
  MENU_UpdateDiskItems();
  MENU_Command(SDL_MenuSelect());
  return true;
}

// Kept for the host while a modal loop runs. Key presses are not: the ST
// never gets a key pressed for the loop. The Command key's are, in their
// place among the drops: the ST never gets that key, and a drop served after
// the loop goes to the drive the keys held at the drop chose.
bool kept_for_host(const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN: return !e.key.repeat && EVENTS_KeyOf(e.key.keysym.scancode).code == INPUT_KeyCommand;
    case SDL_QUIT:
    case SDL_KEYUP:
    case SDL_MOUSEBUTTONUP:
    case SDL_DROPFILE:
    case SDL_DROPBEGIN:
    case SDL_DROPCOMPLETE: return true;
    case SDL_WINDOWEVENT:
      return e.window.event == SDL_WINDOWEVENT_CLOSE || e.window.event == SDL_WINDOWEVENT_FOCUS_LOST ||
             e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
    default: return false;
  }
}

}  // namespace

void SDL_MenusStart() {
  if (PLATFORM_GuiStarted() || !PLATFORM_GuiStart()) return;
  drawn_generation = ~0u;
  PLATFORM_SetOverlay(overlay);
  SDL_HostEventFilter = filter;
  EVENTS_MenuKeyHook = MENU_HandleShortcut;
}

void SDL_MenusStop() {
  PLATFORM_SetOverlay(nullptr);
  SDL_HostEventFilter = nullptr;
  EVENTS_MenuKeyHook = nullptr;
  PLATFORM_GuiStop();
}

bool SDL_InModal() { return modal_depth != 0; }

void SDL_RunModal(SDL_ModalFrame frame, void* context) {
  if (!PLATFORM_GuiStarted()) return;
  const bool bar_below = !selecting;
  ++modal_depth;
  SDL_HostReleasePointer();
  if (SOUND_Active) SOUND_Pause(1);
  std::vector<SDL_Event> kept, carried;
  for (u32 turn = 0;; ++turn) {
    if (SDL_ModalTurnHook) SDL_ModalTurnHook(turn);
    // Dear ImGui sees the keys and buttons as they are at each frame: a
    // release that follows its press within one turn waits for the next.
    std::vector<SDL_Event> batch;
    batch.swap(carried);
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, batch.empty() ? 15 : 0)) {
      do batch.push_back(e);
      while (SDL_PollEvent(&e));
    }
    std::vector<u32> pressed;
    for (size_t i = 0; i < batch.size(); ++i) {
      const SDL_Event& b = batch[i];
      const bool down = b.type == SDL_KEYDOWN || b.type == SDL_MOUSEBUTTONDOWN;
      const bool up = b.type == SDL_KEYUP || b.type == SDL_MOUSEBUTTONUP;
      const u32 what = b.type == SDL_KEYDOWN || b.type == SDL_KEYUP ? u32(b.key.keysym.scancode)
                                                                     : 0x10000u + b.button.button;
      if (up && std::find(pressed.begin(), pressed.end(), what) != pressed.end()) {
        carried.assign(batch.begin() + i, batch.end());
        break;
      }
      if (down) pressed.push_back(what);
      if (kept_for_host(b)) kept.push_back(b);
      if (b.type != SDL_QUIT) PLATFORM_GuiEvent(b);
      if (b.type == SDL_WINDOWEVENT) SDL_ScreenWindowEvent(b.window);
    }
    PLATFORM_GuiBeginFrame(true);
    if (bar_below) {
      bool open;
      draw_bar(open);
    }
    const bool more = frame(context);
    PLATFORM_GuiEndFrame();
    PLATFORM_RenderFrame();
    PLATFORM_PresentFrame();
    // Nobody answers once the program is asked to end: the conversation is
    // cancelled, and the host's next poll quits.
    if (!more || SDL_HostQuitRequested()) break;
  }
  for (SDL_Event& c : carried)
    if (kept_for_host(c)) kept.push_back(c);
  if (SOUND_Active && !EVENTS_Paused) SOUND_Pause(0);
  --modal_depth;
  drawn_generation = ~0u;
  // The window is shown again with nothing of the loop over it: a paused
  // emulation presents no frame of its own that would.
  if (modal_depth == 0) {
    PLATFORM_RenderFrame();
    PLATFORM_PresentFrame();
  }
  for (SDL_Event& k : kept) SDL_PushEvent(&k);
}

i32 SDL_MenuSelect() {
  i32 choice = 0;
  u32 closed_turns = 0;
  selecting = true;
  SDL_Modal([&] {
    // Escape closes every menu (Dear ImGui leaves it to us without keyboard
    // navigation).
    const bool escape = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false);
    bool open;
    choice = draw_bar(open, escape);
    // Over when an item was chosen, at Escape, or once no menu is open (a
    // click elsewhere, or a click on the bar that opened nothing).
    closed_turns = open ? 0 : closed_turns + 1;
    return choice == 0 && !escape && closed_turns < 2;
  });
  selecting = false;
  return choice;
}

bool SDL_MenuItemRect(u32 menu, u32 item, SDL_Rect& rect) {
  const auto it = item_rects.find({menu, item});
  if (it == item_rects.end()) return false;
  rect = it->second;
  return true;
}

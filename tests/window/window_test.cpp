// The windowed host under a real X server: the pattern test ROMs booted in
// each resolution show, in the window's own pixels as the renderer reads
// them back, exactly the converted frame; a resolution change resizes the
// window and keeps it, as full screen does; a 16-bit display gets a 16-bit picture; closing the
// window stops the emulation; a click on the menu bar opens a menu, in
// which a click chooses an item; with the pointer held over EmuTOS, its own
// menus are reached before the bar; a held pointer's motion from before the
// debugger's restore stays out of the restored ST; a moved window is redrawn, or paused put
// on a multiple of 8 pixels; a start-up without a display ends with the
// message on standard error; every alert fits the window; a file dropped
// during an alert goes to the drive the keys held at the drop choose; an
// address that cannot be opened beeps and says so. Run under xvfb-run (see tests/CMakeLists.txt).
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "cpu/bus.h"
#include "host/app.h"
#include "host/debugger/debugger.h"
#include "host/events.h"
#include "host/options.h"
#include "host/sdl/sdl_host.h"
#include "host/shared/dialogs.h"
#include "host/shared/input.h"
#include "host/shared/menus.h"
#include "host/shared/prefs_file.h"
#include "host/shared/screen_window.h"
#include "host/shared/sound_output.h"
#include "machine/diskimg.h"
#include "machine/ikbd.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "machine/state.h"
#include "platform/window.h"
#include "support/disk_audio.h"
#include "support/machine_fixture.h"
#include "support/testdata.h"

namespace {

// A window event handed to the host, as a window manager sends it.
void window_event(u8 event) {
  SDL_Event e{};
  e.window = {SDL_WINDOWEVENT, 0, SDL_GetWindowID(PLATFORM_Window()), event, 0, 0, 0, 0, 0};
  SDL_PushEvent(&e);
  SDL_HostPumpEvents();
}

class Window : public ::testing::Test {
 protected:
  // The preferences live in the test's own folder; the monitor the test
  // wants is in them.
  void SetUp() override {
    machine_reset_globals();
    setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  }
  void TearDown() override {
    PLATFORM_ForcedDepth = 0;
    SCREEN_UpdateGeometry();
  }

  void boot(const char* rom, bool monochrome = false) {
    folder.write("tos.img", load_test_rom(rom));
    SHIFTER_Mode = monochrome ? 2 : 0;
    PREFS_SaveTo(PREFS_FolderPath());
    machine_start(folder.path());
    machine_run_frames(25);
  }

  // The window's content read back, against the window picture.
  static void expect_window_shows_the_picture() {
    const SCREEN_Surface& pic = SCREEN_WindowPicture;
    std::vector<u32> shown(size_t(pic.width) * pic.height);
    ASSERT_TRUE(PLATFORM_ReadContent(shown.data(), int(pic.width), int(pic.height))) << SDL_GetError();
    size_t wrong = 0;
    std::set<u32> colours;
    for (u32 y = 0; y < pic.height; ++y) {
      for (u32 x = 0; x < pic.width; ++x) {
        const u32 got = shown[size_t(y) * pic.width + x] & 0xffffff;
        u32 want;
        if (pic.depth == 16) {
          const u32 p = pic.row<u16>(y)[x];
          want = ((p >> 10) & 31) << 16 | ((p >> 5) & 31) << 8 | (p & 31);
          const u32 top5 = (got >> 19) << 16 | ((got >> 11) & 31) << 8 | ((got >> 3) & 31);
          if (top5 != want) ++wrong;
        } else {
          want = pic.row<u32>(y)[x] & 0xffffff;
          if (got != want) ++wrong;
        }
        colours.insert(want);
      }
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_GE(colours.size(), 2u + 2);  // the picture, not a blank window
  }

  static void expect_window_size(int w, int h) {
    int ww = 0, wh = 0;
    SDL_GetWindowSize(PLATFORM_Window(), &ww, &wh);
    EXPECT_EQ(ww, w);
    EXPECT_EQ(wh, h + PLATFORM_MenuStripHeight);
  }

  TempFolder folder;
};

TEST_F(Window, EachResolutionShowsTheConvertedFrame) {
  struct Case {
    const char* rom;
    bool mono;
    int width, height;
  };
  for (const Case& c : {Case{"screen_low", false, 384, 279}, Case{"screen_medium", false, 768, 546},
                        Case{"screen_high", true, 640, 412}}) {
    SCOPED_TRACE(c.rom);
    machine_reset_globals();
    boot(c.rom, c.mono);
    ASSERT_EQ(MMU_ReadL(0x818), 0x600du);  // the ROM has drawn its picture
    expect_window_size(c.width, c.height);
    expect_window_shows_the_picture();
  }
}

TEST_F(Window, AResolutionChangeResizesTheSameWindow) {
  boot("screen_low");
  const u32 id = SDL_GetWindowID(PLATFORM_Window());
  MMU_IOPut(0xff8260, 2, 1);  // medium resolution
  expect_window_size(768, 546);
  EXPECT_EQ(SDL_GetWindowID(PLATFORM_Window()), id);
  machine_run_frames(2);  // both resolutions in one frame would be the doubled low one
  MMU_IOPut(0xff8260, 2, 0);
  expect_window_size(384, 279);
  EXPECT_EQ(SDL_GetWindowID(PLATFORM_Window()), id);
  machine_run_frames(3);
  expect_window_shows_the_picture();
  // Full screen covers the display with the same window.
  SCREEN_FullScreen = 1;
  SCREEN_OpenWindow();
  EXPECT_TRUE(SDL_GetWindowFlags(PLATFORM_Window()) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  EXPECT_EQ(SDL_GetWindowID(PLATFORM_Window()), id);
  SCREEN_FullScreen = 0;
  SCREEN_OpenWindow();
  expect_window_size(384, 279);
}

TEST_F(Window, ASixteenBitDisplayGetsASixteenBitPicture) {
  boot("screen_low");
  PLATFORM_ForcedDepth = 16;
  SCREEN_UpdateGeometry();
  ASSERT_EQ(SCREEN_WindowPicture.depth, 16u);
  machine_run_frames(3);
  expect_window_shows_the_picture();
  // An uncovered window reads the display's depth again.
  PLATFORM_ForcedDepth = 0;
  window_event(SDL_WINDOWEVENT_EXPOSED);
  EXPECT_EQ(SCREEN_WindowPicture.depth, 32u);
}

TEST_F(Window, ClosingTheWindowStopsTheEmulation) {
  boot("screen_low");
  HOST_UseSystemClock();  // the host poll serves events once ticks pass
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  DLG_ScriptButton(true);  // the user confirms
  SCHED_StopAfterFrames = 100000;
  APP_Run();
  SCHED_StopAfterFrames = 0;
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_LT(SCHED_FrameCount, 100000u);
}

// SDL's events at the centre of a menu title or item, as a user's hand
// would give them.
void put_mouse(u32 type, u32 menu, u32 item) {
  SDL_Rect r;
  ASSERT_TRUE(SDL_MenuItemRect(menu, item, r)) << menu << "/" << item;
  SDL_Event e{};
  e.type = type;
  const int x = r.x + r.w / 2, y = r.y + r.h / 2;
  if (type == SDL_MOUSEMOTION) {
    e.motion = {SDL_MOUSEMOTION, 0, SDL_GetWindowID(PLATFORM_Window()), 0, 0, x, y, 0, 0};
  } else {
    e.button = {type, 0, SDL_GetWindowID(PLATFORM_Window()), 0, SDL_BUTTON_LEFT,
                u8(type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED), 1, 0, x, y};
  }
  SDL_PushEvent(&e);
}

void choose_pause(u32 turn) {
  switch (turn) {
    case 1: put_mouse(SDL_MOUSEMOTION, MENU_FileId, 7); break;
    case 2: put_mouse(SDL_MOUSEBUTTONDOWN, MENU_FileId, 7); break;
    case 3: put_mouse(SDL_MOUSEBUTTONUP, MENU_FileId, 7); break;
    default: break;
  }
}

TEST_F(Window, AClickOnTheBarOpensAMenuAndAClickOnAnItemChoosesIt) {
  boot("screen_low");
  PLATFORM_RenderFrame();  // the bar is drawn
  put_mouse(SDL_MOUSEBUTTONDOWN, MENU_FileId, 0);
  SDL_ModalTurnHook = choose_pause;
  SDL_HostPumpEvents();
  SDL_ModalTurnHook = nullptr;
  EXPECT_EQ(EVENTS_Paused, 1u);
  EXPECT_TRUE(MENU_ItemAt(MENU_FileId, 7)->checked);
  EVENTS_Paused = 0;
  // While a disk image expands (a restore may be putting the machine back)
  // the menus stay shut.
  DISKIMG_Expanding = 1;
  put_mouse(SDL_MOUSEBUTTONDOWN, MENU_FileId, 0);
  SDL_ModalTurnHook = choose_pause;
  SDL_HostPumpEvents();
  SDL_ModalTurnHook = nullptr;
  DISKIMG_Expanding = 0;
  EXPECT_EQ(EVENTS_Paused, 0u);
}

void click_at(int x, int y) {
  SDL_Event e{};
  e.button = {SDL_MOUSEBUTTONDOWN, 0, SDL_GetWindowID(PLATFORM_Window()), 0, SDL_BUTTON_LEFT, SDL_PRESSED, 1, 0, x, y};
  SDL_PushEvent(&e);
  e.button.type = SDL_MOUSEBUTTONUP;
  e.button.state = SDL_RELEASED;
  SDL_PushEvent(&e);
}

void key_event(SDL_Scancode key, bool down) {
  SDL_Event e{};
  e.key = {u32(down ? SDL_KEYDOWN : SDL_KEYUP), 0, SDL_GetWindowID(PLATFORM_Window()),
           u8(down ? SDL_PRESSED : SDL_RELEASED), 0, 0, 0, {key, 0, 0, 0}};
  SDL_PushEvent(&e);
}

void press(SDL_Scancode key) {
  key_event(key, true);
  key_event(key, false);
}

// Saving over a file asks first: the Return that chose it does not also
// answer the question, and Escape there keeps the file and the dialog.
u32 last_turn;
void save_over(u32 turn) {
  last_turn = turn;
  if (turn == 1 || turn == 20) press(SDL_SCANCODE_RETURN);  // save: the file exists
  if (turn == 10) press(SDL_SCANCODE_ESCAPE);                // keep it
  if (turn == 30) press(SDL_SCANCODE_RETURN);                // replace it
  if (turn > 40) press(SDL_SCANCODE_ESCAPE);                 // whatever is still open
}

TEST_F(Window, ReturnInTheSaveDialogAsksBeforeReplacingAFile) {
  boot("screen_low");
  const std::string path = folder.file("Frozen State");
  folder.write("Frozen State", std::vector<u8>(4, 1));
  NAV_Request save = NAV_RequestFor(NAV_PromptSaveState, true);
  save.suggestedName = path.c_str();
  SDL_ModalTurnHook = save_over;
  std::string chosen;
  EXPECT_EQ(DLG_HostChooseFile(save, chosen), 1);
  SDL_ModalTurnHook = nullptr;
  EXPECT_EQ(chosen, path);
  EXPECT_GE(last_turn, 30u);
  EXPECT_LE(last_turn, 40u);
}

// The chooser opens on every file of the folder, whatever its name ends
// with; the disk images' filter is one of its choices.
TEST_F(Window, TheFileChooserListsEveryFileAtFirst) {
  boot("screen_low");
  folder.write("game.dim", std::vector<u8>(16, 0));
  SDL_ModalTurnHook = [](u32 turn) { if (turn >= 3) press(SDL_SCANCODE_ESCAPE); };
  std::string chosen;
  EXPECT_EQ(DLG_HostChooseFile(NAV_RequestFor(NAV_PromptDisk, false), chosen), 0);
  SDL_ModalTurnHook = nullptr;
  for (const char* name : {"game.dim", "tos.img"})
    EXPECT_NE(std::ranges::find(SDL_ChooserListing, name), SDL_ChooserListing.end()) << name;
}

// The chooser on a folder whose path is 150 characters long, at every size: typed with its path and
// Return, its path line and Up lie within the dialog. The Name field has the keyboard from the chooser's
// opening, so the path goes in without a click or Tab, and keeps it, so ".." and Return go back up.
std::string typed_folder;
void type_text(const std::string& text) {  // as SDL sends it, at most 31 bytes an event
  for (size_t at = 0; at < text.size(); at += 31) {
    SDL_Event e{.type = SDL_TEXTINPUT};
    e.text.windowID = SDL_GetWindowID(PLATFORM_Window());
    SDL_strlcpy(e.text.text, text.substr(at, 31).c_str(), sizeof e.text.text);
    SDL_PushEvent(&e);
  }
}
void go_in_and_up(u32 turn) {
  last_turn = turn;
  if (turn == 2) type_text(typed_folder);
  if (turn == 5) press(SDL_SCANCODE_RETURN);
  if (turn == 9) {  // in the folder, its size settled
    EXPECT_EQ(SDL_ChooserListing, std::vector<std::string>{"inside"});
    const ImGuiWindow* w = ImGui::FindWindowByName(NAV_RequestFor(NAV_PromptDisk, false).title);
    ASSERT_TRUE(w && w->Active);
    EXPECT_LE(w->ContentSize.x, w->ContentRegionRect.GetWidth()) << "the path line runs off the dialog";
    EXPECT_TRUE(ImRect(ImVec2(0, 0), ImGui::GetMainViewport()->Size).Contains(w->Rect()));
    type_text("..");
  }
  if (turn == 10) press(SDL_SCANCODE_RETURN);
  if (turn >= 13) press(SDL_SCANCODE_ESCAPE);
}

TEST_F(Window, TheChoosersPathLineFitsAndItsNameFieldHasTheKeyboardFromTheStart) {
  boot("screen_low");
  const std::string parent = folder.file("a folder with a long name");
  typed_folder = parent + "/" + std::string(149 - parent.size(), 'x');
  ASSERT_EQ(typed_folder.size(), 150u);
  std::filesystem::create_directories(typed_folder);
  std::ofstream(typed_folder + "/inside").put(0);
  for (const char* size : {"full screen", "Double Size", "1x"}) {
    SCOPED_TRACE(size);
    PREFS_DoubleSize = size[0] == 'D';
    SCREEN_FullScreen = size[0] == 'f';
    SCREEN_OpenWindow();
    SDL_ModalTurnHook = go_in_and_up;
    std::string chosen;
    EXPECT_EQ(DLG_HostChooseFile(NAV_RequestFor(NAV_PromptDisk, false), chosen), 0);
    SDL_ModalTurnHook = nullptr;
    EXPECT_GE(last_turn, 13u);
    EXPECT_EQ(SDL_ChooserListing, std::vector<std::string>{typed_folder.substr(parent.size() + 1) + "/"});
  }
}

// After a refusal (a folder that does not exist) the Name field has the keyboard again: BackSpace and Return
// there save under the name that is left.
TEST_F(Window, ANameTypedAfterARefusalIsTaken) {
  boot("screen_low");
  SDL_ModalTurnHook = [](u32 turn) {
    if (turn == 2) type_text("no/x");
    if (turn == 5 || turn == 14) press(SDL_SCANCODE_RETURN);
    if (turn == 8 || turn == 11) press(SDL_SCANCODE_BACKSPACE);
    if (turn > 20) press(SDL_SCANCODE_ESCAPE);
  };
  std::string chosen;
  EXPECT_EQ(DLG_HostChooseFile(NAV_RequestFor(NAV_PromptSaveState, true), chosen), 1);
  EXPECT_EQ(chosen, folder.file("no"));
  SDL_ModalTurnHook = nullptr;
}

// The window's maximise button is the zoom box: Double Size goes on, and
// restoring the window turns it off again. Xvfb has no window manager to
// carry out the request, so when no event comes back the test hands the
// host the one a window manager sends.
void window_state(void (*request)(SDL_Window*), u8 event, u32 double_size) {
  request(PLATFORM_Window());
  for (int i = 0; i < 20 && PREFS_DoubleSize != double_size; ++i) {
    SDL_Delay(10);
    SDL_HostPumpEvents();
  }
  if (PREFS_DoubleSize != double_size) window_event(event);
}

TEST_F(Window, MaximisingTheWindowTurnsDoubleSizeOn) {
  boot("screen_low");
  ASSERT_EQ(PREFS_DoubleSize, 0u);
  window_state(SDL_MaximizeWindow, SDL_WINDOWEVENT_MAXIMIZED, 1);
  EXPECT_EQ(PREFS_DoubleSize, 1u);
  EXPECT_EQ(SCREEN_DisplayMode, SCREEN_ModeLowZoom);
  window_state(SDL_RestoreWindow, SDL_WINDOWEVENT_RESTORED, 0);
  EXPECT_EQ(PREFS_DoubleSize, 0u);
  EXPECT_EQ(SCREEN_DisplayMode, SCREEN_ModeLow);
  expect_window_size(384, 279);
}

// Escape closes the menus, a submenu open in them too.
void escape_menus(u32 turn) {
  last_turn = turn;
  if (turn == 1) put_mouse(SDL_MOUSEMOTION, MENU_FileId, 9);  // opens the saved-state submenu
  if (turn == 5) press(SDL_SCANCODE_ESCAPE);
  if (turn > 20) click_at(378, 280);  // a click outside closes them anyway
}

TEST_F(Window, EscapeClosesTheMenus) {
  boot("screen_low");
  PLATFORM_RenderFrame();
  put_mouse(SDL_MOUSEBUTTONDOWN, MENU_FileId, 0);
  SDL_ModalTurnHook = escape_menus;
  SDL_HostPumpEvents();
  SDL_ModalTurnHook = nullptr;
  EXPECT_LT(last_turn, 10u);
  EXPECT_FALSE(ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel));
  EXPECT_EQ(EVENTS_Paused, 0u);
  // The window was shown again without them (a paused emulation shows no
  // frame of its own that would cover them).
  const ImDrawData* shown = ImGui::GetDrawData();
  ASSERT_NE(shown, nullptr);
  for (int i = 0; i < shown->CmdListsCount; ++i)
    EXPECT_NE(std::string(shown->CmdLists[i]->_OwnerName).rfind("##Menu_", 0), 0u) << shown->CmdLists[i]->_OwnerName;
}

// A motion event taken in: at window position (x, y), by (dx, dy), which counts while the pointer is held.
void motion_event(int x, int y, int dx = 0, int dy = 0) {
  SDL_Event e{};
  e.motion = {SDL_MOUSEMOTION, 0, SDL_GetWindowID(PLATFORM_Window()), 0, 0, x, y, dx, dy};
  SDL_PushEvent(&e);
  SDL_HostPumpEvents();
}

// With the pointer captured a click where it really is on the bar opens the
// menus (the event tells SDL's own sum of the motion), with Right Alt
// pressed in the same frame too; moved onto the bar, it is let go there
// once the motion sent has taken the ST's pointer to its top row.
u32 menu_turns;
void count_menu_turns(u32 turn) {
  menu_turns = turn + 1;
  if (turn == 2) press(SDL_SCANCODE_ESCAPE);
}

TEST_F(Window, TheBarIsReachedWithThePointerCaptured) {
  boot("screen_low");
  PLATFORM_RenderFrame();
  SDL_Rect t;
  ASSERT_TRUE(SDL_MenuItemRect(MENU_FileId, 0, t));
  int x, y;
  SDL_GetWindowPosition(PLATFORM_Window(), &x, &y);
  x += t.x + t.w / 2, y += t.y + t.h / 2;
  IKBD_State.mouseMode = 1;  // relative: the pointer over the picture is captured
  SDL_ModalTurnHook = count_menu_turns;
  for (int step = 0; step < 3; ++step) {
    SCOPED_TRACE(step);
    SDL_Event e{};
    e.motion = {SDL_MOUSEMOTION, 0, SDL_GetWindowID(PLATFORM_Window()), 0, 0, 200, 150, 0, 0};
    SDL_WarpMouseInWindow(PLATFORM_Window(), 200, 150);
    SDL_PushEvent(&e);
    SDL_HostPumpEvents();
    EVENTS_PollMouse();
    ASSERT_TRUE(SDL_HostPointerCaptured());
    SDL_WarpMouseGlobal(x, y);
    menu_turns = 0;
    e.key = {SDL_KEYDOWN, 0, SDL_GetWindowID(PLATFORM_Window()), SDL_PRESSED, 0, 0, 0, {SDL_SCANCODE_RALT, 0, 0, 0}};
    if (step == 1) SDL_PushEvent(&e);
    if (step < 2) click_at(200, 150);
    SDL_HostPumpEvents();
    if (step == 1) press(SDL_SCANCODE_RALT);  // its release
    EXPECT_EQ(menu_turns > 0, step < 2);
    if (step == 2) {
      EVENTS_PollMouse();
      EXPECT_TRUE(SDL_HostPointerCaptured());  // no motion: the ST's pointer may be lower
      motion_event(200, 150, 0, -199);
      EVENTS_PollMouse();
      EVENTS_PollMouse();
    }
    EXPECT_FALSE(SDL_HostPointerCaptured());
  }
  SDL_ModalTurnHook = nullptr;
  int gx, gy;
  SDL_GetGlobalMouseState(&gx, &gy);
  EXPECT_EQ(std::pair(gx, gy), std::pair(x, y));
}

// EmuTOS at 1x with the pointer held: the ST's pointer stops at its screen's edges, the host's goes on, yet
// moving up always reaches the ST's menus before the pointer is let go at the bar, also after motion during
// the boot (GEM centres its pointer after it); it is held again over the ST's pointer, and a click after a
// jump onto the bar without motion opens the host's menus.
TEST_F(Window, TheStMenuRowComesBeforeTheBarWithThePointerHeld) {
  REQUIRE_EMUTOS();
  std::filesystem::copy_file(TESTDATA_DIR "/emutos/etos192uk.img", folder.file("tos.img"));
  auto move = [](int y, int dx, int dy, bool motion = true) {  // the host's pointer to (200, y), a frame
    int wx, wy;
    SDL_GetWindowPosition(PLATFORM_Window(), &wx, &wy);
    SDL_WarpMouseGlobal(wx + 200, wy + y);
    if (motion) motion_event(200, y, dx, dy);
    machine_run_quietly(1, true);
  };
  auto screen = [] { return MMU_RamBase + (MMU_ReadL(0x44e) & 0xfffffe); };
  auto menus_open_at_a_click = [] {  // the event where the pointer last moved
    menu_turns = 0;
    SDL_HostPumpEvents();  // what the window system sent before the click (a warp's motion)
    SDL_ModalTurnHook = count_menu_turns;
    click_at(200, 150);
    SDL_HostPumpEvents();
    SDL_ModalTurnHook = nullptr;
    return menu_turns > 0;
  };
  auto up_to_the_bar = [&](int y) {  // from under View: the ST's menu dropped before the pointer was let go
    const std::vector<u8> before(screen(), screen() + 32000);
    for (int steps = 0; steps < 60 && SDL_HostPointerCaptured(); ++steps) move(y = std::max(y - 8, 5), 0, -8);
    EXPECT_FALSE(SDL_HostPointerCaptured());
    machine_run_quietly(10, true);
    size_t changed = 0;  // where EmuTOS's View menu drops: rows 20-59, x 128-191
    for (u32 row = 20; row < 60; ++row)
      for (u32 i = row * 160 + 64; i < row * 160 + 96; ++i) changed += screen()[i] != before[i];
    EXPECT_GT(changed, 400u);
  };
  // Moved down and up during the boot: the motion sent says row 49, but GEM then centres its pointer (row
  // 99). From over the ST's row 10 the host's pointer reaches the bar after 50 rows up.
  machine_start(folder.path());
  machine_run_quietly(1);
  for (int frame = 1; frame < 100; ++frame) move(150, 0, frame < 50 ? 8 : -3);  // held once the ST takes it
  machine_run_quietly(300, true);  // its desktop
  move(150, -400, 0);
  move(150, 136, 0);  // under View
  up_to_the_bar(PLATFORM_MenuStripHeight + 40);

  machine_reset_globals();  // a fresh start, with no motion in the boot
  machine_start(folder.path());
  machine_run_quietly(400);
  move(150, 0, 0);
  ASSERT_TRUE(SDL_HostPointerCaptured());
  move(150, 400, 400);  // the ST's pointer into its bottom right corner, far below the host's
  move(150, -183, 0);   // under View
  up_to_the_bar(150);
  EXPECT_TRUE(menus_open_at_a_click());
  move(PLATFORM_MenuStripHeight + 5, 0, 0);  // held again coming down, over the ST's pointer
  int gy, wy;
  SDL_GetGlobalMouseState(nullptr, &gy);
  SDL_GetWindowPosition(PLATFORM_Window(), nullptr, &wy);
  const int row = gy - wy - PLATFORM_MenuStripHeight - SCREEN_PictureRect.top;  // the ST's
  EXPECT_TRUE(row >= 0 && row < 10) << row;
  move(290, 0, 400);  // the ST's pointer at its bottom, the host's jumps onto the bar
  move(5, 0, 0, false);
  EXPECT_TRUE(SDL_HostPointerCaptured());
  EXPECT_TRUE(menus_open_at_a_click());
}

// The debugger stops the machine with the pointer held (at an address `f`
// ran to) and `U` restores a state: the motion the pointer made before the
// stop, taken in but not yet sent, does not reach the restored ST; the
// pointer is held again once it moves, and only its motion from then on does.
TEST_F(Window, MotionHeldBeforeTheDebuggersRestoreStaysOutOfTheRestoredSt) {
  boot("screen_low");
  IKBD_State.mouseMode = 1;
  ikbd_take();
  folder.write("frozen", STATE_Encode());
  SDL_WarpMouseInWindow(PLATFORM_Window(), 200, 150);
  motion_event(200, 150);
  EVENTS_PollMouse();
  ASSERT_TRUE(SDL_HostPointerCaptured());
  motion_event(200, 150, 30, 0);
  char commands[] = "U\ng\n";
  DEBUG_In = fmemopen(commands, std::strlen(commands), "r");
  DEBUG_Out = std::fopen("/dev/null", "w");
  DEBUG_CommandLoop();
  std::fclose(DEBUG_In), std::fclose(DEBUG_Out);
  DEBUG_In = DEBUG_Out = nullptr;
  EVENTS_PollMouse();
  EXPECT_EQ(ikbd_take(), std::vector<u8>{});
  motion_event(201, 150, 1, 0);
  EVENTS_PollMouse();
  EXPECT_TRUE(SDL_HostPointerCaptured());
  motion_event(201, 150, 5, 0);
  EVENTS_PollMouse();
  EXPECT_EQ(ikbd_take(), (std::vector<u8>{0xf8, 5, 0}));
}

// A file dropped while an alert is up goes to the drive the Command key
// chose at the drop: held from before the alert or pressed in it, B; let go
// in it before the drop, A. The ST gets none of the alert's keys.
struct AltInAlert {
  bool before, press, release;
  u32 drives;
  SDL_Scancode key = SDL_SCANCODE_RALT;  // the Super keys are Command too
} alt_in_alert;
std::string dropped;
void drop_in_alert(u32 turn) {
  if (turn == 1) {
    if (alt_in_alert.press) key_event(alt_in_alert.key, true);
    if (alt_in_alert.release) key_event(alt_in_alert.key, false);
    SDL_Event e{};
    for (u32 type : {SDL_DROPBEGIN, SDL_DROPFILE, SDL_DROPCOMPLETE}) {
      e.drop = {type, 0, type == SDL_DROPFILE ? SDL_strdup(dropped.c_str()) : nullptr, 0};
      SDL_PushEvent(&e);
    }
  }
  if (turn >= 3) press(SDL_SCANCODE_ESCAPE);
}

TEST_F(Window, AFileDroppedDuringAnAlertGoesToTheDriveTheKeysHeldAtTheDropChoose) {
  boot("screen_low");
  dropped = folder.file("drop.st");
  folder.write("drop.st", std::vector<u8>(368640, 0));
  ikbd_take();
  SDL_ModalTurnHook = drop_in_alert;
  for (const AltInAlert& c : {AltInAlert{false, true, false, 2}, {true, false, false, 2}, {false, true, true, 1},
                              {true, false, true, 1}, {false, true, false, 2, SDL_SCANCODE_LGUI}}) {
    SCOPED_TRACE(testing::Message() << c.before << c.press << c.release);
    DISKIMG_Reset();
    alt_in_alert = c;
    if (c.before) key_event(c.key, true);
    SDL_HostPumpEvents();
    EXPECT_EQ(DLG_ConfirmReset(), 0u);
    for (SDL_HostPumpEvents(); SDL_HostQueuedEvents();) EVENTS_DoEvent(0);
    EXPECT_EQ(DISKIMG_InsertedMask | INPUT_PendingDisks(), c.drives);
    EXPECT_EQ(ikbd_take(), std::vector<u8>{});
    key_event(c.key, false);
    SDL_HostPumpEvents();
  }
  SDL_ModalTurnHook = nullptr;
}

// A termination request ends the dialog that is up (as cancelled), and the
// next host poll takes the quit path.
void terminate_at_once(u32 turn) {
  last_turn = turn;
  if (turn == 1) std::raise(SIGTERM);
  if (turn > 20) press(SDL_SCANCODE_ESCAPE);
}

TEST_F(Window, ATerminationRequestEndsADialogAndQuits) {
  boot("screen_low");
  SDL_ModalTurnHook = terminate_at_once;
  EXPECT_EQ(DLG_ConfirmReset(), 0u);
  SDL_ModalTurnHook = nullptr;
  EXPECT_LT(last_turn, 10u);
  EVENTS_DoEvent(0);
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_TRUE(std::filesystem::exists(folder.file("Auto Saved State")));
}

// A move as the window manager reports a drag (Xvfb has none: the test moves the window): running, the
// next frame is drawn whole; paused, the window goes left to a multiple of 8 (where X really puts it: the
// pointer put into it and read back), with no redraw.
TEST_F(Window, AMoveRedrawsTheWindowAndPausedSnapsItToEightPixels) {
  boot("screen_low");
  for (const auto [paused, x, y, snapped] : {std::array{1, 101, 77, 96}, {1, 160, 90, 160}, {1, -5, 60, -8},
                                             {0, 203, 50, 203}}) {
    SCOPED_TRACE(x);
    click_at(200, 150);  // a button down: a new drag
    SDL_SetWindowPosition(PLATFORM_Window(), x, y);
    SCREEN_RedrawRequest = EVENTS_CaptureCentreH = 0;
    EVENTS_Paused = u32(paused);
    window_event(SDL_WINDOWEVENT_MOVED);
    EVENTS_Paused = 0;
    SDL_WarpMouseInWindow(PLATFORM_Window(), 20, 20);
    int gx, gy;
    SDL_GetGlobalMouseState(&gx, &gy);
    EXPECT_EQ(std::pair(gx - 20, gy - 20), std::pair(snapped, y));
    EXPECT_EQ(SCREEN_RedrawRequest, u32(1 - paused));
    EXPECT_EQ(EVENTS_CaptureCentreH, 192);  // recomputed
  }
}

// Paused, the window is snapped once a drag: the window manager's reports
// after our move (one that places windows its own way answers late, and
// off the 8 pixels) are where the window stays, until a button goes down
// and the next drag snaps again.
TEST_F(Window, APausedWindowSnapsOnceADrag) {
  boot("screen_low");
  auto moved_to = [](int x) {  // where X has the window after a report that it went to x
    SDL_SetWindowPosition(PLATFORM_Window(), x, 60);
    window_event(SDL_WINDOWEVENT_MOVED);
    SDL_ScreenSnapAfterDrag();
    SDL_WarpMouseInWindow(PLATFORM_Window(), 20, 20);
    SDL_GetGlobalMouseState(&x, nullptr);
    return x - 20;
  };
  EVENTS_Paused = 1;
  EXPECT_EQ(moved_to(101), 96);
  for (int late : {99, 93, 109}) EXPECT_EQ(moved_to(late), late);
  click_at(200, 150);
  SDL_HostPumpEvents();
  EXPECT_EQ(moved_to(77), 72);
  EVENTS_Paused = 0;
  while (SDL_HostQueuedEvents()) EVENTS_DoEvent(0);
}

// With the pointer free, a click in the picture followed in the same frame
// by a move onto the bar is the ST's, not the menus'.
TEST_F(Window, AClickBeforeAMoveOntoTheBarIsTheSts) {
  boot("screen_low");
  PLATFORM_RenderFrame();
  ASSERT_FALSE(SDL_HostPointerCaptured());
  int wx, wy;
  SDL_GetWindowPosition(PLATFORM_Window(), &wx, &wy);
  SDL_WarpMouseGlobal(wx + 200, wy + 5);
  SDL_HostPumpEvents();  // the warp's own motion
  const u32 queued = SDL_HostQueuedEvents();
  SDL_Event e{};
  e.button = {SDL_MOUSEBUTTONDOWN, 0, SDL_GetWindowID(PLATFORM_Window()), 0, SDL_BUTTON_LEFT, SDL_PRESSED, 1, 0, 200, 150};
  SDL_PushEvent(&e);
  menu_turns = 0;
  SDL_ModalTurnHook = count_menu_turns;
  motion_event(200, 5);
  SDL_ModalTurnHook = nullptr;
  EXPECT_EQ(menu_turns, 0u);
  EXPECT_EQ(SDL_HostQueuedEvents(), queued + 1);  // the press
  while (SDL_HostQueuedEvents()) EVENTS_DoEvent(0);
}

// The program runs from a copy in a folder of its own: the build's folder is
// the one the user's emulator runs from, with the user's files (and its lock
// while it runs).
TEST(FatalStartUp, WithoutADisplayTheMessageGoesToStandardErrorAndTheExitIsNonZero) {
  TempFolder folder;
  const std::string err = folder.file("err.txt");
  std::filesystem::copy_file(VANTORELL_PATH, folder.file("vantorell"));
  const std::string cmd = "timeout 60 env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER " +
                          std::string("XDG_CONFIG_HOME=") + folder.path() + " " + folder.file("vantorell") +
                          " >/dev/null 2>" + err;
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  std::FILE* f = std::fopen(err.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char buf[4096] = {};
  buf[std::fread(buf, 1, sizeof buf - 1, f)] = 0;
  std::fclose(f);
  EXPECT_NE(std::string(buf).find("Not enough memory to create a window... Vantorell will exit..."),
            std::string::npos)
      << buf;
}

// Every alert at 1x, in Double Size and in full screen: once its size has settled, its widest line as
// Dear ImGui measures it lies within it, it lies within the window and nothing scrolls; Escape closes it.
void look_at_alert(u32 turn) {
  last_turn = turn;
  SDL_Event e{.type = SDL_USEREVENT};  // an event each turn: the loop need not wait for one
  if (turn < 4) return void(SDL_PushEvent(&e));
  press(SDL_SCANCODE_ESCAPE);
  if (turn > 4) return;
  const ImGuiWindow* w = ImGui::FindWindowByName("Vantorell");
  ASSERT_TRUE(w && w->Active);
  EXPECT_LE(w->ContentSize.x, w->ContentRegionRect.GetWidth()) << "a line is cut at the alert's right edge";
  EXPECT_EQ(w->ScrollMax.y, 0.f);
  EXPECT_TRUE(ImRect(ImVec2(0, 0), ImGui::GetMainViewport()->Size).Contains(w->Rect()));
}

TEST_F(Window, EveryAlertFitsTheWindow) {
  boot("screen_low");
  // Every numbered alert (the quit's with auto-save on and off and with another RAM size to come, the
  // kept automatic state's by each refusal) and the message alert, with a file's name and a reason as
  // those about files have; the message dialog.
  struct Shown {
    u32 number, auto_save, ram14, refusal;
  };
  std::vector<Shown> alerts;
  for (u32 n = 1; n < 100; ++n)
    if (*DLG_AlertTexts(n).message) alerts.push_back({n, 1, 0, 0});
  alerts.insert(alerts.end(), {{3, 0, 0, 0}, {3, 1, 1, 0}, {130, 1, 0, 0}, {135, 1, 0, 0}});
  for (u32 refusal = STATE_RefusedFile; refusal <= STATE_RefusedHardDisk; ++refusal)
    alerts.push_back({17, 1, 0, refusal});
  const std::string detail = folder.file("Auto Saved State (refused)") + " can't be read (No such file or directory)";
  for (const char* size : {"Double Size", "full screen", "1x"}) {
    PREFS_DoubleSize = size[0] == 'D';
    SCREEN_FullScreen = size[0] == 'f';
    SCREEN_OpenWindow();
    for (const auto& [number, auto_save, ram14, refusal] : alerts) {
      SCOPED_TRACE(testing::Message() << "alert " << number << ", auto-save " << auto_save << ", 14 MB "
                                      << ram14 << ", refusal " << refusal << ", " << size);
      PREFS_AutoSaveOnQuit = auto_save;
      PREFS_Ram14MB = ram14;
      APP_AutoStateRefused = refusal;
      SDL_ModalTurnHook = look_at_alert;
      last_turn = 0;
      if (number != 135) DLG_SetAlertText(detail.c_str());
      if (number == 130) DLG_ShowAlert(130);
      else if (number == 135) DLG_Message("You need to restart Vantorell to activate this option");
      else DLG_ConfirmAlert(number, 1);
      SDL_ModalTurnHook = nullptr;
      SDL_HostPumpEvents();  // Escape's release
      EXPECT_GE(last_turn, 4u);  // it was looked at
    }
  }
}

// Vantorell > Vantorell on the Web > Vantorell Web Page..., then its alert once the address was tried.
void choose_web_page(u32 turn) {
  if (!DLG_Log.empty()) return look_at_alert(turn);
  if (turn > 50) return press(SDL_SCANCODE_ESCAPE);  // not reached: the test fails rather than hangs
  if (turn == 1) put_mouse(SDL_MOUSEMOTION, MENU_AppleId, 3);  // opens the submenu
  if (turn == 5) put_mouse(SDL_MOUSEMOTION, MENU_LinksId, 1);
  if (turn == 6) put_mouse(SDL_MOUSEBUTTONDOWN, MENU_LinksId, 1);
  if (turn == 7) put_mouse(SDL_MOUSEBUTTONUP, MENU_LinksId, 1);
}

// No program on the PATH to hand an address to (a file that cannot be run and a folder of its name do not
// count): the web page item beeps for half a second and shows alert 10. One that can be run is used.
TEST_F(Window, AnAddressWithNoLauncherToOpenItBeepsAndAlerts) {
  boot("screen_low");
  PLATFORM_RenderFrame();  // the bar is drawn
  SDL_Rect t;
  ASSERT_TRUE(SDL_MenuItemRect(MENU_AppleId, 0, t));
  SDL_WarpMouseInWindow(PLATFORM_Window(), t.x + t.w / 2, t.y + t.h / 2);  // no motion of X's from elsewhere
  SDL_HostPumpEvents();
  const char* old_path = std::getenv("PATH");
  const std::string path = old_path ? old_path : "";
  std::filesystem::create_directories(folder.file("a/xdg-open"));
  folder.write("xdg-open", {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'});
  setenv("PATH", (folder.file("a") + ":" + folder.path()).c_str(), 1);
  open_disk_audio(folder.file("audio.raw"));
  DLG_Log.clear();
  last_turn = 0;
  put_mouse(SDL_MOUSEBUTTONDOWN, MENU_AppleId, 0);
  SDL_ModalTurnHook = choose_web_page;
  SDL_HostPumpEvents();
  SDL_ModalTurnHook = nullptr;
  SDL_HostPumpEvents();  // Escape's release
  EXPECT_EQ(DLG_Log, (std::vector<std::string>{std::string("url ") + MENU_WebAddress, "alert 10 OK"}));
  EXPECT_GE(last_turn, 4u);  // the alert was shown
  for (int i = 0; i < 300 && SOUND_BeepLeft.load(); ++i) SDL_Delay(10);
  const HeardTone beep = heard_tone(disk_audio_played(folder.file("audio.raw")));
  EXPECT_NEAR(beep.frames, 30 * 735, 1470) << "the beep's length";
  EXPECT_NEAR(beep.hz, 880.0, 20.0);

  std::filesystem::permissions(folder.file("xdg-open"), std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(APP_LaunchURL(MENU_WebAddress), 0);
  setenv("PATH", path.c_str(), 1);
}

}  // namespace

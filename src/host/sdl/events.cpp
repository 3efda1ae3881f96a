// Host events of the windowed host: SDL's queue is drained at every host
// poll into our own key map, pointer and Caps Lock state and a queue of the
// events the ST and the program care about, of which each poll serves one.
// The pointer is captured through SDL's relative mouse mode; the pause loop
// waits on SDL's queue.
#include <SDL.h>
#include <signal.h>

#include <csignal>
#include <cstring>

#include "cpu/bus.h"
#include "host/app.h"
#include "host/debugger.h"
#include "host/events.h"
#include "host/screen.h"
#include "host/sdl/keys.h"
#include "host/sdl/sdl_host.h"
#include "host/shared/input.h"
#include "host/shared/menus.h"
#include "host/shared/screen_window.h"
#include "host/sound.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "platform/window.h"

u8 EVENTS_KeyMap[16];
bool (*SDL_HostEventFilter)(const SDL_Event& e);

namespace {

// One event the host poll serves: the ST's input, or the close box.
struct HostEvent {
  enum Kind : u8 { Input, Close } kind;
  INPUT_Event input;
};
constexpr u32 queue_size = 256;
HostEvent queue[queue_size];
u32 queue_head, queue_count;
// Files to open, one batch per drop (or per start-up), with the Command key's
// state at the drop; served when no other event waits, never while paused.
struct Batch {
  std::vector<std::string> paths;
  bool command, atStart;
};
std::vector<Batch> batches;
std::vector<std::string> dropping;
bool drop_open, drop_command;

volatile std::sig_atomic_t terminate_request;
u64 last_pump;  // host microseconds at the last drain of SDL's queue

bool keys_down[SDL_NUM_SCANCODES];
bool caps_lock, has_focus = true;
int pointer_x = -1, pointer_y = -1;  // window coordinates of the last motion
bool captured, cursor_shown = true;
double motion_h, motion_v;  // relative motion not yet sent, in content pixels

bool is_release(const HostEvent& e) {
  return e.kind == HostEvent::Input && (e.input.kind == INPUT_Event::KeyUp || e.input.kind == INPUT_Event::ButtonUp);
}

void push(const HostEvent& e) {
  if (e.kind == HostEvent::Close) {
    for (u32 i = 0; i < queue_count; ++i)
      if (queue[(queue_head + i) % queue_size].kind == HostEvent::Close) return;
  }
  // A full queue keeps its oldest events; only a release may push one out,
  // the newest that is not a release itself, so that the ST never misses the
  // end of a key or a click.
  if (queue_count == queue_size) {
    if (!is_release(e)) return;
    u32 i = queue_count;
    while (i > 0 && is_release(queue[(queue_head + i - 1) % queue_size])) --i;
    if (i == 0) return;  // nothing but releases waiting: this one's press never got in
    for (; i < queue_count; ++i) queue[(queue_head + i - 1) % queue_size] = queue[(queue_head + i) % queue_size];
    --queue_count;
  }
  queue[(queue_head + queue_count) % queue_size] = e;
  ++queue_count;
}

void push_input(const INPUT_Event& e) { push({HostEvent::Input, e}); }

bool command_held() { return INPUT_HostKeyDown(INPUT_KeyCommand); }
bool control_held() {
  return INPUT_HostKeyDown(INPUT_KeyControl) || INPUT_HostKeyDown(INPUT_KeyRightControl);
}

void key(const SDL_KeyboardEvent& k) {
  caps_lock = (k.keysym.mod & KMOD_CAPS) != 0;
  const SDL_Scancode s = k.keysym.scancode;
  const bool down = k.state == SDL_PRESSED;
  if (u32(s) >= SDL_NUM_SCANCODES || keys_down[s] == down) return;  // repeats
  keys_down[s] = down;
  const EVENTS_Key h = EVENTS_KeyOf(s);
  if (!h.bound) return;
  INPUT_HostKey(h.code, down);
  if (h.modifier && !INPUT_IsModifierKey(h.code)) return;  // Caps Lock, Command
  const SDL_Keycode sym = k.keysym.sym;
  push_input({down ? INPUT_Event::KeyDown : INPUT_Event::KeyUp, h.code,
              u8(sym > 0 && sym < 128 ? sym : 0), false, command_held(), control_held()});
}

void button(const SDL_MouseButtonEvent& b) {
  if (b.which == SDL_TOUCH_MOUSEID) return;
  if (b.state == SDL_PRESSED) SDL_ScreenButtonPressed();
  pointer_x = b.x;
  pointer_y = b.y;
  i32 h, v;
  const bool inContent = captured || PLATFORM_WindowToContent(b.x, b.y, h, v);
  push_input({b.state == SDL_PRESSED ? INPUT_Event::ButtonDown : INPUT_Event::ButtonUp, b.button, 0,
              inContent, command_held(), control_held()});
}

// Content pixels per window point, across and down.
void content_scale(double& sx, double& sy) {
  sx = sy = 1.0;
  SDL_Window* w = PLATFORM_Window();
  SDL_Renderer* r = PLATFORM_Renderer();
  if (!w || !r) return;
  int ww = 0, wh = 0, ow = 0, oh = 0;
  SDL_GetWindowSize(w, &ww, &wh);
  SDL_GetRendererOutputSize(r, &ow, &oh);
  const PLATFORM_Rect c = PLATFORM_ContentRect();
  const double contentH = SCREEN_Height + (SCREEN_FullScreen ? 0 : SCREEN_StatusRows);
  if (ww > 0 && wh > 0 && c.w > 0 && c.h > 0) {
    sx = double(ow) / ww * SCREEN_Width / c.w;
    sy = double(oh) / wh * contentH / c.h;
  }
}

void motion(const SDL_MouseMotionEvent& m) {
  if (m.which == SDL_TOUCH_MOUSEID) return;
  pointer_x = m.x;
  pointer_y = m.y;
  if (!captured) return;
  double sx, sy;
  content_scale(sx, sy);
  motion_h += m.xrel * sx;
  motion_v += m.yrel * sy;
}

// A pointer held from now on starts where the ST's pointer is (no lower
// than it may be), so that the two reach the top together, the ST's first,
// however far apart they were before.
void hold_pointer() {
  captured = SDL_SetRelativeMouseMode(SDL_TRUE) == 0;
  SDL_Window* w = PLATFORM_Window();
  // SDL's relative mode by warps would take the warp for motion. That mode
  // is known only when asked for by its hint: SDL 2.26 also falls back to it
  // on its own when the native mode fails (X11 without XInput 2), and
  // reports that nowhere (SDL_SetRelativeMouseMode succeeds, and
  // SDL_GetRelativeMouseMode tells only that relative mode is on); there
  // the first motion after the capture carries the warp's jump.
  if (!captured || !w || SDL_GetHintBoolean(SDL_HINT_MOUSE_RELATIVE_MODE_WARP, SDL_FALSE)) return;
  i32 h, v;
  int x, y, wx, wy;
  INPUT_StPointerInContent(SCREEN_DisplayMode, h, v);
  if (!PLATFORM_ContentToWindow(h, v, x, y)) return;
  SDL_GetWindowPosition(w, &wx, &wy);
  SDL_WarpMouseGlobal(wx + x, wy + y);
}

// Where the host's pointer really is, in window coordinates. While it is
// captured the events carry SDL's own sum of the relative motion instead,
// which drifts from it (and is clamped at the window's edges).
void real_pointer(int& x, int& y) {
  int gx = 0, gy = 0, wx = 0, wy = 0;
  SDL_GetGlobalMouseState(&gx, &gy);
  if (SDL_Window* w = PLATFORM_Window()) SDL_GetWindowPosition(w, &wx, &wy);
  x = gx - wx;
  y = gy - wy;
}

// Whether a motion event waits in SDL's queue, one that came after the
// event just taken. What the window system has sent by now is fetched
// first: the pointer's position read before was answered after it.
bool motion_waiting() {
  SDL_PumpEvents();
  return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION) > 0;
}

// SDL puts the pointer back where its own sum says; it is let go where it
// really is instead.
void let_pointer_go() {
  if (captured) {
    int x, y;
    real_pointer(x, y);
    SDL_SetRelativeMouseMode(SDL_FALSE);
    if (SDL_Window* w = PLATFORM_Window()) {
      int ww = 0, wh = 0;
      SDL_GetWindowSize(w, &ww, &wh);
      if (x >= 0 && y >= 0 && x < ww && y < wh) {
        SDL_WarpMouseInWindow(w, x, y);
        pointer_x = x;
        pointer_y = y;
      }
    }
  }
  captured = false;
  motion_h = motion_v = 0;
}

void window(const SDL_WindowEvent& w) {
  switch (w.event) {
    case SDL_WINDOWEVENT_FOCUS_LOST:
      has_focus = false;
      let_pointer_go();
      // The keys held now come up elsewhere.
      std::memset(keys_down, 0, sizeof keys_down);
      INPUT_ClearHostKeys();
      push_input({INPUT_Event::FocusLost, 0, 0, false, false, false});
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      has_focus = true;
      caps_lock = (SDL_GetModState() & KMOD_CAPS) != 0;
      push_input({INPUT_Event::FocusGained, 0, 0, false, false, false});
      break;
    case SDL_WINDOWEVENT_CLOSE: push({HostEvent::Close, {}}); break;
    case SDL_WINDOWEVENT_LEAVE: pointer_x = pointer_y = -1; break;
    default: SDL_ScreenWindowEvent(w); break;
  }
}

void drop(const SDL_DropEvent& d) {
  switch (d.type) {
    case SDL_DROPBEGIN:
      drop_open = true;
      drop_command = command_held();
      dropping.clear();
      break;
    case SDL_DROPFILE:
      if (!drop_open && dropping.empty()) drop_command = command_held();
      if (d.file) dropping.push_back(d.file);
      break;
    case SDL_DROPCOMPLETE:
      drop_open = false;
      if (dropping.empty()) break;
      batches.push_back({std::move(dropping), drop_command, false});
      dropping.clear();
      break;
    default: break;
  }
  if (d.file) SDL_free(d.file);
}

// Files dropped without a drop's begin and end (an older desktop) make one
// batch per drain.
void close_loose_drop() {
  if (drop_open || dropping.empty()) return;
  SDL_DropEvent end{};
  end.type = SDL_DROPCOMPLETE;
  drop(end);
}

// A debugger listing in progress ends too; the quit follows once the
// debugger lets the machine run.
void take_termination(int) {
  terminate_request = 1;
  DEBUG_DumpAbort = 1;
}

// Output into a pipe nobody reads any more (a `| tee` that the hang-up
// ended) is lost, and the program goes on to its quit. Caught rather than
// ignored, so the programs we start (the web browser) get the default.
void broken_pipe(int) {}

// Serves one host event: the ST's input in the running dispatch or the
// pause loop's, the close box through the quit path; else, when running, one
// batch of documents.
bool serve(bool paused) {
  if (queue_count) {
    const HostEvent e = queue[queue_head];
    queue_head = (queue_head + 1) % queue_size;
    --queue_count;
    if (e.kind == HostEvent::Close)
      APP_ProcessAppleEvent({APP_AppleEvent::Quit, {}, false});
    else if (paused)
      INPUT_DispatchPaused(e.input);
    else
      INPUT_Dispatch(e.input);
    return true;
  }
  if (paused || batches.empty()) return false;
  const Batch b = std::move(batches.front());
  batches.erase(batches.begin());
  APP_ProcessAppleEvent({APP_AppleEvent::OpenDocs, b.paths, b.command, b.atStart});
  return true;
}

// True when a signal asked to quit: the poll then serves nothing more, or a
// close box that came with the signal would ask nobody and save again.
bool quit_on_signal() {
  if (!terminate_request) return false;
  terminate_request = 0;
  APP_QuitNow();
  return true;
}

}  // namespace

void SDL_HostTakeEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: key(e.key); break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: button(e.button); break;
    case SDL_MOUSEMOTION: motion(e.motion); break;
    case SDL_WINDOWEVENT: window(e.window); break;
    case SDL_QUIT: push({HostEvent::Close, {}}); break;
    case SDL_DROPBEGIN:
    case SDL_DROPFILE:
    case SDL_DROPCOMPLETE: drop(e.drop); break;
    default: break;
  }
}

void SDL_HostPumpEvents() {
  last_pump = HOST_Microseconds();
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (SDL_HostEventFilter && SDL_HostEventFilter(e)) {
      if (e.type == SDL_DROPFILE && e.drop.file) SDL_free(e.drop.file);
      continue;
    }
    SDL_HostTakeEvent(e);
  }
  close_loose_drop();
}

// During long work the window's events are taken in every 50 ms (the
// window stays alive); the work breaks off when one waits to be served.
bool EVENTS_BusyPoll() {
  if (HOST_Microseconds() - last_pump >= 50000) SDL_HostPumpEvents();
  return terminate_request || queue_count || !batches.empty() || INPUT_QuitWaiting();
}

u32 SDL_HostQueuedEvents() { return queue_count + u32(batches.size()); }
bool SDL_HostQuitRequested() { return terminate_request != 0; }
bool SDL_HostPointerCaptured() { return captured; }

void SDL_HostPointerAt(const SDL_MouseButtonEvent& b, int& x, int& y) {
  x = b.x;
  y = b.y;
  int rx, ry;
  real_pointer(rx, ry);
  // Free, the pointer on the bar with the click's event below it jumped
  // there, unless it moved there after the click (the events are read once
  // a frame): then the click was where its event says.
  if (captured || (!PLATFORM_InMenuStrip(x, y) && PLATFORM_InMenuStrip(rx, ry) && !motion_waiting()))
    x = rx, y = ry;
}

void SDL_HostOpenLater(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  batches.push_back({paths, false, true});
}

void APP_InstallAppleEvents() {
  // A termination request takes the quit path at the next host poll; SDL
  // must not turn the signals into a quit event of its own.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  std::signal(SIGTERM, take_termination);
  std::signal(SIGINT, take_termination);
  // So does the hang-up of the terminal that started us (it was closed, the
  // user logged out), unless we were started to ignore it (nohup).
  struct sigaction hangup {};
  if (sigaction(SIGHUP, nullptr, &hangup) != 0 || hangup.sa_handler != SIG_IGN)
    std::signal(SIGHUP, take_termination);
  std::signal(SIGPIPE, broken_pipe);
  SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  INPUT_Reset();
}

void EVENTS_DoEvent(i32) {
  SDL_HostPumpEvents();
  // While a disk image is being expanded the events wait: a drop, a menu or
  // a shortcut acted on now would change the drives or the machine under
  // it, and a quit would save a machine a restore has only half put back.
  if (!DISKIMG_Expanding && !quit_on_signal()) {
    INPUT_QuitIfOverdue();
    if (serve(false)) SCREEN_UpdateWindowOrigin();
  }
  SCREEN_CheckWindowVisible();
}

void EVENTS_PollMouse() {
  ++EVENTS_PollCount;
  INPUT_DiskSwapFrame();
  // A captured pointer moved onto the menu bar is let go there once the
  // ST's pointer is on its top row too: the ST's own menus lie on the way.
  if (captured) {
    int x, y;
    real_pointer(x, y);
    if (PLATFORM_InMenuStrip(x, y) && INPUT_StPointerAtTop(SCREEN_DisplayMode)) let_pointer_go();
  }
  INPUT_Pointer p{};
  const bool inWindow = pointer_x >= 0 && PLATFORM_WindowToContent(pointer_x, pointer_y, p.h, p.v);
  p.inActive = inWindow && has_focus && p.v < i32(SCREEN_Height);
  const SCREEN_Rect& pic = SCREEN_PictureRect;
  p.inPicture = inWindow && p.v >= pic.top && p.v < pic.bottom && p.h >= pic.left && p.h < pic.right;
  p.captured = captured;
  if (captured) {
    p.inPicture = true;
    p.relH = i32(motion_h);
    p.relV = i32(motion_v);
    motion_h -= p.relH;
    motion_v -= p.relV;
  }
  p.displayMode = SCREEN_DisplayMode;
  p.fullScreen = SCREEN_FullScreen != 0;
  const INPUT_PointerResult r = INPUT_Poll(caps_lock, p);
  // Relative mode can be refused (no pointer to hold): the pointer then
  // stays free and its motion is measured from its positions.
  if (r.capture && !captured)
    hold_pointer();
  else if (!r.capture && captured)
    let_pointer_go();
  if (r.showCursor != cursor_shown) {
    cursor_shown = r.showCursor;
    SDL_ShowCursor(cursor_shown ? SDL_ENABLE : SDL_DISABLE);
  }
}

void EVENTS_GetMouse(i32& h, i32& v) {
  h = v = 0;
  PLATFORM_WindowToContent(pointer_x, pointer_y, h, v);
}

void EVENTS_GetKeys(u8 map[16]) { std::memcpy(map, EVENTS_KeyMap, 16); }

// Paused: the veiled picture stays up, sound is paused, the ST holds
// nothing, and only the menus' keys, the close box and focus changes are
// served until the pause ends or the emulation stops.
void EVENTS_PauseLoop() {
  FDC_Regs[FDC_Status] &= ~0x80u;
  INPUT_ReleaseAll();
  SDL_HostReleasePointer();
  // The veil over the picture, the status line with its caption over it.
  SCREEN_Present();
  SCREEN_DrawStatusLine();
  SCREEN_ShowWindow();
  if (SOUND_Active) SOUND_Pause(1);
  MENU_EnablePauseItems(false);
  while (EVENTS_Paused && APP_StopFlag != 1) {
    SDL_WaitEventTimeout(nullptr, 17);
    SDL_HostPumpEvents();
    SDL_ScreenSnapAfterDrag();
    quit_on_signal();
    while (EVENTS_Paused && APP_StopFlag != 1 && serve(true)) {
    }
  }
  if (SOUND_Active) SOUND_Pause(0);
  MENU_EnablePauseItems(true);
  // However the pause ended, the next frame is drawn whole (no veil) and the
  // caption goes.
  APP_StoreLong(&SCREEN_RedrawRequest, 1);
  SCREEN_DrawStatusLine();
}

// Letting go drops the held pointer's motion not yet sent. The position
// noted last may be where the pointer was before the menus and the chooser
// (the modal loop takes their events): measured from it, the first motion
// after the load would carry the pointer's jump back into the picture.
void EVENTS_ForgetPointerMotion() {
  SDL_HostReleasePointer();
  pointer_x = pointer_y = -1;
}

void SDL_HostReleasePointer() {
  let_pointer_go();
  if (!cursor_shown) SDL_ShowCursor(SDL_ENABLE);
  cursor_shown = true;
}

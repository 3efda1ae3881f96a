// Host input as the keyboard processor's queue gets it, below any host's
// events: what the ST holds gets its release (Caps Lock, pause, Command),
// clicks with modifiers, relative packets, keycode mode, the VDI steering
// and the three keyboard joystick layouts. The windowed host's own tests
// (tests/sdl/) cover the same through SDL events, with focus loss and drops.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "host/events.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/shared/input.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "support/machine_fixture.h"

namespace {

using Bytes = std::vector<u8>;

class InputTest : public MachineMemoryTest {
 protected:
  void SetUp() override {
    MachineMemoryTest::SetUp();
    clear();
  }
  void TearDown() override { clear(); }
  static void clear() {
    INPUT_Reset();
    IKBD_PowerOn();
    IKBD_State.yOriginTop = 1;
    EVENTS_Paused = EVENTS_Suspended = EVENTS_VdiTracking = 0;
    EVENTS_LastMouseH = EVENTS_LastMouseV = 0;
    PREFS_PauseInBackground = MENU_STMouseDriver = 1;
    SCREEN_LineABase = 0;
    IKBD_JoyLayout = 1;
    IKBD_SetJoystickKeys();
  }
  static Bytes take() { return ikbd_take(); }
  // The ST's VDI cursor, at the line-A base `base`.
  static void cursor_at(u32 base, i32 x, i32 y) {
    MMU_RamBase[base - 0x158] = u8(x >> 8), MMU_RamBase[base - 0x157] = u8(x);
    MMU_RamBase[base - 0x156] = u8(y >> 8), MMU_RamBase[base - 0x155] = u8(y);
  }
  static void key(u32 code, bool down) {
    INPUT_HostKey(code, down);
    INPUT_Dispatch({down ? INPUT_Event::KeyDown : INPUT_Event::KeyUp, code, 'k', false,
                    INPUT_HostKeyDown(INPUT_KeyCommand), false});
  }
  static void button(u32 host, bool down, bool inContent = true, bool command = false,
                     bool control = false) {
    INPUT_Dispatch({down ? INPUT_Event::ButtonDown : INPUT_Event::ButtonUp, host, 0, inContent,
                    command, control});
  }
};

// A script: d/u key down/up (modifier keys too), c/C Caps Lock on/off (a
// poll), p paused, P the pause's end, R everything released (as pausing and
// focus loss do), b a click.
struct Step {
  char op;
  u32 code;
};

TEST_F(InputTest, KeysModifiersAndCapsLock) {
  const struct {
    const char* name;
    std::vector<Step> steps;
    Bytes expected;
  } cases[] = {
      {"right shift, control, option",
       {{'D', 0x3c}, {'D', 0x3e}, {'D', 0x3a}, {'U', 0x3a}, {'U', 0x3e}, {'U', 0x3c}},
       {0x2a, 0x1d, 0x38, 0xb8, 0x9d, 0xaa}},
      {"both shifts are one", {{'D', 0x38}, {'D', 0x3c}, {'U', 0x38}, {'U', 0x3c}}, {0x2a, 0xaa}},
      {"a make before caps lock gets its break", {{'d', 0x00}, {'c', 0}, {'u', 0x00}, {'C', 0}},
       {0x1e, 0x9e}},
      {"paused drops makes, not breaks", {{'d', 0x01}, {'p', 0}, {'d', 0x00}, {'u', 0x00}, {'u', 0x01}},
       {0x1f, 0x9f}},
      {"a break with command held", {{'d', 0x00}, {'D', 0x37}, {'u', 0x00}, {'U', 0x37}},
       {0x1e, 0x9e}},
      {"released all", {{'d', 0x00}, {'D', 0x38}, {'R', 0}, {'u', 0x00}, {'U', 0x38}},
       {0x1e, 0x2a, 0x9e, 0xaa}},
      {"shift held over a pause and caps lock comes back before the next key",
       {{'D', 0x38}, {'p', 0}, {'R', 0}, {'P', 0}, {'c', 0}, {'d', 0x01}, {'u', 0x01}, {'C', 0},
        {'d', 0x00}, {'u', 0x00}, {'U', 0x38}},
       {0x2a, 0xaa, 0x2a, 0x1e, 0x9e, 0xaa}},
      {"and before the next click", {{'D', 0x38}, {'R', 0}, {'b', 1}, {'U', 0x38}},
       {0x2a, 0xaa, 0x2a, 0xaa}},
      {"unmapped key", {{'d', 0x72}, {'u', 0x72}}, {0xff, 0xff}},
      {"F5 is F5 alone", {{'d', 0x60}, {'u', 0x60}}, {0x3f, 0xbf}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clear();
    bool caps = false;
    for (const Step& s : c.steps) {
      switch (s.op) {
        case 'd': key(s.code, true); break;
        case 'u': key(s.code, false); break;
        case 'D':
        case 'U': key(s.code, s.op == 'D'); break;
        case 'c':
        case 'C':
          caps = s.op == 'c';
          INPUT_PollModifiers(caps);
          break;
        case 'p': EVENTS_Paused = 1; break;
        case 'P': EVENTS_Paused = 0; break;
        case 'R': INPUT_ReleaseAll(); break;
        case 'b': button(s.code, true), button(s.code, false); break;
      }
    }
    EXPECT_EQ(take(), c.expected);
    EXPECT_FALSE(INPUT_AnythingHeld());
  }
}

TEST_F(InputTest, ClicksWithModifiers) {
  IKBD_State.mouseMode = 1;  // each button change is a packet: F8 | left << 1 | right, 0, 0
  const Bytes L = {0xfa, 0, 0}, R = {0xf9, 0, 0}, N = {0xf8, 0, 0};
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const struct {
    const char* name;
    u32 host;
    bool option, command, control, downInContent, upInContent;
    Bytes down, up;
  } cases[] = {
      {"plain", 1, false, false, false, true, true, L, N},
      {"control", 1, false, false, true, true, true, R, N},
      {"option double-clicks", 1, true, false, false, true, true, cat({L, N, L, N}), {}},
      {"option and command", 1, true, true, false, true, true, cat({R, N, R, N}), {}},
      {"command alone", 1, false, true, false, true, true, L, N},
      {"right button", 3, false, false, false, true, true, R, N},
      {"middle button", 2, false, false, false, true, true, {}, {}},
      {"released outside", 1, false, false, false, true, false, L, N},
      {"pressed outside", 1, false, false, false, false, true, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EVENTS_OptionDown = c.option;
    button(c.host, true, c.downInContent, c.command, c.control);
    EXPECT_EQ(take(), c.down);
    // The release follows the press, not the modifiers of the moment.
    button(c.host, false, c.upInContent, !c.command, !c.control);
    EXPECT_EQ(take(), c.up);
    EXPECT_FALSE(INPUT_AnythingHeld());
  }
  EVENTS_OptionDown = 0;
  EVENTS_Paused = 1;
  button(1, true);
  button(1, false);
  EXPECT_EQ(take(), Bytes{});
}

TEST_F(InputTest, PointerPacketsAndKeycodeMode) {
  IKBD_State.mouseMode = 1;
  INPUT_PollPointer({100, 100, true, true, false, 0, 0, 0, false});
  INPUT_Pointer p{110, 95, true, true, false, 0, 0, 0, false};
  INPUT_PointerResult r = INPUT_PollPointer(p);
  EXPECT_EQ(take(), (Bytes{0xf8, 0x0a, 0xfb}));
  EXPECT_TRUE(r.capture);
  EXPECT_FALSE(r.showCursor);

  p.captured = true;
  p.relH = 300;
  INPUT_PollPointer(p);
  EXPECT_EQ(take(), (Bytes{0xf8, 0x7f, 0, 0xf8, 0x7f, 0, 0xf8, 0x2e, 0}));
  p.relH = 0;
  EXPECT_TRUE(INPUT_PollPointer(p).capture);  // no motion, no packet
  EXPECT_EQ(take(), Bytes{});

  // Command lets the pointer go; outside the active area nothing is sent.
  p.relH = 5;
  EVENTS_CommandDown = 1;
  r = INPUT_PollPointer(p);
  EXPECT_FALSE(r.capture);
  EXPECT_TRUE(r.showCursor);
  EVENTS_CommandDown = 0;
  p = {500, 500, false, false, false, 0, 0, 0, false};
  EXPECT_FALSE(INPUT_PollPointer(p).capture);
  EXPECT_EQ(take(), Bytes{});

  // Keycode mode: left then down, each six makes and a break.
  IKBD_State.mouseMode = 3;
  INPUT_PollPointer({103, 98, true, true, false, 0, 0, 0, false});
  INPUT_PollPointer({100, 100, true, true, false, 0, 0, 0, false});
  Bytes expected(6, 0x4b);
  expected.push_back(0xcb);
  expected.insert(expected.end(), 6, 0x50);
  expected.push_back(0xd0);
  EXPECT_EQ(take(), expected);
  EXPECT_EQ(EVENTS_VdiStuckCount, 20);
  // Off the picture (the bar, another window in front, its border) the
  // keys stop; the motion over the border is not sent.
  for (const INPUT_Pointer& off : {INPUT_Pointer{90, -5, false, false, false, 0, 0, 0, false},
                                   INPUT_Pointer{90, 100, false, true, false, 0, 0, 0, false},
                                   INPUT_Pointer{90, 100, true, false, false, 0, 0, 0, false}})
    for (int frame = 0; frame < 3; ++frame) INPUT_PollPointer(off);
  EXPECT_EQ(take(), Bytes{});
}

// The pointer coming in (from beside the window, the bar, the status line,
// into a window that was behind, or free again after a capture) sends no
// motion: what follows is measured from where it came in.
TEST_F(InputTest, APointerComingInMovesTheStOnlyByItsMotionInside) {
  const struct {
    const char* from;
    INPUT_Pointer before;
    u32 mode;
    Bytes moved;  // the ST's bytes for 10 pixels right
  } cases[] = {
      {"left of the window", {-1, 100, false, false, false, 0, 0, 0, false}, 1, {0xf8, 10, 0}},
      {"the bar", {200, -1, false, false, false, 0, 0, 0, false}, 1, {0xf8, 10, 0}},
      {"the status line", {300, 405, false, false, false, 0, 0, 0, false}, 1, {0xf8, 10, 0}},
      {"a window in front", {40, 40, false, true, false, 0, 0, 0, false}, 1, {0xf8, 10, 0}},
      {"a capture", {0, 0, false, true, true, 0, 0, 0, false}, 1, {0xf8, 10, 0}},
      {"below, keycode mode", {150, 420, false, false, false, 0, 0, 0, false}, 3,
       {0x4d, 0x4d, 0x4d, 0x4d, 0x4d, 0x4d, 0xcd}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from);
    clear();
    IKBD_State.mouseMode = c.mode;
    INPUT_PollPointer({300, 180, true, true, false, 0, 0, 0, false});  // last seen far away
    for (int frame = 0; frame < 2; ++frame) INPUT_PollPointer(c.before);
    take();
    INPUT_PollPointer({100, 100, true, true, false, 0, 0, 0, false});
    EXPECT_EQ(take(), Bytes{});
    INPUT_PollPointer({110, 100, true, true, false, 0, 0, 0, false});
    EXPECT_EQ(take(), c.moved);
  }
}

TEST_F(InputTest, VdiSteering) {
  IKBD_State.mouseMode = 1;
  const u32 base = 0x2000;
  auto cursor_at = [&](i32 x, i32 y) { InputTest::cursor_at(base, x, y); };
  SCREEN_LineABase = base;
  EVENTS_VdiTracking = 1;
  const struct {
    u32 mode;
    i32 h, v, x, y, dx, dy;
  } cases[] = {
      {0, 100, 80, 50, 40, 17, 10},
      {1, 200, 159, 100, 40, 35, 10},
      {2, 100, 80, 50, 40, 49, 39},
      {3, 300, 10, 299, 40, 0, -31},
      {4, 165, 159, 40, 40, 10, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    cursor_at(c.x, c.y);
    EVENTS_VdiLastX = c.x + 1;  // it followed the last motion
    EVENTS_VdiLastY = c.y + 1;
    EVENTS_DeltaH = EVENTS_DeltaV = 1;
    const INPUT_PointerResult r =
        INPUT_PollPointer({c.h, c.v, true, true, false, 0, 0, c.mode, false});
    EXPECT_FALSE(r.capture);
    EXPECT_EQ(take(), (Bytes{0xf8, u8(c.dx), u8(c.dy)}));
    EXPECT_EQ(EVENTS_VdiTracking, 1u);
  }
  // A cursor that stops following gives the steering up after 4 frames, and
  // takes it back after 6 that follow.
  cursor_at(10, 10);
  EVENTS_VdiLastX = EVENTS_VdiLastY = 10;
  EVENTS_VdiStuckCount = 0;
  i32 h = 100;
  for (int i = 0; i < 4; ++i) INPUT_PollPointer({h += 5, 80, true, true, false, 0, 0, 0, false});
  EXPECT_EQ(EVENTS_VdiTracking, 0u);
  EXPECT_EQ(EVENTS_VdiStuckCount, 5);
  for (int i = 0; i < 6; ++i) {
    cursor_at(11 + i, 10);
    INPUT_PollPointer({h += 5, 80, true, true, false, 0, 0, 0, false});
  }
  EXPECT_EQ(EVENTS_VdiTracking, 1u);
  take();

  // Only a base with room below it inside RAM is read: else the pointer is captured.
  for (u32 bad : {0x100u, 0x157u, MMU_RamSize, 0xfffffeu}) {
    SCREEN_LineABase = bad;
    i32 x, y;
    EXPECT_FALSE(INPUT_ReadVdiCursor(x, y)) << bad;
    EXPECT_TRUE(INPUT_PollPointer({100, 80, true, true, false, 0, 0, 0, false}).capture);
  }
  SCREEN_LineABase = 0x158;
  i32 x, y;
  EXPECT_TRUE(INPUT_ReadVdiCursor(x, y));
}

// A restored machine gets no motion but what the user makes after the load:
// none measured from where the host pointer was before the menus and the
// chooser (its jump back into the picture), in relative or keycode mode;
// none from the follow test's frames before the load, which would take up the
// steering; and a steered ST pointer stays where the state has it until the
// host pointer moves.
TEST_F(InputTest, ARestoredMachineGetsOnlyTheMotionMadeAfterTheLoad) {
  const u32 base = 0x2000;
  const struct {
    const char* name;
    u32 mode;      // the keyboard processor's mouse mode
    bool vdi;      // the line-A base known
    u32 tracking;  // the VDI cursor seen to follow
    Bytes moved;   // the ST's bytes for the host pointer's 5 pixels right after the load
  } cases[] = {
      {"relative, the pointer free", 1, false, 0, {0xf8, 5, 0}},
      {"keycode mode", 3, false, 0, {0x4d, 0x4d, 0x4d, 0x4d, 0x4d, 0x4d, 0xcd}},
      {"steered: pulled under the host pointer once it moves", 1, true, 1, {0xf8, u8(122 - 200), u8(100 - 150)}},
      {"the follow test one frame short of steering", 1, true, 0, {0xf8, 5, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clear();
    IKBD_State.mouseMode = c.mode;
    SCREEN_LineABase = c.vdi ? base : 0;
    EVENTS_VdiTracking = c.tracking;
    // Moved over the picture before the load, the VDI cursor following.
    cursor_at(base, 50, 40);
    INPUT_PollPointer({100, 80, true, true, false, 0, 0, 0, false});
    cursor_at(base, 54, 40);
    INPUT_PollPointer({104, 80, true, true, false, 0, 0, 0, false});
    take();
    // The state's cursor is elsewhere; the host pointer comes back from the
    // chooser elsewhere too, and stays there a few frames.
    cursor_at(base, 200, 150);
    INPUT_StateRestored();
    for (int frame = 0; frame < 3; ++frame) INPUT_PollPointer({150, 130, true, true, false, 0, 0, 0, false});
    EXPECT_EQ(take(), Bytes{});
    INPUT_PollPointer({155, 130, true, true, false, 0, 0, 0, false});
    EXPECT_EQ(take(), c.moved);
  }
}

// The ST's pointer as the host follows it in each display mode: the motion sent, kept on the ST's screen,
// moves where it may be, and the host pointer stands over it (over its lowest row while that is not
// known); a reset of the machine or of the ST's mouse forgets it, the VDI's reading pins it.
TEST_F(InputTest, TheStPointerFollowsTheMotionSent) {
  IKBD_State.mouseMode = 1;
  MENU_STMouseDriver = 0;  // held, also where the VDI is read
  SCHED_FrameCount = 100;
  for (const auto& [mode, dx, dy, h, v, top] :
       {std::tuple{0u, 0, 0, 192, 229, false}, {0u, -50, -150, 167, 79, false}, {0u, 400, -49, 352, 30, true},
        {1u, 700, -300, 704, 59, true}, {2u, -20, 500, 310, 400, false}, {4u, 5, -5, 389, 447, false}}) {
    INPUT_PollPointer({0, 0, false, true, true, dx, dy, mode, false});
    i32 x, y;
    INPUT_StPointerInContent(mode, x, y);
    EXPECT_EQ(std::tuple(x, y, INPUT_StPointerAtTop(mode)), std::tuple(h, v, top)) << mode;
  }
  SCHED_FrameCount = 3;  // the machine was reset
  EXPECT_FALSE(INPUT_StPointerAtTop(1));
  SCREEN_LineABase = 0x2000;
  MMU_RamBase[0x2000 - 0x157] = 50, MMU_RamBase[0x2000 - 0x155] = 2;
  EVENTS_VdiTracking = 1;
  INPUT_PollPointer({0, 0, false, true, true, 3, -2, 0, false});
  EXPECT_TRUE(INPUT_StPointerAtTop(0));
  SCHED_FrameCount = 0;
  SCREEN_LineABase = 0;
  // The ST setting its mouse up (a mode, a position, a reset) forgets it; other commands do not.
  for (const auto& [command, forgets] :
       {std::pair{Bytes{0x08}, true}, {Bytes{0x09, 1, 0x3f, 0, 199}, true}, {Bytes{0x0a, 2, 2}, true},
        {Bytes{0x0e, 0, 0, 10, 0, 20}, true}, {Bytes{0x80, 1}, true}, {Bytes{0x80, 0}, false},
        {Bytes{0x0b, 1, 1}, false}, {Bytes{0x12}, false}, {Bytes{0x10}, false}}) {
    IKBD_State.mouseMode = 1;
    INPUT_PollPointer({0, 0, false, true, true, 0, -200, 0, false});
    ASSERT_TRUE(INPUT_StPointerAtTop(0));
    for (u8 b : command) IKBD_ReceiveCommandByte(b);
    EXPECT_EQ(INPUT_StPointerAtTop(0), !forgets) << int(command[0]);
  }
}

TEST_F(InputTest, KeyboardJoysticksInTheThreeLayouts) {
  // Per layout: stick 0's up and fire, stick 1's right.
  const struct {
    u32 layout, up0, fire0, right1;
  } layouts[] = {{1, 0x10, 0x3a, 0x29}, {2, 0x1f, 0x3a, 0x58}, {3, 0x1f, 0x3a, 0x7c}};
  for (const auto& l : layouts) {
    for (u32 mode : {2u, 0u}) {
      SCOPED_TRACE(testing::Message() << "layout " << l.layout << " mode " << mode);
      clear();
      IKBD_JoyLayout = l.layout;
      IKBD_SetJoystickKeys();
      IKBD_State.joystickMode = mode;
      IKBD_State.mouseMode = 0;
      IKBD_State.buttonsAsKeys = 1;  // a button is a key: 74/F4
      for (u32 k : {l.up0, l.fire0, l.right1}) INPUT_HostKey(k, true);
      INPUT_Poll(true, INPUT_Pointer{});
      INPUT_Poll(true, INPUT_Pointer{});  // nothing changed: nothing sent
      EXPECT_EQ(take(), (mode == 2 ? Bytes{0xfe, 0x81, 0xff, 0x08} : Bytes{0x74, 0x48, 0x4d}));
      INPUT_Poll(false, INPUT_Pointer{});  // Caps Lock off: what they hold is released
      EXPECT_EQ(take(), (mode == 2 ? Bytes{0xfe, 0x00, 0xff, 0x00} : Bytes{0xf4, 0xc8, 0xcd}));
    }
  }
}

}  // namespace

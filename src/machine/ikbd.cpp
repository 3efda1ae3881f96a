// The keyboard processor: the commands the ST sends it, key translation,
// mouse packets, the keyboard joysticks and its time-of-day clock.
#include <cstring>

#include "host/app.h"
#include "host/events.h"
#include "machine/acia.h"
#include "machine/ikbd.h"
#include "machine/shifter.h"

IKBD_StateWords IKBD_State;
u32 IKBD_ParamIndex;
u32 IKBD_DataToSkip;
u32 IKBD_Buttons[3];
u32 IKBD_PrevButtons[3];
u32 IKBD_MotionWords[4];
u32 IKBD_MouseSetCount;
IKBD_ClockRecord IKBD_ClockRef;
u32 IKBD_ClockSet;
u64 IKBD_ClockMark;
u32 IKBD_JoyState[2];
u32 IKBD_JoyKeys[10];
u32 IKBD_JoyLayout = 1;

namespace {

// Host virtual key code to ST scan code; -1 where the host key has none.
constexpr auto make_key_table() {
  struct Table {
    i8 v[0x7f];
  } t{};
  for (auto& e : t.v) e = -1;
  constexpr u8 pairs[][2] = {
      {0x00, 0x1e}, {0x01, 0x1f}, {0x02, 0x20}, {0x03, 0x21}, {0x04, 0x23}, {0x05, 0x22},
      {0x06, 0x2c}, {0x07, 0x2d}, {0x08, 0x2e}, {0x09, 0x2f}, {0x0a, 0x2b}, {0x0b, 0x30},
      {0x0c, 0x10}, {0x0d, 0x11}, {0x0e, 0x12}, {0x0f, 0x13}, {0x10, 0x15}, {0x11, 0x14},
      {0x12, 0x02}, {0x13, 0x03}, {0x14, 0x04}, {0x15, 0x05}, {0x16, 0x07}, {0x17, 0x06},
      {0x18, 0x0d}, {0x19, 0x0a}, {0x1a, 0x08}, {0x1b, 0x0c}, {0x1c, 0x09}, {0x1d, 0x0b},
      {0x1e, 0x1b}, {0x1f, 0x18}, {0x20, 0x16}, {0x21, 0x1a}, {0x22, 0x17}, {0x23, 0x19},
      {0x24, 0x1c}, {0x25, 0x26}, {0x26, 0x24}, {0x27, 0x28}, {0x28, 0x25}, {0x29, 0x27},
      {0x2a, 0x29}, {0x2b, 0x33}, {0x2c, 0x35}, {0x2d, 0x31}, {0x2e, 0x32}, {0x2f, 0x34},
      {0x30, 0x0f}, {0x31, 0x39}, {0x32, 0x60}, {0x33, 0x0e}, {0x35, 0x01}, {0x3c, 0x1d},
      {0x3d, 0x38}, {0x3f, 0x2a}, {0x41, 0x71}, {0x43, 0x66}, {0x45, 0x4e}, {0x47, 0x63},
      {0x4b, 0x65}, {0x4c, 0x72}, {0x4e, 0x4a}, {0x51, 0x64}, {0x52, 0x70}, {0x53, 0x6d},
      {0x54, 0x6e}, {0x55, 0x6f}, {0x56, 0x6a}, {0x57, 0x6b}, {0x58, 0x6c}, {0x59, 0x67},
      {0x5b, 0x68}, {0x5c, 0x69}, {0x60, 0x3f}, {0x61, 0x40}, {0x62, 0x41}, {0x63, 0x3d},
      {0x64, 0x42}, {0x65, 0x43}, {0x67, 0x36}, {0x6d, 0x44}, {0x6f, 0x62}, {0x76, 0x3e},
      {0x78, 0x3c}, {0x7a, 0x3b}, {0x7b, 0x4b}, {0x7c, 0x4d}, {0x7d, 0x50}, {0x7e, 0x48},
  };
  static_assert(sizeof pairs / sizeof pairs[0] == 90);
  for (const auto& p : pairs) t.v[p[0]] = i8(p[1]);
  return t;
}
constexpr auto key_table = make_key_table();

// Keyboard joystick layouts: fire0, up0, down0, left0, right0, fire1, up1,
// down1, left1, right1 (host virtual key codes).
constexpr u8 joy_layouts[3][10] = {
    {58, 16, 4, 5, 38, 12, 31, 37, 40, 41},
    {58, 31, 37, 40, 41, 82, 91, 84, 86, 88},
    {58, 31, 37, 40, 41, 59, 126, 125, 123, 124},
};
// Index into IKBD_JoyKeys of each stick's fire, up, down, left and right.
constexpr u8 joy_slot[2][5] = {{0, 3, 5, 7, 8}, {1, 2, 4, 6, 9}};

u8 bcd(u32 x) { return u8(((x / 10) % 10) << 4 | (x % 10)); }
u32 from_bcd(u32 b) { return ((b >> 4) & 15) * 10 + (b & 15); }

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
i64 days_from_civil(i64 y, u32 m, u32 d) {
  y -= m <= 2;
  const i64 era = (y >= 0 ? y : y - 399) / 400;
  const u32 yoe = u32(y - era * 400);
  const u32 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const u32 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + i64(doe) - 719468;
}
void civil_from_days(i64 z, i64& y, u32& m, u32& d) {
  z += 719468;
  const i64 era = (z >= 0 ? z : z - 146096) / 146097;
  const u32 doe = u32(z - era * 146097);
  const u32 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const u32 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const u32 mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = i64(yoe) + era * 400 + (m <= 2);
}

u32 clamp_u(u32 v, u32 lo, u32 hi) { return v < lo ? lo : v > hi ? hi : v; }

// Command 0x1b: the six BCD bytes become the clock's reference time.
void set_clock(const u32* p) {
  const u32 yy = from_bcd(p[0]) % 100;
  IKBD_ClockRef.year = i16(yy < 80 ? 2000 + yy : 1900 + yy);
  IKBD_ClockRef.month = i16(clamp_u(from_bcd(p[1]), 1, 12));
  IKBD_ClockRef.day = i16(clamp_u(from_bcd(p[2]), 1, 31));
  IKBD_ClockRef.hour = i16(clamp_u(from_bcd(p[3]), 0, 23));
  IKBD_ClockRef.minute = i16(clamp_u(from_bcd(p[4]), 0, 59));
  IKBD_ClockRef.second = i16(clamp_u(from_bcd(p[5]), 0, 59));
  IKBD_ClockSet = 1;
  IKBD_ClockMark = HOST_Microseconds();
}

}  // namespace

IKBD_ClockRecord IKBD_ClockNow() {
  if (!IKBD_ClockSet) return IKBD_ClockRef;
  const IKBD_ClockRecord& r = IKBD_ClockRef;
  const i64 base = days_from_civil(r.year, u32(r.month), u32(r.day)) * 86400 + r.hour * 3600 +
                   r.minute * 60 + r.second;
  const u64 now = HOST_Microseconds();
  const i64 t = base + i64((now > IKBD_ClockMark ? now - IKBD_ClockMark : 0) / 1000000);
  i64 days = t / 86400, secs = t % 86400;
  if (secs < 0) {
    secs += 86400;
    days -= 1;
  }
  i64 year;
  u32 month, day;
  civil_from_days(days, year, month, day);
  return {i16(year), i16(month), i16(day), i16(secs / 3600), i16(secs / 60 % 60), i16(secs % 60),
          r.dayOfWeek};
}

namespace {

// Command 0x1c: the time the ST set plus the host time since, or the host's
// local time while the ST has set none.
void report_clock() {
  i64 year;
  u32 month, day, hour, minute, second;
  const auto take = [&](const auto& t) {
    year = t.year;
    month = u32(t.month);
    day = u32(t.day);
    hour = u32(t.hour);
    minute = u32(t.minute);
    second = u32(t.second);
  };
  if (IKBD_ClockSet)
    take(IKBD_ClockNow());
  else
    take(HOST_LocalTime());
  IKBD_QueueByte(0xfc);
  IKBD_QueueByte(bcd(u32(((year % 100) + 100) % 100)));
  IKBD_QueueByte(bcd(month));
  IKBD_QueueByte(bcd(day));
  IKBD_QueueByte(bcd(hour));
  IKBD_QueueByte(bcd(minute));
  IKBD_QueueByte(bcd(second));
}

void report_joysticks() {
  IKBD_JoyState[0] = IKBD_JoystickByte(0);
  IKBD_JoyState[1] = IKBD_JoystickByte(1);
  IKBD_QueueByte(0xfd);
  IKBD_QueueByte(u8(IKBD_JoyState[0]));
  IKBD_QueueByte(u8(IKBD_JoyState[1]));
}

void reset_processor() {
  IKBD_Queue[0] = 0xf0;
  IKBD_QueueCount = 1;
  IKBD_QueueHead = 1;
  ACIA_KbdRegs[3] = 0xf0;
  ACIA_RaiseKeyboardIRQ();
  IKBD_StateWords& s = IKBD_State;
  s.mouseMode = 1;
  ++IKBD_MouseSetCount;
  s.buttonsAsKeys = 0;
  s.buttonAction = 0;
  s.joystickMode = 2;
  s.outputEnabled = 1;
  s.yOriginTop = 1;
  s.reserved = 0;
  s.paramsOutstanding = 0;
  IKBD_DataToSkip = 0;
  IKBD_ClockSet = 0;
  const i16 dow = IKBD_ClockRef.dayOfWeek;
  IKBD_ClockRef = {};
  IKBD_ClockRef.dayOfWeek = dow;
}

u8 mouse_header() { return u8(0xf8 | (IKBD_Buttons[0] ? 2 : 0) | (IKBD_Buttons[1] ? 1 : 0)); }

void push_packet(u8 header, i32 x, i32 y) {
  IKBD_QueueByte(header);
  IKBD_QueueByte(u8(x));
  IKBD_QueueByte(u8(y));
}

// Parameter bytes of each command that takes any.
u32 param_count(u32 command) {
  switch (command) {
    case 0x07: case 0x17: case 0x80: return 1;
    case 0x0a: case 0x0b: case 0x0c: case 0x21: case 0x22: return 2;
    case 0x20: return 3;
    case 0x09: return 4;
    case 0x0e: return 5;
    case 0x19: case 0x1b: return 6;
    default: return 0;
  }
}

// A command's action once its last parameter came.
void run_with_params(u32 command, const u32* p) {
  IKBD_StateWords& s = IKBD_State;
  switch (command) {
    case 0x07:
      if (p[0] & 4) {
        s.buttonsAsKeys = 1;
      } else {
        s.buttonAction = p[0] & 3;
        s.buttonsAsKeys = 0;
      }
      break;
    case 0x09: case 0x0e: ++IKBD_MouseSetCount; break;
    case 0x0a:
      ++IKBD_MouseSetCount;
      s.mouseMode = 3;
      s.keycodeDeltaX = p[0];
      s.keycodeDeltaY = p[1];
      break;
    case 0x0b:
      s.thresholdX = p[0];
      s.thresholdY = p[1];
      break;
    case 0x1b: set_clock(p); break;
    case 0x20: IKBD_DataToSkip = p[2]; break;  // the memory-load data that follows
    case 0x80:
      if (p[0] == 0x01) reset_processor();
      break;
    default: break;  // parameters consumed, no action
  }
}

// A command without parameters, or the start of one with parameters.
void run_immediate(u32 command) {
  IKBD_StateWords& s = IKBD_State;
  switch (command) {
    case 0x08:
      ++IKBD_MouseSetCount;
      s.mouseMode = 1;
      EVENTS_VdiTracking = 0;
      break;
    case 0x0d: IKBD_ReportAbsoluteMouse(); break;
    case 0x0f: s.yOriginTop = 0; break;
    case 0x10: s.yOriginTop = 1; break;
    case 0x11: s.outputEnabled = 1; break;
    case 0x12: s.mouseMode = 0; break;
    case 0x13: s.outputEnabled = 0; break;
    case 0x14: s.joystickMode = 2; break;
    case 0x15:
      s.joystickMode = 3;
      report_joysticks();
      break;
    case 0x16: report_joysticks(); break;
    case 0x18: s.joystickMode = 1; break;
    case 0x1a: s.joystickMode = 0; break;
    case 0x1c: report_clock(); break;
    default: break;
  }
}

}  // namespace

void IKBD_PowerOn() {
  IKBD_State = {};
  IKBD_ParamIndex = 0;
  IKBD_DataToSkip = 0;
  IKBD_QueueCount = 0;
  IKBD_QueueHead = 0;
  // The ring's old bytes would go into a saved state (which holds the whole
  // ring), though never read again.
  std::memset(IKBD_Queue, 0, sizeof IKBD_Queue);
  IKBD_LastRead[0] = 0;
  IKBD_LastRead[1] = 0xffffffff;
  std::memset(IKBD_Buttons, 0, sizeof IKBD_Buttons);
  std::memset(IKBD_PrevButtons, 0, sizeof IKBD_PrevButtons);
  std::memset(IKBD_MotionWords, 0, sizeof IKBD_MotionWords);
  IKBD_ClockRef = {};
  IKBD_ClockSet = 0;
  IKBD_ClockMark = 0;
  IKBD_JoyState[0] = IKBD_JoyState[1] = 0;
}

void IKBD_ReceiveCommandByte(u8 byte) {
  if (IKBD_DataToSkip) {
    IKBD_DataToSkip -= 1;
    return;
  }
  IKBD_StateWords& s = IKBD_State;
  if (s.paramsOutstanding) {
    if (IKBD_ParamIndex < 8) s.params[IKBD_ParamIndex++] = byte;
    if (--s.paramsOutstanding == 0) {
      IKBD_ParamIndex = 0;
      run_with_params(s.command, s.params);
    }
    return;
  }
  if (byte < 0x07 || byte > 0x9a) return;
  s.command = byte;
  IKBD_ParamIndex = 0;
  s.paramsOutstanding = param_count(byte);
  if (s.paramsOutstanding == 0) run_immediate(byte);
}

i32 IKBD_MacKeyToScancode(u32 code) { return code < 0x7f ? key_table.v[code] : -1; }

void IKBD_PostKeyAlways(u32 message, u32 down) {
  const i32 sc = IKBD_MacKeyToScancode((message >> 8) & 0xff);
  if (sc < 0) {
    IKBD_QueueByte(0xff);
    return;
  }
  IKBD_QueueByte(u8(sc | (down ? 0 : 0x80)));
}

void IKBD_PostKey(u32 message, u32 down) {
  if (EVENTS_CapsLock) return;
  IKBD_PostKeyAlways(message, down);
}

void IKBD_SendRelativeMouse(i32 dx, i32 dy) {
  if (IKBD_State.yOriginTop == 0) dy = -dy;
  const u8 header = mouse_header();
  auto chunk = [](i32 rest) { return rest < -128 ? -128 : rest > 127 ? 127 : rest; };
  auto out_of_range = [](i32 v) { return v < -128 || v > 127; };
  // Each packet carries as much of each axis's remainder as fits.
  while (out_of_range(dx) || out_of_range(dy)) {
    const i32 cx = chunk(dx), cy = chunk(dy);
    push_packet(header, cx, cy);
    dx -= cx;
    dy -= cy;
  }
  if (dx || dy) push_packet(header, dx, dy);
  IKBD_MotionWords[0] = IKBD_MotionWords[2];
  IKBD_MotionWords[1] = IKBD_MotionWords[3];
}

void IKBD_ReportAbsoluteMouse() {
  const i32 maxX = SHIFTER_Resolution == 0 ? 320 : 640;
  const i32 maxY = SHIFTER_Resolution == 2 ? 400 : 200;
  IKBD_State.mouseMode = 0x45;
  IKBD_QueueByte(0xf7);
  i32 x, y;
  EVENTS_GetMouse(x, y);
  x = x < 0 ? 0 : x > maxX ? maxX : x;
  y = y < 0 ? 0 : y > maxY ? maxY : y;
  const bool left = IKBD_Buttons[0], right = IKBD_Buttons[1];
  const bool prevLeft = IKBD_PrevButtons[0], prevRight = IKBD_PrevButtons[1];
  u8 buttons = 0;
  if (right && !prevRight) buttons |= 1;
  if (!(!prevLeft && left)) buttons |= 2;
  if (left && !prevLeft) buttons |= 4;
  if (!left) buttons |= 8;
  IKBD_QueueByte(buttons);
  IKBD_QueueByte(u8(x >> 8));
  IKBD_QueueByte(u8(x));
  if (IKBD_State.yOriginTop != 1) y = maxY - y;
  IKBD_QueueByte(u8(y >> 8));
  IKBD_QueueByte(u8(y));
  std::memcpy(IKBD_PrevButtons, IKBD_Buttons, sizeof IKBD_Buttons);
  IKBD_State.mouseMode = 0x45;
}

void IKBD_MouseButton(u32 button, u32 down) {
  if (button != 1 && button != 2) return;
  IKBD_Buttons[button - 1] = down ? 1 : 0;
  if (IKBD_State.mouseMode == 1) {
    push_packet(mouse_header(), i32(IKBD_MotionWords[2] - IKBD_MotionWords[0]),
                i32(IKBD_MotionWords[3] - IKBD_MotionWords[1]));
    IKBD_MotionWords[0] = IKBD_MotionWords[2];
    IKBD_MotionWords[1] = IKBD_MotionWords[3];
  }
  if (IKBD_State.buttonsAsKeys == 1 || IKBD_State.mouseMode == 3)
    IKBD_QueueByte(u8(down ? 0x73 + button : button - 13));
}

u32 IKBD_IsMacKeyDown(u32 code) {
  if (code > 127) return 0;
  u8 map[16];
  EVENTS_GetKeys(map);
  return (map[code >> 3] >> (code & 7)) & 1;
}

void IKBD_SetJoystickKeys() {
  if (IKBD_JoyLayout < 1 || IKBD_JoyLayout > 3) return;
  const u8* l = joy_layouts[IKBD_JoyLayout - 1];
  for (u32 stick = 0; stick < 2; ++stick)
    for (u32 k = 0; k < 5; ++k) IKBD_JoyKeys[joy_slot[stick][k]] = l[stick * 5 + k];
}

u8 IKBD_JoystickByte(u32 stick) {
  const u8* slot = joy_slot[stick & 1];
  auto down = [&](u32 k) { return IKBD_IsMacKeyDown(IKBD_JoyKeys[slot[k]]); };
  return u8(down(0) << 7 | down(4) << 3 | down(3) << 2 | down(2) << 1 | down(1));
}

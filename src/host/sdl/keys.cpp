// The table from SDL's scancodes to the original platform's virtual key
// codes. Most rows are the key in the same place on an ANSI keyboard; three
// are chosen for the ST key they reach: the key left of 1 is the ST's `~,
// the backslash keys (ANSI above Return, ISO beside it) the ST's \, and the
// ISO key left of Z the ST's own key there.
#include "host/sdl/keys.h"

#include "host/shared/input.h"

namespace {

struct Row {
  SDL_Scancode scancode;
  u32 code;
};

constexpr u32 st(u32 scan) { return INPUT_StKey + scan; }

constexpr Row keys[] = {
    // Letters
    {SDL_SCANCODE_A, 0x00}, {SDL_SCANCODE_S, 0x01}, {SDL_SCANCODE_D, 0x02},
    {SDL_SCANCODE_F, 0x03}, {SDL_SCANCODE_H, 0x04}, {SDL_SCANCODE_G, 0x05},
    {SDL_SCANCODE_Z, 0x06}, {SDL_SCANCODE_X, 0x07}, {SDL_SCANCODE_C, 0x08},
    {SDL_SCANCODE_V, 0x09}, {SDL_SCANCODE_B, 0x0b}, {SDL_SCANCODE_Q, 0x0c},
    {SDL_SCANCODE_W, 0x0d}, {SDL_SCANCODE_E, 0x0e}, {SDL_SCANCODE_R, 0x0f},
    {SDL_SCANCODE_Y, 0x10}, {SDL_SCANCODE_T, 0x11}, {SDL_SCANCODE_O, 0x1f},
    {SDL_SCANCODE_U, 0x20}, {SDL_SCANCODE_I, 0x22}, {SDL_SCANCODE_P, 0x23},
    {SDL_SCANCODE_L, 0x25}, {SDL_SCANCODE_J, 0x26}, {SDL_SCANCODE_K, 0x28},
    {SDL_SCANCODE_N, 0x2d}, {SDL_SCANCODE_M, 0x2e},
    // Digits
    {SDL_SCANCODE_1, 0x12}, {SDL_SCANCODE_2, 0x13}, {SDL_SCANCODE_3, 0x14},
    {SDL_SCANCODE_4, 0x15}, {SDL_SCANCODE_5, 0x17}, {SDL_SCANCODE_6, 0x16},
    {SDL_SCANCODE_7, 0x1a}, {SDL_SCANCODE_8, 0x1c}, {SDL_SCANCODE_9, 0x19},
    {SDL_SCANCODE_0, 0x1d},
    // Punctuation of ANSI and ISO keyboards
    {SDL_SCANCODE_MINUS, 0x1b}, {SDL_SCANCODE_EQUALS, 0x18},
    {SDL_SCANCODE_LEFTBRACKET, 0x21}, {SDL_SCANCODE_RIGHTBRACKET, 0x1e},
    {SDL_SCANCODE_SEMICOLON, 0x29}, {SDL_SCANCODE_APOSTROPHE, 0x27},
    {SDL_SCANCODE_COMMA, 0x2b}, {SDL_SCANCODE_PERIOD, 0x2f}, {SDL_SCANCODE_SLASH, 0x2c},
    {SDL_SCANCODE_GRAVE, 0x2a}, {SDL_SCANCODE_BACKSLASH, 0x0a}, {SDL_SCANCODE_NONUSHASH, 0x0a},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x32},
    // Editing and whitespace
    {SDL_SCANCODE_RETURN, 0x24}, {SDL_SCANCODE_TAB, 0x30}, {SDL_SCANCODE_SPACE, 0x31},
    {SDL_SCANCODE_BACKSPACE, 0x33}, {SDL_SCANCODE_ESCAPE, 0x35},
    // Function keys; F11 and F12 stand in for Undo and Help
    {SDL_SCANCODE_F1, 0x7a}, {SDL_SCANCODE_F2, 0x78}, {SDL_SCANCODE_F3, 0x63},
    {SDL_SCANCODE_F4, 0x76}, {SDL_SCANCODE_F5, 0x60}, {SDL_SCANCODE_F6, 0x61},
    {SDL_SCANCODE_F7, 0x62}, {SDL_SCANCODE_F8, 0x64}, {SDL_SCANCODE_F9, 0x65},
    {SDL_SCANCODE_F10, 0x6d}, {SDL_SCANCODE_F11, st(0x61)}, {SDL_SCANCODE_F12, 0x6f},
    // The ST's keys above the arrows; Page Up and Page Down are Help and Undo too
    {SDL_SCANCODE_INSERT, st(0x52)}, {SDL_SCANCODE_HOME, st(0x47)},
    {SDL_SCANCODE_DELETE, st(0x53)}, {SDL_SCANCODE_PAGEUP, 0x6f},
    {SDL_SCANCODE_PAGEDOWN, st(0x61)},
    // Arrows
    {SDL_SCANCODE_LEFT, 0x7b}, {SDL_SCANCODE_RIGHT, 0x7c}, {SDL_SCANCODE_DOWN, 0x7d},
    {SDL_SCANCODE_UP, 0x7e},
    // Keypad; Num Lock sits where Clear is, the ST's ( there
    {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_1, 0x53}, {SDL_SCANCODE_KP_2, 0x54},
    {SDL_SCANCODE_KP_3, 0x55}, {SDL_SCANCODE_KP_4, 0x56}, {SDL_SCANCODE_KP_5, 0x57},
    {SDL_SCANCODE_KP_6, 0x58}, {SDL_SCANCODE_KP_7, 0x59}, {SDL_SCANCODE_KP_8, 0x5b},
    {SDL_SCANCODE_KP_9, 0x5c}, {SDL_SCANCODE_KP_PERIOD, 0x41},
    {SDL_SCANCODE_KP_MULTIPLY, 0x43}, {SDL_SCANCODE_KP_PLUS, 0x45},
    {SDL_SCANCODE_KP_DIVIDE, 0x4b}, {SDL_SCANCODE_KP_ENTER, 0x4c},
    {SDL_SCANCODE_KP_MINUS, 0x4e}, {SDL_SCANCODE_KP_EQUALS, 0x51},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x47}, {SDL_SCANCODE_KP_LEFTPAREN, st(0x63)},
    {SDL_SCANCODE_KP_RIGHTPAREN, st(0x64)},
};

constexpr Row modifiers[] = {
    {SDL_SCANCODE_LSHIFT, INPUT_KeyShift},     {SDL_SCANCODE_RSHIFT, INPUT_KeyRightShift},
    {SDL_SCANCODE_LCTRL, INPUT_KeyControl},    {SDL_SCANCODE_RCTRL, INPUT_KeyRightControl},
    {SDL_SCANCODE_LALT, INPUT_KeyOption},      {SDL_SCANCODE_RALT, INPUT_KeyCommand},
    {SDL_SCANCODE_LGUI, INPUT_KeyCommand},     {SDL_SCANCODE_RGUI, INPUT_KeyCommand},
    {SDL_SCANCODE_CAPSLOCK, 0x39},
};

struct Table {
  EVENTS_Key entry[SDL_NUM_SCANCODES];
};

constexpr Table make_table() {
  Table t{};
  for (const Row& r : keys) t.entry[r.scancode] = {r.code, false, true};
  for (const Row& r : modifiers) t.entry[r.scancode] = {r.code, true, true};
  return t;
}
constexpr Table table = make_table();

}  // namespace

EVENTS_Key EVENTS_KeyOf(SDL_Scancode scancode) {
  const u32 s = u32(scancode);
  return s < SDL_NUM_SCANCODES ? table.entry[s] : EVENTS_Key{0, false, false};
}

// The host's input as the ST gets it, the same for every host with a
// window: the host key map, the makes and presses the ST has been sent, the
// dispatch of key, button and focus events (the modifier keys among them),
// the per-frame poll of Caps Lock, the pointer (captured, VDI-steered or keycode mode) and the
// keyboard joysticks, and the two requests a desktop makes of the program:
// documents to open and quit.
//
// Keys are the original platform's virtual key codes, which the keyboard
// processor translates to ST scan codes (machine/ikbd.h); a host turns its
// own key events into them. The ST never misses the end of what it was told:
// every make that reached it gets its break and every press its release,
// whatever is paused, held or focused at the time; only new makes and
// presses are dropped. Pausing, going to the background and losing the
// keyboard focus release everything held.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"

class FILES_HeldEntry;

// Codes from 0x80 on stand for the ST key of scan code (code - 0x80)
// itself: keys the ST has and the original platform's keyboards give no
// code for (Undo, Insert, Clr/Home, Delete, the keypad's brackets).
constexpr u32 INPUT_StKey = 0x80;

// Virtual key codes the poll reads (the host's own modifier keys) and the
// codes whose table entries carry the ST's Shift, Control and Alternate.
enum : u32 {
  INPUT_KeyCommand = 0x37,
  INPUT_KeyShift = 0x38,
  INPUT_KeyOption = 0x3a,
  INPUT_KeyControl = 0x3b,
  INPUT_KeyRightShift = 0x3c,
  INPUT_KeyRightControl = 0x3e,
  INPUT_StShift = 0x3f,
  INPUT_StControl = 0x3c,
  INPUT_StAlternate = 0x3d,
};

// Last seen state of each modifier (1 down), Caps Lock's, and whether a
// Control-click pressed the ST's right button.
extern u32 EVENTS_ShiftDown, EVENTS_ControlDown, EVENTS_OptionDown, EVENTS_CommandDown;
extern u32 EVENTS_CapsPrevious;
extern u32 EVENTS_RightButtonHeld;
// The pointer's motion of this frame and of the one before, the ST's VDI
// cursor as last read, and the follow test's count.
extern i32 EVENTS_DeltaH, EVENTS_DeltaV, EVENTS_PrevDeltaH, EVENTS_PrevDeltaV;
extern i32 EVENTS_VdiLastX, EVENTS_VdiLastY, EVENTS_VdiStuckCount;
// The "Enable ST mouse driver" option: steer the ST's VDI cursor to the host
// pointer instead of capturing it, once the cursor is seen to follow.
extern u32 MENU_STMouseDriver;

// ---- The host key map ----------------------------------------------------------

// One host key went down or up. Several host keys may give one code: the
// code is down while any of them is (EVENTS_KeyMap).
void INPUT_HostKey(u32 code, bool down);
bool INPUT_HostKeyDown(u32 code);
// Shift, Control and Option (left or right): their events go to the ST as
// its Shift, Control and Alternate, in order with the keys around them.
bool INPUT_IsModifierKey(u32 code);
// Every host key up (the host lost the keyboard).
void INPUT_ClearHostKeys();

// ---- What the ST was sent --------------------------------------------------------

// A make through the keyboard processor (dropped, and not remembered, while
// Caps Lock is on); the break of a remembered make, whatever the state. Any
// code below 0x100.
void INPUT_KeyMake(u32 code);
void INPUT_KeyBreak(u32 code);
// ST button 1 (left) or 2 (right) pressed on behalf of host button `host`
// (1-3); its release when that host button comes up.
void INPUT_ButtonPress(u32 host, u32 button);
void INPUT_ButtonRelease(u32 host);
// Breaks, releases and stick releases for everything the ST holds; a
// modifier still held goes to the ST again before its next key or click.
void INPUT_ReleaseAll();
// Whether anything is held on the ST.
bool INPUT_AnythingHeld();
// Forgets every key, press and modifier without telling the ST, and a
// floppy waiting for its drive (start-up).
void INPUT_Reset();

// ---- Events ------------------------------------------------------------------------

struct INPUT_Event {
  enum Kind : u8 { None, KeyDown, KeyUp, ButtonDown, ButtonUp, FocusLost, FocusGained } kind;
  u32 code;       // keys: virtual key code; buttons: host button 1 left, 2 middle, 3 right
  u8 character;   // keys: the character, for Command shortcuts (0 none)
  bool inContent; // buttons: on the window's content
  bool command;   // Command held at the event
  bool control;   // Control held at the event
};

// Called with the character of a key pressed with Command (the menus'
// shortcuts); none until the menus install it.
extern void (*EVENTS_MenuKeyHook)(u8 character);

// The running machine's dispatch, and the pause loop's (keys only for the
// menus, no clicks on the picture).
void INPUT_Dispatch(const INPUT_Event& e);
void INPUT_DispatchPaused(const INPUT_Event& e);

// ---- The per-frame poll ------------------------------------------------------------

// Caps Lock's lock state and Command from the host key map, both only
// noted (the modifier keys the ST has come as events).
void INPUT_PollModifiers(bool capsLock);

// The host pointer as the poll sees it.
struct INPUT_Pointer {
  i32 h, v;        // content coordinates
  bool inActive;   // over the picture or its borders, not the status line, window in front
  bool inPicture;  // over the ST picture itself (SCREEN_PictureRect)
  bool captured;   // held since the last poll: relH, relV are its motion (and it counts as inside)
  i32 relH, relV;
  u32 displayMode;  // the screen's display mode (0 low, 1 medium, 2 high, 3 big, 4 low doubled)
  bool fullScreen;
};
struct INPUT_PointerResult {
  bool capture;     // hold the pointer (relative motion) from now on
  bool showCursor;  // the host's cursor visible over the window
};
// Relative packets, VDI steering or keycode-mode cursor keys from the
// pointer's motion, as the keyboard processor's mouse mode asks. A free
// pointer's motion is measured from the last poll only while it stays in the
// active area: the poll it comes in at has none.
INPUT_PointerResult INPUT_PollPointer(const INPUT_Pointer& p);
// The keyboard joysticks while Caps Lock is on: mouse buttons and cursor
// keys with joysticks off, packets in event reporting. When Caps Lock goes
// off, what they hold is released.
void INPUT_PollJoysticks();

// The whole poll of a frame: nothing while paused or in the background,
// else the modifiers, the pointer and the joysticks.
INPUT_PointerResult INPUT_Poll(bool capsLock, const INPUT_Pointer& p);

// The ST's VDI cursor position: false when the Line-A base is unknown or
// does not lie far enough inside RAM to hold it.
bool INPUT_ReadVdiCursor(i32& x, i32& y);

// ---- Where the ST's pointer is -----------------------------------------------------

// The host follows the ST's pointer as far as it can tell, per axis the
// positions on the ST's screen it may be at: read from the VDI while its
// cursor is seen to follow, else moved by the relative motion the poll
// sends, kept on the screen as the ST's own driver keeps it. Nothing is
// known (the whole screen) at first, after a reset of the machine or a
// restored state, in another display mode, and once the ST sets its mouse
// up again (IKBD_MouseSetCount changed: GEM's start centres its pointer).
//
// Whether it is surely on its screen's top row: only then does a held
// pointer moved onto the menu bar leave the window.
bool INPUT_StPointerAtTop(u32 displayMode);
// Where the host pointer stands over it, in content coordinates: over its
// column, or the middle of those it may be in, and its row, or the lowest it
// may be on (so that moving up, the ST's pointer reaches its top row before
// the host's reaches the window's top).
void INPUT_StPointerInContent(u32 displayMode, i32& h, i32& v);
// The ST may have put its pointer anywhere (a state was restored).
void INPUT_ForgetStPointer();

// ---- Documents and quit -----------------------------------------------------------------

// The documents a desktop asks to open (dropped on the window or named on
// the command line): a 192 or 256 KB file is a TOS image, loaded and
// restarted; any other is a floppy image for drive A, the second one for
// drive B (B also for a lone one with Command held); from the third on
// they are ignored. A gzip-compressed image is unpacked first. Each floppy
// image goes in as INPUT_PutDisk puts it; with a TOS image in the same
// drop, every image goes in at once (the restarted ST has read no disk). A
// file the TOS loader refuses changes nothing: an alert says why. Named on
// the command line
// (`atStart`) of a start that took up the automatic state, the very image
// (the same file) a drive of the restored machine holds leaves that drive as
// it is: the restored ST may be in the middle of writing it.
void APP_OpenDocuments(const std::vector<std::string>& paths, bool command, bool atStart = false);

// The one way the user's floppy goes into a drive (a drop, the command
// line, the menu): a file that can't go in (DISKIMG_CheckImage) changes
// nothing, and an alert says why and that the drive keeps its disk; else
// the disk in the drive comes out at once, and the new one goes in as soon
// as the ST has seen the drive empty (DISKIMG_MayInsert: at once when it
// has), waiting meanwhile (the menus show it). False when it can't go in.
bool INPUT_PutDisk(char drive, const std::string& path);
// Once an emulated frame (each host's pointer poll): the waiting floppies
// go in once their drives may take them, and a quit that waited for them
// follows. Now and then, a refused or restored state held since the start
// (or `U`) that the user removed is let go, so that its space is freed
// while the machine runs.
void INPUT_DiskSwapFrame();
// A quit waits for the floppies at most this long (host microseconds; a
// swap takes DISKIMG_SwapFrames, 1.28 s at the ST's own pace): past it,
// INPUT_QuitIfOverdue quits with them left out (they wait on when the user
// goes back to the machine from what can't be saved). The host calls it while
// INPUT_QuitWaiting, also from inside long work that holds the frames back.
constexpr u64 INPUT_QuitWaitLimit = 2000000;
bool INPUT_QuitWaiting();
void INPUT_QuitIfOverdue();
// The drives with a floppy waiting (bit 0 A, bit 1 B).
u32 INPUT_PendingDisks();
// Forgets the floppy waiting for `drive` ('A' or 'B'): false when none was.
bool INPUT_CancelPendingDisk(char drive);
// After a state was restored: the ST's pointer may be anywhere, and it gets
// no motion but what the user makes from now on (none the host took in
// before, none from where the pointer was before the menus and the chooser,
// none of the VDI steering until the pointer moves); a floppy waiting for a
// drive goes in only after the restored ST has seen that drive empty (one
// waiting for a drive the state filled is forgotten: the state's own disk
// is there).
void INPUT_StateRestored();

// Sets what lies under `path` aside as "PATH (refused)" (FILES_SetAside),
// and what the machine took from it follows it: a floppy waiting for a
// drive (the file itself, or one in a folder of that name or a link's
// folder), a drive's disk and the TOS in place, whose names no longer lead
// to them, are known by the names under the new one that do, so that a
// state saved next names them where they are. Nothing is set aside that a
// hard disk's or the cartridge's image name passes through
// (HOLDERS_Through), which the next start would no longer find. Returns
// the new name, or an empty string and why in `error`.
std::string INPUT_SetAsideRefused(const std::string& path, std::string& error);

// What a save at `path` would replace of the file refused under that name
// that `refused` holds: none of it; the file itself (written into, or moved
// with a link to it put in its place); or the file put in its place since
// by another program (its new version of it, saved as a new file, or a
// state moved back). A state this machine saved under the name lets the
// refused file go (APP_StateSaved, DEBUG_StateSaved): it is written over as
// it would be without the refusal.
enum class INPUT_Refused { None, Itself, Replaced };
INPUT_Refused INPUT_RefusedAt(const FILES_HeldEntry& refused, const char* path);
// Whether a save at `path` would replace what was refused under `name`
// (which `refused` holds), where `path`'s links end: the refused file, what
// was put in its place since and is no saved state, or what a refused link
// leads to (for a link held alone, INPUT_RefusedLinkOpen, the user's: a
// save of the user's there replaces nothing refused, but no other save is
// made through the link).
bool INPUT_LeadsToRefused(const FILES_HeldEntry& refused, const char* name, const char* path);
// Whether what was refused under `name` (still the entry `refused` holds)
// is a symbolic link that leads nowhere (it never did, or its file was
// removed since) or is held alone since a state was saved there so: a state
// the machine saves where it leads then is the user's, and replaces nothing
// refused.
bool INPUT_RefusedLinkOpen(const FILES_HeldEntry& refused, const char* name);
// After a state was saved at `path` while INPUT_RefusedLinkOpen: when the
// link `name` leads to it (by whatever name it was saved), holds the link
// again with it (FILES_HeldEntry::HoldFilled), so that the quit or `F` sets
// the link aside rather than write over that state through it, and tells
// apart what another program puts in its place.
void INPUT_RefusedLinkSaved(FILES_HeldEntry& refused, const char* name, const char* path);
// Whether `path`, no symbolic link itself, is the state saved where the
// refused link (held alone since) led nowhere: the user's own file there,
// which a save at `path` writes over as ever without passing the link.
bool INPUT_SavedWhereLinkLed(const FILES_HeldEntry& refused, const char* path);
// What the refused entry at `name` is when it is no plain file, in words
// that follow its new name once set aside: a folder, a FIFO, a device, a
// symbolic link to nothing, or a link that leads to such a state ("leads to
// the state saved since as PATH"); empty for a file.
std::string INPUT_RefusedWords(const FILES_HeldEntry& refused, const char* name);

// The quit request of the close box and the desktop: asks to confirm, then
// saves, with the auto-save option, the machine's state as "Auto Saved
// State" (whatever the start refused under that name is set aside first, as
// "Auto Saved State (refused)", and the user told; a file the machine holds
// under that name, a disk, is neither set aside nor written over, and no
// state is saved) and the preferences,
// which remember the state's TOS when it is not the folder's tos.img, and
// stops the emulation; while a floppy waits to go in, the machine runs on (a
// pause ends) until it did, so the state saved has it in its drive. What
// can't be saved is said, with why, in an alert that lets the user quit
// anyway (APP_QuitUnsaved is set, and the exit status is 1) or cancel: the
// machine then runs on as before the quit (paused again when the wait for a
// floppy ended a pause). APP_QuitNow does the same without asking anything
// (a termination signal): what can't be saved is said on standard error
// only, and the quit goes ahead. APP_QuitFromDebugger is the debugger's:
// not confirmed, but what can't be saved is asked about as for the user;
// false when the user cancelled (a quit that waits for a floppy is true at
// once: cancelled later, it opens the debugger again).
void APP_AutoSaveOnQuit();
void APP_QuitNow();
bool APP_QuitFromDebugger();

// The windowed host with SDL's dummy video driver: SDL events pushed into
// its queue give exact bytes in the keyboard processor's queue (keys,
// modifiers, Caps Lock, Command, clicks, pointer motion, none from before a
// loaded state, focus loss), every key of the table reaches the ST, a full
// queue keeps every release, dropped
// files go to the drives (a drop made during an expansion waits for it, a
// swapped disk for the drive to stand empty), the close box and a
// termination signal take the quit path (also while the Blitter works through
// an operation of minutes, in the application itself), a second copy from the
// same folder ends at its start, the pause loop shows
// its caption over the veil, the sound output's states, and the sound chip's
// tone and the beep out of SDL's disk audio driver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "blitter/blitter.h"
#include "cpu/bus.h"
#include "host/app.h"
#include "host/debugger.h"
#include "host/dialogs.h"
#include "host/events.h"
#include "host/options.h"
#include "host/sdl/keys.h"
#include "host/sdl/sdl_host.h"
#include "host/shared/dialogs.h"
#include "host/shared/input.h"
#include "host/shared/menus.h"
#include "host/shared/prefs_file.h"
#include "host/shared/screen_window.h"
#include "host/shared/sound_output.h"
#include "host/sound.h"
#include "machine/diskimg.h"
#include "machine/ikbd.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/state.h"
#include "platform/window.h"
#include "support/disk_audio.h"
#include "support/full_disk.h"
#include "support/machine_fixture.h"

namespace {

using Bytes = std::vector<u8>;

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class SdlHost : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    machine_reset_globals();
    setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    folder.write("tos.img", load_test_rom("psg_tone"));
    machine_start(folder.path());
    send(SDL_Event{});
    IKBD_PowerOn();
    IKBD_State.yOriginTop = 1;
    take();
  }
  void TearDown() override {
    DLG_FixedAnswers.confirmQuit = 1;
    INPUT_Reset();
    DISKIMG_Reset();
  }

  static Bytes take() { return ikbd_take(); }
  // Pushes an event (none for type 0) and serves the queue by host polls.
  static void send(SDL_Event e) {
    if (e.type) SDL_PushEvent(&e);
    for (int i = 0; i < 1000; ++i) {
      SDL_PumpEvents();
      if (!SDL_HostQueuedEvents() &&
          !SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT))
        break;
      EVENTS_DoEvent(0);
    }
  }
  static void key(SDL_Scancode s, bool down, u16 mod = KMOD_NONE) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym = {s, SDL_GetKeyFromScancode(s), mod, 0};
    send(e);
  }
  static void stroke(SDL_Scancode s, u16 mod = KMOD_NONE) {
    key(s, true, mod);
    key(s, false, mod);
  }
  // Window coordinates (the content starts below the menu strip), and the
  // motion, which counts while the pointer is held.
  static void motion(int x, int y) {
    static int lastX, lastY;
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion = {SDL_MOUSEMOTION, 0, 0, 0, 0, x, y + PLATFORM_MenuStripHeight, x - lastX, y - lastY};
    lastX = x, lastY = y;
    send(e);
  }
  static void button(u8 which, bool down, int x, int y) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = which;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y + PLATFORM_MenuStripHeight;
    send(e);
  }
  static void window_event(u8 what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    send(e);
  }
  void open_disk_audio() { ::open_disk_audio(folder.file("audio.raw")); }
  std::vector<i16> disk_audio_played() { return ::disk_audio_played(folder.file("audio.raw")); }

  TempFolder folder;
};

TEST_F(SdlHost, KeysModifiersCapsLockAndCommand) {
  key(SDL_SCANCODE_A, true);
  key(SDL_SCANCODE_A, true);  // a repeat
  key(SDL_SCANCODE_A, false);
  // Modifiers in order with the keys around them, all within one frame.
  key(SDL_SCANCODE_LSHIFT, true);
  stroke(SDL_SCANCODE_S);
  key(SDL_SCANCODE_LSHIFT, false);
  stroke(SDL_SCANCODE_D);
  key(SDL_SCANCODE_LALT, true);
  key(SDL_SCANCODE_RCTRL, true);
  stroke(SDL_SCANCODE_F);
  key(SDL_SCANCODE_LALT, false);
  key(SDL_SCANCODE_RCTRL, false);
  EVENTS_PollMouse();
  EXPECT_EQ(take(), (Bytes{0x1e, 0x9e, 0x2a, 0x1f, 0x9f, 0xaa, 0x20, 0xa0, 0x38, 0x1d, 0x21,
                           0xa1, 0xb8, 0x9d}));

  // Caps Lock on (the key events carry its state): plain keys go nowhere.
  stroke(SDL_SCANCODE_CAPSLOCK, KMOD_CAPS);
  EVENTS_PollMouse();
  EXPECT_EQ(EVENTS_CapsLock, 1u);
  stroke(SDL_SCANCODE_A, KMOD_CAPS);
  stroke(SDL_SCANCODE_CAPSLOCK);
  EVENTS_PollMouse();
  EXPECT_EQ(EVENTS_CapsLock, 0u);
  EXPECT_EQ(take(), Bytes{});

  // Right Alt is Command: its keys are the menus', not the ST's.
  static u8 shortcut;
  EVENTS_MenuKeyHook = [](u8 c) { shortcut = c; };
  key(SDL_SCANCODE_RALT, true);
  stroke(SDL_SCANCODE_Q);
  key(SDL_SCANCODE_RALT, false);
  EVENTS_MenuKeyHook = nullptr;
  EXPECT_EQ(shortcut, 'q');
  EXPECT_EQ(take(), Bytes{});
}

// Every key of the table that is not a modifier reaches an ST key; the
// stand-ins reach theirs.
TEST_F(SdlHost, EveryKeyOfTheTableReachesTheSt) {
  u32 keys = 0;
  for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
    const EVENTS_Key k = EVENTS_KeyOf(SDL_Scancode(s));
    keys += k.bound;
    if (!k.bound || k.modifier) continue;
    stroke(SDL_Scancode(s));
    const Bytes b = take();
    ASSERT_EQ(b.size(), 2u) << SDL_GetScancodeName(SDL_Scancode(s));
    EXPECT_LT(b[0], 0x80) << SDL_GetScancodeName(SDL_Scancode(s));
    EXPECT_EQ(b[1], b[0] | 0x80) << SDL_GetScancodeName(SDL_Scancode(s));
  }
  EXPECT_GE(keys, 100u);
  for (SDL_Scancode s : {SDL_SCANCODE_DELETE, SDL_SCANCODE_F11, SDL_SCANCODE_F12,
                         SDL_SCANCODE_KP_ENTER, SDL_SCANCODE_GRAVE, SDL_SCANCODE_NONUSBACKSLASH})
    stroke(s);
  EXPECT_EQ(take(), (Bytes{0x53, 0xd3, 0x61, 0xe1, 0x62, 0xe2, 0x72, 0xf2, 0x29, 0xa9, 0x60, 0xe0}));
}

TEST_F(SdlHost, ClicksAndPointerMotion) {
  IKBD_State.mouseMode = 1;
  motion(100, 100);
  EVENTS_PollMouse();
  take();
  motion(110, 95);
  EVENTS_PollMouse();
  // Pressed on the picture and released over the menu strip: released. A
  // Control-click is the right button, whatever is held at the release.
  button(SDL_BUTTON_LEFT, true, 50, 60);
  button(SDL_BUTTON_LEFT, false, 50, -5);
  key(SDL_SCANCODE_LCTRL, true);
  EVENTS_PollMouse();
  button(SDL_BUTTON_LEFT, true, 50, 60);
  key(SDL_SCANCODE_LCTRL, false);
  EVENTS_PollMouse();
  button(SDL_BUTTON_LEFT, false, 50, 60);
  EXPECT_EQ(take(), (Bytes{0xf8, 0x0a, 0xfb, 0xfa, 0, 0, 0xf8, 0, 0, 0x1d, 0xf9, 0, 0, 0x9d,
                           0xf8, 0, 0}));
  // With the pointer free (keycode mode: a button is a key), a press over
  // the menu strip is not the ST's.
  IKBD_State.mouseMode = 3;
  EVENTS_PollMouse();
  EXPECT_FALSE(SDL_HostPointerCaptured());
  button(SDL_BUTTON_LEFT, true, 50, -5);
  button(SDL_BUTTON_LEFT, false, 50, 60);
  button(SDL_BUTTON_RIGHT, true, 50, 60);
  button(SDL_BUTTON_RIGHT, false, 50, 60);
  EXPECT_EQ(take(), (Bytes{0x75, 0xf5}));
}

// A state loaded from the menu: the host saw the pointer last where it was
// before the menus and the chooser (the modal loop takes their events), and
// the pointer's first motion after the load, back from where the chooser
// was, moves the restored ST's pointer not at all. (The window tests restore
// through the debugger with the pointer held.)
TEST_F(SdlHost, APointerBackFromTheChooserMovesTheRestoredStOnlyByItsMotionAfter) {
  IKBD_State.mouseMode = 1;
  folder.write("saved state", STATE_Encode());
  motion(100, 100);
  EVENTS_PollMouse();
  motion(110, 95);
  EVENTS_PollMouse();
  EXPECT_EQ(take(), (Bytes{0xf8, 10, u8(-5)}));
  DLG_ScriptFile(folder.file("saved state"));
  MENU_Command(MENU_Choice(MENU_StatesId, 2));
  ASSERT_EQ(DLG_ScriptLeft(), 0u);
  EVENTS_PollMouse();  // the pointer not moved yet
  motion(150, 130);
  EVENTS_PollMouse();
  EXPECT_EQ(take(), Bytes{});
  motion(155, 130);
  EVENTS_PollMouse();
  EXPECT_EQ(take(), (Bytes{0xf8, 5, 0}));
}

TEST_F(SdlHost, FocusLossReleasesWhatIsHeld) {
  IKBD_State.mouseMode = 1;
  key(SDL_SCANCODE_A, true);
  key(SDL_SCANCODE_LSHIFT, true);
  EVENTS_PollMouse();
  button(SDL_BUTTON_LEFT, true, 50, 60);
  EXPECT_EQ(take(), (Bytes{0x1e, 0x2a, 0xfa, 0, 0}));
  window_event(SDL_WINDOWEVENT_FOCUS_LOST);
  EXPECT_EQ(take(), (Bytes{0x9e, 0xaa, 0xf8, 0, 0}));
  EXPECT_EQ(EVENTS_Suspended, 1u);
  key(SDL_SCANCODE_A, false);
  button(SDL_BUTTON_LEFT, false, 50, 60);
  EVENTS_PollMouse();
  EXPECT_EQ(take(), Bytes{});
  window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_EQ(EVENTS_Suspended, 0u);
}

TEST_F(SdlHost, DropsOfOneToThreeFiles) {
  Bytes image(368640);
  for (size_t i = 512; i < image.size(); ++i) image[i] = u8(i * 7);
  for (const char* n : {"a.st", "b.st", "c.st"}) folder.write(n, image);
  folder.write("tos12.img", make_tos_image(1, 2, 196608));
  auto name = [](const u8* pascal) { return std::string(pascal + 1, pascal + 1 + pascal[0]); };
  const struct {
    std::vector<const char*> files;
    bool command;
    const char *inA, *inB;
  } cases[] = {
      {{"a.st"}, false, "a.st", nullptr},
      {{"b.st"}, true, nullptr, "b.st"},
      {{"a.st", "b.st"}, true, "a.st", "b.st"},
      {{"c.st", "b.st", "a.st"}, false, "c.st", "b.st"},
      {{"tos12.img", "b.st"}, false, nullptr, "b.st"},  // a TOS image: loaded, the ST restarted
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files.size());
    DISKIMG_Reset();
    if (c.command) key(SDL_SCANCODE_RALT, true);
    SDL_Event e{};
    e.type = SDL_DROPBEGIN;
    SDL_PushEvent(&e);
    for (const char* f : c.files) {
      e.type = SDL_DROPFILE;
      e.drop.file = SDL_strdup(folder.file(f).c_str());
      SDL_PushEvent(&e);
    }
    e.drop = {SDL_DROPCOMPLETE, 0, nullptr, 0};
    send(e);
    if (c.command) key(SDL_SCANCODE_RALT, false);
    EXPECT_EQ(DISKIMG_InsertedMask, u32((c.inA ? 1 : 0) | (c.inB ? 2 : 0)));
    EXPECT_EQ(name(DISKIMG_NameA), c.inA ? folder.file(c.inA) : "nothing");
    if (c.inB) {
      EXPECT_EQ(name(DISKIMG_NameB), folder.file(c.inB));
    }
  }
  EXPECT_EQ(MMU_TosVersion, 12u);
}

// The command line's files wait for the automatic state, and the very images
// its drives hold (the same files, by any name; a compressed one too) stay
// in them, untouched: the restored ST may be writing them.
TEST_F(SdlHost, TheCommandLineLeavesTheRestoredDrivesImagesIn) {
  TempFolder disks;
  const std::string work = disks.file("work.st"), game = disks.file("game.st.gz");
  disks.write("work.st", Bytes(368640, 0x5a));
  gzFile packed = gzopen(game.c_str(), "wb");
  const Bytes plain(368640, 0x3c);
  gzwrite(packed, plain.data(), unsigned(plain.size()));
  gzclose(packed);
  testing::internal::CaptureStdout();
  ASSERT_EQ(DISKIMG_Insert(game.c_str(), 'A'), 1u);
  ASSERT_EQ(DISKIMG_Insert(work.c_str(), 'B'), 1u);
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(STATE_Write(folder.file(APP_AutoStateName).c_str()));
  machine_reset_globals();
  machine_start(folder.path());
  PREFS_AutoSaveOnQuit = 1;
  SDL_HostOpenLater({game, disks.path() + "/./work.st"});
  machine_run_quietly(3);
  EXPECT_EQ(APP_AutoStateTakenUp, 1u);
  EXPECT_EQ(SDL_HostQueuedEvents(), 0u);
  EXPECT_EQ(DISKIMG_InsertedMask, 3u);
  EXPECT_EQ(INPUT_PendingDisks(), 0u);
}

// An MSA image of 80 tracks of one side, each stored as it is (its bytes the
// track's number), which polls the host 80 times as it expands.
Bytes msa_image() {
  Bytes msa = {0x0e, 0x0f, 0, 9, 0, 0, 0, 0, 0, 79};
  for (u32 t = 0; t < 80; ++t) {
    msa.push_back(0x12), msa.push_back(0x00);
    msa.insert(msa.end(), 4608, u8(t));
  }
  return msa;
}

// An MSA image polls the host once a track side while it expands; a second
// drop made meanwhile waits for the expansion instead of changing the drive
// under it, so the last drop is what drive A holds.
TEST_F(SdlHost, ADropDuringAnExpansionWaitsForIt) {
  folder.write("first.msa", msa_image());
  folder.write("second.st", Bytes(368640, 0x5a));
  auto drop = [](const std::string& path) {
    SDL_Event e{};
    e.type = SDL_DROPBEGIN;
    SDL_PushEvent(&e);
    e.type = SDL_DROPFILE;
    e.drop.file = SDL_strdup(path.c_str());
    SDL_PushEvent(&e);
    e.drop = {SDL_DROPCOMPLETE, 0, nullptr, 0};
    SDL_PushEvent(&e);
  };
  DISKIMG_Reset();
  drop(folder.file("first.msa"));
  drop(folder.file("second.st"));
  send(SDL_Event{});
  // The second takes the first's place once the drive stood empty; the
  // menu shows it there meanwhile.
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_EQ(MENU_ItemAt(MENU_DisksId, 1)->text, "Eject A: second.st");
  for (u32 i = 0; i < DISKIMG_SwapFrames; ++i) DISKIMG_FrameEnded(), EVENTS_PollMouse();
  EXPECT_EQ(std::string(DISKIMG_NameA + 1, DISKIMG_NameA + 1 + DISKIMG_NameA[0]), folder.file("second.st"));
  EXPECT_EQ(DISKIMG_Expanding, 0u);
  // A quit waits for a swapped floppy only while frames come: when they
  // don't (long Blitter work asks the host in between) it goes ahead within
  // two seconds, the drive left empty as the ST last saw it.
  drop(folder.file("second.st"));
  send(SDL_Event{});
  APP_QuitNow();
  EXPECT_EQ(APP_StopFlag, 0);
  EXPECT_TRUE(EVENTS_BusyPoll());
  static u64 now;
  now = HOST_Microseconds() + INPUT_QuitWaitLimit;
  HOST_Clock.microseconds = [] { return now; };
  EVENTS_DoEvent(0);
  HOST_UseSystemClock();
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_EQ(DISKIMG_InsertedMask | INPUT_PendingDisks(), 0u);
  APP_StopFlag = 0;
}

// A termination that comes while a restore expands the state's MSA image
// (the expansion polls the host) waits for the restore: the quit saves the
// restored machine, not one half put back.
TEST_F(SdlHost, ATerminationDuringARestoresExpansionWaitsForIt) {
  folder.write("saved.msa", msa_image());
  DISKIMG_Reset();
  ASSERT_EQ(DISKIMG_Insert(folder.file("saved.msa").c_str(), 'A'), 1u);
  const Bytes state = STATE_Encode();
  folder.write("saved state", state);
  DISKIMG_Reset();
  MMU_WriteL(0x1000, 0x12345678);
  std::raise(SIGTERM);
  ASSERT_TRUE(STATE_Read(folder.file("saved state").c_str()));
  EXPECT_EQ(APP_StopFlag, 0);
  EVENTS_DoEvent(0);
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_TRUE(read_file(folder.file("Auto Saved State")) == state);
  APP_StopFlag = 0;
}

// A full queue takes a release in place of the newest press, never of another
// release: the ST hears the end of every key it heard pressed.
TEST_F(SdlHost, AFullQueueKeepsEveryRelease) {
  auto key_event = [](SDL_Scancode s, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym = {s, SDL_GetKeyFromScancode(s), KMOD_NONE, 0};
    SDL_HostTakeEvent(e);
  };
  while (SDL_HostQueuedEvents() < 256) {
    key_event(SDL_SCANCODE_A, true);
    key_event(SDL_SCANCODE_A, false);
  }
  key_event(SDL_SCANCODE_S, true);   // no room: dropped
  key_event(SDL_SCANCODE_D, true);   // no room: dropped
  key_event(SDL_SCANCODE_D, false);  // takes the newest press's place (the last A)
  Bytes heard;
  for (int i = 0; i < 300; ++i) {
    EVENTS_DoEvent(0);
    const Bytes b = take();
    heard.insert(heard.end(), b.begin(), b.end());
  }
  const auto count = [&](u8 code) { return std::count(heard.begin(), heard.end(), code); };
  EXPECT_EQ(count(0x1e), 127);  // A pressed
  EXPECT_EQ(count(0x9e), 127);  // and released as often
  EXPECT_EQ(heard.back(), 0x9e);
  EXPECT_EQ(count(0x1f) + count(0x20) + count(0xa0), 0);  // S and D never reached the ST
  key_event(SDL_SCANCODE_S, false);
  send(SDL_Event{});
  take();
}

TEST_F(SdlHost, CloseBoxAndTerminationTakeTheQuitPath) {
  const std::string prefs = PREFS_FolderPath() + "/" + PREFS_FileName;
  std::remove(prefs.c_str());
  DLG_FixedAnswers.confirmQuit = 0;  // Cancel
  window_event(SDL_WINDOWEVENT_CLOSE);
  EXPECT_EQ(APP_StopFlag, 0);
  EXPECT_TRUE(read_file(prefs).empty());
  DLG_FixedAnswers.confirmQuit = 1;
  window_event(SDL_WINDOWEVENT_CLOSE);
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_EQ(read_file(prefs).size(), PREFS_RecordSize);
  EXPECT_FALSE(read_file(folder.file("Auto Saved State")).empty());
  // A termination signal quits without asking, nor does the close box that came with it ask after.
  APP_StopFlag = 0;
  DLG_FixedAnswers.confirmQuit = 0;
  DEBUG_DumpAbort = 0;
  DLG_Log.clear();
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&close);
  std::raise(SIGTERM);
  EXPECT_EQ(DEBUG_DumpAbort, 1);  // and a debugger listing ends
  EVENTS_DoEvent(0);
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_TRUE(DLG_Log.empty());
  APP_StopFlag = 0;
  EVENTS_DoEvent(0);  // the close box, on a later poll
  EXPECT_EQ(DLG_Log, std::vector<std::string>{"alert 3 Cancel"});
}

// Preferences that are there but can't be read (a folder of their name): the start says why the settings
// are the defaults, and the file is written over neither then nor at the quit. A quit after a setting
// changed says that it is not kept, and quits only when told to.
TEST_F(SdlHost, PreferencesThatCantBeReadAreSaidAtTheStartAndKept) {
  const std::string prefs = PREFS_FolderPath() + "/" + PREFS_FileName;
  std::filesystem::remove(prefs);
  std::filesystem::create_directory(prefs);
  DLG_Log.clear();
  const std::string said = stderr_of([&] { machine_start(folder.path()); });
  EXPECT_NE(said.find("message 18: " + prefs + " is a directory; answered OK"), std::string::npos) << said;
  EXPECT_EQ(DLG_Log, std::vector<std::string>{"alert 18 OK"});
  EXPECT_EQ(PREFS_FrameSkip, 1u);
  PREFS_Unthrottled = 0;  // as the start took it (the tests' start changes it)
  window_event(SDL_WINDOWEVENT_CLOSE);  // nothing of this run to lose
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_EQ(APP_QuitUnsaved, 0u);
  APP_StopFlag = 0;
  PREFS_FrameSkip = 3;
  DLG_ScriptButton(true);
  DLG_ScriptButton(false);  // Cancel
  stderr_of([] { window_event(SDL_WINDOWEVENT_CLOSE); });
  EXPECT_EQ(APP_StopFlag, 0);
  EXPECT_EQ(DLG_LastAlertText(), "The preferences: " + prefs +
                                     " is a directory: it is kept as it was, without the settings changed since the start");
  stderr_of([] { window_event(SDL_WINDOWEVENT_CLOSE); });  // Quit Anyway, the fixed answer
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_EQ(APP_QuitUnsaved, 1u);
  EXPECT_TRUE(std::filesystem::is_directory(prefs));
  EXPECT_TRUE(std::filesystem::is_empty(prefs));
  APP_StopFlag = 0;
}

// Preferences that can't be written at the quit (a link to nothing in their place, a full disk): the close
// box says so, and Cancel goes back to the running machine; the link stays.
TEST_F(SdlHost, AQuitThatCantSaveThePreferencesSaysWhy) {
  const std::string prefs = PREFS_FolderPath() + "/" + PREFS_FileName;
  for (const bool full : {false, true}) {
    SCOPED_TRACE(full ? "full disk" : "link to nothing");
    std::optional<FullDisk> disk;
    if (full) {
      disk.emplace(PREFS_FolderPath(), 1024);
      PREFS_Save();  // fills what room there is (a page, where a file system is mounted)
    } else {
      std::filesystem::remove(prefs);
      std::filesystem::create_symlink(folder.file("gone"), prefs);
    }
    APP_StopFlag = 0;
    DLG_ScriptButton(true);
    DLG_ScriptButton(false);  // Cancel
    stderr_of([] { window_event(SDL_WINDOWEVENT_CLOSE); });
    EXPECT_EQ(APP_StopFlag, 0);
    const std::string why =
        full ? "The preferences: can't write " + prefs + " (" + disk->reason() + ")" : "The preferences: " + prefs + " is a symbolic link to nothing";
    EXPECT_NE(DLG_LastAlertText().find(why), std::string::npos) << DLG_LastAlertText();
    stderr_of([] { window_event(SDL_WINDOWEVENT_CLOSE); });  // Quit Anyway, the fixed answer
    EXPECT_EQ(APP_StopFlag, 1);
    EXPECT_EQ(APP_QuitUnsaved, 1u);
  }
  EXPECT_EQ(std::filesystem::read_symlink(prefs), folder.file("gone"));
  APP_StopFlag = 0;
}

// Whether process `pid` catches (`field` "SigCgt") or ignores ("SigIgn") signal `sig`.
bool signal_state(pid_t pid, const char* field, int sig) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(field, 0) == 0)
      return (std::stoull(line.substr(line.find('\t') + 1), nullptr, 16) >> (sig - 1)) & 1;
  return false;
}

// Starts the application in `app`, termination signals at their defaults (SIGHUP ignored when `nohup`),
// output into a pipe whose reader leaves once the application catches SIGTERM.
pid_t start_application(const TempFolder& app, bool nohup = false) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;  // the application holds only its output end
  const auto handler = std::signal(SIGTERM, SIG_DFL);  // the fork catches it once the application does
  const pid_t pid = fork();
  if (pid == 0) {  // async-signal-safe calls only
    for (int sig : {SIGINT, SIGHUP, SIGPIPE}) signal(sig, sig == SIGHUP && nohup ? SIG_IGN : SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(ends[1], 1), dup2(ends[1], 2);
    if (chdir(app.path().c_str()) == 0) execl("./vantorell", "vantorell", nullptr);
    _exit(127);
  }
  std::signal(SIGTERM, handler);
  close(ends[1]);
  for (int i = 0; pid > 0 && i < 3000 && !signal_state(pid, "SigCgt", SIGTERM); ++i) usleep(10000);
  close(ends[0]);
  return pid;
}

// Sends `sig` to `pid`: its exit status, or -1 when it ended otherwise or took over 30 s (then killed).
int quit_by(pid_t pid, int sig) {
  if (pid <= 0 || kill(pid, sig) != 0) return -1;
  int status = -1;  // not an exit status
  for (int i = 0; waitpid(pid, &status, WNOHANG) == 0; ++i)
    if (i < 3000) usleep(10000);
    else kill(pid, SIGKILL);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every termination signal, the terminal's hang-up too, takes the quit path (state and preferences
// written, status 0) though the output pipe's reader has left (a `| tee` the hang-up ended). Under nohup
// hang-ups stay ignored.
TEST_F(SdlHost, EveryTerminationSignalTakesTheApplicationsQuitPath) {
  PREFS_AutoSaveOnQuit = 1;
  PREFS_Save();  // where the application finds its preferences (XDG_CONFIG_HOME)
  const std::string prefs = PREFS_FolderPath() + "/" + PREFS_FileName;
  TempFolder app;
  std::filesystem::copy_file(VANTORELL_PATH, app.file("vantorell"));
  app.write("tos.img", load_test_rom("psg_tone"));
  for (const auto& [sig, nohup] :
       {std::pair{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGTERM, true}}) {
    SCOPED_TRACE(std::string(sigabbrev_np(sig)) + (nohup ? " under nohup" : ""));
    std::filesystem::remove(app.file("Auto Saved State"));
    const pid_t pid = start_application(app, nohup);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(signal_state(pid, "SigIgn", SIGHUP), nohup);
    EXPECT_EQ(signal_state(pid, "SigCgt", SIGHUP), !nohup);
    std::remove(prefs.c_str());  // read and written by the start
    EXPECT_EQ(quit_by(pid, sig), 0);
    EXPECT_FALSE(read_file(app.file("Auto Saved State")).empty());
    EXPECT_EQ(read_file(prefs).size(), PREFS_RecordSize);
  }
}

// A second copy of the application from the folder a first runs from (the
// test's own machine) says so and ends before it prints or opens anything;
// without a display the alert is a line on standard error.
TEST_F(SdlHost, ASecondCopyFromTheSameFolderEnds) {
  // (The folder's "vantorell" is that of the preferences.)
  std::filesystem::copy_file(VANTORELL_PATH, folder.file("emulator"));
  const std::string out = folder.file("out.txt"), err = folder.file("err.txt");
  const int status = std::system(("cd " + folder.path() + " && timeout 60 ./emulator >" + out +
                                  " 2>" + err).c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const Bytes said = read_file(err);
  EXPECT_EQ(std::string(said.begin(), said.end()),
            "Vantorell: Another copy of Vantorell runs from " +
                std::filesystem::canonical(folder.path()).string() + "... Vantorell will exit...\n");
  EXPECT_TRUE(read_file(out).empty());
}

// A termination whose quit can't save the preferences (a link to nothing in their place) says why on
// standard error and ends with status 1; the state is saved all the same, and the link stays.
TEST_F(SdlHost, ATerminationThatCantSaveEndsWithAFailingStatus) {
  PREFS_AutoSaveOnQuit = 1;
  PREFS_Save();
  const std::string prefs = PREFS_FolderPath() + "/" + PREFS_FileName;
  std::filesystem::remove(prefs);
  std::filesystem::create_symlink(folder.file("gone"), prefs);
  TempFolder app;
  std::filesystem::copy_file(VANTORELL_PATH, app.file("vantorell"));
  app.write("tos.img", load_test_rom("psg_tone"));
  const pid_t pid = start_application(app);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(quit_by(pid, SIGTERM), 1);
  EXPECT_FALSE(read_file(app.file("Auto Saved State")).empty());
  EXPECT_EQ(std::filesystem::read_symlink(prefs), folder.file("gone"));
}

// The application, on a ROM that loops Blitter operations of 65535 by 65535
// words, quits on a termination signal with its automatic state: the
// operation stopped between two lines, which a restore finishes and runs on.
// So for each start: a byte write, a long write across the control register, a MOVEM (HOP/OP waits).
TEST_F(SdlHost, ATerminationEndsALongBlitterOperationWithItsState) {
  TempFolder app;
  std::filesystem::copy_file(VANTORELL_PATH, app.file("vantorell"));
  PREFS_AutoSaveOnQuit = PREFS_BlitterEnabled = 1;
  PREFS_Save();  // where the application finds its preferences (XDG_CONFIG_HOME)
  for (u8 kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    std::vector<u8> rom = load_test_rom("blitter_loop");
    rom[0x35] = kind;
    app.write("tos.img", rom);
    std::filesystem::remove(app.file("Auto Saved State"));
    const pid_t pid = start_application(app);
    sleep(1);  // well inside the first operation
    EXPECT_EQ(quit_by(pid, SIGTERM), 0);
    SDL_HostOpenLater({app.file("tos.img")});  // the same ROM here, then its state
    send(SDL_Event{});
    ASSERT_TRUE(STATE_Read(app.file("Auto Saved State").c_str()));
    EXPECT_EQ(BLITTER_Stopped, 1u);
    EXPECT_EQ(BLITTER_WaitingCount, kind == 2 ? 1u : 0u);
    EXPECT_TRUE(BLITTER_YCount > 0 && BLITTER_YCount < 65535) << BLITTER_YCount;
    const u32 done = MMU_ReadL(0x904);
    // The rest of the operation cut to one line, after which the MOVEM's
    // HOP/OP applies; the next operations cut to a few words.
    BLITTER_YCount = 1;
    BLITTER_Resume();
    EXPECT_EQ(BLITTER_Stopped, 0u);
    EXPECT_EQ(BLITTER_Hop << 8 | BLITTER_Op, kind == 2 ? 0x0207u : 0x0203u);
    MMU_WriteL(0x900, 0x00020002);
    machine_run_quietly(3, true);
    EXPECT_GT(MMU_ReadL(0x904), done + 100);
  }

  // Operations of one line each never stop, yet the close box they find
  // waiting is served after the one that found it (the frozen test clock
  // makes no host poll of its own): the quit path, with its state.
  MMU_WriteL(0x900, 0x0001ffff);
  DLG_FixedAnswers.confirmQuit = 1;
  SDL_HostTakeEvent(SDL_Event{.window = {SDL_WINDOWEVENT, 0, 0, SDL_WINDOWEVENT_CLOSE, 0, 0, 0, 0, 0}});
  const u64 frames = SCHED_FramesEnded;
  machine_run_quietly(1, true);
  EXPECT_EQ(SCHED_FramesEnded, frames);
  EXPECT_TRUE(std::filesystem::exists(folder.file("Auto Saved State")));
  APP_StopFlag = 0;
}

// Paused, the veil lies over the picture and the status line is drawn over
// it whole, with the caption; Command-P (served by the pause loop) ends it.
TEST_F(SdlHost, ThePausedStatusLineLiesOverTheVeil) {
  machine_run_frames(2);
  APP_StopFlag = 0;
  static std::vector<u32> status_row, picture_row;
  EVENTS_MenuKeyHook = [](u8) {
    const SCREEN_Surface& pic = SCREEN_WindowPicture;
    status_row.assign(pic.row<u32>(SCREEN_Height + 2), pic.row<u32>(SCREEN_Height + 2) + pic.width);
    picture_row.assign(pic.row<u32>(100), pic.row<u32>(100) + pic.width);
    EVENTS_Paused = 0;
  };
  EVENTS_Paused = 1;
  for (const auto& [s, down] : {std::pair{SDL_SCANCODE_RALT, true}, {SDL_SCANCODE_P, true},
                                {SDL_SCANCODE_P, false}, {SDL_SCANCODE_RALT, false}}) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym = {s, SDL_GetKeyFromScancode(s), KMOD_NONE, 0};
    SDL_PushEvent(&e);
  }
  EVENTS_PauseLoop();
  EVENTS_MenuKeyHook = nullptr;
  ASSERT_EQ(status_row.size(), size_t(SCREEN_Width));
  const u32 grey = SCREEN_Color2Index(50000, 50000, 50000);
  EXPECT_EQ(std::count(status_row.begin() + 340, status_row.end(), grey), i64(SCREEN_Width) - 340);
  EXPECT_GE(std::count(picture_row.begin(), picture_row.end(), 0u), i64(SCREEN_Width) / 2);  // veiled
}

TEST_F(SdlHost, SoundOutputStates) {
  SOUND_Start();
  const struct {
    void (*op)();
    u32 muted, stopped;
  } steps[] = {
      {[] { SOUND_Pause(1); }, 1, 0},       {[] { SOUND_Pause(0); }, 0, 0},
      {[] { SOUND_SetStopped(1); }, 1, 1},  {[] { SOUND_Pause(0); }, 1, 1},  // held stopped
      {[] { SOUND_SetStopped(0); }, 0, 0},  {[] { SOUND_Stop(); }, 1, 0},
      {[] { SOUND_Pause(0); }, 0, 0},  // a resume after sound off plays
      // A menu command chosen while paused leaves the sound paused.
      {[] { SOUND_Active = EVENTS_Paused = 1, SOUND_Pause(1), MENU_Command(0); }, 1, 0},
      {[] { EVENTS_Paused = 0, MENU_Command(0); }, 0, 0},
  };
  for (const auto& s : steps) {
    s.op();
    EXPECT_EQ(SOUND_Muted, s.muted) << &s - steps;
    EXPECT_EQ(SOUND_Stopped, s.stopped) << &s - steps;
  }
  SOUND_Stop();
}

// A message dialog's beep over the sound chip's paused output: 20 ticks of 880 Hz on both channels, faded
// in and out, nothing of the ring; without the device, a line of text.
TEST_F(SdlHost, TheBeepSoundsThroughTheDiskAudioDriver) {
  open_disk_audio();
  SOUND_Start();
  SOUND_Pause(1);
  for (int i = 0; i < 5000; ++i) SOUND_RingPut(20000);
  DLG_Message("beep");
  for (int i = 0; i < 300 && SOUND_BeepLeft.load(); ++i) SDL_Delay(10);
  const std::vector<i16> s = disk_audio_played();
  EXPECT_EQ(stderr_of([] { APP_Beep(30); }), "(beep)\n");
  const auto [first, last, frames, hz] = heard_tone(s);
  for (size_t i = first; i + 1 < last; i += 2)
    ASSERT_TRUE(s[i] == s[i + 1] && std::abs(s[i]) <= SOUND_BeepLevel + 1) << i << ": " << s[i];
  ASSERT_NEAR(frames, 20 * 735, 1470) << "the beep's length";
  EXPECT_NEAR(hz, 880.0, 20.0);
  EXPECT_LE(std::max(std::abs(s[first]), std::abs(s[last - 2])), 2 * SOUND_BeepLevel / i32(SOUND_BeepFade) + 1);
}

// The tone test ROM through the whole sound path at the real pace, captured
// by SDL's disk audio driver: both channels equal, about 440 Hz, and no gap
// over 100 frames once it has started.
TEST_F(SdlHost, ToneThroughTheDiskAudioDriver) {
  open_disk_audio();
  PREFS_SoundOn = SOUND_Active = 1;
  SOUND_Start();
  PREFS_Unthrottled = 0;
  HOST_UseSystemClock();
  machine_run_frames(160);

  const std::vector<i16> s = disk_audio_played();
  size_t first = 0;
  while (first < s.size() && s[first] == 0) ++first;
  constexpr size_t frames = 100 * 882;
  ASSERT_GE(s.size(), first + 2 * frames) << "not enough sound captured";
  size_t zeros = 0, longest = 0, rising = 0;
  for (size_t i = 0; i < frames; ++i) {
    const i16 l = s[first + 2 * i], r = s[first + 2 * i + 1];
    ASSERT_EQ(l, r) << i;
    zeros = l == 0 ? zeros + 1 : 0;
    longest = std::max(longest, zeros);
    if (i && s[first + 2 * (i - 1)] < 0 && l >= 0) ++rising;
  }
  EXPECT_LT(longest, 32u) << "a gap of " << longest << " samples from sample " << first / 2;
  EXPECT_NEAR(rising / 2.0, 2000000.0 / (16 * 284), 2.0);  // crossings in 2 s
}

}  // namespace

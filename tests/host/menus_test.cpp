// The menus through MENU_Command with answers given in advance: every row
// of the command table, with the globals, check marks, item texts, enabled
// states and files each leaves; the shortcut table; the quit path whose
// automatic state the next start restores (and says so when it can't be
// written); the settings dialog's boxes reaching the option words and the
// preferences record.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/endian.h"
#include "cpu/bus.h"
#include "host/debugger/debugger.h"
#include "host/app.h"
#include "host/events.h"
#include "host/midi.h"
#include "host/options.h"
#include "host/shared/dialogs.h"
#include "host/shared/input.h"
#include "host/shared/menus.h"
#include "host/shared/prefs_file.h"
#include "host/shared/screen_window.h"
#include "host/sound.h"
#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/holders.h"
#include "machine/ikbd.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "machine/shifter.h"
#include "machine/state.h"
#include "support/floppy_images.h"
#include "support/full_disk.h"
#include "support/machine_fixture.h"
#include "support/ordinary_user.h"

namespace {

namespace fs = std::filesystem;

constexpr u32 marker_at = 0x70000;  // a RAM word the test ROM leaves alone

void mark() { MMU_WriteL(marker_at, 0x600dcafe); }
bool marked() { return MMU_ReadL(marker_at) == 0x600dcafe; }
bool logged(const std::string& line) { return std::find(DLG_Log.begin(), DLG_Log.end(), line) != DLG_Log.end(); }
const MENU_Item& item(u32 menu, u32 n) { return *MENU_ItemAt(menu, n); }
// A frame's end as the drives and the host see it, without running the ST.
void frame_passes() {
  DISKIMG_FrameEnded();
  INPUT_DiskSwapFrame();
}
// The items of `menu` that are checked.
std::vector<u32> checked(u32 menu) {
  std::vector<u32> on;
  for (u32 i = 1; MENU_ItemAt(menu, i); ++i)
    if (MENU_ItemAt(menu, i)->checked) on.push_back(i);
  return on;
}

class Menus : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  void TearDown() override {
    DLG_ScriptClear();
    EVENTS_Paused = 0;
    SCREEN_FullScreen = 0;
    MENU_STMouseDriver = 1;
    IKBD_JoyLayout = 1;
    DEBUG_Requested = DEBUG_Active = 0;
  }

  // `stateTos`: the automatic state's TOS the preferences give the start;
  // `ram14`: their "14 MB of ST RAM" option (the windowless host's
  // preferences are the defaults: the memory is built again with it).
  void start(const std::string& stateTos = "", bool ram14 = false) {
    machine_reset_globals();
    TearDown();
    PREFS_StateTos = stateTos;
    MENU_DiskNameA = "disk1.st";
    MENU_DiskNameB = "disk2.st";
    folder.write("tos.img", make_tos_image(1, 4));
    machine_start(folder.path());
    if (ram14) {
      PREFS_Ram14MB = 1;
      machine_build_memory(folder.path());
    }
    DLG_Log.clear();
  }

  TempFolder folder;
};

using Step = std::function<void(const TempFolder&)>;
// A row that only toggles an option names it, its value after the command
// and whether the item is checked then.
struct Row {
  u32 menu, item;
  Step before;
  Step check;
  u32* option = nullptr;
  u32 after = 0;
  bool checked_after = false;
};

// One row (or more) for every row of the command table.
const Row rows[] = {
    {MENU_AppleId, 1, [](auto&) { DLG_ScriptButton(true); },
     [](auto&) { EXPECT_EQ(DLG_Log, std::vector<std::string>{"about"}); }},
    // A file that is no TOS image is asked again; the second loads.
    {MENU_FileId, 1,
     [](const TempFolder& f) {
       f.write("bad.img", std::vector<u8>(10));
       f.write("tos206.img", make_tos_image(2, 6, 0x40000));
       mark();
       DLG_ScriptButton(true);
       DLG_ScriptFile(f.file("bad.img"));
       DLG_ScriptFile(f.file("tos206.img"));
     },
     [](const TempFolder& f) {
       EXPECT_TRUE(logged("open 1 " + f.file("bad.img")));
       EXPECT_TRUE(logged("alert 15 OK"));  // which said why
       EXPECT_EQ(MMU_TosVersion, 26u);
       EXPECT_FALSE(marked());
       EXPECT_TRUE(item(MENU_DisksId, 8).enabled);  // a later TOS
     }},
    {MENU_FileId, 3, [](auto&) { mark(), DLG_ScriptButton(false); },
     [](auto&) {
       EXPECT_TRUE(logged("alert 1 Cancel"));
       EXPECT_TRUE(marked());
     }},
    {MENU_FileId, 4, [](auto&) { mark(), DLG_ScriptButton(true); },
     [](auto&) { EXPECT_FALSE(marked()); }},
    {MENU_FileId, 5, nullptr, [](auto&) { EXPECT_EQ(DEBUG_Requested, 1u); }},
    {MENU_FileId, 7, nullptr,
     [](auto&) {
       EXPECT_EQ(EVENTS_Paused, 1u);
       EXPECT_TRUE(item(MENU_FileId, 7).checked);
     }},
    {MENU_FileId, 9, nullptr, nullptr},
    {MENU_FileId, 10, nullptr, nullptr},
    {MENU_FileId, 14, [](auto&) { DLG_ScriptButton(true); },
     [](const TempFolder& f) {
       EXPECT_EQ(APP_StopFlag, 1);
       EXPECT_EQ(fs::file_size(f.file("Auto Saved State")), STATE_FileSize(MMU_RamSize));
       APP_StopFlag = 0;
     }},
    {MENU_EditId, 4, nullptr, nullptr},
    {MENU_EditId, 8, nullptr, nullptr},
    {MENU_OptionsId, 3, nullptr,
     [](auto&) {
       EXPECT_EQ(SHIFTER_Mode, 2u);
       EXPECT_EQ(item(MENU_OptionsId, 3).text, "Switch to Color");
     }},
    {MENU_OptionsId, 4, nullptr,
     [](auto&) {
       EXPECT_EQ(PREFS_DoubleSize, 1u);
       EXPECT_EQ(SCREEN_DisplayMode, u32(SCREEN_ModeLowZoom));
       EXPECT_TRUE(item(MENU_OptionsId, 4).checked);
     }},
    {MENU_OptionsId, 6, nullptr,
     [](auto&) {
       EXPECT_EQ(SCREEN_FullScreen, 1u);
       EXPECT_EQ(MENU_BarHidden, 1u);
       EXPECT_TRUE(item(MENU_OptionsId, 6).checked);
       EXPECT_FALSE(item(MENU_OptionsId, 4).enabled);
       EXPECT_FALSE(item(MENU_OptionsId, 10).checked);
       EXPECT_EQ(SCREEN_WindowPicture.height, SCREEN_Height);  // no status line
       // Leaving keeps the doubled low resolution.
       MENU_Command(MENU_Choice(MENU_OptionsId, 6));
       EXPECT_EQ(MENU_BarHidden, 0u);
       EXPECT_EQ(PREFS_DoubleSize, 1u);
       EXPECT_TRUE(item(MENU_OptionsId, 4).enabled);
     }},
    {MENU_OptionsId, 7, nullptr, nullptr, &PREFS_SpeedCounters, 0, false},
    {MENU_OptionsId, 8, nullptr, nullptr, &PREFS_BufferedDrawing, 0, false},
    {MENU_OptionsId, 11, nullptr, nullptr, &MENU_STMouseDriver, 0, false},
    {MENU_OptionsId, 13, nullptr, [](auto&) { EXPECT_EQ(SOUND_Active, 1u); }, &PREFS_SoundOn, 1, true},
    // Checked while paced at 50 Hz.
    {MENU_OptionsId, 15, nullptr, nullptr, &PREFS_Unthrottled, 0, true},
    {MENU_OptionsId, 17, [](auto&) { DLG_ScriptSettings({5, 7}); },
     [](auto&) {
       EXPECT_EQ(PREFS_BlitterEnabled, 1u);
       EXPECT_EQ(MENU_STMouseDriver, 1u);  // only shown
       EXPECT_TRUE(logged("settings"));
     }},
    // A name longer than the item shows is kept whole.
    {MENU_DisksId, 1,
     [](const TempFolder& f) {
       f.write(std::string(200, 'n') + ".st", make_floppy(737280));
       DLG_ScriptFile(f.file(std::string(200, 'n') + ".st"));
     },
     [](auto&) {
       EXPECT_EQ(DISKIMG_InsertedMask, 1u);
       EXPECT_EQ(MENU_DiskNameA, std::string(200, 'n') + ".st");
       EXPECT_EQ(item(MENU_DisksId, 1).text, "Eject A: " + std::string(37, 'n') + "...");
       MENU_Command(MENU_Choice(MENU_DisksId, 1));  // ejects
       EXPECT_EQ(DISKIMG_InsertedMask, 0u);
       EXPECT_EQ(item(MENU_DisksId, 1).text, "Insert Disk in Drive A:");
     }},
    {MENU_DisksId, 2, [](auto&) { DLG_ScriptFile(""); },
     [](auto&) {
       EXPECT_EQ(DISKIMG_InsertedMask, 0u);
       EXPECT_EQ(MENU_DiskNameB, "disk2.st");
     }},
    {MENU_DisksId, 4, nullptr, [](auto&) { EXPECT_EQ(DISKIMG_WriteProtect[0], 0x40u); }, &PREFS_WriteProtect,
     0x40, true},
    {MENU_DisksId, 6, [](auto&) { DLG_ScriptButton(true); },
     [](const TempFolder& f) {
       EXPECT_EQ(fs::file_size(f.file("HDD (Empty).dmg")), HDD_EmptyImageBytes);
       EXPECT_TRUE(logged("alert 11 OK"));
       EXPECT_STREQ(DLG_AlertTexts(11).explanation,
                    "Rename \"HDD (Empty).dmg\" to \"HDD-C.dmg\" (or \"HDD-D.dmg\") and start again to use it. An "
                    "ST that comes back from its automatic state at that start sees the new disk after File > Reset.");
     }},
    // Over a folder nothing is asked or changed, and the alert says what lies there; a new image that a full disk
    // cut short is not left behind.
    {MENU_DisksId, 6,
     [](const TempFolder& f) { fs::remove(f.file("HDD (Empty).dmg")), fs::create_directory(f.file("HDD (Empty).dmg")); },
     [](const TempFolder& f) {
       const std::string path = f.file("HDD (Empty).dmg");
       EXPECT_TRUE(logged("alert 22 OK") && fs::is_directory(path));
       EXPECT_EQ(DLG_LastAlertText(), path + " is a directory");
       EXPECT_STREQ(DLG_AlertTexts(22).explanation, "What lies under its name is no plain file, and it is left as "
                                                    "it is. Once it is renamed or removed, choose the item again.");
       fs::remove(path);
       FullDisk full(f.path(), 1 << 20);
       stderr_of([] { MENU_Command(MENU_Choice(MENU_DisksId, 6)); });
       EXPECT_TRUE(logged("alert 12 OK") && !fs::exists(path));
     }},
    // Not over a floppy dropped under its name, waiting for drive A: the alert names who holds it. One waiting
    // under another name that leads there, its file moved away, finds nothing made there either.
    {MENU_DisksId, 6,
     [](const TempFolder& f) {
       f.write("a.st", make_floppy(737280));
       f.write("HDD (Empty).dmg", make_floppy(737280));
       ASSERT_EQ(MENU_InsertImage('A', f.file("a.st")), 1u);
       APP_OpenDocuments({f.file("HDD (Empty).dmg")}, false);
       DLG_ScriptButton(true);
     },
     [](const TempFolder& f) {
       const std::string path = f.file("HDD (Empty).dmg");
       EXPECT_EQ(read_file(path), make_floppy(737280));
       EXPECT_TRUE(logged("alert 21 OK"));
       EXPECT_EQ(DLG_LastAlertText(), path + ": drive A waits for " + path + " as its disk");
       EXPECT_STREQ(DLG_AlertTexts(21).message, "The empty hard disk image could not be created.");
       EXPECT_STREQ(DLG_AlertTexts(21).explanation,
                    "The machine holds its name (for a disk, or the printer's output), so nothing under it is "
                    "changed. Once it no longer does (the disk out of its drive, the hard disk off, or the file "
                    "renamed), choose the item again.");
       INPUT_CancelPendingDisk('A');
       fs::create_symlink("HDD (Empty).dmg", f.file("link.st"));
       APP_OpenDocuments({f.file("link.st")}, false);
       fs::rename(path, f.file("away"));
       stderr_of([] { MENU_Command(MENU_Choice(MENU_DisksId, 6)); });
       EXPECT_EQ(DLG_LastAlertText(), path + ": drive A waits for " + path + " as its disk");
       EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
       INPUT_CancelPendingDisk('A');
     }},
    // TOS 1.04 can't use the hard disk.
    {MENU_DisksId, 7, [](auto&) { DLG_ScriptButton(true); },
     [](auto&) {
       EXPECT_TRUE(logged("alert 13 OK"));
       EXPECT_EQ(PREFS_HardDiskOn, 1u);
       EXPECT_FALSE(item(MENU_DisksId, 8).enabled);
     }},
    // An item without an action still brings the drives up to date.
    {MENU_DisksId, 5, [](auto&) { PREFS_WriteProtect = 0x40; },
     [](auto&) { EXPECT_EQ(DISKIMG_WriteProtect[1], 0x40u); }},
    {MENU_FrameSkipId, 6, nullptr,
     [](auto&) {
       EXPECT_EQ(PREFS_AutoFrameSkip, 1u);
       EXPECT_EQ(PREFS_FrameSkip, 1u);
       EXPECT_EQ(checked(MENU_FrameSkipId), std::vector<u32>{6});
       MENU_Command(MENU_Choice(MENU_FrameSkipId, 3));
       EXPECT_EQ(PREFS_AutoFrameSkip, 0u);
       EXPECT_EQ(PREFS_FrameSkip, 3u);
       EXPECT_EQ(checked(MENU_FrameSkipId), std::vector<u32>{3});
     }},
    // The windowless host has nothing to open an address with.
    {MENU_LinksId, 1, [](auto&) { DLG_ScriptButton(true); },
     [](auto&) {
       EXPECT_EQ(DLG_Log, (std::vector<std::string>{std::string("url ") + MENU_WebAddress, "alert 10 OK"}));
     }},
    {MENU_LinksId, 2, [](auto&) { DLG_ScriptButton(true); },
     [](auto&) { EXPECT_TRUE(logged(std::string("url ") + MENU_MailAddress)); }},
    {MENU_MidiId, 1, nullptr,
     [](auto&) { EXPECT_EQ(checked(MENU_MidiId), std::vector<u32>{1}); }},
    // No synthesizer in the windowless host: the output stays closed.
    {MENU_MidiId, 2, nullptr,
     [](auto&) {
       EXPECT_EQ(QTMIDI_Driver.open, 0u);
       EXPECT_FALSE(item(MENU_MidiId, 2).enabled);
     }},
    {MENU_MidiId, 8, nullptr, nullptr},
    {MENU_JoysticksId, 2, nullptr,
     [](auto&) {
       EXPECT_EQ(IKBD_JoyLayout, 2u);
       EXPECT_EQ(IKBD_JoyKeys[2], 0x5bu);  // stick 1 up: keypad 8
       EXPECT_EQ(checked(MENU_JoysticksId), std::vector<u32>{2});
     }},
    // Saved over a longer file, which keeps nothing of its tail.
    {MENU_StatesId, 1,
     [](const TempFolder& f) {
       f.write("Frozen State", std::vector<u8>(STATE_FileSize(MMU_RamSize) + 1000, 0x55));
       DLG_ScriptFile(f.file("Frozen State"));
     },
     [](const TempFolder& f) {
       EXPECT_TRUE(logged("save 2 " + f.file("Frozen State")));
       EXPECT_EQ(fs::file_size(f.file("Frozen State")), STATE_FileSize(MMU_RamSize));
     }},
    {MENU_StatesId, 2,
     [](const TempFolder& f) {
       mark();
       ASSERT_TRUE(STATE_Write(f.file("state").c_str()));
       MMU_WriteL(marker_at, 0);
       DLG_ScriptFile(f.file("state"));
     },
     [](auto&) { EXPECT_TRUE(marked()); }},
};

TEST_F(Menus, EveryRowOfTheCommandTable) {
  for (size_t i = 0; i < MENU_CommandCount; ++i) {
    const MENU_CommandRow& c = MENU_Commands[i];
    EXPECT_TRUE(std::any_of(std::begin(rows), std::end(rows), [&](const Row& r) {
      return r.menu == c.menu && (r.item == c.item || c.item == 0);
    })) << "no test row for " << c.menu << "/" << c.item;
  }
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "menu " << r.menu << " item " << r.item);
    start();
    if (r.before) r.before(folder);
    MENU_Command(MENU_Choice(r.menu, r.item));
    if (r.check) r.check(folder);
    if (r.option) {
      EXPECT_EQ(*r.option, r.after);
      EXPECT_EQ(item(r.menu, r.item).checked, r.checked_after);
    }
    // Items without an action leave no trace.
    if (!r.check && !r.option) {
      EXPECT_TRUE(DLG_Log.empty());
    }
    EXPECT_EQ(DLG_ScriptLeft(), 0u);
    DLG_ScriptClear();
  }
}

TEST_F(Menus, Shortcuts) {
  const std::pair<u8, i32> keys[] = {
      {'r', MENU_Choice(MENU_FileId, 3)},     {'Q', MENU_Choice(MENU_FileId, 14)},
      {'1', MENU_Choice(MENU_DisksId, 1)},    {',', MENU_Choice(MENU_OptionsId, 17)},
      {'s', MENU_Choice(MENU_StatesId, 1)},   {'z', 0},
  };
  for (const auto& [key, choice] : keys) EXPECT_EQ(MENU_Key(key), choice) << key;
  MENU_SetItemEnabled(MENU_FileId, 3, 0);  // a disabled item has no shortcut
  EXPECT_EQ(MENU_Key('r'), 0);
  MENU_HandleShortcut('p');
  EXPECT_EQ(EVENTS_Paused, 1u);
}

// Quit with the option on writes the state the next start restores, as its alert says (with the option
// off, that the machine is lost).
TEST_F(Menus, TheQuitPathsStateComesBackAtTheNextStart) {
  EXPECT_NE(std::string(DLG_AlertTexts(3).explanation).find("saved and comes back at the next start"), std::string::npos);
  PREFS_AutoSaveOnQuit = 0;
  EXPECT_NE(std::string(DLG_AlertTexts(3).explanation).find("off, whatever the ST is doing now is lost"), std::string::npos);
  PREFS_AutoSaveOnQuit = 1;
  machine_run_quietly(3);
  mark();
  folder.write("game.st", make_floppy(737280));
  ASSERT_EQ(MENU_InsertImage('A', folder.file("game.st")), 1u);
  DLG_ScriptButton(true);
  MENU_Command(MENU_Choice(MENU_FileId, 14));
  ASSERT_EQ(APP_StopFlag, 1);
  DISKIMG_Reset();
  start();
  EXPECT_FALSE(marked());
  machine_run_quietly(1);
  EXPECT_EQ(APP_AutoStateLoaded, 1u);
  EXPECT_TRUE(marked());
  // The restored drive's item names its image.
  MENU_UpdateDiskItems();
  EXPECT_EQ(item(MENU_DisksId, 1).text, "Eject A: game.st");
}

// What stands in the way of "Auto Saved State" when the start did not see it (a folder, a link to a device,
// a link to nothing): each way to quit says why the state can't be saved. The window's (the menu, the close
// box, and the quit that waited for a floppy, which ended a pause, also one that went ahead without it when the
// frames did not come) asks whether to quit anyway: Cancel goes back to the machine as it was, the floppy still
// waiting, Quit Anyway quits with status 1; a signal (also one that comes while such a quit waits) quits with
// the reason on standard error only. What is in the way stays as it was.
TEST_F(Menus, AQuitThatCantSaveTheStateSaysWhyAndMayGoBack) {
  const std::string path = folder.file("Auto Saved State");
  folder.write("game.st", make_floppy(737280));
  folder.write("other.st", make_floppy(737280));
  const struct {
    const char* obstacle;
    std::function<void()> make;
    const char* why;
  } obstacles[] = {
      {"folder", [&] { fs::create_directory(path); folder.write("Auto Saved State/inside", {1, 2}); }, " is a directory"},
      {"link to a device", [&] { fs::create_symlink("/dev/null", path); }, " is a device"},
      {"link to nothing", [&] { fs::create_symlink(folder.file("gone"), path); }, " is a symbolic link to nothing"},
  };
  enum By { Menu, CloseBox, WaitingFloppy, Overdue, Signal, SignalWhileWaiting };
  // `anyway`: the answer to what can't be saved.
  const auto quit = [](By by, bool anyway) {
    if (by == Signal) return APP_QuitNow();
    if (by == SignalWhileWaiting) {
      DLG_ScriptButton(true);
      MENU_Command(MENU_Choice(MENU_FileId, 14));
      return APP_QuitNow();
    }
    DLG_ScriptButton(true);  // "Quit Vantorell?"
    DLG_ScriptButton(anyway);
    if (by == CloseBox) APP_ProcessAppleEvent({APP_AppleEvent::Quit, {}, false});
    else MENU_Command(MENU_Choice(MENU_FileId, 14));
  };
  const auto intact = [&](const char* obstacle) {
    if (obstacle[0] == 'f') return fs::is_directory(fs::symlink_status(path)) && read_file(path + "/inside") == std::vector<u8>{1, 2};
    return fs::is_symlink(path) && fs::read_symlink(path) == (obstacle[10] == 'd' ? "/dev/null" : folder.file("gone"));
  };
  for (const auto& o : obstacles) {
    for (By by : {Menu, CloseBox, WaitingFloppy, Overdue, Signal, SignalWhileWaiting}) {
      SCOPED_TRACE(testing::Message() << o.obstacle << ", way " << by);
      start();
      machine_run_quietly(1);
      APP_StopFlag = 0;  // the frame count's
      o.make();
      mark();
      const bool waits = by == WaitingFloppy || by == Overdue || by == SignalWhileWaiting;
      if (waits) {
        ASSERT_EQ(MENU_InsertImage('A', folder.file("game.st")), 1u);
        APP_OpenDocuments({folder.file("other.st")}, false);
        EVENTS_Paused = 1;
      }
      const std::string said = stderr_of([&] {
        quit(by, false);
        if (waits) {
          EXPECT_EQ(EVENTS_Paused, 0u);  // the machine runs until the floppy went in
          EXPECT_EQ(APP_StopFlag, 0);
        }
        if (by == Overdue) {
          static u64 now;
          now = HOST_Microseconds() + INPUT_QuitWaitLimit;
          HOST_Clock.microseconds = [] { return now; };
          INPUT_QuitIfOverdue();
          HOST_UseSystemClock();
        } else if (waits) {
          for (u32 i = 0; i < DISKIMG_SwapFrames; ++i) frame_passes();
        }
      });
      EXPECT_NE(said.find("Can't save the state to " + path + ": " + path + o.why), std::string::npos) << said;
      EXPECT_TRUE(intact(o.obstacle));
      if (by >= Signal) {
        EXPECT_FALSE(logged("alert 19 OK") || logged("alert 19 Cancel"));
        EXPECT_EQ(APP_StopFlag, 1);
        EXPECT_EQ(APP_QuitUnsaved, 1u);
        fs::remove_all(path);
        continue;
      }
      EXPECT_TRUE(logged("alert 19 Cancel"));
      EXPECT_EQ(DLG_LastAlertText(), "The state of the machine: " + path + o.why);
      EXPECT_EQ(APP_StopFlag, 0);
      EXPECT_EQ(APP_QuitUnsaved, 0u);
      EXPECT_EQ(EVENTS_Paused, by == WaitingFloppy || by == Overdue ? 1u : 0u);  // paused again
      EXPECT_TRUE(by != WaitingFloppy || item(MENU_FileId, 7).checked);
      EVENTS_Paused = 0;
      if (by == Overdue) {
        // The floppy the quit went without waits on, and goes in.
        EXPECT_EQ(said.find("did not go in"), std::string::npos) << said;
        EXPECT_EQ(INPUT_PendingDisks(), 1u);
        EXPECT_EQ(item(MENU_DisksId, 1).text, "Eject A: other.st");
        for (u32 i = 0; i < DISKIMG_SwapFrames; ++i) frame_passes();
        EXPECT_TRUE(DISKIMG_Holds(0, folder.file("other.st").c_str()));
      }
      machine_run_quietly(1, true);  // it runs on
      EXPECT_TRUE(marked());
      EXPECT_EQ(DLG_ScriptLeft(), 0u);
      // Again, and Quit Anyway.
      DLG_Log.clear();
      stderr_of([&] { quit(by == WaitingFloppy || by == Overdue ? Menu : by, true); });
      EXPECT_TRUE(logged("alert 19 OK"));
      EXPECT_EQ(APP_StopFlag, 1);
      EXPECT_EQ(APP_QuitUnsaved, 1u);
      EXPECT_TRUE(intact(o.obstacle));
      fs::remove_all(path);
    }
  }
  DISKIMG_Reset();
}

// Whatever the start refused under the automatic state's name, a folder or a link that is no state as
// well as a state of another machine, is set aside at the quit (the user told what it is), and the new
// state takes its place: the quit saved everything. A state the user saved in its place since is no longer
// what the start refused: it is neither set aside nor said to be, and the quit's state is written over it.
// A disk drive A took from the folder is in its drive again at the next start, from the folder's new name.
TEST_F(Menus, WhateverTheStartRefusedIsSetAsideAtTheQuit) {
  const std::string path = folder.file("Auto Saved State"), aside = path + " (refused)";
  const struct {
    const char* obstacle;
    std::function<void()> make;
    std::function<bool()> kept;
    const char* what;
  } obstacles[] = {
      {"folder", [&] { fs::create_directory(path); folder.write("Auto Saved State/inside", {1, 2}); },
       [&] { return read_file(aside + "/inside") == std::vector<u8>{1, 2}; }, ", which is a directory"},
      {"link to a device", [&] { fs::create_symlink("/dev/null", path); },
       [&] { return fs::read_symlink(aside) == "/dev/null"; }, ", which is a device"},
      {"link to nothing", [&] { fs::create_symlink(folder.file("gone"), path); },
       [&] { return fs::read_symlink(aside) == folder.file("gone"); }, ", which is a symbolic link to nothing"},
  };
  for (const auto& o : obstacles) {
    // Taken away and saved over by the user, the new file may well be given the freed inode.
    for (const bool saved_over : {false, true}) {
      SCOPED_TRACE(testing::Message() << o.obstacle << (saved_over ? ", saved over" : ""));
      start();
      o.make();
      machine_run_quietly(1);
      EXPECT_EQ(APP_AutoStateRefused, u32(STATE_RefusedNotAFile));
      const bool disk = o.obstacle[0] == 'f' && !saved_over;
      if (disk) {
        folder.write("Auto Saved State/game.st", make_floppy(737280));
        ASSERT_EQ(MENU_InsertImage('A', path + "/game.st"), 1u);
      }
      if (saved_over) {
        fs::remove_all(path);
        ASSERT_TRUE(MENU_SaveState(path));
      }
      DLG_ScriptButton(true);
      const std::string said = stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
      EXPECT_EQ(logged("alert 17 OK"), !saved_over);
      EXPECT_FALSE(logged("alert 19 OK"));
      if (saved_over) {
        EXPECT_EQ(said.find("kept as"), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(fs::symlink_status(aside)));
      } else {
        EXPECT_NE(said.find("kept as " + aside + o.what + ": It is no file, so no saved state"), std::string::npos)
            << said;
        EXPECT_TRUE(o.kept());
      }
      EXPECT_EQ(read_file(path).size(), STATE_FileSize(MMU_RamSize));
      EXPECT_EQ(APP_StopFlag, 1);
      EXPECT_EQ(APP_QuitUnsaved, 0u);
      if (disk) {
        start();
        machine_run_quietly(1);
        EXPECT_EQ(APP_AutoStateRefused, 0u);
        EXPECT_TRUE(DISKIMG_Holds(0, (aside + "/game.st").c_str())) << DLG_LastAlertText();
        DISKIMG_Reset();
      }
      fs::remove_all(path);
      fs::remove_all(aside);
    }
  }
  // Saved where the refused link leads nowhere (it never did, or its file was removed since), the user's state
  // replaced nothing refused, nor do later saves there (by any name, over whatever is there) and its restore: the
  // link is set aside, and no state is written over the user's through it. Another program's file put there is no state the user saved,
  // and is kept too.
  enum { NeverThere, Removed, OtherProgram };
  for (const int how : {NeverThere, Removed, OtherProgram}) {
    SCOPED_TRACE(how);
    start();
    fs::create_symlink("gone", path);
    if (how == Removed) folder.write("gone", {'n', 'o'});
    machine_run_quietly(1);
    fs::remove(folder.file("gone"));
    ASSERT_TRUE(APP_AutoStateRefused);
    if (how == OtherProgram) {
      folder.write("gone", {'n', 'o'});
    } else {
      ASSERT_TRUE(MENU_SaveState(folder.file("gone")));
      MMU_WriteL(0x3000, MMU_ReadL(0x3000) + 1);  // the machine runs on, and the user saves again
      ASSERT_TRUE(MENU_SaveState(folder.file("gone")));
      fs::remove(folder.file("gone"));
      folder.write("gone", {'n', 'o'});  // another program's file in its place, which the user saves over
      ASSERT_TRUE(MENU_SaveState(folder.file("gone")));
      fs::create_symlink("gone", folder.file("mine"));
      ASSERT_TRUE(MENU_SaveState(folder.file("mine")));
      DLG_ScriptFile(folder.file("gone"));
      MENU_Command(MENU_Choice(MENU_StatesId, 2));  // Restore State
    }
    const std::vector<u8> mine = read_file(folder.file("gone"));
    MMU_WriteL(0x3000, MMU_ReadL(0x3000) + 1);
    DLG_ScriptButton(true);
    const std::string said = stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
    EXPECT_TRUE(read_file(folder.file("gone")) == mine) << said;
    EXPECT_EQ(said.find("(refused), which leads to the state saved since as " +
                        fs::canonical(folder.file("gone")).string() + ": It") != std::string::npos,
              how != OtherProgram) << said;
    EXPECT_TRUE(logged("alert 17 OK") && fs::is_symlink(aside) && fs::read_symlink(aside) == "gone");
    EXPECT_FALSE(fs::is_symlink(path));
    for (const char* name : {"gone", "mine", "Auto Saved State", "Auto Saved State (refused)"})
      fs::remove(folder.file(name));
  }
  // That link taken away since, a state the user saves under the name is the quit's own again; the state saved
  // where it led moved over it is what replaced it, a state this machine restores, and is set aside as such.
  for (const bool moved : {false, true}) {
    start();
    fs::create_symlink("gone", path);
    machine_run_quietly(1);
    ASSERT_TRUE(MENU_SaveState(folder.file("gone")));
    if (moved) {
      fs::rename(folder.file("gone"), path);
    } else {
      fs::remove(path);
      ASSERT_TRUE(MENU_SaveState(path));
    }
    const std::vector<u8> before = read_file(path);
    DLG_ScriptButton(true);
    const std::string said = stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
    EXPECT_EQ(logged("alert 23 OK") && read_file(aside) == before, moved) << said;
    EXPECT_EQ(said.find("What replaced the automatic state refused at the start is kept as " + aside +
                        ": It is a saved state this machine restores now") != std::string::npos, moved) << said;
    EXPECT_TRUE(read_file(path) == STATE_Encode());
    for (const std::string& name : {aside, path, folder.file("gone")}) fs::remove(name);
  }
}

// A disk under the automatic state's name, named on the command line (the start refuses it as a state, then it goes
// into drive A), stays where and as it is at the quit, and the quit says why no state is saved: in its alert, or on
// standard error alone under a signal. A hard disk's image in a refused folder stays there too.
TEST_F(Menus, AQuitLeavesADiskUnderTheAutomaticStatesName) {
  const std::string path = folder.file("Auto Saved State"), why = "drive A holds " + path + " as its disk";
  const std::vector<u8> image = make_floppy(737280);
  for (const bool signal : {false, true}) {
    folder.write("Auto Saved State", image);
    start();
    machine_run_quietly(1);
    testing::internal::CaptureStdout();
    APP_OpenDocuments({path}, false, true);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(APP_AutoStateRefused && DISKIMG_Holds(0, path.c_str()));
    DLG_ScriptButton(true);  // "Quit Vantorell?", then Quit Anyway
    DLG_ScriptButton(true);
    EXPECT_EQ(stderr_of([&] { signal ? APP_QuitNow() : MENU_Command(MENU_Choice(MENU_FileId, 14)); }),
              "Can't save the state to " + path + ": " + why + "\n");
    EXPECT_EQ(DLG_LastAlertText() == "The state of the machine: " + why, !signal) << signal;
    EXPECT_TRUE(read_file(path) == image && !fs::exists(path + " (refused)") && APP_QuitUnsaved) << signal;
    DISKIMG_Reset();
  }
  // So does a refused folder (or a link to one) that hard disk C's image is found through, also while the hard
  // disk is off: set aside, the next start would find no image, and refuse the quit's state for it. An image
  // beside it lets it be set aside.
  std::vector<u8> hdd(HDD_EmptyImageBytes, 0);
  HDD_BuildBootSector(hdd.data());
  hdd[HDD_EmptyImageBytes - 1] = 0x5a;  // what the ST wrote
  enum { InIt, ThroughALink, InItWhileOff, Beside };
  for (const int where : {InIt, ThroughALink, InItWhileOff, Beside}) {
    SCOPED_TRACE(where);
    fs::remove(path);
    fs::create_directory(folder.file("disks"));
    folder.write("disks/hd.dmg", hdd);
    where == ThroughALink ? fs::create_symlink("disks", path) : fs::rename(folder.file("disks"), path);
    if (where == Beside)
      fs::rename(path + "/hd.dmg", folder.file("HDD-C.dmg"));
    else
      fs::create_symlink("Auto Saved State/hd.dmg", folder.file("HDD-C.dmg"));
    start();
    machine_run_quietly(1);
    ASSERT_TRUE(APP_AutoStateRefused && HDD_Open[0]);
    if (where == InItWhileOff) {
      PREFS_HardDiskOn = 0;
      HDD_OpenImages();
    }
    DLG_ScriptButton(true);
    DLG_ScriptButton(true);
    const std::string said = stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
    const std::string why = path + " could not be restored at the start and is kept; no new state is saved: " +
                            "hard disk C finds its image " + folder.file("HDD-C.dmg") + " through " + path;
    if (where == Beside) {
      EXPECT_TRUE(logged("alert 17 OK") && fs::exists(path + " (refused)") && !APP_QuitUnsaved) << said;
    } else {
      EXPECT_EQ(said, why + "\n");
      EXPECT_EQ(DLG_LastAlertText(), "The state of the machine: " + why);
      EXPECT_TRUE(!fs::exists(path + " (refused)") && APP_QuitUnsaved);
    }
    EXPECT_EQ(read_file(folder.file("HDD-C.dmg")), hdd);
    PREFS_HardDiskOn = 1;
    for (const char* name : {"disks", "Auto Saved State", "Auto Saved State (refused)", "HDD-C.dmg"})
      fs::remove_all(folder.file(name));
  }
  // Nor one "cart.img" is found through: the next start would have no cartridge, and refuse the state for it.
  fs::create_directory(path);
  const std::vector<u8> rom(64, 1);
  folder.write("Auto Saved State/rom.img", rom);
  fs::create_symlink("Auto Saved State/rom.img", folder.file("cart.img"));
  CART_PortConfig = 0;
  start();
  machine_run_quietly(1);
  ASSERT_TRUE(APP_AutoStateRefused && CART_PortConfig == 2);
  DLG_ScriptButton(true);
  DLG_ScriptButton(true);
  EXPECT_EQ(stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); }),
            path + " could not be restored at the start and is kept; no new state is saved: the cartridge port " +
                "finds its image " + folder.file("cart.img") + " through " + path + "\n");
  EXPECT_TRUE(read_file(folder.file("cart.img")) == rom && !fs::exists(path + " (refused)"));
  CART_PortConfig = 0;
  fs::remove(folder.file("cart.img"));
}

// Such a disk that still waits for drive A when the quit goes ahead without it is set aside like any refused
// file (or with the refused folder it lies in), and said to be left out under its new name. Should the user go
// back to the machine (the state could not be written), it waits on under that name and goes in from there, not
// from the name the quit writes its states to. One the start did not refuse (put there later) is the user's
// disk: no state is written over it.
TEST_F(Menus, AFloppyAnOverdueQuitLeavesOutIsNeitherLostNorWrittenOver) {
  const std::string path = folder.file("Auto Saved State"), aside = path + " (refused)";
  const std::vector<u8> image = make_floppy(737280);
  for (const char* where : {"refused", "in a refused folder", "came later"}) {
    for (const bool back : {true, false}) {
      SCOPED_TRACE(testing::Message() << where << (back ? ", back" : ", quit"));
      const bool refused = where[0] != 'c', inside = where[0] == 'i';
      folder.write("game.st", image);
      if (inside) fs::create_directory(path);
      if (refused) folder.write(inside ? "Auto Saved State/inner.st" : "Auto Saved State", image);
      start();
      machine_run_quietly(1);
      APP_StopFlag = 0;  // the frame count's
      ASSERT_EQ(APP_AutoStateRefused != 0, refused);
      if (!refused) folder.write("Auto Saved State", image);
      ASSERT_EQ(MENU_InsertImage('A', folder.file("game.st")), 1u);
      APP_OpenDocuments({inside ? path + "/inner.st" : path}, false);
      ASSERT_EQ(INPUT_PendingDisks(), 1u);
      DLG_ScriptButton(true);                         // "Quit Vantorell?"
      if (refused) DLG_ScriptButton(true);            // what became of the refused file
      if (back || !refused) DLG_ScriptButton(!back);  // what can't be saved
      const std::string said = stderr_of([&] {
        MENU_Command(MENU_Choice(MENU_FileId, 14));
        static u64 now;
        now = HOST_Microseconds() + INPUT_QuitWaitLimit;
        HOST_Clock.microseconds = [] { return now; };
        const FileSizeLimit full(back ? 4096 : 1u << 30);
        INPUT_QuitIfOverdue();
        HOST_UseSystemClock();
      });
      const std::string disk = inside ? aside + "/inner.st" : refused ? aside : path;
      EXPECT_EQ(said.find("kept as " + aside) != std::string::npos, refused) << said;
      if (!refused) {
        EXPECT_NE(said.find("Can't save the state to " + path + ": drive A waits for " + path + " as its disk"),
                  std::string::npos) << said;
      }
      EXPECT_EQ(read_file(disk), image);
      EXPECT_EQ(APP_StopFlag, back ? 0 : 1);
      EXPECT_EQ(logged("alert 19 OK"), !refused && !back);
      if (back) {
        EXPECT_TRUE(logged("alert 19 Cancel")) << said;
        EXPECT_EQ(item(MENU_DisksId, 1).text, "Eject A: " + fs::path(disk).filename().string());
        for (u32 i = 0; i < DISKIMG_SwapFrames; ++i) frame_passes();
        EXPECT_TRUE(DISKIMG_Holds(0, disk.c_str()));
      } else {
        EXPECT_NE(said.find(disk + " did not go in: the quit came first"), std::string::npos) << said;
        EXPECT_EQ(INPUT_PendingDisks(), 0u);
        if (refused) {
          EXPECT_EQ(read_file(path).size(), STATE_FileSize(MMU_RamSize));
        }
      }
      DISKIMG_Reset();
      fs::remove_all(path);
      fs::remove_all(aside);
    }
  }
}

// With the option off the start restores nothing, but looks at what has the automatic state's name, and says
// nothing of it: switched on, the quit sets aside what this machine could not have restored (a disk image, or
// a state of another TOS the last quit with the option off kept) and writes over a state it could have, nothing
// said. With the option still off, the quit leaves either as it is.
TEST_F(Menus, WithTheOptionOffTheStartLooksAtTheAutomaticStateForALaterQuit) {
  const std::string path = folder.file("Auto Saved State"), aside = path + " (refused)";
  for (const bool state : {false, true}) {
    for (const bool on : {false, true}) {
      SCOPED_TRACE(testing::Message() << (state ? "a state" : "a disk image") << (on ? ", switched on" : ""));
      start();
      if (state)
        ASSERT_TRUE(STATE_Write(path.c_str()));
      else
        folder.write("Auto Saved State", make_floppy(737280));
      const std::vector<u8> before = read_file(path);
      PREFS_AutoSaveOnQuit = 0;
      machine_run_quietly(1);
      EXPECT_EQ(APP_AutoStateTakenUp, 0u);
      EXPECT_EQ(APP_AutoStateRefused, state ? 0u : u32(STATE_RefusedFile));
      EXPECT_EQ(DLG_Log, std::vector<std::string>{});
      PREFS_AutoSaveOnQuit = on;
      DLG_ScriptButton(true);
      const std::string said = stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
      const bool kept = on && !state;
      EXPECT_EQ(logged("alert 17 OK"), kept);
      EXPECT_EQ(said.find("kept as " + aside + ": It is damaged") != std::string::npos, kept) << said;
      EXPECT_EQ(fs::exists(aside) && read_file(aside) == before, kept);
      if (on)
        EXPECT_EQ(read_file(path).size(), STATE_FileSize(MMU_RamSize));
      else
        EXPECT_EQ(read_file(path), before);
      EXPECT_EQ(APP_StopFlag, 1);
      fs::remove(path);
      fs::remove(aside);
      PREFS_AutoSaveOnQuit = 1;
    }
  }
}

// What the start refused and is written into since (drive A's disk, which the ST wrote to before it was ejected,
// or a damaged state mended in place by another program) is still what it refused: the quit sets it aside with
// what was written. States the user saved under the name since, however many, are not: nothing is set aside.
// The same holds for a symbolic link: saved through, it leads to a new file and stays where it is. Moved, with a
// link to it in its place, the refused file is what a save there would replace: the link is set aside instead.
TEST_F(Menus, TheQuitKnowsTheRefusedFileByWhatItIsNotByWhenItChanged) {
  const std::string path = folder.file("Auto Saved State"), aside = path + " (refused)";
  const std::pair<std::string, bool> cases[] = {
      {"drive A wrote", false}, {"changed in place", false}, {"saved over", false},
      {"drive A wrote", true},  {"saved over", true},        {"moved and linked", false},
      {"moved and linked, held out of descriptors", false}, {"saved anew by another program", false},
      {"saved anew by another program", true}, {"a state saved anew by another program", false},
      {"a state copied in place", false}, {"linked anew", true}};
  for (const auto& [how, link] : cases) {
    SCOPED_TRACE(how + (link ? " through a link" : ""));
    std::vector<u8> image = make_floppy(737280);
    if (link) {
      folder.write("elsewhere", image);
      fs::create_symlink("elsewhere", path);
    } else {
      folder.write("Auto Saved State", image);
    }
    start();
    machine_run_quietly(1);
    ASSERT_TRUE(APP_AutoStateRefused);
    const auto refused = FILES_IdOf(path);
    if (how.ends_with("out of descriptors")) {
      // As a start that had every descriptor taken holds it: by what it is alone.
      rlimit limit;
      getrlimit(RLIMIT_NOFILE, &limit);
      const rlimit few = {256, limit.rlim_max};
      APP_AutoStateRefusedEntry.LetGo();
      setrlimit(RLIMIT_NOFILE, &few);
      std::vector<int> taken;
      for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken.push_back(fd);
      APP_AutoStateRefusedEntry.Hold(path.c_str());
      for (const int fd : taken) close(fd);
      setrlimit(RLIMIT_NOFILE, &limit);
    }
    image[512] = 0x0e;
    if (how == "drive A wrote") {
      testing::internal::CaptureStdout();
      APP_OpenDocuments({path}, false, true);
      testing::internal::GetCapturedStdout();
      ASSERT_TRUE(DISKIMG_Holds(0, path.c_str()));
      ASSERT_EQ(pwrite(DISKIMG_Files[0], &image[512], 1, 512), 1);
      DISKIMG_Eject('A');
    } else if (how == "a state copied in place") {
      image = STATE_Encode();
      const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
      ASSERT_EQ(write(fd, image.data(), image.size()), ssize_t(image.size()));
      close(fd);
    } else if (how == "changed in place" || how.starts_with("moved and linked") || how == "linked anew") {
      if (how != "changed in place") {
        if (how == "linked anew") {
          // A new link to the same file (ln -sf): the old one is let go as removed.
          fs::remove(path);
          machine_run_quietly(64, true);
        } else {
          fs::rename(path, folder.file("elsewhere"));
        }
        fs::create_symlink("elsewhere", path);
      }
      const int fd = open(path.c_str(), O_WRONLY);
      ASSERT_EQ(pwrite(fd, &image[512], 1, 512), 1);
      close(fd);
    } else if (how.ends_with("saved anew by another program")) {
      // As an editor saves: a new file renamed over the old one; or a backup of a state moved back.
      if (how[0] == 'a') image = STATE_Encode();
      folder.write("new", image);
      fs::rename(folder.file("new"), link ? folder.file("elsewhere") : path);
      // What it replaced is let go while the machine runs: its space is freed.
      machine_run_quietly(64, true);
      EXPECT_EQ(held_removed_file(folder.path()), "");
    } else {
      // Each save frees the inode of the file it replaces, which the next one may well be given.
      for (int saves = 0; saves < 8 && (saves < 2 || FILES_IdOf(path) != refused); ++saves)
        ASSERT_TRUE(MENU_SaveState(path));
    }
    DLG_ScriptButton(true);
    const std::string said = stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
    const bool kept = how != "saved over", anew = how.ends_with("saved anew by another program");
    EXPECT_EQ(logged("alert 17 OK"), kept && !anew);
    EXPECT_EQ(logged("alert 23 OK"), anew);  // not the refused file
    EXPECT_EQ(said.find("kept as " + aside + ": ") != std::string::npos, kept) << said;
    // Said as what it is now, not as what the start refused.
    EXPECT_EQ(said.find("this machine restores now") != std::string::npos, how.starts_with("a state")) << said;
    EXPECT_EQ(fs::exists(aside), kept);
    if (kept) {
      EXPECT_EQ(read_file(aside), image);
    }
    EXPECT_EQ(read_file(path).size(), STATE_FileSize(MMU_RamSize));
    EXPECT_EQ(fs::is_symlink(path), link && !kept);
    EXPECT_EQ(APP_QuitUnsaved, 0u);
    fs::remove(path);
    fs::remove(aside);
    fs::remove(folder.file("elsewhere"));
  }
  // Another program's file that can't be set aside (every name taken) is kept, and said to be that file.
  folder.write("Auto Saved State", make_floppy(737280));
  start();
  machine_run_quietly(1);
  folder.write("new", {1, 2, 3});
  fs::rename(folder.file("new"), path);
  folder.write("Auto Saved State (refused)", {});
  for (int n = 2; n < 100; ++n) folder.write("Auto Saved State (refused " + std::to_string(n) + ")", {});
  DLG_ScriptButton(true);  // Quit Anyway
  const std::string said = stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
  EXPECT_EQ(said.substr(0, said.find('\n')),
            path + ", put in place of the automatic state that could not be restored at the start, is kept; no new "
                   "state is saved: can't rename " + path + ": every name for it is taken");
  EXPECT_EQ(read_file(path), std::vector<u8>({1, 2, 3}));
}

// An automatic state the start could not read (its permissions) may be whole: the caution at the quit says
// so, not that it is damaged, and the quit sets it aside, as it was, before it writes the new one.
TEST_F(Menus, AnAutomaticStateThatCantBeReadIsKeptAndNamedSo) {
  const std::string path = folder.file("Auto Saved State"), aside = path + " (refused)";
  ASSERT_TRUE(STATE_Write(path.c_str()));
  const std::vector<u8> state = read_file(path);
  chmod(folder.path().c_str(), 0777);
  chmod(path.c_str(), 0);
  const int status = run_as_ordinary_user([&] {
    if (access(path.c_str(), R_OK) == 0) return 3;  // readable after all: nothing to show
    machine_run_quietly(1);
    if (APP_AutoStateRefused != STATE_RefusedUnreadable) return 1;
    DLG_ScriptButton(true);
    stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
    return logged("alert 17 OK") && APP_StopFlag == 1 && !APP_QuitUnsaved ? 0 : 2;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(aside), state);
  EXPECT_EQ(fs::status(aside).permissions(), fs::perms::none);
  EXPECT_EQ(read_file(path).size(), state.size());
  APP_AutoStateRefused = STATE_RefusedUnreadable;
  const std::string explanation = DLG_AlertTexts(17).explanation;
  EXPECT_NE(explanation.find("could not be read at the start"), std::string::npos) << explanation;
  EXPECT_EQ(explanation.find("damaged"), std::string::npos) << explanation;
  APP_AutoStateRefused = 0;

  // Saved over with Save State As, it is the user's own state, unreadable as the file it replaced was: the
  // quit writes over it as usual.
  fs::remove(aside);
  ASSERT_TRUE(STATE_Write(path.c_str()));
  chmod(path.c_str(), 0);
  start();
  EXPECT_EQ(run_as_ordinary_user([&] {
              if (access(path.c_str(), R_OK) == 0) return 3;
              machine_run_quietly(1);
              if (APP_AutoStateRefused != STATE_RefusedUnreadable || !MENU_SaveState(path)) return 1;
              DLG_ScriptButton(true);
              stderr_of([] { MENU_Command(MENU_Choice(MENU_FileId, 14)); });
              return logged("alert 17 OK") || APP_StopFlag != 1 ? 2 : 0;
            }),
            0);
  EXPECT_FALSE(fs::exists(aside));
}

// A floppy dropped in place of another waits while the old one slides out
// and the drive stands empty. A state loaded meanwhile puts the drive where
// the state's stood: one saved in the wait has the disk wait the rest of it
// again, one whose drive was empty since its start takes it at once, one
// that puts its own disk there ends the wait.
TEST_F(Menus, ALoadedStateCarriesOnOrEndsAFloppysWait) {
  folder.write("old.st", make_floppy(737280));
  folder.write("new.st", make_floppy(737280));
  folder.write("other.st", make_floppy(737280));
  const std::string empty = folder.file("empty"), waiting = folder.file("waiting"), full = folder.file("full");
  ASSERT_TRUE(STATE_Write(empty.c_str()));
  ASSERT_EQ(MENU_InsertImage('A', folder.file("old.st")), 1u);
  ASSERT_TRUE(STATE_Write(full.c_str()));
  const auto load = [](const std::string& state) {
    DLG_ScriptFile(state);
    MENU_Command(MENU_Choice(MENU_StatesId, 2));
  };
  APP_OpenDocuments({folder.file("new.st")}, false);
  for (u32 i = 0; i < 10; ++i) frame_passes();
  ASSERT_TRUE(STATE_Write(waiting.c_str()));
  for (u32 i = 10; i < DISKIMG_SwapFrames - 1; ++i) frame_passes();
  load(waiting);
  for (u32 i = 10; i < DISKIMG_SwapFrames - 1; ++i) frame_passes();
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_EQ(INPUT_PendingDisks(), 1u);
  frame_passes();
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_EQ(item(MENU_DisksId, 1).text, "Eject A: new.st");

  APP_OpenDocuments({folder.file("old.st")}, false);
  load(empty);
  frame_passes();
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_EQ(item(MENU_DisksId, 1).text, "Eject A: old.st");

  APP_OpenDocuments({folder.file("other.st")}, false);
  EXPECT_EQ(INPUT_PendingDisks(), 1u);
  load(full);
  EXPECT_EQ(INPUT_PendingDisks(), 0u);
  for (u32 i = 0; i < DISKIMG_SwapFrames; ++i) frame_passes();
  EXPECT_EQ(item(MENU_DisksId, 1).text, "Eject A: old.st");
  DISKIMG_Reset();
}

// A file that can't go into a drive changes nothing, dropped or named on
// the command line: the drive keeps its disk (nothing waits to replace it),
// and the alert says why and that the disk stays.
TEST_F(Menus, AFileThatCantGoInLeavesTheDrivesDiskIn) {
  folder.write("game.st", make_floppy(737280));
  folder.write("picture.png", std::vector<u8>(2243, 0x89));
  // An MSA image whose first track's record is longer than a track.
  folder.write("damaged.msa", {0x0e, 0x0f, 0, 9, 0, 0, 0, 0, 0, 79, 0x20, 0});
  folder.write("cut.st.gz", {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3, 0xed});
  fs::create_directory(folder.file("folder.st"));
  ASSERT_EQ(mkfifo(folder.file("fifo.st").c_str(), 0600), 0);
  testing::internal::CaptureStdout();
  const u32 inserted = MENU_InsertImage('A', folder.file("game.st"));
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(inserted, 1u);
  const int held = DISKIMG_Files[0];
  const std::pair<const char*, const char*> files[] = {
      {"picture.png", "is too small for a floppy image (2243 bytes)"},
      {"damaged.msa", "is a damaged MSA image"},
      {"cut.st.gz", "is a damaged or cut gzip image"},
      {"folder.st", "is a directory"},
      {"fifo.st", "is a FIFO"},
      {"missing.st", "does not exist"},
  };
  for (const auto& [name, why] : files) {
    SCOPED_TRACE(name);
    APP_OpenDocuments({folder.file(name)}, false);
    EXPECT_EQ(DISKIMG_InsertedMask, 1u);
    EXPECT_EQ(DISKIMG_Files[0], held);
    EXPECT_EQ(INPUT_PendingDisks(), 0u);
    EXPECT_EQ(item(MENU_DisksId, 1).text, "Eject A: game.st");
    const std::string said = DLG_LastAlertText();
    EXPECT_NE(said.find(folder.file(name) + " " + why), std::string::npos) << said;
    EXPECT_NE(said.find("The disk in drive A stays in."), std::string::npos) << said;
  }
  DISKIMG_Reset();
}

// One image goes into one drive for writing: the ST keeps each drive's
// directory in its buffers, and two writers would corrupt the disk. From the
// menus and from a drop, the second drive only reads it (the menu's toggle
// can't lift that), and so does a drive given an image another program
// writes; the alert says why. Eject and insert again, once the other is
// out, writes it.
TEST_F(Menus, AnImageGoesIntoOneDriveForWriting) {
  folder.write("work.st", make_floppy(737280));
  const std::string work = folder.file("work.st");
  const auto writable = [](u32 d) { return (fcntl(DISKIMG_Files[d], F_GETFL) & O_ACCMODE) == O_RDWR; };
  const auto toggle_twice = [] {
    MENU_Command(MENU_Choice(MENU_DisksId, 4));
    MENU_Command(MENU_Choice(MENU_DisksId, 4));
  };
  // What the insertions print, out of the way.
  const auto quietly = [](auto run) {
    testing::internal::CaptureStdout();
    run();
    testing::internal::GetCapturedStdout();
  };
  for (const bool dropped : {false, true}) {
    SCOPED_TRACE(dropped ? "dropped" : "from the menus");
    DISKIMG_Reset();
    DLG_Log.clear();
    quietly([&] {
      if (dropped) {
        APP_OpenDocuments({work, work}, false);
      } else {
        for (u32 drive : {1, 2}) {
          DLG_ScriptFile(work);
          MENU_Command(MENU_Choice(MENU_DisksId, drive));
        }
      }
    });
    ASSERT_EQ(DISKIMG_InsertedMask, 3u);
    toggle_twice();
    EXPECT_TRUE(writable(0));
    EXPECT_EQ(DISKIMG_WriteProtect[0], 0u);
    EXPECT_FALSE(writable(1));
    EXPECT_EQ(DISKIMG_WriteProtect[1], 0x40u);
    EXPECT_TRUE(logged("alert 20 OK"));
    EXPECT_NE(DLG_LastAlertText().find("Drive B: " + work + " went in write-protected: drive A writes it. To let "
                                       "the ST write on it, eject the disk and insert it again once drive A lets "
                                       "it go."),
              std::string::npos)
        << DLG_LastAlertText();
  }
  // Out of A, then out of B and in again (once the ST saw B empty): written.
  quietly([&] {
    MENU_Command(MENU_Choice(MENU_DisksId, 1));
    MENU_Command(MENU_Choice(MENU_DisksId, 2));
    DLG_ScriptFile(work);
    MENU_Command(MENU_Choice(MENU_DisksId, 2));
    EXPECT_EQ(INPUT_PendingDisks(), 2u);
    for (u32 i = 0; i < DISKIMG_SwapFrames; ++i) frame_passes();
  });
  ASSERT_EQ(DISKIMG_InsertedMask, 2u);
  EXPECT_TRUE(writable(1));
  // Another program writes it.
  DISKIMG_Reset();
  const int other = open(work.c_str(), O_RDWR);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  quietly([&] { APP_OpenDocuments({work}, false); });
  close(other);
  ASSERT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_FALSE(writable(0));
  EXPECT_NE(DLG_LastAlertText().find("another program (another copy of Vantorell?) writes it. To let the ST write "
                                     "on it, eject the disk and insert it again once that program lets it go."),
            std::string::npos)
      << DLG_LastAlertText();
  // This machine's hard disk C writes it: only drive C may, and the alert says so.
  DISKIMG_Reset();
  const std::string hdd = folder.file("HDD-C.dmg");
  ASSERT_TRUE(HDD_CreateEmptyImage(hdd.c_str()) && HDD_OpenImages());
  quietly([&] { APP_OpenDocuments({hdd}, false); });
  EXPECT_EQ(DLG_LastAlertText(), "Drive A: " + hdd + " went in write-protected: hard disk C holds " + hdd +
                                     " as its image. The ST writes on it as drive C.");
  HDD_CloseImages();
  DISKIMG_Reset();
}

// A file the user may only read goes in write-protected, named on the
// command line, dropped or chosen from the menu, and the alert says so and
// what lets the ST write on it.
TEST_F(Menus, AFileWeMayOnlyReadGoesInWriteProtectedWithAWord) {
  folder.write("game.st", make_floppy(737280));
  const std::string game = folder.file("game.st");
  chmod(folder.path().c_str(), 0755);
  chmod(game.c_str(), 0444);
  const std::function<void()> ways[] = {
      [&] {  // named on the command line of a start that took up the automatic state
        APP_AutoStateTakenUp = 1;
        APP_OpenDocuments({game}, false, true);
        APP_AutoStateTakenUp = 0;
      },
      [&] { APP_OpenDocuments({game}, false); },
      [&] {
        DLG_ScriptFile(game);
        MENU_Command(MENU_Choice(MENU_DisksId, 1));
      },
  };
  for (const auto& insert : ways) {
    DISKIMG_Reset();
    testing::internal::CaptureStdout();
    const int status = run_as_ordinary_user([&] {
      if (access(game.c_str(), W_OK) == 0) return 3;
      insert();
      if (DISKIMG_InsertedMask != 1 || DISKIMG_WriteProtect[0] != 0x40) return 1;
      return DLG_LastAlertText() == "Drive A: " + game + " went in write-protected: the file may only be read. To "
                                                         "let the ST write on it, make the file writable (its "
                                                         "permissions, or the file system it lies on), then eject "
                                                         "the disk and insert it again."
                 ? 0
                 : 2;
    });
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
  }
  DISKIMG_Reset();
}

// A state is never saved over a file the machine holds, by whatever name: the alert names the holder and the file
// stays as it was. Another file is saved over (the hard disk C is in use in every row). The printer holds its file
// whether or not the ST printed before the save, and prints into it after; a disk under the printer's name is never
// printed into.
TEST_F(Menus, AStateIsNeverSavedOverAFileTheMachineHolds) {
  const std::vector<u8> image = make_floppy(737280);
  for (const char* name : {"a.st", "b.st", "other.st"}) folder.write(name, image);
  const gzFile gz = gzopen(folder.file("a.st.gz").c_str(), "wb");
  gzwrite(gz, image.data(), unsigned(image.size()));
  gzclose(gz);
  fs::create_symlink("b.st", folder.file("link.st"));
  fs::create_hard_link(folder.file("b.st"), folder.file("hard.st"));
  fs::create_symlink("Printer Output", folder.file("printout"));
  fs::create_symlink("to-other.st", folder.file("chain.st"));
  fs::create_symlink(folder.file("other.st"), folder.file("to-other.st"));
  ASSERT_EQ(HDD_CreateEmptyImage(folder.file("HDD-C.dmg").c_str()), 1u);
  const auto print = [](const std::string& bytes) {
    for (const char c : bytes) PSG_PutB(0xff8800, 15), PSG_PutB(0xff8802, u8(c));
    PRINTER_Flush();
  };
  // The file saved to, the image put in a drive, and who holds the file as what (none: it is saved);
  // "waits for": the file is dropped on the drive, and waits while the drive's disk comes out. `printed`: what the
  // ST prints before the save, in a row where it prints "p" after it too; `old`: an earlier run's printout is
  // there; `away`: the waiting file is moved away before the save (what is put under its name goes in; for the
  // printer's name, nothing is made there, nothing goes in, as the alert says, and the ST prints on); `dropped`:
  // the name dropped instead, a chain of symbolic links leading to the file.
  const struct {
    const char *path, *image; char drive; const char *holder, *verb = "holds", *as = "disk", *printed = nullptr;
    bool old = false, away = false;
    const char* dropped = nullptr;
  } rows[] = {
      {"a.st", "a.st", 'A', "drive A"},
      {"link.st", "b.st", 'B', "drive B"},
      {"hard.st", "b.st", 'B', "drive B"},
      {"a.st.gz", "a.st.gz", 'A', "drive A"},
      {"HDD-C.dmg", "b.st", 'B', "hard disk C", "holds", "image"},
      {"other.st", "a.st", 'A', "drive A", "waits for"},
      {"other.st", "a.st", 'A', "drive A", "waits for", "disk", nullptr, false, true},
      {"other.st", "a.st", 'A', "drive A", "waits for", "disk", nullptr, false, true, "chain.st"},
      {"to-other.st", "a.st", 'A', "drive A", "waits for", "disk", nullptr, false, true, "chain.st"},
      {"Printer Output", "a.st", 'A', "the printer", "writes", "output", ""},  // not there yet
      {"printout", "a.st", 'A', "the printer", "writes", "output", "", true},
      {"printout", "a.st", 'A', "the printer", "writes", "output", "x"},
      {"Printer Output", "Printer Output", 'B', "drive B", "holds", "disk", "x"},
      {"Printer Output", "a.st", 'A', "drive A", "waits for", "disk", "x"},
      {"Printer Output", "a.st", 'A', "drive A", "waits for", "disk", "x", false, true},
      {"other.st", "a.st", 'A', nullptr},
      {"sub/Printer Output", "a.st", 'A', nullptr},
  };
  fs::create_directory(folder.file("sub"));
  for (const auto& r : rows) {
    SCOPED_TRACE(r.path);
    start();
    const std::string path = folder.file(r.path), printer = folder.file("Printer Output");
    const bool disk = std::string(r.path) == "Printer Output" && std::string(r.as) == "disk";
    if (disk || r.old) folder.write("Printer Output", disk ? image : std::vector<u8>{'o', 'l', 'd'});
    else fs::remove(printer);
    testing::internal::CaptureStdout();
    const u32 in = DISKIMG_Insert(folder.file(r.image).c_str(), r.drive);
    if (r.holder && std::string(r.verb) == "waits for")
      APP_OpenDocuments({r.dropped ? folder.file(r.dropped) : path}, false);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(in && HDD_Open[0]);
    if (r.away) fs::rename(path, path + ".away");
    std::string said = stderr_of([&] { print(r.printed ? r.printed : ""); });
    const std::vector<u8> was = read_file(path);
    bool saved = false;
    stderr_of([&] { saved = MENU_SaveState(path); });
    EXPECT_EQ(saved, !r.holder);
    if (!disk) INPUT_CancelPendingDisk('A');
    if (!r.holder) {
      EXPECT_EQ(fs::file_size(path), STATE_FileSize(MMU_RamSize));
      continue;
    }
    EXPECT_EQ(read_file(path), was);
    EXPECT_TRUE(!r.away || !fs::exists(path));
    if (r.away && !disk) fs::rename(path + ".away", path);
    EXPECT_TRUE(logged("alert 14 OK"));
    EXPECT_EQ(DLG_LastAlertText(), path + ": " + r.holder + " " + r.verb + " " + path + " as its " + r.as);
    if (!r.printed) continue;
    said += stderr_of([&] { print("p"); });
    const std::string printout = r.printed + std::string("p");
    EXPECT_EQ(read_file(printer),
              r.away ? std::vector<u8>{} : disk ? image : std::vector<u8>(printout.begin(), printout.end()));
    const std::string refused = printer + ": " + r.holder + " " + r.verb + " " + printer + " as its disk";
    EXPECT_EQ(said, disk ? refused + ": printed bytes are lost\n" : "");
    if (!disk) continue;
    // The disk is (or goes) into its drive as it was; once the drive lets it go, the ST prints on, and the
    // disk stays as it was without another word.
    testing::internal::CaptureStdout();
    for (u32 i = 0; i < DISKIMG_SwapFrames; ++i) frame_passes();
    EXPECT_EQ(DISKIMG_Holds(r.drive - 'A', printer.c_str()), !r.away);
    const std::string missing = "Cant insert a disk in drive A, " + printer + " does not exist";
    EXPECT_EQ(logged("alert 7 OK") && DLG_LastAlertText() == missing, r.away);
    DISKIMG_Eject(r.drive);
    testing::internal::GetCapturedStdout();
    MENU_Command(MENU_Choice(MENU_OptionsId, 7));  // any menu command
    EXPECT_EQ(stderr_of([&] { print("q"); }), "");
    EXPECT_EQ(read_file(printer), r.away ? std::vector<u8>{'q'} : image);
  }
  HDD_CloseImages();
  DISKIMG_Reset();
}

// A packed floppy (gzip or MSA) lives in its unpacked copy once in its drive, so its file may be deleted; the files
// made after that (the file system hands out the freed inode again) are never taken for the drive's disk: a quick
// save to one name saves every time, the ST's printing reaches the printer's file, and an empty hard-disk image is
// made. The packed file (by any name of it) stays the drive's while its disk is in, and Eject leaves no descriptor
// behind.
TEST_F(Menus, ADeletedPackedFloppysFileLendsItsPlaceToNoOtherFile) {
  const std::vector<u8> image = make_floppy(737280, 2, 9);
  const std::vector<u8> msa = msa_of(image);
  const auto descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  const auto gzip_to = [](const std::string& path, const std::vector<u8>& bytes) {
    const gzFile gz = gzopen(path.c_str(), "wb");
    gzwrite(gz, bytes.data(), unsigned(bytes.size()));
    gzclose(gz);
  };
  // Each kind of new file on its own, a few times: whichever takes the freed inode is the one asked of.
  enum { Save, Print, Image };
  for (const std::string name : {"a.st.gz", "a.msa", "a.msa.gz"}) {
    for (const int kind : {Save, Print, Image}) {
      SCOPED_TRACE(name + " " + std::to_string(kind));
      start();
      const std::string packed = folder.file(name), link = folder.file("link"), printer = folder.file("Printer Output");
      const std::vector<u8>& content = name.find("msa") != std::string::npos ? msa : image;
      if (name == "a.msa")
        folder.write(name, content);
      else
        gzip_to(packed, content);
      fs::create_hard_link(packed, link);
      fs::remove(printer);
      const auto before = descriptors();
      testing::internal::CaptureStdout();
      ASSERT_EQ(DISKIMG_Insert(packed.c_str(), 'A'), 1u);
      testing::internal::GetCapturedStdout();
      EXPECT_EQ(descriptors(), before + 2);  // the image and its packed file, which is only read and not locked
      EXPECT_EQ(fcntl(DISKIMG_PackedFiles[0], F_GETFL) & O_ACCMODE, O_RDONLY);
      const int other = open(packed.c_str(), O_RDWR | O_CLOEXEC);
      EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
      close(other);
      for (const std::string& held : {packed, link})
        EXPECT_EQ(HOLDERS_Of(held.c_str()), "drive A holds " + held + " as its disk");
      // Standard error's capture file is made before the deletion, so that it is not the file taking the inode.
      testing::internal::CaptureStderr();
      fs::remove(packed);
      fs::remove(link);
      std::string printout;
      for (int i = 0; i < 4; ++i) {
        std::string made = folder.file("quick.sav"), said;
        if (kind == Save) {
          EXPECT_TRUE(MENU_SaveState(made));
          EXPECT_EQ(fs::file_size(made), STATE_FileSize(MMU_RamSize));
        } else if (kind == Print) {
          made = printer;
          printout += char('0' + i);
          PSG_PutB(0xff8800, 15), PSG_PutB(0xff8802, u8(printout.back()));
          PRINTER_Flush();
          MENU_Command(MENU_Choice(MENU_OptionsId, 7));  // any menu command: a refused printer tries again
        } else {
          made = folder.file(name + std::to_string(i) + ".dmg");
          EXPECT_EQ(HDD_CreateEmptyImage(made.c_str(), &said), 1u);
        }
        EXPECT_EQ(said, "");
        EXPECT_EQ(HOLDERS_Of(made.c_str(), HOLDERS_Drives), "");
      }
      EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
      EXPECT_FALSE(logged("alert 14 OK"));
      EXPECT_EQ(read_file(printer), std::vector<u8>(printout.begin(), printout.end()));
      DISKIMG_Eject('A');
      PRINTER_Close();
      EXPECT_EQ(descriptors(), before);
    }
  }
  // A restore that puts a packed disk back in keeps its file the same way, and lets go of the one it replaces (and of
  // its own, should its disk be refused).
  const std::string gz = folder.file("r.st.gz"), msaFile = folder.file("r.msa"), state = folder.file("r.sav");
  const auto before = descriptors();
  for (const std::string& packed : {gz, msaFile}) {
    SCOPED_TRACE(packed);
    start();
    gzip_to(gz, image);
    folder.write("r.msa", msa);
    testing::internal::CaptureStdout();
    ASSERT_EQ(DISKIMG_Insert(packed.c_str(), 'A'), 1u);
    ASSERT_TRUE(MENU_SaveState(state));
    DISKIMG_Eject('A');
    ASSERT_EQ(DISKIMG_Insert((packed == gz ? msaFile : gz).c_str(), 'A'), 1u);
    const bool restored = STATE_Read(state.c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(restored);
    EXPECT_EQ(descriptors(), before + 2);
    EXPECT_EQ(HOLDERS_Of(packed.c_str()), "drive A holds " + packed + " as its disk");
    testing::internal::CaptureStderr();
    fs::remove(packed);
    for (int i = 0; i < 4; ++i) {
      const std::string made = folder.file("quick.sav");
      EXPECT_TRUE(MENU_SaveState(made));
      EXPECT_EQ(HOLDERS_Of(made.c_str(), HOLDERS_Drives), "");
    }
    // The state's disk is gone now: the restore empties the drive and keeps nothing open of it.
    testing::internal::CaptureStdout();
    EXPECT_TRUE(STATE_Read(state.c_str()));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(DISKIMG_InsertedMask, 0u);
    EXPECT_EQ(descriptors(), before);
  }
  DISKIMG_Reset();
}

// A TOS loaded from the menu comes back with the automatic state at the next
// start, while its image is there; a state the start refused (its TOS gone)
// is set aside at the quit, not written over, and the user told.
TEST_F(Menus, TheStateComesBackOnItsOwnTosAndARefusedOneIsKept) {
  folder.write("tos206.img", make_tos_image(2, 6, 0x40000));
  DLG_ScriptButton(true);
  DLG_ScriptFile(folder.file("tos206.img"));
  MENU_Command(MENU_Choice(MENU_FileId, 1));
  machine_run_quietly(3);
  mark();
  const auto quit = [] { DLG_ScriptButton(true); MENU_Command(MENU_Choice(MENU_FileId, 14)); };
  quit();
  const std::string remembered = PREFS_StateTos;
  EXPECT_EQ(remembered, folder.file("tos206.img"));
  const std::vector<u8> state = read_file(folder.file("Auto Saved State"));

  start(remembered);
  machine_run_quietly(1);
  EXPECT_EQ(MMU_TosVersion, 26u);
  EXPECT_TRUE(marked());

  fs::remove(folder.file("tos206.img"));
  start(remembered);
  machine_run_quietly(1);
  EXPECT_EQ(MMU_TosVersion, 14u);
  EXPECT_FALSE(marked());
  quit();
  EXPECT_TRUE(logged("alert 17 OK"));
  EXPECT_EQ(read_file(folder.file("Auto Saved State (refused)")), state);
  EXPECT_EQ(read_file(folder.file("Auto Saved State")).size(), STATE_FileSize(MMU_RamSize));
  EXPECT_EQ(PREFS_StateTos, "");  // the folder's tos.img

  // Refused again, then loaded from the menu once its TOS is back: refused no longer, it is written over.
  fs::rename(folder.file("Auto Saved State (refused)"), folder.file("Auto Saved State"));
  start(remembered);
  machine_run_quietly(1);
  ASSERT_TRUE(APP_AutoStateRefused);
  folder.write("tos206.img", make_tos_image(2, 6, 0x40000));
  DLG_ScriptButton(true);
  DLG_ScriptFile(folder.file("tos206.img"));
  MENU_Command(MENU_Choice(MENU_FileId, 1));
  DLG_ScriptFile(folder.file("Auto Saved State"));
  MENU_Command(MENU_Choice(MENU_StatesId, 2));
  EXPECT_TRUE(marked());
  DLG_Log.clear();
  quit();
  EXPECT_FALSE(logged("alert 17 OK"));
  EXPECT_FALSE(fs::exists(folder.file("Auto Saved State (refused)")));
  EXPECT_EQ(PREFS_StateTos, remembered);

  // Loaded from a refused folder under the automatic state's name (also through a link of its own in there),
  // the TOS is remembered where the quit set the folder aside, and the state comes back on it. Loaded by a name
  // of its own when the folder is a link, it is remembered by that name, which the link set aside may leave.
  const std::string path = folder.file("Auto Saved State"), aside = path + " (refused)";
  const std::string rom = folder.file("roms/tos206.img");
  fs::remove(path);
  fs::create_directory(folder.file("roms"));
  fs::rename(folder.file("tos206.img"), rom);
  for (const char* how : {"in it", "linked from it", "by its own name"}) {
    SCOPED_TRACE(how);
    const bool own = how[0] == 'b';
    if (own) {
      fs::create_directory_symlink("roms", path);
    } else {
      fs::create_directory(path);
      if (how[0] == 'i') fs::copy_file(rom, path + "/tos206.img");
      else fs::create_symlink(rom, path + "/tos206.img");
    }
    start();
    machine_run_quietly(1);
    ASSERT_EQ(APP_AutoStateRefused, u32(STATE_RefusedNotAFile));
    DLG_ScriptButton(true);
    DLG_ScriptFile(own ? rom : path + "/tos206.img");
    MENU_Command(MENU_Choice(MENU_FileId, 1));
    machine_run_quietly(3);
    mark();
    stderr_of(quit);
    const std::string tos = own ? rom : aside + "/tos206.img";
    EXPECT_EQ(PREFS_StateTos, tos);
    if (own) fs::remove(aside);
    start(tos);
    machine_run_quietly(1);
    EXPECT_EQ(MMU_TosVersion, 26u);
    EXPECT_TRUE(marked());
    fs::remove_all(aside);
    fs::remove(path);
  }
}

// With a RAM size waiting for the next start, the quit says that start won't
// bring the state back and that it is kept; the start refuses it, and its
// quit sets it aside naming the RAM size as the cause. At that size again,
// it loads.
TEST_F(Menus, AQuitBeforeAnotherRamSizeSaysWhatBecomesOfTheState) {
  const auto explanation = [](u32 n) { return std::string(DLG_AlertTexts(n).explanation); };
  const auto quit = [] { DLG_ScriptButton(true); MENU_Command(MENU_Choice(MENU_FileId, 14)); };
  const auto npos = std::string::npos;
  EXPECT_NE(explanation(3).find("saved and comes back at the next start"), npos);
  DLG_ScriptSettings({11});
  DLG_Settings();
  EXPECT_NE(explanation(3).find("saved, but it does not come back at the next start"), npos) << explanation(3);
  machine_run_quietly(3);
  mark();
  quit();
  const std::vector<u8> state = read_file(folder.file("Auto Saved State"));

  start("", true);
  machine_run_quietly(1);
  EXPECT_EQ(MMU_RamSize, 0xe00000u);
  EXPECT_FALSE(marked());
  EXPECT_EQ(DLG_LastAlertText(), "Cant restore Saved State, Memory configuration is different...");
  EXPECT_NE(explanation(3).find("saved and comes back at the next start"), npos);
  testing::internal::CaptureStderr();
  quit();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(logged("alert 17 OK"));
  EXPECT_NE(said.find("kept as " + folder.file("Auto Saved State (refused)") + ": It was saved with another ST RAM size"),
            npos)
      << said;
  EXPECT_EQ(read_file(folder.file("Auto Saved State (refused)")), state);
  EXPECT_EQ(APP_AutoStateRefused, 0u);

  start();
  EXPECT_TRUE(STATE_Read(folder.file("Auto Saved State (refused)").c_str()));
  EXPECT_TRUE(marked());

  // Refused again, then written over in place by a disk image: the quit no longer says it is a state.
  fs::rename(folder.file("Auto Saved State (refused)"), folder.file("Auto Saved State"));
  start("", true);
  machine_run_quietly(1);
  ASSERT_EQ(APP_AutoStateRefused, u32(STATE_RefusedRam));
  const std::vector<u8> image = make_floppy(737280);
  const int fd = open(folder.file("Auto Saved State").c_str(), O_WRONLY);
  ASSERT_EQ(pwrite(fd, image.data(), 4, 0), 4);
  close(fd);
  testing::internal::CaptureStderr();
  quit();
  EXPECT_NE(testing::internal::GetCapturedStderr().find(": It is damaged, or no saved state"), npos);
}

// Each box sets its option at once, and the preferences record takes it.
TEST_F(Menus, TheSettingsBoxesReachTheOptionsAndThePreferences) {
  const std::pair<u32, u32> stored_at[] = {{2, 0x64}, {3, 0x68}, {4, 0x08}, {5, 0x1c},
                                           {6, 0x5c}, {8, 0x70}, {9, 0x128}, {11, 0x78}};
  u8 record[PREFS_RecordSize] = {};
  for (const auto& [n, offset] : stored_at) {
    const auto* s = std::find_if(DLG_SettingsItems, DLG_SettingsItems + DLG_SettingsItemCount,
                                 [&](const DLG_SettingsItem& i) { return i.item == n; });
    const u32 before = *s->option;
    DLG_ScriptSettings({n});
    DLG_Settings();
    EXPECT_EQ(*s->option, before ? 0u : 1u) << n;
    PREFS_GlobalsToRecord(record);
    EXPECT_EQ(be_read32(record + offset), *s->option) << n;
  }
  // The RAM size takes a restart, which the user is told.
  EXPECT_TRUE(logged("alert 130 OK"));
  // The big screen, changed and changed back, restarts nothing.
  mark();
  DLG_ScriptSettings({10, 10});
  DLG_Settings();
  EXPECT_TRUE(marked());
}

}  // namespace

// The preferences file: where it lives, a byte-exact round trip through the
// option words, values out of range, and missing, short and unwritable files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "common/endian.h"
#include "host/options.h"
#include "host/shared/prefs_file.h"
#include "host/sound.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/shifter.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"
#include "support/ordinary_user.h"

namespace {

using Bytes = std::vector<u8>;

u32 word_at(const Bytes& b, u32 off) { return be_read32(b.data() + off); }
void put_word(Bytes& b, u32 off, u32 v) { be_write32(b.data() + off, v); }

// Every row with a value in range that is not its default.
struct Field {
  u32 offset;
  u32* global;
  u32 value;
};
const Field fields[] = {
    {0x00, &PREFS_FrameSkip, 4},        {0x04, &PREFS_DoubleSize, 1},
    {0x08, &PREFS_SimpleVideoCounter, 1}, {0x0c, &PREFS_Word0C, 0x12345678},
    {0x10, &SHIFTER_MixedRes, 1},       {0x14, &PREFS_SpeedCounters, 0},
    {0x18, &SHIFTER_Mode, 2},           {0x1c, &PREFS_BlitterEnabled, 1},
    {0x20, &PREFS_WriteProtect, 0x40},  {0x24, &IKBD_JoyLayout, 3},
    {0x4c, &PREFS_SoundOn, 1},          {0x54, &PREFS_Unthrottled, 1},
    {0x58, &PREFS_BufferedDrawing, 0},  {0x5c, &PREFS_PauseInBackground, 0},
    {0x60, &PREFS_HardDiskOn, 0},       {0x64, &PREFS_AutoSaveOnQuit, 0},
    {0x68, &PREFS_PrinterOn, 0},        {0x6c, &PREFS_ClockFactor, 20},
    {0x70, &PREFS_FdcDelay, 0},         {0x74, &PREFS_AutoFrameSkip, 0},
    {0x78, &PREFS_Ram14MB, 1},          {0x7c, &PREFS_MidiOutOpen, 1},
    {0x128, &MMU_BusErrorsEnabled, 0},
};

// A whole record: noise in every byte no row names, the rows above.
Bytes full_record() {
  Bytes b(PREFS_RecordSize);
  for (u32 i = 0; i < b.size(); ++i) b[i] = u8(i * 37 + 11);
  b[0x28] = 0;
  for (const Field& f : fields) put_word(b, f.offset, f.value);
  return b;
}

class PrefsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    PREFS_MidiOutOpen = 0;
  }
  void TearDown() override {
    machine_reset_globals();
    PREFS_MidiOutOpen = 0;
    PREFS_Word0C = PREFS_PauseInBackground = IKBD_JoyLayout = 1;
  }
  std::string file() const { return folder.file(PREFS_FileName); }
  TempFolder folder;
};

// XDG_CONFIG_HOME when absolute, else HOME's .config, else none.
TEST_F(PrefsFileTest, FolderFromTheEnvironment) {
  const char* oldHome = std::getenv("HOME");
  const std::string keepHome = oldHome ? oldHome : "";
  const struct {
    const char *xdg, *home, *expected;
  } cases[] = {{"/cfg", "/home/u", "/cfg/vantorell"},
               {"relative", "/home/u", "/home/u/.config/vantorell"},
               {"", nullptr, ""}};
  for (const auto& c : cases) {
    setenv("XDG_CONFIG_HOME", c.xdg, 1);
    c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
    EXPECT_EQ(PREFS_FolderPath(), c.expected);
  }
  unsetenv("XDG_CONFIG_HOME");
  oldHome ? setenv("HOME", keepHome.c_str(), 1) : unsetenv("HOME");
}

// Loading keeps the file; saving what was loaded writes the same bytes, the
// unused ones included; a medium resolution is kept as low.
TEST_F(PrefsFileTest, RoundTripIsByteExact) {
  const Bytes record = full_record();
  folder.write(PREFS_FileName, record);
  PREFS_LoadFrom(folder.path());
  for (const Field& f : fields) EXPECT_EQ(*f.global, f.value) << std::hex << f.offset;
  EXPECT_EQ(SOUND_Active, 1u);
  EXPECT_EQ(read_file(file()), record);
  ASSERT_TRUE(PREFS_SaveTo(folder.path()));
  EXPECT_EQ(read_file(file()), record);

  SHIFTER_Mode = 1;
  ASSERT_TRUE(PREFS_SaveTo(folder.path()));
  EXPECT_EQ(word_at(read_file(file()), 0x18), 0u);

  // The automatic state's TOS goes in the reserved stretch, and out again.
  for (const std::string& tos : {std::string("/roms/TOS 2.06.img"), std::string(), std::string(2041, 'x')}) {
    PREFS_StateTos = tos;
    ASSERT_TRUE(PREFS_SaveTo(folder.path()));
    PREFS_LoadFrom(folder.path());
    EXPECT_EQ(PREFS_StateTos, tos.size() > 2040 ? "" : tos);
  }
}

TEST_F(PrefsFileTest, ValuesOutOfRangeTakeTheirDefault) {
  const struct {
    u32 offset, bad;
    u32* global;
    u32 fallback;
  } cases[] = {
      {0x00, 0, &PREFS_FrameSkip, 1},          {0x00, 0x10000, &PREFS_FrameSkip, 1},
      {0x18, 3, &SHIFTER_Mode, 0},             {0x18, 5, &SHIFTER_Mode, 0},
      {0x20, 1, &PREFS_WriteProtect, 0},       {0x20, 0x80, &PREFS_WriteProtect, 0},
      {0x24, 0, &IKBD_JoyLayout, 1},           {0x24, 4, &IKBD_JoyLayout, 1},
      {0x6c, 8 << 10, &PREFS_ClockFactor, 8},  {0x6c, 0, &PREFS_ClockFactor, 8},
      {0x4c, 2, &PREFS_SoundOn, 0},            {0x128, 0xffffffff, &MMU_BusErrorsEnabled, 1},
      {0x7c, 7, &PREFS_MidiOutOpen, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.offset << " " << c.bad);
    Bytes record = full_record();
    put_word(record, c.offset, c.bad);
    folder.write(PREFS_FileName, record);
    PREFS_LoadFrom(folder.path());
    EXPECT_EQ(*c.global, c.fallback);
    EXPECT_EQ(PREFS_Word0C, 0x12345678u);  // the other rows load as they are
    ASSERT_TRUE(PREFS_SaveTo(folder.path()));
    put_word(record, c.offset, c.fallback);
    EXPECT_EQ(read_file(file()), record);
  }
}

// No file, an empty one or a short one: the defaults, written at once (the
// folders above created); a short file's bytes outside the rows stay.
TEST_F(PrefsFileTest, MissingOrShortFileGivesTheDefaults) {
  const std::string nested = folder.file("config/vantorell");
  const Bytes whole = full_record();
  for (i32 size : {-1, 0, 1, 100, i32(PREFS_RecordSize) - 1}) {
    SCOPED_TRACE(size);  // -1: no file
    const Bytes part(whole.begin(), whole.begin() + (size < 0 ? 0 : size));
    if (size >= 0) folder.write(PREFS_FileName, part);
    const std::string where = size >= 0 ? folder.path() : nested;
    for (const Field& f : fields) *f.global = f.value;
    PREFS_LoadFrom(where);
    const Bytes written = read_file(where + "/" + PREFS_FileName);
    ASSERT_EQ(written.size(), PREFS_RecordSize);
    EXPECT_EQ(PREFS_FrameSkip, 1u);
    EXPECT_EQ(PREFS_Word0C, 1u);
    EXPECT_EQ(IKBD_JoyLayout, 1u);
    EXPECT_EQ(PREFS_ClockFactor, 8u);
    EXPECT_EQ(MMU_BusErrorsEnabled, 1u);
    EXPECT_EQ(word_at(written, 0x6c), 8u);
    if (size > 0x40) {
      EXPECT_EQ(written[0x40], part[0x40]);
    }
  }
}

// The file's steps: read (missing, short, whole), delete, write into an
// existing folder or one made first, and the folder found from the
// environment.
TEST_F(PrefsFileTest, TheFileStepByStep) {
  Bytes record(PREFS_RecordSize);
  EXPECT_EQ(PREFS_ReadFile(folder.path(), record.data()), PREFS_NoFile);
  const Bytes whole = full_record();
  folder.write(PREFS_FileName, Bytes(whole.begin(), whole.begin() + 100));
  EXPECT_EQ(PREFS_ReadFile(folder.path(), record.data()), PREFS_ShortFile);
  EXPECT_EQ(record[99], whole[99]);
  EXPECT_EQ(PREFS_ReadFromFolder(folder.path(), record.data()), 0u);
  folder.write(PREFS_FileName, whole);
  EXPECT_EQ(PREFS_ReadFromFolder(folder.path(), record.data()), 1u);
  EXPECT_EQ(record, whole);
  EXPECT_EQ(PREFS_DeleteFile(folder.path()), 1u);
  EXPECT_EQ(PREFS_DeleteFile(folder.path()), 0u);
  const std::string nested = folder.file("a/b");
  EXPECT_EQ(PREFS_WriteFileHere(nested), 0u);
  EXPECT_EQ(PREFS_WriteFile(nested), 1u);
  EXPECT_EQ(PREFS_ReadFile(nested, record.data()), 0);
  setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  std::string found;
  EXPECT_EQ(PREFS_HasFindFolder(), 1u);
  EXPECT_EQ(PREFS_FindPrefsFolder(found), 1u);
  EXPECT_EQ(found, folder.file("vantorell"));
  EXPECT_TRUE(std::filesystem::is_directory(found));
  unsetenv("XDG_CONFIG_HOME");
}

// A save that can't be done says why: a folder that can't be made, none at all, a link to nothing.
TEST_F(PrefsFileTest, UnwritableFolderFailsAndLeavesTheFile) {
  folder.write("plain", {1, 2, 3});
  std::string why;
  EXPECT_FALSE(PREFS_SaveTo(folder.file("plain/vantorell"), &why));
  EXPECT_EQ(why, folder.file("plain/vantorell") + ": Not a directory");
  EXPECT_FALSE(PREFS_SaveTo("", &why));
  EXPECT_NE(why.find("no folder"), std::string::npos) << why;
  std::filesystem::create_symlink(folder.file("gone"), file());
  EXPECT_FALSE(PREFS_SaveTo(folder.path(), &why));
  EXPECT_EQ(why, file() + " is a symbolic link to nothing");
  EXPECT_EQ(read_file(folder.file("plain")), (Bytes{1, 2, 3}));
}

// Something of the file's name that can't be read (a file we may not read, a folder, a FIFO, a link
// that loops): the defaults, with why, and the file is never written over, neither at once nor by a
// save; a save says the settings changed since are not kept.
TEST_F(PrefsFileTest, AFileThatCantBeReadIsKeptAndSaysWhy) {
  const Bytes record = full_record();
  const struct {
    const char* kind;
    std::function<void()> make;
    const char* why;
  } cases[] = {
      {"unreadable", [&] { folder.write(PREFS_FileName, record), chmod(file().c_str(), 0); },
       " can't be opened (Permission denied)"},
      {"folder", [&] { std::filesystem::create_directory(file()); }, " is a directory"},
      {"FIFO", [&] { mkfifo(file().c_str(), 0666), chmod(file().c_str(), 0666); }, " is a FIFO"},
      {"loop", [&] { std::filesystem::create_symlink(file(), file()); }, " can't be read (Too many levels of symbolic links)"},
  };
  chmod(folder.path().c_str(), 0777);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    std::filesystem::remove_all(file());
    c.make();
    const struct stat before = [&] { struct stat st{}; lstat(file().c_str(), &st); return st; }();
    // 1: not the defaults, 2: the save wrote, 3: the changed save did not fail, 4: readable after all.
    const int status = run_as_ordinary_user([&] {
      if (c.kind[0] == 'u' && access(file().c_str(), R_OK) == 0) return 4;
      for (const Field& f : fields) *f.global = f.value;
      const std::string why = PREFS_LoadFrom(folder.path());
      if (why != file() + c.why) {
        std::fprintf(stderr, "said: %s\n", why.c_str());
        return 1;
      }
      if (PREFS_FrameSkip != 1 || PREFS_Word0C != 1 || PREFS_AutoSaveOnQuit != 1) return 1;
      std::string saved;
      if (!PREFS_SaveTo(folder.path(), &saved)) return 2;
      PREFS_FrameSkip = 3;
      if (PREFS_SaveTo(folder.path(), &saved) || saved.find(file() + c.why + ": it is kept") != 0) return 3;
      // Mended in the session, with nothing of that name left: the
      // settings are written.
      if (c.kind[0] == 'f') {
        rmdir(file().c_str());
        return PREFS_SaveTo(folder.path(), &saved) && read_file(file()).size() == PREFS_RecordSize ? 5 : 6;
      }
      return 0;
    });
    if (c.kind[0] == 'f') {
      EXPECT_EQ(status, 5);
      continue;
    }
    EXPECT_EQ(status, 0);
    struct stat after{};
    ASSERT_EQ(lstat(file().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    EXPECT_TRUE(c.kind[0] != 'u' || read_file(file()) == record);
  }
  // A later load of a file it can read writes again.
  std::filesystem::remove_all(file());
  PREFS_LoadFrom(folder.path());
  EXPECT_EQ(read_file(file()).size(), PREFS_RecordSize);
}

}  // namespace

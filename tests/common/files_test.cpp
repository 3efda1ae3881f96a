#include "common/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/machine_fixture.h"

namespace {

namespace fs = std::filesystem;

// The places a name passes through on its way to its file: its folders,
// the links it follows, and theirs, ".." taken from where a link led; a
// loop ends the walk. Set up in one folder:
//   box/            a folder, with inner/disk.img in it
//   to_box     -> box
//   abs_inner  -> FOLDER/box/inner (absolute)
//   up         -> to_box/inner/..   (box, by the link's folder)
//   chain      -> up/inner/disk.img
//   back       -> abs_inner/../inner (box by way of abs_inner's end, not by its name)
//   loop_a     -> loop_b -> loop_a
TEST(Files, APathPassesThroughEveryPlaceOnItsWay) {
  TempFolder folder;
  const auto at = [&](const std::string& name) { return folder.file(name); };
  fs::create_directories(at("box/inner"));
  folder.write("box/inner/disk.img", {1});
  fs::create_directory(at("other"));
  fs::create_symlink("box", at("to_box"));
  fs::create_symlink(at("box/inner"), at("abs_inner"));
  fs::create_symlink("to_box/inner/..", at("up"));
  fs::create_symlink("up/inner/disk.img", at("chain"));
  fs::create_symlink("abs_inner/../inner", at("back"));
  fs::create_symlink("loop_b", at("loop_a"));
  fs::create_symlink("loop_a", at("loop_b"));
  const struct {
    const char *name, *place;
    bool passes;
  } rows[] = {
      {"box/inner/disk.img", "box/inner/disk.img", true},
      {"box/inner/disk.img", "box", true},
      {"box/inner/disk.img", "box/inner", true},
      {"box/inner/disk.img", "other", false},
      {"to_box/inner/disk.img", "to_box", true},
      {"to_box/inner/disk.img", "box", true},
      {"abs_inner/disk.img", "box/inner", true},
      {"abs_inner/disk.img", "to_box", false},
      {"chain", "up", true},
      {"chain", "to_box", true},  // on up's way
      {"chain", "box/inner", true},
      {"chain", "other", false},
      {"back", "box", true},
      {"back", "abs_inner", true},
      {"other/../box/inner/disk.img", "other", true},
      {"box/inner/missing/x", "box/inner/missing", true},  // nothing there: up to where nothing is
      {"loop_a", "loop_b", true},
      {"loop_a/x", "other", false},
  };
  for (const auto& r : rows)
    EXPECT_EQ(FILES_PassesThrough(at(r.name).c_str(), at(r.place).c_str()), r.passes)
        << r.name << " / " << r.place;
}

// Two paths end at one place when a save at either replaces what the other
// opens: through links, or through a folder also mounted at a second place
// (a view of it). Another name of the file (a hard link) is a place of its
// own, and nothing is no place.
TEST(Files, TwoPathsEndAtOnePlaceHoweverTheyRead) {
  TempFolder folder;
  folder.write("state", {1});
  fs::create_hard_link(folder.file("state"), folder.file("hard"));
  fs::create_symlink("state", folder.file("link"));
  fs::create_directory(folder.file("view"));
  const struct {
    const char *a, *b;
    bool same;
  } rows[] = {
      {"link", "state", true}, {"hard", "state", false}, {"hard", "link", false},
      {"missing", "missing", false}, {"view/state", "link", true}, {"view/hard", "state", false},
  };
  const auto wrong = [&](bool viewed) {
    int rows_wrong = 0;
    for (const auto& r : rows)
      if (std::string(r.a).starts_with("view") == viewed)
        rows_wrong = rows_wrong * 2 + (FILES_SameEnd(folder.file(r.a).c_str(), folder.file(r.b).c_str()) != r.same);
    return rows_wrong;
  };
  EXPECT_EQ(wrong(false), 0) << "a bit per row, the first row highest";
  // The view is mounted in a child's own mount namespace, which goes with it.
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(folder.path().c_str(), folder.file("view").c_str(), nullptr, MS_BIND, nullptr) != 0)
      _exit(255);
    _exit(wrong(true));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  if (WEXITSTATUS(status) == 255) GTEST_SKIP() << "no mount namespace of our own here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a bit per viewed row, the first row highest";
}

// What is no regular file is named without being opened: a program waiting
// to write into a FIFO would take the open for its reader, and a device may
// act on it (a serial port's lines, a tape's rewind).
TEST(Files, WhatIsNoRegularFileIsNamedUnopened) {
  TempFolder folder;
  ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0600), 0);
  fs::create_symlink("fifo", folder.file("link"));
  fs::create_symlink("/dev/null", folder.file("device"));
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, folder.file("fifo").c_str(), IN_OPEN), 0);
  const struct {
    const char* name;
    int flags;
    const char* why;
  } rows[] = {
      {"fifo", O_RDONLY, "is a FIFO"},
      {"link", O_RDWR, "is a FIFO"},
      {"link", O_RDWR | O_NOFOLLOW, "is a symbolic link"},
      {"device", O_RDONLY, "is a device"},
      {"", O_RDONLY, "is a directory"},
  };
  for (const auto& r : rows) {
    std::string why;
    EXPECT_EQ(FILES_OpenRegular(folder.file(r.name).c_str(), r.flags, why), -1) << r.name;
    EXPECT_EQ(why, r.why) << r.name;
  }
  char event[256];
  EXPECT_LT(read(watch, event, sizeof event), 0);  // nothing opened the FIFO
  close(watch);
}

}  // namespace

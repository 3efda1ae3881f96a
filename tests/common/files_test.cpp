#include "common/files.h"

#include <gtest/gtest.h>

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

}  // namespace

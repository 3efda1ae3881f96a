// The conversations' shared steps that need no window: what the file
// chooser says of a name it can't take as the file asked for.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "host/shared/dialogs.h"
#include "support/machine_fixture.h"

namespace {

namespace fs = std::filesystem;

// To open, anything but a regular file is named for what it is, in the
// insertion alert's words (a FIFO, a device, a socket, a folder, a link
// loop, and so through a link); to save, a name there that no file can be
// written over, or one in no folder.
TEST(FileChooser, SaysWhatANameItCantTakeIs) {
  TempFolder folder;
  folder.write("disk.st", {0});
  ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0600), 0);
  fs::create_directory(folder.file("sub"));
  fs::create_symlink(folder.file("pipe"), folder.file("to pipe"));
  fs::create_symlink(folder.file("disk.st"), folder.file("to disk"));
  fs::create_symlink(folder.file("loop"), folder.file("loop"));
  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, folder.file("socket").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(s);
  const struct {
    const char* name;
    bool save;
    const char* said;
  } cases[] = {
      {"disk.st", false, ""},
      {"to disk", false, ""},
      {"missing", false, "There is no file of that name."},
      {"pipe", false, "\"pipe\" is a FIFO."},
      {"to pipe", false, "\"to pipe\" is a FIFO."},
      {"/dev/null", false, "\"null\" is a device."},
      {"socket", false, "\"socket\" is a socket."},
      {"sub", false, "\"sub\" is a directory."},
      {"loop", false, "\"loop\" is a symbolic link loop."},
      {"disk.st", true, ""},  // the chooser asks before it is replaced
      {"new", true, ""},
      {"pipe", true, "\"pipe\" is a FIFO."},
      {"/dev/null", true, "\"null\" is a device."},
      {"missing/new", true, "There is no folder of that name."},
  };
  for (const auto& c : cases) {
    const std::string path = c.name[0] == '/' ? c.name : folder.file(c.name);
    EXPECT_EQ(NAV_Refusal(path, c.save), c.said) << c.name << (c.save ? ", to save" : ", to open");
  }
}

}  // namespace

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/endian.h"
#include "support/full_disk.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"
#include "support/shell.h"

namespace {

// Runs the headless runner with `args`; standard error joins standard output.
// A runner that does not end within a minute is stopped (and fails).
ShellResult run_headless(const std::string& args) {
  return shell("timeout 60 " HEADLESS_PATH " " + args);
}

// Runs the headless runner with `args` and its standard output into a pipe
// nobody reads (the read end is closed before it starts), its standard
// error into `errors`; as a shell starts it, SIGPIPE takes its default
// action. The exit status, -1 when it was killed.
int run_into_closed_pipe(const std::vector<std::string>& args, const std::string& errors) {
  std::vector<char*> argv{const_cast<char*>(HEADLESS_PATH)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int ends[2];
  if (err < 0 || pipe2(ends, O_CLOEXEC) != 0) return -2;
  close(ends[0]);
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGPIPE, SIG_DFL);
    dup2(ends[1], 1);
    dup2(err, 2);
    execv(HEADLESS_PATH, argv.data());
    _exit(127);
  }
  close(ends[1]);
  close(err);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string last_line(const std::string& s) {
  const size_t end = s.find_last_not_of('\n');
  const size_t start = s.rfind('\n', end);
  return s.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

}  // namespace

TEST(Headless, RunsATestRomFolderAndPrintsItsFigures) {
  TempFolder folder;
  folder.write("tos.img", load_test_rom("workload"));
  const ShellResult r = run_headless("--folder " + folder.path() + " --frames 20");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string line = last_line(r.out);
  unsigned frames = 0;
  double emulated = 0, host = 0, ratio = 0, mips = 0;
  char tail = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "frames %u emulated %lf s host %lf s ratio %lf mips %lf%c",
                        &frames, &emulated, &host, &ratio, &mips, &tail),
            5)
      << line;
  EXPECT_EQ(frames, 20u);
  EXPECT_DOUBLE_EQ(emulated, 0.4);
  EXPECT_GT(host, 0.0);
  EXPECT_GT(ratio, 0.0);
  EXPECT_NE(r.out.find("Building the 68000...\n"), std::string::npos);
  EXPECT_NE(r.out.find("Sound disabled\n"), std::string::npos);
  // Sound on, as for measuring the synthesis.
  const ShellResult sound = run_headless("--folder " + folder.path() + " --frames 20 --sound");
  ASSERT_EQ(sound.status, 0) << sound.out;
  EXPECT_NE(sound.out.find("Sound Enabled at 44100 Hz.\n"), std::string::npos) << sound.out;
}

TEST(Headless, FolderWithoutTosEndsWithAMessage) {
  TempFolder folder;
  const ShellResult r = run_headless("--folder " + folder.path() + " --frames 5");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("no TOS image"), std::string::npos) << r.out;

  // Something that is no file is named for what it is.
  std::filesystem::create_directory(folder.file("tos.img"));
  const ShellResult dir = run_headless("--folder " + folder.path() + " --frames 5");
  EXPECT_NE(dir.status, 0);
  EXPECT_NE(dir.out.find("tos.img is a directory"), std::string::npos) << dir.out;
  std::filesystem::remove(folder.file("tos.img"));
  std::filesystem::create_symlink("tos.img", folder.file("tos.img"));
  const ShellResult loop = run_headless("--folder " + folder.path() + " --frames 5");
  EXPECT_NE(loop.out.find("tos.img is a symbolic link loop"), std::string::npos) << loop.out;
  std::filesystem::remove(folder.file("tos.img"));

  folder.write("tos.img", std::vector<u8>(100, 0));  // not a TOS image
  const ShellResult bad = run_headless("--folder " + folder.path() + " --frames 5");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.out.find("could not be started"), std::string::npos) << bad.out;
}

TEST(Headless, RefusesBadArguments) {
  EXPECT_EQ(run_headless("--frames 5").status, 2);
  EXPECT_EQ(run_headless("--folder /tmp --frames 0").status, 2);
  EXPECT_EQ(run_headless("--folder /tmp --frames 5 --screenshot").status, 2);
  // Counts that don't fit the 32-bit frame limit are refused, not cut down
  // to a few frames (or to none, which would run without end).
  TempFolder folder;
  folder.write("tos.img", load_test_rom("workload"));
  EXPECT_EQ(run_headless("--folder " + folder.path() + " --frames 4294967297").status, 2);
  EXPECT_EQ(run_headless("--folder /tmp --frames 99999999999999999999999").status, 2);
}

TEST(Headless, RefusesAMalformedInputScript) {
  TempFolder folder;
  folder.write("tos.img", load_test_rom("workload"));
  const std::string script = folder.file("input.txt");
  for (const char* bad : {"5 key 300 down\n", "x mouse 1 2\n", "5 button middle up\n",
                          "5 type caf\xc3\xa9\n", "# fine\n7 wiggle\n"}) {
    std::ofstream(script) << bad;
    const ShellResult r = run_headless("--folder " + folder.path() + " --frames 5 --input " + script);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.out.find("input script line"), std::string::npos) << r.out;
  }
  std::ofstream(script) << "# mouse and keys\n0 mouse -5 7\n2 key 0x31 down\n3 key 49 up\n";
  EXPECT_EQ(run_headless("--folder " + folder.path() + " --frames 5 --input " + script).status, 0);
}

// A script that is no readable file of a sensible size is refused before
// the machine starts, with what is wrong with it.
TEST(Headless, RefusesAnInputScriptItCantTake) {
  TempFolder folder;
  folder.write("tos.img", load_test_rom("workload"));
  const std::string script = folder.file("input.txt");
  struct Case {
    const char* what;
    void (*make)(const std::string& path);
    const char* why;
  };
  const Case cases[] = {
      {"missing", [](const std::string&) {}, "does not exist"},
      {"a folder", [](const std::string& p) { std::filesystem::create_directory(p); },
       "is a directory"},
      {"a FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
       "is a FIFO"},
      {"comments beyond the limit",
       [](const std::string& p) {
         std::ofstream out(p);
         const std::string line = std::string(99, '#') + '\n';
         for (u32 i = 0; i < 45000; ++i) out << line;
       },
       "is larger than 4 MB"},
  };
  for (const Case& c : cases) {
    c.make(script);
    const ShellResult r =
        run_headless("--folder " + folder.path() + " --frames 5 --input " + script);
    EXPECT_EQ(r.status, 2) << c.what << "\n" << r.out;
    EXPECT_NE(r.out.find("the input script " + script + " " + c.why), std::string::npos)
        << c.what << "\n" << r.out;
    std::filesystem::remove(script);
  }
}

// Output nobody reads any more is dropped: the run goes on, writes the
// files it was asked for and says so in its status.
TEST(Headless, OutputIntoAClosedPipeIsDropped) {
  TempFolder folder;
  folder.write("tos.img", load_test_rom("console_flood"));
  const std::string state = folder.file("state"), picture = folder.file("picture.png");
  const int status = run_into_closed_pipe({"--folder", folder.path(), "--frames", "50",
                                           "--save-state", state, "--screenshot", picture},
                                          folder.file("errors"));
  std::ifstream errors(folder.file("errors"));
  const std::string said((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
  EXPECT_EQ(status, 0) << said;
  EXPECT_EQ(said.find("standard output"), std::string::npos) << said;
  EXPECT_TRUE(std::filesystem::is_regular_file(state));
  EXPECT_TRUE(std::filesystem::is_regular_file(picture));
  // Read, the guest's lines are there.
  const ShellResult r = run_headless("--folder " + folder.path() + " --frames 2");
  EXPECT_GT(r.out.size(), 100000u);
}

// Output lost any other way fails the run, with a message on standard
// error: the report on a full disk, lost at the last flush (the figures
// line) or on the way (a guest's flood of lines), a closed standard output,
// and each file the run was asked for.
TEST(Headless, OutputThatCantBeWrittenFailsTheRun) {
  TempFolder folder;
  const std::string full = folder.file("full");
  std::filesystem::create_directory(full);
  FullDisk disk(full, 512);
  {  // what room the file system has, taken up
    std::ofstream filler(full + "/filler", std::ios::binary);
    const std::string block(512, 'x');
    while (filler.write(block.data(), std::streamsize(block.size())) && filler.flush()) {
    }
  }
  const std::string space = disk.reason();
  struct Case {
    const char* what;
    const char* rom;
    std::string args, said;
  };
  const Case cases[] = {
      {"the figures on a full device", "workload", ">/dev/full",
       "standard output: No space left on device"},
      {"the counts and figures", "workload", "--counts >/dev/full",
       "standard output: No space left on device"},
      {"a guest's lines on a full disk", "console_flood", ">" + full + "/out",
       "standard output: " + space},
      {"a closed standard output", "workload", ">&-", "standard output: Bad file descriptor"},
      {"the screenshot", "workload", "--screenshot " + full + "/picture.png >/dev/null",
       full + "/picture.png (" + space + ")"},
      {"the state", "workload", "--save-state " + full + "/state >/dev/null",
       "Can't save the state to " + full + "/state: can't write " + full + "/state (" + space + ")"},
  };
  for (const Case& c : cases) {
    folder.write("tos.img", load_test_rom(c.rom));
    // Standard error alone reaches the pipe the test reads.
    const ShellResult r = shell("timeout 60 sh -c " +
                                shell_quote(HEADLESS_PATH " --folder " + folder.path() +
                                            " --frames 20 " + c.args));
    EXPECT_EQ(r.status, 1) << c.what << "\n" << r.out;
    EXPECT_NE(r.out.find(c.said), std::string::npos) << c.what << "\n" << r.out;
  }
  // Started without its standard files, the runner writes its lines into
  // none of its own: the floppy it opens stays as it was.
  const std::vector<u8> floppy = make_floppy(737280, 2, 9);
  for (const char* closed : {">&-", "<&- >&-", ">&- 2>&-", "<&- >&- 2>&-"}) {
    folder.write("tos.img", load_test_rom("workload"));
    folder.write("disk1.st", floppy);
    const ShellResult r = shell("timeout 60 sh -c " +
                                shell_quote(HEADLESS_PATH " --folder " + folder.path() + " --frames 20 " + closed));
    EXPECT_EQ(r.status, 1) << closed << "\n" << r.out;
    EXPECT_TRUE(read_file(folder.file("disk1.st")) == floppy) << closed;
  }
  // Nor is the picture written over the disk in drive A.
  const ShellResult r = shell("timeout 60 sh -c " + shell_quote(HEADLESS_PATH " --folder " + folder.path() +
                                                                 " --frames 20 --screenshot " +
                                                                 folder.file("disk1.st") + " >/dev/null"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("no picture written: drive A holds"), std::string::npos) << r.out;
  EXPECT_TRUE(read_file(folder.file("disk1.st")) == floppy);
  std::filesystem::remove(folder.file("disk1.st"));
}

// One copy a folder: a runner started on a folder another one runs from, by
// whatever path, ends at once with a line on standard error; the folder is
// free again once the first has ended, killed too.
TEST(Headless, ASecondCopyOnTheSameFolderEnds) {
  TempFolder folder, links;
  folder.write("tos.img", load_test_rom("console_flood"));
  std::filesystem::create_directory(folder.file("sub"));
  std::filesystem::create_directory_symlink(folder.path(), links.file("link"));
  // The first runs on, its output into a pipe: its first bytes come once it
  // holds the folder, and it waits for the reader from then on.
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  const pid_t first = fork();
  if (first == 0) {
    dup2(ends[1], 1);
    execl(HEADLESS_PATH, HEADLESS_PATH, "--folder", folder.path().c_str(), "--frames",
          "4000000000", nullptr);
    _exit(127);
  }
  close(ends[1]);
  char byte;
  const bool started = read(ends[0], &byte, 1) == 1;
  for (const std::string& path : {folder.path(), links.file("link"), folder.file("sub/..")}) {
    if (!started) break;
    const ShellResult r = run_headless("--folder " + path + " --frames 1");
    EXPECT_EQ(r.status, 1) << path << "\n" << r.out;
    EXPECT_EQ(r.out, "vantorell-headless: another copy of Vantorell runs from " + path + "\n");
  }
  kill(first, SIGKILL);
  int status = 0;
  waitpid(first, &status, 0);
  close(ends[0]);
  ASSERT_TRUE(started);
  EXPECT_TRUE(WIFSIGNALED(status));
  const ShellResult r = run_headless("--folder " + links.file("link") + " --frames 1");
  EXPECT_EQ(r.status, 0) << r.out;
}

// A guest that restarts the machine over and over sets the machine's frame
// count back to 0 each time; the runner still ends after its N frames.
TEST(Headless, EndsRunsThatKeepRestartingTheMachine) {
  struct Case {
    const char* what;
    u16 mode;
    bool tos206;  // the header says TOS 2.06: the image is mapped at 0xE00000
  };
  const Case cases[] = {{"RESET in a loop", 0, false},
                        {"double faults", 1, false},
                        {"a jump the guard refuses", 2, false},
                        {"a ROM mapped where its code does not run", 3, true}};
  for (const Case& c : cases) {
    std::vector<u8> rom = load_test_rom("restart_loops");
    be_write16(&rom[0x40], c.mode);
    if (c.tos206) {
      be_write16(&rom[2], 0x0206);
      rom.resize(0x40000, 0xff);  // the whole ROM of that version
    }
    TempFolder folder;
    folder.write("tos.img", rom);
    const ShellResult r = run_headless("--folder " + folder.path() + " --frames 3");
    ASSERT_EQ(r.status, 0) << c.what << "\n" << r.out;
    EXPECT_EQ(last_line(r.out).rfind("frames 3 ", 0), 0u) << c.what << "\n" << r.out;
    if (c.mode == 1) {
      // Thousands of double faults: the line is printed again only after
      // each report of its count (once a second and at the end).
      size_t count = 0;
      for (size_t at = r.out.find("Multi Bus Error..."); at != std::string::npos;
           at = r.out.find("Multi Bus Error...", at + 1))
        ++count;
      EXPECT_LT(count, 10u) << r.out;
      EXPECT_NE(r.out.find("Multi Bus Error... [repeated "), std::string::npos) << r.out;
    }
  }
}

// A state the runner saves loads again as the folder's "Auto Saved State",
// without an alert, and the machine runs on from it exactly: five frames,
// a save, then three more frames leave the state that eight frames do.
TEST(Headless, SavedStateLoadsAgainAsTheAutoSavedState) {
  TempFolder folder, resumed;
  folder.write("tos.img", load_test_rom("workload"));
  resumed.write("tos.img", load_test_rom("workload"));
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string five = folder.file("five"), eight = folder.file("eight");
  ASSERT_EQ(run_headless("--folder " + folder.path() + " --frames 5 --save-state " + five).status,
            0);
  ASSERT_EQ(run_headless("--folder " + folder.path() + " --frames 8 --save-state " + eight).status,
            0);
  resumed.write("Auto Saved State", read(five));
  const std::string after = resumed.file("after");
  const ShellResult r =
      run_headless("--folder " + resumed.path() + " --frames 3 --save-state " + after);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("alert"), std::string::npos) << r.out;
  EXPECT_EQ(read(after), read(eight));

  // A state that can't be written ends the run with a failure.
  const ShellResult bad = run_headless("--folder " + folder.path() + " --frames 1 --save-state " +
                                  folder.file("no/such/folder/state"));
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.out.find("Can't save the state"), std::string::npos) << bad.out;
}

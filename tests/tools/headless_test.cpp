#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/machine_fixture.h"
#include "support/shell.h"

namespace {

// Runs the headless runner with `args`; standard error joins standard output.
ShellResult run_headless(const std::string& args) { return shell(HEADLESS_PATH " " + args); }

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
}

TEST(Headless, FolderWithoutTosEndsWithAMessage) {
  TempFolder folder;
  const ShellResult r = run_headless("--folder " + folder.path() + " --frames 5");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("no TOS image"), std::string::npos) << r.out;

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

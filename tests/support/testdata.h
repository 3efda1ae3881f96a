// The data the tests read is kept in the repository, in the folder the build
// names TESTDATA_DIR (data/): the EmuTOS images in emutos/, the recorded
// 68000 tests in m68000/, one gzip-compressed file per instruction family.
// A test that needs them fails when they are missing.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// The file of the recorded tests of one family (ADD.w, MOVE.l, ...).
inline std::string recorded_family_path(const std::string& family) {
  return TESTDATA_DIR "/m68000/" + family + ".bin.gz";
}

// Fails the test at once when the folder `sub` of the test data is missing;
// `what` names it in the message.
#define REQUIRE_TESTDATA(sub, what) \
  ASSERT_TRUE(std::filesystem::is_directory(TESTDATA_DIR "/" sub)) << what " missing at " TESTDATA_DIR "/" sub

#define REQUIRE_RECORDED_TESTS() REQUIRE_TESTDATA("m68000", "recorded tests")

// Fails the test at once unless both EmuTOS images are there.
#define REQUIRE_EMUTOS()                                                                          \
  do {                                                                                            \
    for (const char* image : {"/etos192uk.img", "/etos256de.img"})                                \
      ASSERT_TRUE(std::filesystem::is_regular_file(TESTDATA_DIR "/emutos" + std::string(image))) \
          << "EmuTOS image missing: " TESTDATA_DIR "/emutos" << image;                            \
  } while (0)

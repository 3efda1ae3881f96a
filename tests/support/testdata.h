// The recorded 68000 tests and the EmuTOS images live beside the repository,
// not in it. A checkout without them skips the tests that read them; under CI
// they must be there.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

inline bool testdata_present(const char* folder) {
  return std::filesystem::is_directory(std::filesystem::path(TESTDATA_DIR) / folder);
}

#define REQUIRE_TESTDATA(folder)                                                           \
  do {                                                                                     \
    if (!testdata_present(folder)) {                                                       \
      if (std::getenv("CI")) FAIL() << "test data missing at " TESTDATA_DIR "/" folder;    \
      GTEST_SKIP() << "test data not found at " TESTDATA_DIR "/" folder;                   \
    }                                                                                      \
  } while (0)

inline bool recorded_tests_present() { return testdata_present("m68000"); }
#define REQUIRE_RECORDED_TESTS() REQUIRE_TESTDATA("m68000")

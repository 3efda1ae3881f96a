// The recorded 68000 tests live beside the repository, not in it. A checkout
// without them skips the tests that read them; under CI they must be there.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

inline bool recorded_tests_present() {
  return std::filesystem::is_directory(TESTDATA_DIR "/m68000");
}

#define REQUIRE_RECORDED_TESTS()                                                   \
  do {                                                                             \
    if (!recorded_tests_present()) {                                               \
      if (std::getenv("CI")) FAIL() << "recorded tests missing at " TESTDATA_DIR;  \
      GTEST_SKIP() << "recorded tests not found at " TESTDATA_DIR;                 \
    }                                                                              \
  } while (0)

// The EmuTOS images beside the recorded tests (testdata/emutos).
inline bool emutos_present() { return std::filesystem::is_directory(TESTDATA_DIR "/emutos"); }

#define REQUIRE_EMUTOS()                                                            \
  do {                                                                              \
    if (!emutos_present()) {                                                        \
      if (std::getenv("CI")) FAIL() << "EmuTOS images missing at " TESTDATA_DIR;    \
      GTEST_SKIP() << "EmuTOS images not found at " TESTDATA_DIR;                   \
    }                                                                               \
  } while (0)

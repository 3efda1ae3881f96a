// The recorded 68000 tests and the EmuTOS images live beside the repository,
// not in it. A checkout without them skips the tests that read them; under
// CI they must be there.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

inline bool recorded_tests_present() {
  return std::filesystem::is_directory(TESTDATA_DIR "/m68000");
}

// Skips the test (fails it under CI) when the folder `sub` of the test data
// is missing; `what` names it in the message.
#define REQUIRE_TESTDATA(sub, what)                                                \
  do {                                                                             \
    if (!std::filesystem::is_directory(TESTDATA_DIR "/" sub)) {                    \
      if (std::getenv("CI")) FAIL() << what " missing at " TESTDATA_DIR;           \
      GTEST_SKIP() << what " not found at " TESTDATA_DIR;                          \
    }                                                                              \
  } while (0)

#define REQUIRE_RECORDED_TESTS() REQUIRE_TESTDATA("m68000", "recorded tests")
#define REQUIRE_EMUTOS() REQUIRE_TESTDATA("emutos", "EmuTOS images")

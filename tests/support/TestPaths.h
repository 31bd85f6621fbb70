#pragma once
// Where tests find reference data, fuzz corpora and a private scratch folder.
#include <string>

namespace tessatest {

// The shared reference data folder, or "" when it is absent (tests then skip).
std::string TestDataDir();
// The path of a file under the reference data folder ("" when absent).
std::string TestDataFile(const std::string& relative);
// A fresh empty folder for one test, removed by the caller or left for inspection.
std::string MakeScratchDir(const std::string& tag);

} // namespace tessatest

// Skips the current test with a clear message when the reference data is absent.
#define TESSA_REQUIRE_TESTDATA(rel)                                                                          \
    do {                                                                                                     \
        if (tessatest::TestDataFile(rel).empty())                                                            \
            GTEST_SKIP() << "reference data " << (rel) << " not found under ../shared/testdata; skipping";   \
    } while (0)

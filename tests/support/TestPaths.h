#pragma once
// Where tests find reference data, fuzz corpora and a private scratch folder.
#include <string>

namespace tessatest {

// The shared reference data folder, or "" when it is absent (tests then skip).
std::string TestDataDir();
// The path of a file under the reference data folder ("" when absent).
std::string TestDataFile(const std::string& relative);
// A fresh empty folder for one test, removed by the caller or by RemoveScratchDirs.
std::string MakeScratchDir(const std::string& tag);
// Removes every folder MakeScratchDir made in this process that is still the
// folder it made (a name replaced since, by a link or another folder, stays).
// The test main calls it when every test passed; a failed run keeps them for
// inspection.
void RemoveScratchDirs();

} // namespace tessatest

// Skips the current test with a clear message when the reference data is absent.
#define TESSA_REQUIRE_TESTDATA(rel)                                                                          \
    do {                                                                                                     \
        if (tessatest::TestDataFile(rel).empty())                                                            \
            GTEST_SKIP() << "reference data " << (rel) << " not found under ../shared/testdata; skipping";   \
    } while (0)

// A package install from disk with a manifest made of the input, against a
// small real package (a chart and a file in a subfolder) in a temporary
// folder: the manifest is read from its file and the block-wise installer
// walks it. The installer never reaches a network here (the package's host is
// cleared, so a block that is not already right fails at once). Whatever the
// manifest says, nothing may be written outside the package's folder.
#include "charts/packages/PackageInstaller.h"
#include "charts/packages/PackageManifest.h"
#include "packagewriter/PackageWriter.h"

#include "FuzzScratch.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

const std::string& ChartBytes()
{
    static const std::string chart = tessatest::MakeSmallChart("Fuzz Harbour", -1.5, 50.9, -1.0, 50.6);
    return chart;
}

// What the package folder holds before each install.
bool ResetPackage(const std::string& folder)
{
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder + "/notes", ec);
    return !ec && tessatest::WriteWholeFile(folder + "/harbour.rlt", ChartBytes()) &&
           tessatest::WriteWholeFile(folder + "/notes/readme.txt", "Fuzz Harbour\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& root = fuzzsupport::ScratchFolder("packageinstall");
    if (root.empty() || size > 64 * 1024)
        return 0;
    const std::string folder = root + "/package";
    if (!ResetPackage(folder))
        return 0;
    const std::string path = folder + "/fuzz.rlpkg";
    if (!tessatest::WriteWholeFile(path, std::string(reinterpret_cast<const char*>(data), size)))
        return 0;

    CPackageManifest manifest;
    std::string error;
    if (!ReadPackageManifestFile(path, manifest, error)) {
        Check(!error.empty());
        return 0;
    }
    uint64_t total = 0;
    for (const CPackageEntry& entry : manifest.entries) {
        Check(IsSafePackageFileName(entry.name) && entry.checks.size() == entry.BlockCount());
        total += entry.size;
    }
    // Every block is handed out; a large one would only be read from disk.
    if (total > 64 * uint64_t(kPackageBlockSize))
        return 0;
    manifest.header.host.clear();
    std::atomic<bool> failure{false};
    CWebProgress progress;
    CPackageWorker worker(std::move(manifest), folder, &progress, &failure);
    const bool ok = worker.Run(error);
    Check(ok || !error.empty() || failure.load());

    // Nothing beside the package's folder, and nothing in it that links out.
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(root, ec))
        Check(e.path() == folder);
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        Check(!it->is_symlink());
    return 0;
}

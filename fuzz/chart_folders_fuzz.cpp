// The chart folders file ("map_folders.txt") made of arbitrary lines, read by
// the chart list at start-up. Each line that names a folder is put below a
// scratch folder holding two charts, a nested folder and a link back to
// itself, so the scan stays in that folder (inputs with ".." are not run).
// Reading must register only existing folders, each once, and list only the
// charts there, whatever the bytes: long lines, NUL bytes, line ends of
// every kind.
#include "charts/chartlist/ChartList.h"
#include "chartwriter/ChartWriter.h"

#include "FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool WriteChart(const std::string& path, double west, double north)
{
    chartwriter::CChartWriter w(2, 2);
    w.name = "Fuzz";
    w.mapType = "Topo";
    chartwriter::PlateCarreeCoefficients(west, north, west + 1, north - 1, 128, 128, w.forward, w.inverse);
    return w.Write(path);
}

const std::string& Charts()
{
    static const std::string root = [] {
        const std::string& scratch = fuzzsupport::ScratchFolder("chartfolders");
        if (scratch.empty())
            return std::string();
        std::error_code ec;
        std::filesystem::create_directories(scratch + "/charts/deep", ec);
        if (ec || !WriteChart(scratch + "/charts/a.rlt", -2, 51) ||
            !WriteChart(scratch + "/charts/deep/b.rlt", 3, 44))
            return std::string();
        [[maybe_unused]] int r = ::symlink(".", (scratch + "/charts/loop").c_str());
        return scratch;
    }();
    return root;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& root = Charts();
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (root.empty() || size > 64 * 1024 || input.find("..") != std::string::npos)
        return 0;
    // Every line below the scratch folder, line ends and all else as given.
    std::string text;
    bool lineStart = true;
    for (char c : input) {
        if (lineStart && c != '#' && c != '\n' && c != '\r')
            text += root + "/";
        text += c;
        lineStart = c == '\n';
    }
    CChartFolders folders;
    folders.mapFoldersFile = root + "/map_folders.txt";
    std::ofstream(folders.mapFoldersFile, std::ios::binary | std::ios::trunc) << text;

    CChartList list;
    list.Init(folders);
    std::set<std::string> seen;
    for (const auto& folder : list.Folders()) {
        Check(folder.path.compare(0, root.size() + 1, root + "/") == 0);
        Check(std::filesystem::is_directory(folder.path));
    }
    for (const auto& outline : list.Outlines()) {
        Check(outline->path.compare(0, root.size() + 1, root + "/") == 0);
        Check(seen.insert(std::filesystem::weakly_canonical(outline->path)).second);
    }
    Check(list.Outlines().size() <= 2);
    return 0;
}

#pragma once
// A scratch folder per fuzzing process under the temporary folder ($TMPDIR),
// removed when the process exits; "" when it cannot be made. A process that
// ends on a finding runs no exit handlers: the next one of the same name
// removes the folders whose owner (named in the folder's name) is gone.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fuzzsupport {

// The owner's pid in a name of ScratchFolder's form (prefix, pid, '-',
// mkdtemp's six characters), or 0 for any other name.
inline long ScratchOwner(const std::string& name, const std::string& prefix)
{
    if (name.size() <= prefix.size() + 7 || name.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string rest = name.substr(prefix.size());
    const size_t dash = rest.find('-');
    if (dash == 0 || dash > 9 || rest.size() != dash + 7 || rest.find_first_not_of("0123456789") != dash)
        return 0;
    return std::strtol(rest.c_str(), nullptr, 10);
}

// Whether a process has ended: gone, or a zombie its parent has yet to collect.
inline bool ProcessEnded(long pid)
{
    if (::kill(pid_t(pid), 0) != 0)
        return errno == ESRCH;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

inline void SweepDeadScratchFolders(const std::string& tmp, const std::string& prefix)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(tmp, ec)) {
        const std::string name = entry.path().filename().string();
        const long owner = ScratchOwner(name, prefix);
        // Only our own names, and only real folders of ours (never through a link).
        struct stat st;
        if (owner <= 0 || ::lstat(entry.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::getuid())
            continue;
        if (ProcessEnded(owner))
            std::filesystem::remove_all(entry.path(), ec);
    }
}

inline const std::string& ScratchFolder(const char* name)
{
    static const std::string folder = [name] {
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp && *tmp ? tmp : "/tmp";
        const std::string prefix = std::string("tessa-") + name + "-fuzz-";
        SweepDeadScratchFolders(base, prefix);
        std::string tmpl = base + "/" + prefix + std::to_string(::getpid()) + "-XXXXXX";
        if (!mkdtemp(tmpl.data()))
            return std::string();
        static std::string removeAtExit;
        removeAtExit = tmpl;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return tmpl;
    }();
    return folder;
}

} // namespace fuzzsupport

#pragma once
// A scratch folder per fuzzing process under the temporary folder ($TMPDIR),
// removed when the process exits; "" when it cannot be made. A process that
// ends on a finding runs no exit handlers: the next one of the same name
// removes the folders whose owner (named in the folder's name) is gone.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fuzzsupport {

inline void SweepDeadScratchFolders(const std::string& tmp, const std::string& prefix)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(tmp, ec)) {
        const std::string name = entry.path().filename().string();
        // Only our own names, and only real folders (never through a link).
        if (name.compare(0, prefix.size(), prefix) != 0 || !entry.is_directory(ec) || entry.is_symlink(ec))
            continue;
        const long owner = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (owner > 0 && ::kill(pid_t(owner), 0) != 0 && errno == ESRCH)
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

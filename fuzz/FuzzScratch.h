#pragma once
// A scratch folder per fuzzing process under the temporary folder ($TMPDIR),
// removed when the process exits; "" when it cannot be made.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzzsupport {

inline const std::string& ScratchFolder(const char* name)
{
    static const std::string folder = [name] {
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessa-" + name + "-fuzz-XXXXXX";
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

#include "foundation/objectfile/UnreadableFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool SetAsideUnreadableFile(const std::string& path, std::string* keptAs, std::string* error)
{
    if (keptAs)
        keptAs->clear();
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    for (int n = 1; n <= 1000; ++n) {
        std::string target = path + ".unreadable";
        if (n > 1) {
            target += '-';
            target += std::to_string(n);
        }
        // link() refuses an existing name, so no earlier copy is ever replaced.
        if (link(path.c_str(), target.c_str()) == 0) {
            if (unlink(path.c_str()) != 0) {
                int saved = errno;
                unlink(target.c_str());
                if (error)
                    *error = "cannot move " + path + " aside: " + std::strerror(saved);
                return false;
            }
            if (keptAs)
                *keptAs = target;
            return true;
        }
        if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == EMLINK) {
            // Folders without hard links: rename onto a name that is free.
            struct stat other;
            if (lstat(target.c_str(), &other) == 0)
                continue;
            if (rename(path.c_str(), target.c_str()) == 0) {
                if (keptAs)
                    *keptAs = target;
                return true;
            }
        }
        if (errno != EEXIST) {
            if (error)
                *error = "cannot keep " + path + " aside: " + std::strerror(errno);
            return false;
        }
    }
    if (error)
        *error = "too many unreadable copies of " + path;
    return false;
}

void CUnreadableFileGuard::NoteLoadFailed(const std::string& path)
{
    m_path = path;
}

bool CUnreadableFileGuard::BeforeSave()
{
    if (m_path.empty())
        return true;
    m_error.clear();
    if (!SetAsideUnreadableFile(m_path, &m_keptAs, &m_error))
        return false;
    m_path.clear();
    return true;
}

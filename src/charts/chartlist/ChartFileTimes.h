#pragma once
// The modification time of a chart file or folder in nanoseconds, as the
// chart list compares them.
#include <cstdint>
#include <sys/stat.h>

inline int64_t MtimeNs(const struct stat& st)
{
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

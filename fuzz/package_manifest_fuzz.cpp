// The package manifest reader over arbitrary bytes: every entry it accepts
// must have a name that stays in its folder, a size within the total and one
// check value per megabyte block.
#include "charts/packages/PackageManifest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CTypeMemoryIn in(data, size);
    CPackageManifest manifest;
    std::string error;
    bool ok = ReadPackageManifest(in, manifest, error);
    if (ok) {
        for (const CPackageEntry& entry : manifest.entries) {
            if (!IsSafePackageFileName(entry.name) || entry.size < 1 || entry.size > manifest.header.total ||
                entry.checks.size() != entry.BlockCount())
                abort();
        }
        std::string host;
        int port = 0;
        SplitPackageHost(manifest.header.host, host, port);
    } else if (error.empty()) {
        abort();
    }
    return 0;
}

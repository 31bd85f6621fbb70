// The map-store reply reader over arbitrary bytes, with and without the held
// products: a failed read leaves an empty listing; an accepted one holds only
// finite scales in order, and its tree builds.
#include "charts/mapstore/MapStore.h"
#include "charts/packages/PackageManifest.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int withHeld = 0; withHeld < 2; ++withHeld) {
        CTypeMemoryIn in(data, size);
        CMapShopListing listing(withHeld);
        bool ok = ReadMapStoreReply(in, withHeld != 0, {"hidden"}, listing);
        if (!ok && listing.Size() != 0)
            abort();
        const MapShopData* last = nullptr;
        for (const auto& record : listing.Records()) {
            if (!std::isfinite(record->scale) || record->name.find("hidden") != std::string::npos)
                abort();
            if (last && withHeld && record->scale < last->scale)
                abort();
            last = record.get();
        }
        CMapShopTree tree;
        MakeMapShopTree(listing, withHeld != 0, tree);
        ChooseMapToOffer(listing);
    }
    return 0;
}

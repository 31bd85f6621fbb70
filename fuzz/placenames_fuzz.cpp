// A place-name index of any bytes: open it, search it with a few texts and
// both kinds of filter. Nothing may be read outside the file, every search
// must end within one step per record, and the file must stay.
#include "mapview/places/GeoNameDatabase.h"
#include "support/MemoryFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tessatest::CMemoryFile file(data, size);
    if (!file.IsOpen())
        return 0;
    CGeoNameDatabase db;
    if (db.Open(file.Path())) {
        const size_t maxRecords = size / size_t(CGeoNameDatabase::kMinRecordBytes) + 1;
        for (const char* text : {"", "A", "ON", "1", "\xC9"}) {
            for (int32_t kind : {-1, 0, 1}) {
                const uint8_t* cursor = nullptr;
                size_t steps = 0;
                while (db.Search(cursor, kind, text)) {
                    CGeoNameRecord record;
                    if (++steps > maxRecords || !db.GetRecord(cursor, record) ||
                        !CGeoNameDatabase::IsPlaceable(record.latitude, record.longitude))
                        std::abort();
                    volatile size_t n = std::string(record.name).size();
                    (void)n;
                }
            }
        }
    }
    db.Close();
    struct stat st;
    if (::stat(file.Path().c_str(), &st) != 0 || size_t(st.st_size) != size)
        std::abort();
    return 0;
}

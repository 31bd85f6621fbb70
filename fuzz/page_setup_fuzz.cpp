// The page setup read from arbitrary settings text: whatever is read is a
// known paper with margins that leave a printable area, and writing it reads
// back the same.
#include "foundation/print/PageSetup.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const CPageSetup page = ParsePageSetup(text);
    double width = 0, height = 0;
    if (!PageSizePoints(page, width, height))
        std::abort();
    for (double margin : {page.left, page.right, page.top, page.bottom})
        if (!std::isfinite(margin) || margin < 0)
            std::abort();
    if (page.left + page.right >= width || page.top + page.bottom >= height)
        std::abort();
    if (!(ParsePageSetup(FormatPageSetup(page)) == page))
        std::abort();
    return 0;
}

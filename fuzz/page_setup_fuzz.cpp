// The page setup read from arbitrary settings text: whatever is read is a
// known paper with margins in range, and writing it reads back the same.
#include "foundation/print/PageSetup.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool MarginOk(double margin)
{
    return std::isfinite(margin) && margin >= 0 && margin <= kMaxPageMargin;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const CPageSetup page = ParsePageSetup(text);
    double width = 0, height = 0;
    if (!PaperSizePoints(page.paper, width, height) || !MarginOk(page.left) || !MarginOk(page.right) ||
        !MarginOk(page.top) || !MarginOk(page.bottom))
        std::abort();
    if (!(ParsePageSetup(FormatPageSetup(page)) == page))
        std::abort();
    return 0;
}

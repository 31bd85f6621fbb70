// Panel layout files: bytes read into fresh panels, the main panel laid out
// on a host whose size comes from the input, then written and read again,
// which must give the same bytes.
#include "panelfakes/RecordingWindows.h"
#include "panels/LayoutFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string Write(const std::string& name, const CDisplayView& flip, const CDisplayView& main)
{
    CSerialStream stream = CSerialStream::OpenWrite({}, nullptr);
    if (!CLayoutDocument::Write(stream, name, flip.Arrangements(), main.Arrangements()))
        std::abort(); // whatever was read must be writable
    return stream.Output();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static tessatest::RecordingWindowFactory factory;
    factory.Clear();
    RegisterAllPanelItems();

    CLayoutDocument document;
    if (!document.LoadBytes(data, size, nullptr))
        return 0;
    CDisplayView main, flip;
    main.ReplaceArrangements(std::move(document.m_main));
    flip.ReplaceArrangements(std::move(document.m_flip));

    // The last bytes pick the window: 0..2040 points each way, 0 included.
    const int32_t width = size >= 1 ? data[size - 1] * 8 : 0;
    const int32_t height = size >= 2 ? data[size - 2] * 8 : 0;
    tessatest::FakeHost host(width, height);
    main.Attach(&host, nullptr);
    main.Relayout();
    int32_t row = 0, column = 0;
    for (int32_t x = -1; x <= width; x += 97)
        if (main.CellAtPoint(x, height / 2, row, column))
            main.HitTest(row, column);

    const std::string first = Write(document.m_name, flip, main);
    CLayoutDocument again;
    if (!again.LoadBytes(first.data(), first.size(), nullptr))
        std::abort();
    CDisplayView main2, flip2;
    main2.ReplaceArrangements(std::move(again.m_main));
    flip2.ReplaceArrangements(std::move(again.m_flip));
    if (Write(again.m_name, flip2, main2) != first)
        std::abort();
    main.Detach();
    return 0;
}

// Panel layout files: bytes read into fresh panels, the main panel laid out
// on a host whose size comes from the input and edited by a tail of edit
// operations taken from the input, then written and read again, which must
// give the same bytes.
#include "panelfakes/RecordingWindows.h"
#include "panels/LayoutFile.h"

#include <algorithm>
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

// Up to 16 edits, three bytes each, from the bytes before the window size:
// an operation and a point (or deltas) scaled to the window.
void Edit(CDisplayView& panel, const uint8_t* data, size_t size, int32_t width, int32_t height)
{
    if (size < 2)
        return;
    const size_t end = size - 2, count = std::min<size_t>(end / 3, 16);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* op = data + end - 3 * (i + 1);
        const int32_t x = op[1] * (width + 64) / 255 - 32, y = op[2] * (height + 64) / 255 - 32;
        int32_t row = 0, column = 0;
        switch (op[0] % 7) {
        case 0:
            panel.ToggleArrange();
            break;
        case 1:
            panel.MouseDown(x, y);
            break;
        case 2:
            panel.MouseDragged(x * 4 - width, y * 4 - height);
            break;
        case 3:
            panel.MouseUp(x, y);
            break;
        case 4:
            panel.ChangeGrid(op[1] % 3 - 1, op[2] % 3 - 1);
            break;
        case 5:
            if (panel.CellAtPoint(x, y, row, column))
                panel.ClearCellAndSave(row, column);
            break;
        default:
            if (panel.CellAtPoint(x, y, row, column) && CDisplayView::FirstEntry())
                panel.ChangeData(*CDisplayView::FirstEntry(), row, column);
        }
    }
    panel.ToggleArrange();
    panel.MouseUp(0, 0);
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
    Edit(main, data, size, width, height);

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

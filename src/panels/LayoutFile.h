#pragma once
// The layout file: both panels of a layout in one chunked object file. After
// the magic (no version chunk) come the header chunk (tag, format number,
// layout name), the after-start panel's chunk and the main panel's chunk.
// A reader builds fresh arrangement lists; nothing is applied to a panel
// unless the whole file read.
#include "panels/DisplayView.h"

#include <cstddef>
#include <string>

class CLayoutDocument : public CSerializable
{
public:
    static constexpr uint32_t kHeaderTag = 0x9D85823B;
    static constexpr uint32_t kFormat = 2;
    // Larger files are refused before they are read.
    static constexpr size_t kMaxFileBytes = size_t(16) << 20;

    // Reading fills the fields below; writing writes them.
    bool Serialize(CSerialStream& stream) override;
    // Writes a layout of these parts.
    static bool Write(CSerialStream& stream, const std::string& name,
                      const CDisplayView::ArrangementList& flip, const CDisplayView::ArrangementList& main);

    // Reads the bytes of a file into this (fresh) document.
    bool LoadBytes(const void* data, size_t size, std::string* error);
    // False, saying why, for more bytes than a layout may have.
    static bool CheckSize(size_t size, std::string* error);

    std::string m_name;
    CDisplayView::ArrangementList m_flip;
    CDisplayView::ArrangementList m_main;
};

#include "panels/LayoutFile.h"

bool CLayoutDocument::Serialize(CSerialStream& stream)
{
    if (stream.IsWriting())
        return Write(stream, m_name, m_flip, m_main);
    {
        CSerialChunk header(stream);
        uint32_t tag = 0, format = 0;
        header.Exchange(tag);
        if (!stream.IsGood())
            return false;
        if (tag != kHeaderTag)
            return stream.Fail("not a panel layout (header tag " + std::to_string(tag) + ")");
        header.Exchange(format); // read and ignored: every format reads the same way
        header.ExchangeString(m_name);
        if (!header.Close())
            return false;
    }
    return CDisplayView::ReadArrangements(stream, m_flip) && CDisplayView::ReadArrangements(stream, m_main);
}

bool CLayoutDocument::Write(CSerialStream& stream, const std::string& name,
                            const CDisplayView::ArrangementList& flip,
                            const CDisplayView::ArrangementList& main)
{
    {
        CSerialChunk header(stream);
        uint32_t tag = kHeaderTag, format = kFormat;
        std::string stored = name;
        header.Exchange(tag);
        header.Exchange(format);
        header.ExchangeString(stored);
        if (!header.Close())
            return false;
    }
    if (!CDisplayView::WriteArrangements(stream, flip) || !CDisplayView::WriteArrangements(stream, main))
        return false;
    // Never write what the reader would refuse.
    if (stream.Position() > kMaxFileBytes)
        return stream.Fail("the layout is larger than " + std::to_string(kMaxFileBytes) + " bytes");
    return stream.IsGood();
}

bool CLayoutDocument::CheckSize(size_t size, std::string* error)
{
    if (size <= kMaxFileBytes)
        return true;
    if (error)
        *error = "the layout file is larger than " + std::to_string(kMaxFileBytes) + " bytes";
    return false;
}

bool CLayoutDocument::LoadBytes(const void* data, size_t size, std::string* error)
{
    return CheckSize(size, error) && LoadFromBuffer(data, size, {}, nullptr, 0, error);
}

#include "panels/TextFieldAutosizing.h"

#include <cstring>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Letters that reach below the line: a text with one of them is sized as text.
bool HasDescender(char c)
{
    return c != '\0' && std::strchr("qypfgj/", c) != nullptr;
}

} // namespace

bool TextFieldAutosizing::BreaksAt(size_t index, size_t length) const
{
    return m_numeric && index >= 10 && index * 2 >= length;
}

void TextFieldAutosizing::setupTemplate(const std::string& text)
{
    m_numeric = false;
    m_multiline = false;
    m_template.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' && BreaksAt(i, text.size())) {
            m_template += 'W';
            m_multiline = true;
            break;
        }
        if (IsDigit(c)) {
            m_template += '5';
            m_numeric = true;
            continue;
        }
        m_template += c;
        if (HasDescender(c))
            m_numeric = false;
    }
    m_hasTemplate = true;
}

bool TextFieldAutosizing::matchesTemplate(const std::string& text)
{
    m_numeric = false;
    m_multiline = false;
    if (!m_hasTemplate)
        return false;
    if (text.empty() || m_template.empty())
        return text.empty() && m_template.empty();
    for (size_t i = 0; i < text.size(); ++i) {
        if (i >= m_template.size())
            return false;
        const char c = text[i];
        const char t = m_template[i];
        if (c == ' ' && BreaksAt(i, text.size())) {
            if (t != 'W')
                return false;
            m_multiline = true;
            return true;
        }
        if (IsDigit(c)) {
            if (t != '5')
                return false;
            m_numeric = true;
            continue;
        }
        if (c != t)
            return false;
        if (HasDescender(c))
            m_numeric = false;
    }
    return text.size() == m_template.size();
}

void TextFieldAutosizing::refitText()
{
    if (!(m_frame.width > 0) || m_template.empty())
        return;
    const double heightLimit = m_frame.height * (m_numeric ? 1.3 : 1.0) - 2;
    const double widthLimit = m_frame.width - 10;
    double low = m_minimumSize;
    double high = heightLimit;
    // Bounded: each step halves the interval, which ends above 0.5 wide.
    for (int step = 0; step < 64 && high - low > 0.01 * low + 0.5; ++step) {
        const double size = (low + high) / 2;
        double width = 0, height = 0;
        m_measurer->Measure(m_template, size, width, height);
        if (!m_multiline) {
            if (height >= heightLimit || width >= widthLimit)
                high = size;
            else
                low = size;
        } else if (width >= widthLimit) {
            high = size;
        } else {
            // A text at least half as wide as the field takes about two lines.
            if (width >= widthLimit / 2)
                height *= 2.6;
            if (height < heightLimit)
                low = size;
            else
                high = size;
        }
    }
    m_fontSize = low;
}

bool TextFieldAutosizing::frameNeedsAdjustment() const
{
    return m_numeric && !m_multiline && m_frame.height > 31;
}

CFieldFrame TextFieldAutosizing::setFrameWithAjustment() const
{
    CFieldFrame frame = m_frame;
    if (frameNeedsAdjustment()) {
        const double shift = 0.17 * m_fontSize;
        frame.y -= shift;
        frame.height += shift;
    }
    return frame;
}

bool TextFieldAutosizing::setStringValue(const std::string& text)
{
    bool changed = false;
    if (!matchesTemplate(text)) {
        const double before = m_fontSize;
        setupTemplate(text);
        refitText();
        const CFieldFrame shown = setFrameWithAjustment();
        changed = before != m_fontSize || !(shown == m_shown);
        m_shown = shown;
    }
    m_text = text;
    return changed;
}

void TextFieldAutosizing::setFrame(const CFieldFrame& frame)
{
    m_frame = frame;
    refitText();
    m_shown = setFrameWithAjustment();
}

int32_t TitleHeight(int32_t cellHeight)
{
    if (cellHeight < 75)
        return 15;
    return cellHeight / 5 < 30 ? cellHeight / 5 : 30;
}

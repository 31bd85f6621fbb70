#pragma once
// The font sizing of a panel text field. A text stands for its shape by a
// sizing template (digits become '5'), so the font is worked out again only
// when the shape changes: 12.5 after 9.7 keeps the font, 123.4 refits. The
// fit is a bisection of the bold application font's size against the
// field's frame. Measuring is an interface: Qt's font metrics on screen, a
// fake in tests.
#include <cstdint>
#include <string>

// Width and height of one line of text in the bold application font.
class ITextMeasurer
{
public:
    virtual ~ITextMeasurer() = default;
    virtual void Measure(const std::string& text, double pointSize, double& width, double& height) = 0;
};

struct CFieldFrame
{
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const CFieldFrame& o) const
    {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

class TextFieldAutosizing
{
public:
    static constexpr double kInitialFontSize = 15;

    explicit TextFieldAutosizing(ITextMeasurer& measurer) : m_measurer(&measurer) {}

    // Takes a new text; refits when its shape differs from the last one.
    // True when the font or the frame changed.
    bool setStringValue(const std::string& text);
    // Takes a new frame and refits.
    void setFrame(const CFieldFrame& frame);
    void setMinimumSize(int32_t size) { m_minimumSize = size; }

    // Builds the template of `text`, setting the numeric and multi-line flags.
    void setupTemplate(const std::string& text);
    // Whether `text` has the shape of the template; sets both flags as it walks.
    bool matchesTemplate(const std::string& text);
    // Fits the font size to the frame.
    void refitText();
    // The frame to show the text in: a numeric one-line field taller than 31
    // starts 0.17 x the font size higher, its bottom edge unchanged.
    bool frameNeedsAdjustment() const;
    CFieldFrame setFrameWithAjustment() const;

    const std::string& Text() const { return m_text; }
    const std::string& Template() const { return m_template; }
    double FontSize() const { return m_fontSize; }
    bool IsNumeric() const { return m_numeric; }
    bool IsMultiline() const { return m_multiline; }
    const CFieldFrame& Frame() const { return m_frame; }
    CFieldFrame ShownFrame() const { return m_shown; }
    int32_t MinimumSize() const { return m_minimumSize; }

private:
    // Whether a blank at `index` of a text of `length` breaks the line.
    bool BreaksAt(size_t index, size_t length) const;

    ITextMeasurer* m_measurer;
    std::string m_text;
    std::string m_template;
    bool m_hasTemplate = false;
    bool m_numeric = false;
    bool m_multiline = false;
    int32_t m_minimumSize = 9;
    double m_fontSize = kInitialFontSize;
    CFieldFrame m_frame;
    CFieldFrame m_shown;
};

// The height of a text cell's title line: 15 below 75, else a fifth, at most 30.
int32_t TitleHeight(int32_t cellHeight);

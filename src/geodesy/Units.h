#pragma once
// The user's display units. For now this holds the position format, the part
// every position display and entry field goes through; the other unit choices
// and their formatters join it here.
#include <string>
#include <string_view>

class CUnits
{
public:
    // A named way of writing and reading positions (WGS84 degrees, north and east
    // positive). Every format object registers itself when it is built; the list
    // is the menu of formats, the last built first.
    class PositionFormatType
    {
    public:
        explicit PositionFormatType(const char* name);
        PositionFormatType(const PositionFormatType&) = delete;
        PositionFormatType& operator=(const PositionFormatType&) = delete;

        // Writes the text; false (with a placeholder text) only when the position
        // cannot be shown in this format.
        virtual bool Format(std::string& text, double latitude, double longitude) const = 0;
        // True when the text was read; the outputs are written only then.
        virtual bool Parse(std::string_view text, double& latitude, double& longitude) const = 0;

        const std::string& Name() const { return m_name; }
        const PositionFormatType* Next() const { return m_next; }

        static const PositionFormatType* First();
        // The format with exactly this name, or the default "Deg,Min" format.
        static const PositionFormatType* Find(std::string_view name);

    protected:
        // Format objects live for the whole process and are never deleted through the base.
        ~PositionFormatType() = default;

    private:
        std::string m_name;
        const PositionFormatType* m_next;
    };

    // Latitude and longitude with hemisphere letters; style 0 degrees,
    // 1 degrees and minutes, 2 degrees, minutes and seconds.
    class PosFmtLatLon : public PositionFormatType
    {
    public:
        PosFmtLatLon(const char* name, int style) : PositionFormatType(name), m_style(style) {}
        bool Format(std::string& text, double latitude, double longitude) const override;
        bool Parse(std::string_view text, double& latitude, double& longitude) const override;

        bool FormatLatLon(std::string& text, double latitude, double longitude) const;
        // One coordinate's magnitude with its letter (pos for >= 0, neg otherwise).
        std::string FormatCoordinate(double value, char pos, char neg) const;
        int Style() const { return m_style; }

    private:
        int m_style;
    };
    class PosFmtDeg : public PosFmtLatLon
    {
    public:
        PosFmtDeg() : PosFmtLatLon("Degrees", 0) {}
    };
    class PosFmtDegMin : public PosFmtLatLon
    {
    public:
        PosFmtDegMin() : PosFmtLatLon("Deg,Min", 1) {}
    };
    class PosFmtDMS : public PosFmtLatLon
    {
    public:
        PosFmtDMS() : PosFmtLatLon("Deg,Min,Sec", 2) {}
    };

    // Reads one coordinate ("50 30.5N", "50°30.5'", "1d15'W", "-1.25") as
    // degrees. Returns 999 when no number can be read; `letter` is the first
    // letter other than D and E, upper case, or 0.
    static double ParseCoordinate(std::string_view text, char& letter);

    CUnits() = default;

    // Never null: the default format until one is chosen.
    const PositionFormatType& PositionFormat() const;
    void SetPositionFormat(const PositionFormatType& format) { m_positionFormat = &format; }

    bool FormatPosition(std::string& text, double latitude, double longitude) const
    {
        return PositionFormat().Format(text, latitude, longitude);
    }
    bool ParsePosition(std::string_view text, double& latitude, double& longitude) const
    {
        return PositionFormat().Parse(text, latitude, longitude);
    }

private:
    // Null means the default; resolved on use so that a units object built by a
    // static initialiser does not depend on the formats being built first.
    const PositionFormatType* m_positionFormat = nullptr;
};

#pragma once
// Text to number and back without regard to the process locale: settings,
// NMEA fields, chart files and GPX all use '.' as the decimal mark whatever
// the user's language is.
#include <clocale>
#include <cstdint>
#include <locale.h>
#include <string>
#include <string_view>

// Switches the calling thread to the C locale for its lifetime; printf-style
// formatting inside the scope writes '.' decimals under any user locale.
class CCLocaleScope
{
public:
    CCLocaleScope();
    ~CCLocaleScope();
    CCLocaleScope(const CCLocaleScope&) = delete;
    CCLocaleScope& operator=(const CCLocaleScope&) = delete;

private:
    locale_t m_previous;
};

// Parses a whole text as a finite double: optional sign, digits, optional
// fraction and exponent, surrounding blanks allowed. "nan", "inf", hex floats
// and trailing garbage are refused. `out` is written only on success.
bool ParseDouble(std::string_view text, double& out);

// Plain decimal only ("-12.50", "7", ".5"): no exponent, no blanks. This is the
// form of NMEA and chart-server numbers.
bool ParsePlainDecimal(std::string_view text, double& out);

// Parses a whole text as a signed integer in base 10 (or base 16 with "0x").
bool ParseInt64(std::string_view text, int64_t& out);

// printf-style formatting of one double in the C locale, e.g. FormatDouble(v, "%#.10g").
std::string FormatDouble(double value, const char* format);

// Shortest text that reads back to the same double.
std::string FormatDoubleRoundTrip(double value);

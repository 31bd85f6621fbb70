#pragma once
// Field helpers shared by every sentence parser.
#include <cstddef>

// Cuts a writable line into `count` fields: field 0 is the address ("$GPRMC");
// each field ends at ',' or '*' (after '*' every later field is the empty end).
// Fields past the sentence's last one are empty strings.
void SplitNMEAFields(char* line, int count, char** fields);

// A plain decimal number ("-12.5", "7"): no exponent, no "nan" or "inf".
// False (and `out` untouched) for an empty or malformed field.
bool ParseNMEANumber(const char* field, double& out);
// The number of a field, or `fallback` when it is empty or malformed.
double NMEANumberOr(const char* field, double fallback);

// Checked forms: false (and `out` untouched) unless the field is complete and
// in range: digits only, minutes below 60, latitude up to 90 with hemisphere
// N or S, longitude up to 180 with E or W, hh:mm:ss within a day, day and
// month of a real calendar date.
bool ParseNMEALatitudeChecked(const char* value, const char* hemisphere, double& out);
bool ParseNMEALongitudeChecked(const char* value, const char* hemisphere, double& out);
bool ParseNMEATimeChecked(const char* field, int& secondsOfDay);
bool ParseNMEADateChecked(const char* field, double& midnightUtc);
// Both halves of a position, or false when either is missing or invalid.
bool ParseNMEAPosition(const char* lat, const char* latHemi, const char* lon, const char* lonHemi,
                       double& latOut, double& lonOut);

// Positions are read by the point: the two digits before '.' and the fraction
// are minutes, the digits before them degrees (one or two for a latitude, one
// to three for a longitude), so "530.5" and "1142.5722" read as receivers mean.
// ddmm.mmmm; negative for a hemisphere beginning with 'S'.
// 0.0 when the value is empty, not of that form or out of range.
double ParseNMEALatitude(const char* value, const char* hemisphere);
// dddmm.mmmm; negative for 'W'.
double ParseNMEALongitude(const char* value, const char* hemisphere);
// Seconds of the day from hhmmss or hhmmss.sss (fraction dropped); 0 when empty or invalid.
int ParseNMEATime(const char* field);
// Seconds since 1970 (UTC) at midnight of ddmmyy; 0 when empty or malformed.
double ParseNMEADate(const char* field);
// Copies at most len - 1 characters and ends dst with a NUL (nothing when len is 0).
void CopyNMEAText(char* dst, const char* src, size_t len);

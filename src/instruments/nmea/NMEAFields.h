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

// ddmm.mmmm with '.' at index 4; negative for a hemisphere beginning with 'S'.
// 0.0 when the value is empty or not of that form.
double ParseNMEALatitude(const char* value, const char* hemisphere);
// dddmm.mmmm with '.' at index 5; negative for 'W'.
double ParseNMEALongitude(const char* value, const char* hemisphere);
// Seconds of the day from hhmmss or hhmmss.sss (fraction dropped); 0 when empty.
int ParseNMEATime(const char* field);
// Seconds since 1970 (UTC) at midnight of ddmmyy; 0 when empty or malformed.
double ParseNMEADate(const char* field);
// Copies at most len - 1 characters and always ends dst with a NUL.
void CopyNMEAText(char* dst, const char* src, size_t len);

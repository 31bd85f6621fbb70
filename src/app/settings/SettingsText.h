#pragma once
// Reading the numbers typed into the settings dialogs. A refused text changes
// nothing: the dialog says why and stays open.
#include <string>

namespace NSettingsText {

// A port from its leading digits ("2000x" gives 2000, leading blanks are
// skipped); false unless it lies in 1..65535.
bool ParsePort(const std::string& text, int& port);
// A finite decimal number of at least 0 (blanks around it allowed).
bool ParseNonNegative(const std::string& text, double& value);
// A number as it is stored, without trailing zeros ("300", "2.5").
std::string FormatNumber(double value);

} // namespace NSettingsText

// Small helpers shared across the model: units, names, hexadecimal keys,
// name=value pairs, quoting and rounding to board units.
#pragma once

#include "sdk/AsciiText.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

class TSpecctraAbstractRule;

using HostSdk::UpperAscii;

// The empty text, for a look-up that lends a name and has none to lend.
inline const std::string& NoText() {
    static const std::string none;
    return none;
}

// A blank inside a name: the character 31 in design files, "~SP~" in the
// model's texts. The reader turns the one into the other, the writer back.
inline constexpr char kUnitSeparator = 31;
inline constexpr std::string_view kSpaceMarker = "~SP~";
// Rounds to the nearest integer, ties to even, whatever the caller's rounding
// mode. Every coordinate of an import goes through it, so it is inline.
//
// It works by exact integer arithmetic, so that the floating-point
// environment is neither asked nor changed: below 2^52 the part after the
// truncation, value - trunc(value), is exact, and comparing it with one half
// decides.
inline double RoundTiesToEven(double value) {
    constexpr double kWhole = 4503599627370496.0; // 2^52: every double from here on is whole
    if (!(std::fabs(value) < kWhole)) [[unlikely]]
        return value;                                  // whole already, infinite or NaN
    const int64_t whole = static_cast<int64_t>(value); // towards zero
    const double fraction = std::fabs(value - static_cast<double>(whole));
    if (fraction == 0.0)
        return value; // whole: what a writer of board units mostly meets
    // Without branches: a converted coordinate's fraction is as likely above
    // a half as below, and a mispredicted jump costs more than the sum.
    const int64_t away =
        (static_cast<int64_t>(fraction > 0.5) | (static_cast<int64_t>(fraction == 0.5) & whole)) &
        1;
    const int64_t step = 1 - 2 * static_cast<int64_t>(value < 0.0);
    // -0.3 gives -0 as the hardware does.
    return std::copysign(static_cast<double>(whole + away * step), value);
}

// Units per inch of a dimension unit (mil and anything unknown: 1000).
double UnitsPerInch(int unit);
// "Front Side", "Back Side", "Both Sides".
std::string SideName(int side);
// Display name of a shape kind 0 .. 4.
std::string ShapeTypeName(int kind);
// True for "SIGNAL", "POWER" or "PCB" in any case.
bool IsLayerClassName(std::string_view text);
// Eight upper-case hexadecimal digits of the two's complement value, with
// leading zeros removed while at least two digits remain.
std::string IntToHexText(int32_t value);
// Reads a value written by IntToHexText back ("$" + text, converted).
bool HexTextToInt(std::string_view text, int32_t& value);
// Name=value pairs joined by "|".
bool GetParameter(std::string_view parameters, std::string_view name, std::string& value);
void SetParameter(std::string& parameters, std::string_view name, std::string_view value);
// The name in apostrophes when it holds "(", ")" or white space.
std::string QuoteIfParenthesised(const std::string& name);
std::string Quoted(const std::string& text);
std::string Parenthesised(const std::string& text);
std::string QuotedParenthesised(const std::string& text);
std::string JoinWithOperator(const std::string& left, const std::string& right,
                             const std::string& op);
// Rounds to the nearest integer, ties to even, clamped to the 32-bit range.
inline int32_t RoundToBoard(double value) {
    if (std::isnan(value))
        return 0;
    const double rounded = RoundTiesToEven(value);
    if (rounded >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(rounded);
}
// A number in the general format of written Specctra text ("%g" with 15
// significant digits): whole numbers print as plain integers, a negative zero
// as 0. Appending is the fast form for writers of many numbers.
std::string GeneralNumberText(double value);

// A board name is a C string: a name of the design holding a NUL character
// cannot be one, and cut at the NUL it would become another object's name.
inline bool HoldsNul(std::string_view name) {
    return name.find('\0') != std::string_view::npos;
}
// The name as a report shows it: each NUL as "\0".
std::string VisibleName(std::string_view name);
void AppendGeneralNumber(std::string& out, double value);
// The same number written at `out`, which has room for kGeneralNumberRoom
// characters; returns the end of what was written.
inline constexpr int kGeneralNumberRoom = 32;
char* FormatGeneralNumber(char* out, double value);

// "ERROR: Invalid Rule Name" without a rule, else the display name of the
// rule kind (1 .. 40), a space and the rule's name.
std::string RuleDisplayName(int ruleKind, const TSpecctraAbstractRule* rule);

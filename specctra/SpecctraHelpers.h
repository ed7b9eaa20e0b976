// Small helpers shared across the model: units, names, hexadecimal keys,
// name=value pairs, quoting and rounding to board units.
#pragma once

#include "host/sdk/AsciiText.h"

#include <cstdint>
#include <string>
#include <string_view>

class TSpecctraAbstractRule;

using HostSdk::UpperAscii;

// A blank inside a name: the character 31 in design files, "~SP~" in the
// model's texts. The reader turns the one into the other, the writer back.
inline constexpr char kUnitSeparator = 31;
inline constexpr std::string_view kSpaceMarker = "~SP~";
// Rounds to the nearest integer, ties to even, whatever the caller's rounding
// mode.
double RoundTiesToEven(double value);

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
// The name in apostrophes when it holds "(" or ")".
std::string QuoteIfParenthesised(const std::string& name);
std::string Quoted(const std::string& text);
std::string Parenthesised(const std::string& text);
std::string QuotedParenthesised(const std::string& text);
std::string JoinWithOperator(const std::string& left, const std::string& right,
                             const std::string& op);
// Rounds to the nearest integer, ties to even, clamped to the 32-bit range.
int32_t RoundToBoard(double value);

// "ERROR: Invalid Rule Name" without a rule, else the display name of the
// rule kind (1 .. 40), a space and the rule's name.
std::string RuleDisplayName(int ruleKind, const TSpecctraAbstractRule* rule);

#include "specctra/SpecctraHelpers.h"

#include "sdk/Parameters.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraTypes.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

char* FormatGeneralNumber(char* out, double value) {
    // Whole numbers below 10^15 print the same under "%.15g" as their integer.
    // A negative zero (a rounded small negative length) prints as 0. The test
    // by conversion needs no call to trunc (the library's, on this target).
    if (std::fabs(value) < 1e15) {
        const auto whole = static_cast<long long>(value);
        if (static_cast<double>(whole) == value) {
            if (whole == 0) {
                *out = '0';
                return out + 1;
            }
            return std::to_chars(out, out + kGeneralNumberRoom, whole).ptr;
        }
    }
    // to_chars in general form with a precision prints as printf's "%.*g".
    return std::to_chars(out, out + kGeneralNumberRoom, value, std::chars_format::general, 15).ptr;
}

void AppendGeneralNumber(std::string& out, double value) {
    char text[kGeneralNumberRoom];
    out.append(text, FormatGeneralNumber(text, value));
}

std::string GeneralNumberText(double value) {
    std::string text;
    AppendGeneralNumber(text, value);
    return text;
}

std::string VisibleName(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    for (char c : name) {
        if (c == '\0')
            shown += "\\0";
        else
            shown += c;
    }
    return shown;
}

double UnitsPerInch(int unit) {
    switch (unit) {
    case eDimInch:
        return 1.0;
    case eDimCm:
        return 2.54;
    case eDimMm:
        return 25.4;
    case eDimUm:
        return 25400.0;
    default:
        return 1000.0;
    }
}

std::string SideName(int side) {
    switch (side) {
    case 0:
        return "Front Side";
    case 1:
        return "Back Side";
    case 2:
        return "Both Sides";
    default:
        return std::string();
    }
}

std::string ShapeTypeName(int kind) {
    switch (kind) {
    case 0:
        return "Filled Polygon Shape";
    case 1:
        return "Rectangular Shape";
    case 2:
        return "Circular Shape";
    case 3:
        return "Polyline Shape";
    case 4:
        return "Quarter Arc Shape";
    default:
        return "ERROR: Unknown Specctra shape type.";
    }
}

bool IsLayerClassName(std::string_view text) {
    return HostSdk::SameTextAscii(text, "SIGNAL") || HostSdk::SameTextAscii(text, "POWER") ||
           HostSdk::SameTextAscii(text, "PCB");
}

std::string IntToHexText(int32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    uint32_t bits = static_cast<uint32_t>(value);
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = digits[bits & 0xFu];
        bits >>= 4;
    }
    std::size_t first = 0;
    while (first < 6 && text[first] == '0')
        ++first;
    return text.substr(first);
}

bool HexTextToInt(std::string_view text, int32_t& value) {
    std::string hex(1, '$');
    hex.append(text);
    return ConvertSpecctraInt(hex, value);
}

bool GetParameter(std::string_view parameters, std::string_view name, std::string& value) {
    return HostSdk::GetState_Parameter(parameters, name, value);
}

void SetParameter(std::string& parameters, std::string_view name, std::string_view value) {
    HostSdk::AddStringParameter(parameters, name, value);
}

std::string QuoteIfParenthesised(const std::string& name) {
    // A blank (or any white space) would split the name into words for every
    // reader of the file: such names are quoted too.
    if (name.find_first_of("() \t\r\n") != std::string::npos)
        return "'" + name + "'";
    return name;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}
std::string Parenthesised(const std::string& text) {
    return "(" + text + ")";
}
std::string QuotedParenthesised(const std::string& text) {
    return "('" + text + "')";
}

std::string JoinWithOperator(const std::string& left, const std::string& right,
                             const std::string& op) {
    if (left.empty())
        return right;
    return left + " " + op + " " + right;
}

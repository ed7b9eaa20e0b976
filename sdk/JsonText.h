// Text as a JSON string literal, for the engine's board dump and for harrow's
// own JSON. Control bytes are escaped. A byte from 0x7F up is one character
// with the same code, written as \u00XX, so that any text makes valid JSON;
// with `keepUtf8` a well-formed UTF-8 sequence (a file name) passes as it is
// and only stray bytes are escaped.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace HostSdk {

// The length of the well-formed UTF-8 sequence at `at`, 0 for none.
inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
            return 0;
    return length;
}

inline void AppendJsonString(std::string& out, std::string_view text, bool keepUtf8 = false) {
    out += '"';
    for (std::size_t at = 0; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (keepUtf8 && c >= 0x80) {
            if (std::size_t length = Utf8SequenceLength(text, at)) {
                out.append(text.substr(at, length));
                at += length - 1;
                continue;
            }
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

} // namespace HostSdk

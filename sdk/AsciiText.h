// ASCII case folding: names of parameters, keywords, stored records and object
// lists compare without regard to the case of the letters a-z; other bytes
// compare as they are. The one definition the engine, the host and the plug-in
// share.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace HostSdk {

inline char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text with ASCII letters in upper case (other bytes unchanged).
inline std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = UpperAscii(c);
    return out;
}

inline bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    return true;
}

} // namespace HostSdk

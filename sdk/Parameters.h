// Parameter strings: name=value pairs joined by "|", as the host passes them to
// commands and named processes. Names compare without regard to ASCII case;
// values are plain text up to the next "|".
#pragma once

#include "sdk/AsciiText.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace HostSdk {

namespace detail {
// Calls visit(nameBegin, nameEnd, valueBegin, valueEnd) for each pair; a piece
// without "=" is a name with an empty value. Stops when visit answers false.
template <typename Visit> void ForEachPair(std::string_view params, Visit visit) {
    std::size_t pos = 0;
    while (pos <= params.size()) {
        std::size_t end = params.find('|', pos);
        if (end == std::string_view::npos)
            end = params.size();
        std::string_view piece = params.substr(pos, end - pos);
        if (!piece.empty()) {
            std::size_t eq = piece.find('=');
            std::size_t nameEnd = eq == std::string_view::npos ? piece.size() : eq;
            std::size_t valueBegin = eq == std::string_view::npos ? piece.size() : eq + 1;
            if (!visit(pos, pos + nameEnd, pos + valueBegin, end))
                return;
        }
        pos = end + 1;
    }
}
} // namespace detail

// Calls visit(name, value) for each name=value pair of `params` in order; a
// piece without "=" is a name with an empty value.
template <typename Visit> void ForEachParameter(std::string_view params, Visit visit) {
    detail::ForEachPair(params,
                        [&](std::size_t nb, std::size_t ne, std::size_t vb, std::size_t ve) {
                            visit(params.substr(nb, ne - nb), params.substr(vb, ve - vb));
                            return true;
                        });
}

// Reads parameter `name` from `params`. Answers whether it is present; when it
// is, `value` receives its text (the first occurrence wins).
inline bool GetState_Parameter(std::string_view params, std::string_view name, std::string& value) {
    bool found = false;
    detail::ForEachPair(params,
                        [&](std::size_t nb, std::size_t ne, std::size_t vb, std::size_t ve) {
                            if (!SameTextAscii(params.substr(nb, ne - nb), name))
                                return true;
                            value.assign(params.substr(vb, ve - vb));
                            found = true;
                            return false;
                        });
    return found;
}

// Appends name=value to `params`, or replaces the value of the first pair of
// that name when there is one.
inline void AddStringParameter(std::string& params, std::string_view name, std::string_view value) {
    bool replaced = false;
    detail::ForEachPair(params,
                        [&](std::size_t nb, std::size_t ne, std::size_t vb, std::size_t ve) {
                            if (!SameTextAscii(std::string_view(params).substr(nb, ne - nb), name))
                                return true;
                            std::string pair = std::string(name) + "=" + std::string(value);
                            (void)vb;
                            params.replace(nb, ve - nb, pair);
                            replaced = true;
                            return false;
                        });
    if (replaced)
        return;
    if (!params.empty() && params.back() != '|')
        params += '|';
    params.append(name);
    params += '=';
    params.append(value);
}

// True when `value` is "True" in any case: the only boolean the plug-in tests.
inline bool IsTrueText(std::string_view value) {
    return SameTextAscii(value, "True");
}

// A parameter buffer for a named process: the request goes in, and the process
// may overwrite it with its answer, never beyond `capacity` characters.
class TParameterBuffer {
public:
    explicit TParameterBuffer(std::size_t capacity, std::string initial = {})
        : capacity_(capacity), text_(std::move(initial)) {
        Clip();
    }
    std::size_t Capacity() const { return capacity_; }
    const std::string& Text() const { return text_; }
    void Assign(std::string_view text) {
        text_.assign(text);
        Clip();
    }
    void Add(std::string_view name, std::string_view value) {
        AddStringParameter(text_, name, value);
        Clip();
    }
    bool Get(std::string_view name, std::string& value) const {
        return GetState_Parameter(text_, name, value);
    }

private:
    void Clip() {
        if (text_.size() > capacity_)
            text_.resize(capacity_);
    }
    std::size_t capacity_;
    std::string text_;
};

} // namespace HostSdk

#include "specctra/NameIndex.h"

#include "sdk/AsciiText.h"
#include "sdk/HugePages.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include <functional>

namespace {

uint64_t MixHash(uint64_t hash) {
    hash ^= hash >> 29;
    hash *= 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 32;
    return hash;
}

} // namespace

uint64_t ExactNameHash(std::string_view name) {
    return MixHash(std::hash<std::string_view>{}(name));
}

namespace {

uint64_t WordAt(const char* text) {
    uint64_t word = 0;
    std::memcpy(&word, text, 8);
    return word;
}

template <class T> uint64_t Load(const char* text) {
    T value;
    std::memcpy(&value, text, sizeof value);
    return value;
}

// The last n (< 8) bytes, zero-padded. Most names end in such a tail: it is
// put together from two loads of a fixed size that overlap in the middle,
// where a copy of a variable length would be a call.
uint64_t TailAt(const char* text, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 4)
            return Load<uint32_t>(text) | Load<uint32_t>(text + n - 4) << (8 * (n - 4));
        if (n >= 2)
            return Load<uint16_t>(text) | Load<uint16_t>(text + n - 2) << (8 * (n - 2));
        return n == 1 ? static_cast<unsigned char>(text[0]) : 0;
    }
    uint64_t word = 0;
    std::memcpy(&word, text, n);
    return word;
}

} // namespace

// Names are hashed eight bytes at a time: long pin and net names are the rule
// in large designs.
uint64_t AnyCaseNameHash(std::string_view name) {
    const auto mix = [](uint64_t hash, uint64_t word) {
        hash = (hash ^ UpperAsciiWord(word)) * 0xC2B2AE3D27D4EB4Full;
        return hash ^ (hash >> 31);
    };
    const std::size_t n = name.size();
    uint64_t hash = n * 0x9E3779B97F4A7C15ull;
    std::size_t at = 0;
    for (; at + 8 <= n; at += 8)
        hash = mix(hash, WordAt(name.data() + at));
    if (at < n)
        hash = mix(hash, TailAt(name.data() + at, n - at));
    return MixHash(hash);
}

bool SameNameAnyCase(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (b.size() != n)
        return false;
    std::size_t at = 0;
    for (; at + 8 <= n; at += 8)
        if (UpperAsciiWord(WordAt(a.data() + at)) != UpperAsciiWord(WordAt(b.data() + at)))
            return false;
    return at == n || UpperAsciiWord(TailAt(a.data() + at, n - at)) ==
                          UpperAsciiWord(TailAt(b.data() + at, n - at));
}

// The reader's work on bytes: the character classes of the Specctra
// syntax, and the scans over runs of bytes (spaces, a word up to its
// delimiter, letters' case), sixteen or eight bytes at a time where the
// processor allows.
#pragma once

#include "specctra/NameIndex.h"
#include "specctra/SpecctraHelpers.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace SpecctraScan {

inline constexpr unsigned char kLineFeed = 10;
inline constexpr unsigned char kCarriageReturn = 13;
inline constexpr unsigned char kDeviceControl4 = 20; // skipped after a line break

inline constexpr unsigned char kTokenDelimiter = 1;
inline constexpr unsigned char kNumberDelimiter = 2;
inline constexpr unsigned char kLowerCase = 4;
inline constexpr unsigned char kMarker = 8;
inline constexpr unsigned char kDecimalStart = 16; // a digit, a sign or a point

struct TCharTables {
    bool TokenDelimiters[256] = {};
    bool NumberDelimiters[256] = {};
    unsigned char Upper[256] = {};
    // Per character: kTokenDelimiter, kNumberDelimiter, kLowerCase, kMarker,
    // kDecimalStart bits.
    unsigned char Class[256] = {};

    constexpr TCharTables() {
        for (int c = 0; c < 256; ++c) {
            Upper[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            const bool numberChar = c == '+' || c == ',' || c == '-' || c == '.' ||
                                    (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                                    (c >= 'a' && c <= 'z');
            NumberDelimiters[c] = c != 0 && !numberChar;
            TokenDelimiters[c] = c == kLineFeed || c == kCarriageReturn || c == ' ' || c == '\'' ||
                                 c == '(' || c == ')' || c == ';';
            Class[c] = static_cast<unsigned char>(
                (TokenDelimiters[c] ? kTokenDelimiter : 0) |
                (NumberDelimiters[c] ? kNumberDelimiter : 0) |
                (c >= 'a' && c <= 'z' ? kLowerCase : 0) | (c == kUnitSeparator ? kMarker : 0) |
                ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' ? kDecimalStart : 0));
        }
    }
};

inline constexpr TCharTables kTables{};

inline const TCharTables& Tables() {
    return kTables;
}

inline bool IsLineBreak(unsigned char c) {
    return c == kLineFeed || c == kCarriageReturn;
}

// The index of the first byte at or after `from` that is not a space (`size`
// when there is none). Indentation runs are read eight bytes at a time.
inline std::size_t SpaceRunEnd(const unsigned char* data, std::size_t from, std::size_t size) {
    constexpr uint64_t kSpaces = 0x2020202020202020ull;
    if constexpr (std::endian::native == std::endian::little) {
        while (from + 8 <= size) {
            uint64_t word = 0;
            std::memcpy(&word, data + from, 8);
            word ^= kSpaces;
            if (word != 0) {
                return from + static_cast<std::size_t>(std::countr_zero(word)) / 8;
            }
            from += 8;
        }
    }
    while (from < size && data[from] == ' ') {
        ++from;
    }
    return from;
}

#if defined(__SSE2__)
// Bytes of `bytes` from `low` to `high` (both below 128), as 0xFF.
inline __m128i InRange(__m128i bytes, char low, char high) {
    // Signed compares: bytes from 128 up are negative, below any range.
    return _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(static_cast<char>(low - 1))),
                         _mm_cmplt_epi8(bytes, _mm_set1_epi8(static_cast<char>(high + 1))));
}

// The bytes of `bytes` that end a word: with the token delimiters (those of
// TCharTables::TokenDelimiters, and the space marker, which belongs to the
// word but is stepped over one byte at a time) or the number delimiters (any
// byte but the letters, the digits, "+,-." and zero).
template <bool kNumber> inline unsigned StopMask(__m128i bytes) {
    const auto is = [bytes](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
    if constexpr (kNumber) {
        const __m128i wordBytes = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(InRange(bytes, '+', '.'), InRange(bytes, '0', '9')),
                         _mm_or_si128(InRange(bytes, 'A', 'Z'), InRange(bytes, 'a', 'z'))),
            is(0));
        return ~static_cast<unsigned>(_mm_movemask_epi8(wordBytes)) & 0xFFFFu;
    } else {
        const __m128i stops = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(is(static_cast<char>(kLineFeed)),
                                      is(static_cast<char>(kCarriageReturn))),
                         _mm_or_si128(is(' '), is('\''))),
            _mm_or_si128(_mm_or_si128(is('('), is(')')),
                         _mm_or_si128(is(';'), is(static_cast<char>(kUnitSeparator)))));
        return static_cast<unsigned>(_mm_movemask_epi8(stops));
    }
}
#endif

// Steps `end` to the first delimiter (token or number delimiters) at or
// after it, reading sixteen bytes at a time. A number's lower-case letters
// (an exponent's "e") add kLowerCase to `seen`; a word's are looked for only
// when its text is asked for. A word stops at a space marker too, which the
// caller steps over. False when fewer than sixteen bytes remained before a
// delimiter was found: `end` is then where the caller goes on one byte at a
// time.
template <bool kNumber>
inline bool FindWordEnd(const unsigned char* data, std::size_t& end, std::size_t size,
                        unsigned char& seen) {
#if defined(__SSE2__)
    while (end + 16 <= size) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + end));
        const unsigned stopMask = StopMask<kNumber>(bytes);
        if constexpr (kNumber) {
            const unsigned within =
                stopMask != 0 ? (1u << std::countr_zero(stopMask)) - 1 : 0xFFFFu;
            if ((static_cast<unsigned>(_mm_movemask_epi8(InRange(bytes, 'a', 'z'))) & within) !=
                0) {
                seen |= kLowerCase;
            }
        }
        if (stopMask != 0) {
            end += static_cast<std::size_t>(std::countr_zero(stopMask));
            return true;
        }
        end += 16;
    }
#else
    (void)data;
    (void)end;
    (void)size;
    (void)seen;
#endif
    return false;
}

// Whether `n` bytes of text hold a lower-case ASCII letter.
inline bool HasLowerAscii(const unsigned char* text, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x = 0;
        std::memcpy(&x, text + i, 8);
        if (UpperAsciiWord(x) != x) {
            return true;
        }
    }
    for (; i < n; ++i) {
        if (text[i] >= 'a' && text[i] <= 'z') {
            return true;
        }
    }
    return false;
}

// Upper-cases ASCII letters in place, eight bytes at a time.
inline void UpperAsciiInPlace(char* text, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x = 0;
        std::memcpy(&x, text + i, 8);
        x = UpperAsciiWord(x);
        std::memcpy(text + i, &x, 8);
    }
    for (; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 'a' && c <= 'z') {
            text[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
}

} // namespace SpecctraScan

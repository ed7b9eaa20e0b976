#include "specctra/NameIndex.h"

#include "host/sdk/AsciiText.h"

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

uint64_t AnyCaseNameHash(std::string_view name) {
    uint64_t hash = 14695981039346656037ull; // FNV-1a over the upper-cased bytes
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(HostSdk::UpperAscii(c));
        hash *= 1099511628211ull;
    }
    return MixHash(hash);
}

#include "specctra/TranslationState.h"

TTranslationState& TranslationState() {
    static TTranslationState state;
    return state;
}

void ResetTranslationState() {
    TranslationState().Reset();
}

namespace {

unsigned char FoldAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

} // namespace

std::size_t TPinToNetIndex::THash::operator()(std::string_view text) const noexcept {
    // FNV-1a over the upper-cased bytes.
    uint64_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash ^= FoldAscii(static_cast<unsigned char>(c));
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

bool TPinToNetIndex::TEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(static_cast<unsigned char>(a[i])) !=
            FoldAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool TPinToNetIndex::Add(std::string_view pin, TSpecctraObject* net) {
    auto it = FMap.find(pin);
    if (it != FMap.end())
        return it->second == net;
    FMap.emplace(std::string(pin), net);
    return true;
}

TSpecctraObject* TPinToNetIndex::Find(std::string_view pin) const {
    auto it = FMap.find(pin);
    return it == FMap.end() ? nullptr : it->second;
}

void TPinToNetIndex::Remove(std::string_view pin, const TSpecctraObject* net) {
    auto it = FMap.find(pin);
    if (it != FMap.end() && it->second == net)
        FMap.erase(it);
}

// Token ids of the Specctra reader. The scanner gives every token one of these
// ids; the model readers dispatch on them. The keyword ids come from the one
// keyword list, SpecctraKeywords.def, which also fills the keyword table.
#pragma once

#include <cstdint>

enum TTokenId : int32_t {
    eTok_QuotedString = -4,
    eTok_Word = -5,
    eTok_DR = 0,
    eTok_OpenParen = 10000,
    eTok_CloseParen = 10001,
#define SPECCTRA_KEYWORD(name, id) eTok_##name = id,
#define SPECCTRA_KEYWORD_SPELLED(name, text, id) eTok_##name = id,
#include "specctra/SpecctraKeywords.def"
};

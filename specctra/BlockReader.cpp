#include "specctra/BlockReader.h"

#include "specctra/SpecctraObject.h"
#include "specctra/SpecctraParser2.h"

namespace {

bool ReadTokens(TSpecctraObject& object, std::initializer_list<TSubBlock> table,
                const TCallableRef<bool(int32_t)>* other, const TSubBlockOptions& options) {
    bool result = true;
    bool first = options.FromCurrentToken;
    bool afterOpen = false;
    while (first || ((result || !options.StopAtFailure) && object.SectionsOpen > options.Stop &&
                     !object.StopParsing())) {
        const int32_t token = first ? object.Parser->CurrentToken() : object.Parser->NextToken();
        first = false;
        const bool keyword = afterOpen || !options.KeywordsAfterOpenOnly;
        afterOpen = token == eTok_OpenParen;
        if (token == eTok_OpenParen) {
            ++object.SectionsOpen;
            continue;
        }
        if (token == eTok_CloseParen) {
            --object.SectionsOpen;
            continue;
        }
        if (!keyword) {
            result = object.HandleStructureToken() && result;
            continue;
        }
        const TSubBlock* entry = nullptr;
        for (const TSubBlock& candidate : table)
            if (candidate.Token == token) {
                entry = &candidate;
                break;
            }
        bool ok;
        if (entry)
            ok = entry->Read();
        else if (other)
            ok = (*other)(token);
        else if (options.Others == TOtherTokens::SkipKeywordBlocks)
            ok = SkipOtherToken(object, token);
        else
            ok = object.HandleStructureToken();
        result = ok && result;
    }
    return result;
}

} // namespace

bool ReadSubBlocks(TSpecctraObject& object, std::initializer_list<TSubBlock> table,
                   const TSubBlockOptions& options) {
    return ReadTokens(object, table, nullptr, options);
}

bool ReadSubBlocks(TSpecctraObject& object, std::initializer_list<TSubBlock> table,
                   TCallableRef<bool(int32_t)> other, const TSubBlockOptions& options) {
    return ReadTokens(object, table, &other, options);
}

bool SkipOtherToken(TSpecctraObject& object, int32_t token) {
    if (token > 0 && token < eTok_OpenParen) {
        object.ImportUnknownBlock();
        return true;
    }
    return object.HandleStructureToken();
}

bool PassOverBlock(TSpecctraObject& object) {
    object.Parser->SkipCurrentBlock();
    --object.SectionsOpen;
    return true;
}

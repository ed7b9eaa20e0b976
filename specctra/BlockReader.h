// One reader for the blocks the model is made of: a block holds sub-blocks
// "(keyword ...)" (and sometimes bare words), each keyword with a handler of
// its own. The reader keeps the object's nesting count, hands every keyword
// to its handler and treats the others alike, so that the model's readers
// only say what each keyword means.
#pragma once

#include "specctra/SpecctraParser2.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <type_traits>
#include <utility>

class TSpecctraObject;

// A reference to a callable (usually a lambda) that outlives the call it is
// handed to; it is not stored beyond that call.
template <class TSignature> class TCallableRef;

template <class TResult, class... TArgs> class TCallableRef<TResult(TArgs...)> {
public:
    template <class TCallable,
              class = std::enable_if_t<!std::is_same_v<std::decay_t<TCallable>, TCallableRef>>>
    TCallableRef(TCallable&& callable) // NOLINT: converts from any callable
        : FTarget(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          FCall([](void* target, TArgs... args) -> TResult {
              return (*static_cast<std::remove_reference_t<TCallable>*>(target))(
                  std::forward<TArgs>(args)...);
          }) {}

    TResult operator()(TArgs... args) const { return FCall(FTarget, std::forward<TArgs>(args)...); }

private:
    void* FTarget;
    TResult (*FCall)(void*, TArgs...);
};

// A keyword of a block and what reads it, its "(" and keyword having been
// read. The handler answers false when the sub-block was bad.
struct TSubBlock {
    int32_t Token;
    TCallableRef<bool()> Read;
};

// What becomes of a token that no handler takes.
enum class TOtherTokens {
    // Reported as unexpected (the object's HandleStructureToken): the block
    // is read on, but fails.
    Report,
    // A keyword's sub-block is skipped with the "Skipped block" warning; any
    // other token is reported as unexpected.
    SkipKeywordBlocks,
};

struct TSubBlockOptions {
    // The block ends at the ")" that brings the object's SectionsOpen down to
    // this level.
    int32_t Stop = 0;
    TOtherTokens Others = TOtherTokens::Report;
    // The first bad sub-block ends the reading (the rest of the block is left
    // to the caller).
    bool StopAtFailure = false;
    // The parser's current token, read by the caller, is the first of the
    // block's tokens.
    bool FromCurrentToken = false;
    // Only a word right after "(" is a keyword; any other word is reported as
    // unexpected (the object's HandleStructureToken).
    bool KeywordsAfterOpenOnly = false;
};

// Reads the tokens of `object`'s current block up to its closing ")": "("
// and ")" keep the object's SectionsOpen, a keyword of `table` runs its
// handler (the first entry of that keyword), any other token goes to
// `other` when given, else is treated as `options.Others` says. True when
// every handler and every other token was read well.
bool ReadSubBlocks(TSpecctraObject& object, std::initializer_list<TSubBlock> table,
                   const TSubBlockOptions& options = {});
bool ReadSubBlocks(TSpecctraObject& object, std::initializer_list<TSubBlock> table,
                   TCallableRef<bool(int32_t)> other, const TSubBlockOptions& options = {});

// A token no handler of the block takes: a keyword's sub-block is skipped
// with the "Skipped block" warning (true), anything else is reported as
// unexpected through the object's HandleStructureToken.
bool SkipOtherToken(TSpecctraObject& object, int32_t token);

// A keyword that stands for a value, as in "(side front)".
template <class T> struct TKeywordChoice {
    int32_t Token;
    T Value;
};

// Reads the next token: a keyword of `choices` sets `field` to its value;
// anything else is reported as unexpected and answers false.
template <class T>
bool ReadKeywordChoice(TSpecctraParser& parser,
                       std::initializer_list<TKeywordChoice<std::type_identity_t<T>>> choices,
                       T& field) {
    const int32_t token = parser.NextToken();
    for (const auto& choice : choices)
        if (choice.Token == token) {
            field = choice.Value;
            return true;
        }
    parser.ReportUnexpectedToken();
    return false;
}

// Passes over the rest of the current sub-block without a report line and
// closes it (true).
bool PassOverBlock(TSpecctraObject& object);

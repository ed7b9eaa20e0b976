// Board rules as the translator finds, names and removes them, and the names
// of nets and layers on a board.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// True for the scope expression "All" in any case.
bool IsAllScope(std::string_view scope);
// The first board rule of a host rule kind whose scope is "All" (both scopes
// for the two-scope kinds 0, 1, 15, 21 and 24), or 0.
intptr_t FindDefaultRule(intptr_t board, int32_t ruleKind);
// Removes and destroys every board rule of a host rule kind.
void DeleteRulesOfKind(int32_t ruleKind, intptr_t board);
// Removes and destroys every board rule whose extended attributes can be read
// and begin with `firstByte`. Answers the number removed.
int DeleteRulesMadeBy(intptr_t board, uint8_t firstByte);
// Sets the first byte of a rule's extended attributes (who made it); rules
// of maker 0 and 2 are the translator's and are cleared before its rules are
// written. True on success.
bool SetRuleMaker(intptr_t rule, uint8_t maker);
// The name of a net, or of the net of a primitive; empty for none.
std::string NetNameOf(intptr_t object);
// The name of a board layer (a TV6_Layer value).
std::string LayerNameOf(intptr_t board, int32_t layer);

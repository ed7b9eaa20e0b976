// What the host reads of a design's text itself, in one pass, beside the
// translator: the names as the design spells them (the translator keeps plain
// words only in upper case), the quote character its parser block declares,
// the vias of its wiring with the padstack each names, the boundary shapes,
// and the words of other CAD systems that the keyword table lacks.
//
// The host needs these to hand the routed board back to the CAD system the
// design came from, and to give the board what the translation leaves out.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Digest {

// The kinds of names a route or session file writes.
enum class NameKind { Layer, Net, Padstack, Image, Component };
constexpr std::size_t kNameKinds = 5;
const char* NameKindNoun(NameKind kind); // "layer", "net", ...

struct DesignName {
    std::string spelling; // as the design has it, without quotes
    bool quoted = false;  // written between quote characters (the translator keeps its case)
};

// A via of the design's wiring: its padstack and position in the design's
// coordinates, as whole steps of 0.00001 mm (the unit of a route file).
struct DesignVia {
    std::string padstack;
    long long x = 0, y = 0;
};

// A shape of the structure's boundary: its keyword (path, rect, polygon,
// circle), layer word and numbers in the structure's unit.
struct BoundaryShape {
    std::string kind;
    std::string layer;
    std::vector<double> numbers;
};

// A word that the translator does not know and the host reads as another:
// where it stands in the text and what it stands for.
struct ForeignWord {
    std::size_t offset = 0; // of the word in the text
    std::size_t length = 0;
    long line = 0;
    std::string word;
    std::string replacement;
};

struct DesignDigest {
    char quote = 0; // the parser block's string_quote; 0 when it declares none
    bool spaceInQuoted = false;
    std::string hostCad;
    // Every name as the design spells it, in file order, one line each
    // (AppendNameLine): a design of a million parts holds millions of names,
    // and one text is their smallest form.
    std::string nameLines;
    std::vector<DesignVia> vias;
    std::vector<BoundaryShape> boundary;
    double boardUnitsPerUnit = 0; // host units (1/10000 mil) per unit of the boundary shapes
    std::vector<ForeignWord> foreignWords;

    // The names of one kind, each once.
    std::vector<DesignName> Names(NameKind kind) const;
};

// Reads the whole text once (without the names when `names` is false).
// Never fails: what it cannot read it leaves out.
DesignDigest ReadDesignDigest(std::string_view text, bool names = true);

// One name as a line of text ("N<kind> q|p <name with blanks, controls and
// backslashes escaped>"), and back; false for any other line.
void AppendNameLine(std::string& out, NameKind kind, std::string_view spelling, bool quoted);
bool ParseNameLine(std::string_view line, NameKind& kind, DesignName& name);
// A name's escaped form, and back (false for a malformed one).
std::string EscapeName(std::string_view text);
bool UnescapeName(std::string_view text, std::string& out);

// Clearance types other CAD systems write that the keyword table lacks, and
// the types they stand for; empty for any other word.
std::string_view ForeignClearanceType(std::string_view word);
// False when the text holds none of those words, in any case and anywhere:
// a digest of it then finds no foreign word.
bool MayHoldForeignWords(std::string_view text);

// The text with every foreign word replaced by what it stands for; line breaks
// stay where they were, so that line numbers keep their meaning.
std::string ReplaceForeignWords(std::string_view text, const std::vector<ForeignWord>& words);

} // namespace Digest

// Route and session files for the CAD system a design came from.
//
// The translator writes plain names in upper case (it reads them so), wraps a
// name holding a parenthesis or a blank in apostrophes without declaring a
// quote character, writes a back-side part's rotation less 180 degrees and
// names each via after the first padstack of its size. A reader that follows
// the format (KiCad's session importer among them) then finds no such layer,
// net or part, splits quoted names, turns parts over and drills vias wrongly.
// The host keeps the design's own spelling of every name, and the padstack
// each via of the design named, in a table stored with the board; the text
// the translator wrote is then rewritten token by token: every name as the
// design spells it, quoted with a quote character the file declares, the
// back side's rotation as the design gave it, each via under its padstack,
// and no empty block a reader cannot take.
#pragma once

#include "digest/DesignDigest.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Digest {

// The design's names and via padstacks, kept with the board.
class HomeTable {
public:
    HomeTable() = default;
    explicit HomeTable(const DesignDigest& digest);

    char quote = 0;      // the design's declared quote character, 0 for none
    std::string hostCad; // the CAD system the design names as its writer
    std::array<std::vector<DesignName>, kNameKinds> names;
    std::vector<DesignVia> vias; // design vias and the router's, 0.00001 mm

    // The names and vias of `other` that this table lacks.
    void Add(const HomeTable& other);

    // The line of one via in the text.
    static std::string ViaLine(const DesignVia& via);

    // One text, and back; nullopt for a text this code did not write.
    std::string Serialize() const;
    static std::optional<HomeTable> Parse(std::string_view text);

    // Names that the translator holds as one (plain words alike but for
    // case): one line each, "nets gnd and GND".
    std::vector<std::string> CaseMerges() const;
};

// The same of a table's text, without reading it into a table.
std::vector<std::string> CaseMergesIn(std::string_view tableText);

// The table's text without the names the translator writes as the design
// spells them already (no lower-case letter: a quoted name keeps its case, a
// plain word comes back in upper case); what the board keeps.
std::string PruneTableText(std::string_view tableText);

struct HomeCounts {
    long respelled = 0;   // names written otherwise than the translator wrote them
    long quoted = 0;      // names written between quote characters
    long turned = 0;      // back-side parts given the design's rotation
    long viasRenamed = 0; // vias given the padstack the design or the router named
    bool droppedTestPoints = false;
    char quote = '"';
};

struct HomeText {
    std::string text;
    HomeCounts counts;
    std::vector<std::string> notes; // names the table could not settle
};

// The translator's route or session text rewritten for the design's CAD system.
HomeText WriteHomeText(std::string_view literal, const HomeTable& table);

// One line that says what WriteHomeText changed, for the user.
std::string DescribeHomeCounts(const HomeCounts& counts);

} // namespace Digest

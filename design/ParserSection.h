// The "parser" section of a Specctra file.
#pragma once

#include "design/FileSection.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The "parser" section: quoting, host CAD and the design's constants, which
// are kept in the board so that a later route or session export can write
// them back.
class TSpecctraParserDescriptor : public TSpecctraFileSectionDescriptor {
public:
    enum TRoutesInclude : uint8_t {
        eIncludeTestpoint = 1,
        eIncludeGuides = 2,
        eIncludeImageConductor = 4
    };

    explicit TSpecctraParserDescriptor(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraParserDescriptor"; }

    char StringQuote = 0;
    bool SpaceInQuotedTokens = false;
    std::string HostCad;
    std::string HostVersion;
    std::vector<std::pair<std::string, std::string>> Constants;
    uint8_t RoutesInclude = 0;
    bool WiresInclude = false;
    bool CaseSensitive = false;
    bool ViaRotateFirst = true;

    bool ImportFromFile() override;
    // Stores the constants in the board as one "CONSTANTS" record.
    bool ExportToPCB() override;
    // Reads the stored constants back from the board.
    bool ImportFromPcb() override;
    // Writes "(parser" with one "(constant name value)" line a constant.
    bool ExportToFile() override;

private:
    bool ReadRoutesInclude();
};

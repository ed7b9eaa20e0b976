// Reading a design text in memory (and writing it to a board when asked), with
// the report it leaves.
#pragma once

#include "design/SpecctraDesign.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

struct TReadDesign {
    std::unique_ptr<TSpecctraParser> Parser;
    std::unique_ptr<TSpecctraDesign> Design;
    bool Result = false;

    explicit TReadDesign(const std::string& text, intptr_t board = 0, bool write = false,
                         const std::string& name = "t.dsn") {
        ResetTranslationState();
        Parser = std::make_unique<TSpecctraParser>(std::make_unique<TInputFile>(name, text));
        Parser->RegisterKeywords();
        Design = std::make_unique<TSpecctraDesign>(name, Parser.get(), nullptr, board);
        Result = Design->ImportFromFile();
        if (write)
            Design->ExportToPCB();
    }
    const std::vector<std::string>& Lines() const { return Design->Report()->Events(); }
    bool Has(const std::string& line) const {
        return std::find(Lines().begin(), Lines().end(), line) != Lines().end();
    }
    int Count(const std::string& line) const {
        return static_cast<int>(std::count(Lines().begin(), Lines().end(), line));
    }
    // Report lines that begin with a prefix.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& line : Lines())
            if (line.rfind(prefix, 0) == 0)
                found.push_back(line);
        return found;
    }
    TSpecctraDsnNetworkDescriptor& Network() const {
        return *static_cast<TSpecctraDsnNetworkDescriptor*>(Design->Network());
    }
    std::vector<std::string> NetNames() const {
        std::vector<std::string> names;
        if (Design->Network())
            for (const TSpecctraNet* net : Network().Nets.Ordered())
                names.push_back(net->NameID);
        return names;
    }
};

// A design whose network block is `network`.
inline std::string WithNetwork(const std::string& network) {
    return "(pcb t (parser (string_quote \"))\n(network\n" + network + "\n)\n)\n";
}

#include "design/SpecctraClasses2.h"

#include "board/Layers.h"
#include "specctra/SpecctraRuleCollection.h"

// ---------------------------------------------------------------------------
// TSpecctraFile

TSpecctraFile::TSpecctraFile(const std::string& fileName, TSpecctraParser* parser,
                             TSpecctraWriter* writer, intptr_t board)
    : TSpecctraObject(nullptr), FBoard(board), FFileName(fileName) {
    Parser = parser;
    Writer = writer;
    HarrowHandle = board;
    FParserSection = std::make_unique<TSpecctraParserDescriptor>(this);
}

TSpecctraFile::~TSpecctraFile() = default;

void TSpecctraFile::SetServices(const THostServices& services) {
    FServices = services;
    if (Parser)
        Parser->SetEscapeKey(services.EscapeKey);
}

TSpecctraRuleCollection* TSpecctraFile::GetRuleCollection() {
    if (!FRules) {
        FRules = std::make_unique<TSpecctraRuleCollection>(this);
        RegisterRuleReaders(*FRules);
    }
    return FRules.get();
}

TSpecctraObject* TSpecctraFile::Get_NetByName(const std::string& name) {
    return FNetwork ? FNetwork.Object()->Get_NetByName(name) : nullptr;
}

TSpecctraObject* TSpecctraFile::Get_LayerByName(const std::string& name) {
    return FStructure ? FStructure.Object()->Get_LayerByName(name) : nullptr;
}

TV6_Layer TSpecctraFile::Get_HostLayerByName(const std::string& name) {
    return FStructure ? FStructure.Object()->Get_HostLayerByName(name) : eV6_NoLayer;
}

TSpecctraPadstack* TSpecctraFile::Get_PadstackByName(const std::string& name) {
    return FLibrary ? FLibrary.Object()->Get_PadstackByName(name) : nullptr;
}

TSpecctraCompImage* TSpecctraFile::Get_ImageByName(const std::string& name) {
    return FLibrary ? FLibrary.Object()->Get_ImageByName(name) : nullptr;
}

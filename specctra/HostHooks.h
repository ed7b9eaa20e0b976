// What the translator reaches of its host: the Escape key with the questions
// and messages of a translation, the viewer of a finished report, and the
// maker of keep-out regions. They are one object that the plug-in gives to
// the root of each translation (TSpecctraFile::SetServices); every object
// under the root asks its owner for them, the root hands the Escape key to
// its reader and the viewer to its report. Without them the key is never
// pressed, a question is answered No, a message is dropped, a report's path
// goes to stderr and keep-out regions are made through the engine directly.
//
// All of the plug-in's state that lives as long as the process:
// - the translation state (specctra/TranslationState.h), the state of the
//   one translation at a time, reset when a translation starts;
// - the engine's entry points, bound once per process (board/PCBProcs.h);
// - the host client, and the services made from it (plugin/HostAccess.h).
#pragma once

#include "board/Layers.h"
#include "specctra/SpecctraTypes.h"

#include <cstdint>
#include <string>
#include <vector>

class IEscapeKeyHost {
public:
    virtual ~IEscapeKeyHost() = default;
    // True while the user holds the Escape key (or its stand-in) down.
    virtual bool EscapePressed() = 0;
    // Asks a modal Yes/No question; true only for Yes.
    virtual bool AskYesNo(const std::string& question) = 0;
    // Shows a modal message to the user.
    virtual void ShowMessage(const std::string& text) { (void)text; }
};

// Shows a finished report to the user.
class IReportViewer {
public:
    virtual ~IReportViewer() = default;
    virtual void ViewReport(const std::string& path) = 0;
};

// Makes keep-out regions (the host's PCB server object factory).
class IKeepoutRegionFactory {
public:
    virtual ~IKeepoutRegionFactory() = default;
    // A new region, not yet added anywhere, or 0.
    virtual intptr_t CreateKeepoutRegion(intptr_t board, TV6_Layer layer, bool keepout,
                                         const std::vector<TVertex>& boardContour) = 0;
};

struct THostServices {
    IEscapeKeyHost* EscapeKey = nullptr;
    IReportViewer* ReportViewer = nullptr;
    IKeepoutRegionFactory* RegionFactory = nullptr;
};

// Shows a message to the user through the host; without one the message is
// dropped.
inline void ShowHostMessage(const THostServices& services, const std::string& text) {
    if (services.EscapeKey != nullptr)
        services.EscapeKey->ShowMessage(text);
}

// Helpers shared by the tokenizer tests.
#pragma once

#include "specctra/HostHooks.h"
#include "specctra/ReportSink.h"
#include "specctra/SpecctraParser2.h"

#include <memory>
#include <string>
#include <vector>

// Collects report lines the way the report manager words them.
class TRecordingSink : public IReportSink {
public:
    void ReportError(const std::string& text) override { Lines.push_back("ERROR: " + text); }
    void ReportWarning(const std::string& text) override { Lines.push_back("WARNING: " + text); }
    void AddReportEvent(const std::string& text) override { Lines.push_back(text); }
    std::vector<std::string> Lines;
};

inline std::unique_ptr<TSpecctraParser> MakeParser(const std::string& text,
                                                   IReportSink* sink = nullptr) {
    auto parser = std::make_unique<TSpecctraParser>(std::make_unique<TInputFile>("test.dsn", text));
    parser->RegisterKeywords();
    parser->SetReportManager(sink);
    return parser;
}

// Escape key that is always held; answers the confirmation with a fixed reply.
class TScriptedEscapeHost : public IEscapeKeyHost {
public:
    explicit TScriptedEscapeHost(bool answer) : Answer(answer) {}
    bool EscapePressed() override { return true; }
    bool AskYesNo(const std::string& question) override {
        Questions.push_back(question);
        return Answer;
    }
    bool Answer;
    std::vector<std::string> Questions;
};

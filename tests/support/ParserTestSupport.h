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

struct TTok {
    int32_t Id;
    std::string Text;
    int32_t Line;
    bool operator==(const TTok&) const = default;
};

// Every token up to the end of the data; an empty word read at the very end
// (the scanner's answer once nothing is left) is left out.
inline std::vector<TTok> AllTokens(const std::string& text) {
    auto parser = MakeParser(text);
    std::vector<TTok> tokens;
    while (!parser->EndOfFile()) {
        const int32_t id = parser->NextToken();
        if (parser->EndOfFile() && id == eTok_Word && parser->TokenString().empty()) {
            break;
        }
        tokens.push_back({id, parser->TokenString(), parser->LineNumber()});
    }
    return tokens;
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

// The reader at the level of Specctra tokens: its keywords, strings,
// expected tokens and the check that a text is a design.
#include "specctra/SpecctraParser2.h"

#include "board/PCBProcs.h"
#include "sdk/AsciiText.h"
#include "specctra/HostHooks.h"
#include "specctra/NameIndex.h"
#include "specctra/SpecctraHelpers.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------------------
// TSpecctraParser

TSpecctraParser::TSpecctraParser(const std::string& fileName) : TBlockParser(fileName) {}

TSpecctraParser::TSpecctraParser(std::unique_ptr<TInputFile> input)
    : TBlockParser(std::move(input)) {}

TSpecctraParser::TSpecctraParser(std::unique_ptr<TInputFile> input, TRereading rereading)
    : TBlockParser(std::move(input), rereading) {}

void TSpecctraParser::ResumeAt(const TReadPoint& point, std::size_t shift) {
    TBlockParser::ResumeAt(point, shift);
    FCurrentToken = point.LastToken;
}

const std::vector<TKeywordRegistration>& SpecctraKeywordRegistrations() {
    static const std::vector<TKeywordRegistration> registrations = {
#define SPECCTRA_KEYWORD(name, id) {#name, eTok_##name},
#define SPECCTRA_KEYWORD_SPELLED(name, text, id) {text, eTok_##name},
#define SPECCTRA_KEYWORD_ALSO(name, text) {text, eTok_##name},
#include "specctra/SpecctraKeywords.def"
    };
    return registrations;
}

void TSpecctraParser::RegisterKeywords() {
    // The full table is built once and shared by every parser after.
    static const TKeywordTable registered = [] {
        TKeywordTable table;
        for (const auto& registration : SpecctraKeywordRegistrations()) {
            table.Add(registration.Keyword, registration.Id);
        }
        return table;
    }();
    if (AdoptKeywords(registered)) {
        return;
    }
    for (const auto& registration : SpecctraKeywordRegistrations()) {
        AddToken(registration.Keyword, registration.Id);
    }
}

int32_t TSpecctraParser::NextInteger() {
    return NextNum();
}

void TSpecctraParser::NextString(std::string& value) {
    NextToken();
    value.assign(TokenText()); // one copy, straight from the data where it can be
}

std::string TSpecctraParser::NextString() {
    std::string value;
    NextString(value);
    return value;
}

bool TSpecctraParser::ExpectToken(int32_t id) {
    if (NextToken() == id) {
        return true;
    }
    ReportUnexpectedToken();
    return false;
}

void TSpecctraParser::ReportUnexpectedToken() {
    // Built in one piece, where the last one was: a damaged design may report
    // this for many tokens.
    char line[16];
    const auto end =
        std::to_chars(line, line + sizeof line, static_cast<uint32_t>(LineNumber())).ptr;
    constexpr std::string_view kStart = "Unexpected token <", kMiddle = "> in line ";
    FReportText.assign(kStart).append(TokenString()).append(kMiddle).append(line, end);
    ReportError(FReportText);
}

bool TSpecctraParser::IsValidDSNFile() {
    if (NextToken() != eTok_OpenParen) {
        return false;
    }
    return ExpectToken(eTok_pcb);
}

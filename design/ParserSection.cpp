#include "design/ParserSection.h"

#include "board/BoardFacade.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "specctra/BlockReader.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

namespace {

// "C" followed by the decimal index: the key of a stored constant.
std::string ConstantKey(std::size_t index) {
    std::string key(1, 'C');
    key.append(std::to_string(index));
    return key;
}

} // namespace

TSpecctraParserDescriptor::TSpecctraParserDescriptor(TSpecctraObject* owner)
    : TSpecctraFileSectionDescriptor(owner) {}

bool TSpecctraParserDescriptor::ImportFromFile() {
    SectionsOpen = 1;
    const auto onOff = [&](bool& flag) {
        flag = Parser->NextToken() == eTok_on;
        return true;
    };
    const auto text = [&](std::string& field) {
        Parser->NextString(field);
        return true;
    };
    return ReadSubBlocks(
        *this, {{eTok_string_quote,
                 [&] {
                     // The scanner takes the next character as the quote character and
                     // hands it over as the token's text. A parenthesis cannot quote:
                     // it keeps its place in the block structure.
                     const int32_t quote = Parser->NextToken();
                     if (quote == eTok_OpenParen || quote == eTok_CloseParen) {
                         ReportError("string_quote without a quote character in line " +
                                     std::to_string(Parser->LineNumber()) +
                                     "; the quote character stays " +
                                     std::string(1, Parser->QuoteChar()) + ".");
                         SectionsOpen += quote == eTok_OpenParen ? 1 : -1;
                         return false;
                     }
                     StringQuote = Parser->TokenString().empty() ? Parser->QuoteChar()
                                                                 : Parser->TokenString()[0];
                     if (StringQuote != '"' && StringQuote != '$' && StringQuote != '\'')
                         ReportWarning("Recommended quote chars are: '', \" , $.");
                     return true;
                 }},
                {eTok_space_in_quoted_tokens, [&] { return onOff(SpaceInQuotedTokens); }},
                {eTok_wires_include, [&] { return onOff(WiresInclude); }},
                {eTok_case_sensitive, [&] { return onOff(CaseSensitive); }},
                {eTok_via_rotate_first, [&] { return onOff(ViaRotateFirst); }},
                {eTok_host_cad, [&] { return text(HostCad); }},
                {eTok_host_version, [&] { return text(HostVersion); }},
                {eTok_constant,
                 [&] {
                     std::string name = Parser->NextString();
                     std::string value = Parser->NextString();
                     Constants.emplace_back(std::move(name), std::move(value));
                     return true;
                 }},
                {eTok_routes_include, [&] { return ReadRoutesInclude(); }},
                {eTok_write_resolution, [&] { return ImportFromFile_DimensionResolution(); }}});
}

bool TSpecctraParserDescriptor::ReadRoutesInclude() {
    bool result = true;
    while (!StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_CloseParen) {
            --SectionsOpen;
            break;
        }
        if (token == eTok_testpoint)
            RoutesInclude |= eIncludeTestpoint;
        else if (token == eTok_guides)
            RoutesInclude |= eIncludeGuides;
        else if (token == eTok_image_conductor)
            RoutesInclude |= eIncludeImageConductor;
        else {
            Parser->ReportUnexpectedToken();
            result = false;
        }
    }
    return result;
}

bool TSpecctraParserDescriptor::ExportToPCB() {
    if (Constants.empty())
        return true;
    // Names and values are escaped: a "|", "=", carriage return or NUL in
    // them would otherwise cut or split the record.
    std::string name = "Server=Ravel|Type=CONSTANTS|CONSTCOUNT=" + std::to_string(Constants.size());
    for (std::size_t i = 0; i < Constants.size(); ++i)
        name.append("|")
            .append(ConstantKey(i))
            .append("=")
            .append(EscapeStoredText(Constants[i].first))
            .append("\r")
            .append(EscapeStoredText(Constants[i].second));
    if (name.size() >= PCBAPI_TEXT_CAPACITY) {
        ReportError("The design's constants are too long to be stored in the board (" +
                    std::to_string(name.size()) + " characters).");
        return true;
    }
    if (!AddEmbeddedRecord(GetBoard(), name, std::string()))
        ReportError("The design's constants could not be stored in the board.");
    return true;
}

bool TSpecctraParserDescriptor::ImportFromPcb() {
    const intptr_t handle = FindEmbeddedObject(GetBoard(), "CONSTANTS");
    if (!handle)
        return true;
    TPcbEmbedded record(handle);
    Board::Read(record);
    TStoredParameters stored(record.GetState_Name());
    std::string text;
    int32_t count = 0;
    if (stored.Get("CONSTCOUNT", text))
        ConvertSpecctraInt(text, count);
    for (int32_t i = 0; i < count; ++i) {
        std::string entry;
        stored.Get(ConstantKey(static_cast<std::size_t>(i)), entry);
        const std::size_t cr = entry.find('\r');
        std::string name =
            UnescapeStoredText(cr == std::string::npos ? entry : entry.substr(0, cr));
        std::string value =
            cr == std::string::npos ? std::string() : UnescapeStoredText(entry.substr(cr + 1));
        if (name.empty() || value.empty()) {
            ReportError("Error reading stored constant from PCB design.");
            continue;
        }
        Constants.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

bool TSpecctraParserDescriptor::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Writeln("(parser ", true);
    Writer->Indent(1);
    for (const auto& [name, value] : Constants)
        Writer->Writeln("(constant " + name + " " + value + ")", true);
    Writer->UnIndent(1);
    Writer->Writeln(")", true);
    return true;
}

#include "specctra/SpecctraParser2.h"

#include "board/PCBProcs.h"
#include "sdk/AsciiText.h"
#include "specctra/HostHooks.h"
#include "specctra/NameIndex.h"
#include "specctra/ScanBytes.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraNumberText.h"

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
#include <type_traits>
#include <unistd.h>

using namespace SpecctraScan;

// ---------------------------------------------------------------------------
// Token texts

namespace {

// Decodes the escape pairs of a quoted string in place.
void DecodeEscapes(std::string& text, unsigned char quote) {
    std::size_t out = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c != '\\' || i + 1 >= n) {
            text[out++] = static_cast<char>(c);
            continue;
        }
        const unsigned char e = static_cast<unsigned char>(text[++i]);
        switch (e) {
        case '\\':
            text[out++] = '\\';
            break;
        case 'f':
        case 'F':
            text[out++] = 12;
            break;
        case 'n':
        case 'N':
            text[out++] = 10;
            break;
        case 'r':
        case 'R':
            text[out++] = 13;
            break;
        case 't':
        case 'T':
            text[out++] = 11;
            break;
        default:
            if (e == quote) {
                text[out++] = static_cast<char>(quote);
            }
            break;
        }
    }
    text.resize(out);
}

void ReplaceSpaceMarkers(std::string& text) {
    if (std::memchr(text.data(), kUnitSeparator, text.size()) == nullptr) {
        return;
    }
    std::string result;
    result.reserve(text.size() + 16);
    for (char c : text) {
        if (static_cast<unsigned char>(c) == kUnitSeparator) {
            result += kSpaceMarker;
        } else {
            result += c;
        }
    }
    text.swap(result);
}

} // namespace

// ---------------------------------------------------------------------------
// TBlockParser: character level

TBlockParser::TBlockParser(const std::string& fileName)
    : TBlockParser(std::make_unique<TInputFile>(fileName)) {}

TBlockParser::TBlockParser(std::unique_ptr<TInputFile> input) : FInput(std::move(input)) {
    FData = reinterpret_cast<const unsigned char*>(FInput->Data().data());
    FSize = FInput->Size();
    StartProgress();
}

TBlockParser::TBlockParser(std::unique_ptr<TInputFile> input, TRereading)
    : FInput(std::move(input)) {
    FData = reinterpret_cast<const unsigned char*>(FInput->Data().data());
    FSize = FInput->Size();
    FNextPoll = std::numeric_limits<std::size_t>::max();
    if (FSize == 0) {
        FEndOfFile = true;
    }
}

TReadPoint TBlockParser::ReadPoint() const {
    return TReadPoint{FPos,         FLineNumber, FLastNextToken,   FPreviousChar,
                      FCurrentChar, FQuoteChar,  FConversionFailed};
}

void TBlockParser::ResumeAt(const TReadPoint& point, std::size_t shift) {
    FPos = point.Pos - shift;
    FLineNumber = point.Line;
    FLastNextToken = point.LastToken;
    FPreviousChar = point.Previous;
    FCurrentChar = point.Current;
    FQuoteChar = point.Quote;
    FSpaceRunStart = 1;
    FSpaceRunEnd = 0;
    FEndOfFile = FPos >= FSize;
    FAborted = false;
    FConversionFailed = point.ConversionFailed;
}

// Opens the progress bar over the data, one step per poll interval; empty data
// has ended at once.
void TBlockParser::StartProgress() {
    const auto steps = static_cast<int32_t>(
        std::min<std::size_t>(FSize / PollInterval + 1, std::numeric_limits<int32_t>::max()));
    const std::string caption = "Loading DSN file " + FInput->FileName();
    PCBProcs::PcbApi_Percent_Init(caption.c_str(), steps);
    FProgressOpen = true;
    if (FSize == 0) {
        MarkEndOfFile();
    }
}

void TBlockParser::SwitchToFile(const std::string& fileName) {
    std::string path = fileName;
    if (!path.empty() && path[0] != '/') {
        const std::string& current = FInput->FileName();
        const std::size_t slash = current.find_last_of('/');
        if (slash != std::string::npos)
            path = current.substr(0, slash + 1) + path;
    }
    // Unquoted names arrive upper-cased: find the file in any case.
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        const std::filesystem::path wanted(path);
        const std::filesystem::path folder =
            wanted.has_parent_path() ? wanted.parent_path() : std::filesystem::path(".");
        const std::string name = wanted.filename().string();
        for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
            const std::string candidate = entry.path().filename().string();
            if (HostSdk::SameTextAscii(candidate, name)) {
                path = entry.path().string();
                break;
            }
        }
    }
    auto input = std::make_unique<TInputFile>(path);
    if (FTextPending) {
        MaterializeText(); // the current word's bytes go with the old input
    }
    if (FProgressOpen) {
        FProgressOpen = false;
        PCBProcs::PcbApi_Percent_Finish();
    }
    FInput = std::move(input);
    FData = reinterpret_cast<const unsigned char*>(FInput->Data().data());
    FSize = FInput->Size();
    FPos = 0;
    FNextPoll = 0;
    FSpaceRunStart = 1;
    FSpaceRunEnd = 0;
    FPreviousChar = 0;
    FCurrentChar = 0;
    FEndOfFile = false;
    StartProgress();
}

TBlockParser::~TBlockParser() {
    if (FProgressOpen) {
        PCBProcs::PcbApi_Percent_Finish();
    }
}

void TBlockParser::ReleaseInput() {
    if (FTextPending) {
        MaterializeText(); // the current word's bytes go with the input
    }
    FInput = std::make_unique<TInputFile>(FInput->FileName(), std::string());
    FData = reinterpret_cast<const unsigned char*>(FInput->Data().data());
    FSize = 0;
    FPos = 0;
}

void TBlockParser::MarkEndOfFile() {
    if (FEndOfFile) {
        return;
    }
    FEndOfFile = true;
    if (FProgressOpen) {
        FProgressOpen = false;
        PCBProcs::PcbApi_Percent_Finish();
    }
}

// Advances the progress bar for every interval passed and polls the Escape key.
void TBlockParser::Poll() {
    while (FPos >= FNextPoll) {
        if (FProgressOpen) {
            PCBProcs::PcbApi_Percent_Update();
        }
        FNextPoll += PollInterval;
    }
    if (FAborted) {
        return;
    }
    if (FEscapeKey != nullptr) {
        if (FEscapeKey->EscapePressed() && FEscapeKey->AskYesNo("Confirm Abort")) {
            FAborted = true;
        }
    }
}

inline unsigned char TBlockParser::ReadChar() {
    if (FPos >= FNextPoll) {
        Poll();
    }
    FPreviousChar = FCurrentChar;
    if (FPos < FSize) {
        FCurrentChar = FData[FPos++];
        if (FPos >= FSize) {
            MarkEndOfFile();
        }
    } else {
        MarkEndOfFile();
    }
    return FCurrentChar;
}

// Moves the read position forward to pos as if every byte before it had been
// read one by one.
void TBlockParser::JumpTo(std::size_t pos, unsigned char previous, unsigned char current) {
    FPreviousChar = previous;
    FCurrentChar = current;
    FPos = pos;
    if (FPos >= FNextPoll) {
        Poll();
    }
}

inline std::size_t TBlockParser::NextNonSpaceIndex(std::size_t from) {
    if (from >= FSize || FData[from] != ' ') {
        return from;
    }
    if (from >= FSpaceRunStart && from <= FSpaceRunEnd) {
        return FSpaceRunEnd;
    }
    const std::size_t end = SpaceRunEnd(FData, from, FSize);
    FSpaceRunStart = from;
    FSpaceRunEnd = end;
    return end;
}

// The next character that is not a space (32), without moving the read
// position. The characters seen are left in PreviousChar and CurrentChar as a
// forward read followed by a step back leaves them. When only spaces remain it
// answers a space; it never reads past the end.
inline unsigned char TBlockParser::PeekNextNonSpace() {
    if (FPos >= FSize) {
        return ' ';
    }
    const std::size_t q = NextNonSpaceIndex(FPos);
    if (q < FSize) {
        FPreviousChar = q > FPos ? FData[q - 1] : FCurrentChar;
        FCurrentChar = FData[q];
        return FData[q];
    }
    FPreviousChar = FSize - 1 > FPos ? ' ' : FCurrentChar;
    FCurrentChar = ' ';
    return ' ';
}

// The last consumed character before the spaces behind the read position. The
// start of the data counts as the start of a line.
unsigned char TBlockParser::PreviousNonSpace() const {
    std::size_t b = FPos;
    while (b > 0 && FData[b - 1] == ' ') {
        --b;
    }
    return b == 0 ? kLineFeed : FData[b - 1];
}

unsigned char TBlockParser::PeekRaw() {
    if (FPos >= FSize) {
        return 0;
    }
    FPreviousChar = FCurrentChar;
    FCurrentChar = FData[FPos];
    return FData[FPos];
}

inline bool TBlockParser::AtEndOfLine() {
    return IsLineBreak(PeekNextNonSpace());
}

bool TBlockParser::AtCommentStart() {
    return PeekNextNonSpace() == '#' && IsLineBreak(PreviousNonSpace());
}

// Steps to the first character of the next line that is not a line break:
// counts one line however many line breaks follow.
void TBlockParser::NextLine() {
    ++FLineNumber;
    if (FPos < FSize && !IsLineBreak(FData[FPos])) {
        const unsigned char* start = FData + FPos;
        std::size_t length = FSize - FPos;
        const void* lf = std::memchr(start, kLineFeed, length);
        if (lf != nullptr) {
            length = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - start);
        }
        const void* cr = std::memchr(start, kCarriageReturn, length);
        if (cr != nullptr) {
            length = static_cast<std::size_t>(static_cast<const unsigned char*>(cr) - start);
        }
        const std::size_t r = std::min(FPos + length, FSize - 1);
        if (r > FPos) {
            JumpTo(r, r - 1 > FPos ? FData[r - 2] : FCurrentChar, FData[r - 1]);
        }
    }
    ReadChar();
    while ((IsLineBreak(FCurrentChar) || FCurrentChar == kDeviceControl4) && !FEndOfFile) {
        ReadChar();
    }
    // Step back so that the first character of the new line is read again. When
    // that character is the last byte (a design ending in ")" without a line
    // break), the data has not ended yet: it still holds that character. The
    // last byte of a skipped comment line is no new line's first character.
    if (FPos > 0) {
        --FPos;
        if (FEndOfFile && !IsLineBreak(FCurrentChar) && FCurrentChar != kDeviceControl4 &&
            (IsLineBreak(FPreviousChar) || FPreviousChar == kDeviceControl4)) {
            FEndOfFile = false;
        }
    }
}

// ---------------------------------------------------------------------------
// TBlockParser: tokens

// Most blanks are a space, a run of spaces or a line break and the next
// line's indentation, before a token; some writers end every line with a
// space, before its line break. The line breaks count one line, the spaces
// are stepped over and the token's first character is read, leaving the
// state SkipBlank's general path leaves. Comments, blank lines and the last
// bytes of the data answer false, changing nothing: they need the general
// path.
inline std::size_t TBlockParser::QuickBlankEnd(std::size_t pos, bool& lineBreak) const {
    if (pos >= FSize) {
        return kNoQuickBlank;
    }
    std::size_t q = SpaceRunEnd(FData, pos, FSize);
    lineBreak = q < FSize && IsLineBreak(FData[q]);
    if (lineBreak) {
        ++q;
        while (q < FSize && (IsLineBreak(FData[q]) || FData[q] == kDeviceControl4)) {
            ++q;
        }
        q = SpaceRunEnd(FData, q, FSize);
    }
    if (q + 1 >= FSize) {
        return kNoQuickBlank;
    }
    const unsigned char c = FData[q];
    return c == '#' || c == kDeviceControl4 || IsLineBreak(c) ? kNoQuickBlank : q;
}

inline bool TBlockParser::SkipBlankQuickly(unsigned char& ch) {
    bool lineBreak = false;
    const std::size_t q = QuickBlankEnd(FPos, lineBreak);
    if (q == kNoQuickBlank) {
        return false;
    }
    if (lineBreak) {
        ++FLineNumber;
    }
    FPos = q;
    if (FPos >= FNextPoll) {
        Poll();
    }
    const unsigned char c = FData[q];
    FPreviousChar = c;
    FCurrentChar = c;
    FPos = q + 1;
    ch = c;
    return true;
}

void TBlockParser::SkipBlank(unsigned char& ch) {
    while ((ch == ' ' || ch == '\t') && !FEndOfFile) {
        if (SkipBlankQuickly(ch)) {
            continue;
        }
        const unsigned char next = PeekNextNonSpace();
        if (IsLineBreak(next) || (next == '#' && IsLineBreak(PreviousNonSpace()))) {
            NextLine();
            continue;
        }
        // Read one character; a run of spaces before a character that starts
        // neither a line break nor a comment is read in one step.
        const std::size_t q = NextNonSpaceIndex(FPos);
        if (q > FPos) {
            if (q >= FSize) {
                JumpTo(FSize, ' ', ' ');
                MarkEndOfFile();
                ch = ' ';
                return;
            }
            JumpTo(q, ' ', ' ');
            PeekNextNonSpace();
        }
        ch = ReadChar();
    }
}

template <bool kConvert>
[[gnu::always_inline]] inline void TBlockParser::ScanWord(unsigned char ch,
                                                          const TDelimiters& delimiters) {
    if (delimiters[ch] || FEndOfFile) {
        FHasUnitSeparator = false;
        if (ch == '(' || ch == ')') {
            --FPos;
        } else if (!delimiters[ch]) {
            FTokenString.push_back(static_cast<char>(kTables.Upper[ch]));
            FHasUnitSeparator = ch == kUnitSeparator;
        }
        return;
    }
    // Every byte up to the next delimiter belongs to the word: none of them is a
    // space or a line break, so no look-ahead can stop the word earlier.
    const unsigned char stopClass =
        &delimiters == &kTables.TokenDelimiters ? kTokenDelimiter : kNumberDelimiter;
    const std::size_t start = FPos - 1;
    std::size_t end = FPos;
    unsigned char seen = kTables.Class[ch];
    // For a reader that takes a number, a plain decimal is converted as it
    // is scanned, when a delimiter follows its last digit. Any other word,
    // and every word of a plain read, is scanned below.
    if (kConvert && (seen & kDecimalStart) != 0) {
        const char* const text = reinterpret_cast<const char*>(FData);
        const char* const stop =
            SpecctraNumberText::QuickDecimalPrefix(text + start, text + FSize, FNumber);
        FNumberKnown = stop != nullptr && stop != text + FSize &&
                       (kTables.Class[static_cast<unsigned char>(*stop)] & stopClass) != 0;
        if (FNumberKnown) {
            end = static_cast<std::size_t>(stop - text);
        }
    }
    if (!FNumberKnown) {
        bool stopFound = false;
        if (stopClass == kTokenDelimiter) {
            // A space marker stops the wide scan, but belongs to the word.
            while ((stopFound = FindWordEnd<false>(FData, end, FSize, seen)) &&
                   FData[end] == kUnitSeparator) {
                seen |= kMarker;
                ++end;
            }
        } else {
            stopFound = FindWordEnd<true>(FData, end, FSize, seen);
        }
        while (!stopFound && end < FSize) {
            const unsigned char k = kTables.Class[FData[end]];
            if ((k & stopClass) != 0) {
                break;
            }
            seen |= k;
            ++end;
        }
    }
    FTextPending = true;
    FTextStart = start;
    FTextLength = end - start;
    // A number's case is known from the scan; a word's only when a lower-case
    // letter was met on the way (its first or its last bytes).
    FTextLower = (seen & kLowerCase) != 0;
    FTextCaseKnown = FTextLower || stopClass == kNumberDelimiter || FNumberKnown;
    FHasUnitSeparator = (seen & kMarker) != 0;
    // Most words end at spaces before the next token, at a parenthesis or at
    // a line break: the stop is taken as the general path below takes it.
    if (end + 1 < FSize) {
        const unsigned char stop = FData[end];
        const unsigned char after = FData[end + 1];
        if (IsLineBreak(stop)) {
            FPreviousChar = FData[end - 1];
            FCurrentChar = stop;
            if (end > FPos) {
                FPos = end;
                if (FPos >= FNextPoll) {
                    Poll();
                }
            }
            return;
        }
        // Spaces before the next token of the same line: the first is read
        // as the stop, and the token's first character is seen past them.
        const std::size_t next =
            stop == ' ' && after == ' ' ? SpaceRunEnd(FData, end + 1, FSize) : end + 1;
        const bool spaces = stop == ' ' && next < FSize && !IsLineBreak(FData[next]);
        if (spaces || stop == '(' || stop == ')') {
            FPos = end;
            if (FPos >= FNextPoll) {
                Poll();
            }
            if (spaces) {
                FPreviousChar = FData[next];
                FCurrentChar = ' ';
                FPos = end + 1;
            } else {
                FPreviousChar = stop;
                FCurrentChar = stop;
            }
            return;
        }
    }
    if (end > FPos) {
        JumpTo(end, FData[end - 1], FData[end - 1]);
    }
    if (end >= FSize) {
        MarkEndOfFile();
        return;
    }
    const unsigned char stop = AtEndOfLine() ? ' ' : ReadChar();
    if (stop == '(' || stop == ')') {
        --FPos;
    }
}

// Most quoted strings hold no backslash and close well before the end of the
// data: they are taken in one step, leaving the state the byte-by-byte
// reading below leaves.
inline bool TBlockParser::ScanQuotedQuickly() {
    if (FPos >= FSize || FEndOfFile || FAborted) {
        return false;
    }
    const unsigned char* start = FData + FPos;
    const void* found = std::memchr(start, FQuoteChar, FSize - FPos);
    if (found == nullptr) {
        return false;
    }
    const std::size_t length =
        static_cast<std::size_t>(static_cast<const unsigned char*>(found) - start);
    const std::size_t end = FPos + length; // the closing quote
    if (end + 1 >= FSize || std::memchr(start, '\\', length) != nullptr) {
        return false;
    }
    FTokenString.assign(reinterpret_cast<const char*>(start), length);
    FPreviousChar = length > 0 ? FData[end - 1] : FCurrentChar;
    FCurrentChar = FQuoteChar;
    FPos = end;
    if (FPos >= FNextPoll) {
        Poll();
    }
    FPos = end + 1;
    return true;
}

void TBlockParser::ScanQuoted() {
    if (ScanQuotedQuickly()) {
        return;
    }
    const unsigned char quote = FQuoteChar;
    bool havePrevious = false;
    unsigned char previous = 0;
    unsigned char c = ReadChar();
    for (;;) {
        if (c == quote && (!havePrevious || previous != '\\' || PeekRaw() == ' ')) {
            break;
        }
        if (FEndOfFile || FAborted) {
            break;
        }
        FTokenString.push_back(static_cast<char>(c));
        previous = c;
        havePrevious = true;
        c = ReadChar();
    }
    DecodeEscapes(FTokenString, quote);
}

bool TBlockParser::TextHasLower() const {
    if (!FTextCaseKnown) {
        FTextLower = HasLowerAscii(FData + FTextStart, FTextLength);
        FTextCaseKnown = true;
    }
    return FTextLower;
}

void TBlockParser::MaterializeText() const {
    FTextPending = false;
    FTokenString.assign(reinterpret_cast<const char*>(FData) + FTextStart, FTextLength);
    if (!FTextCaseKnown || FTextLower) {
        UpperAsciiInPlace(FTokenString.data(), FTokenString.size());
    }
    if (FHasUnitSeparator) {
        ReplaceSpaceMarkers(FTokenString);
    }
}

// Built into NextToken and NextTokenForNumber, where the delimiters are
// known: the word scan then knows them too. NextReal and NextInteger use
// ScanToken.
template <bool kConvert>
[[gnu::always_inline]] inline int32_t TBlockParser::ScanTokenInline(const TDelimiters& delimiters) {
    FTextPending = false;
    FNumberKnown = false;
    // A parenthesis at the read position, the most common token, is read as
    // the quick path of SkipBlank reads it, without looking for a blank.
    if (FPos + 1 < FSize && !FEndOfFile && (FData[FPos] == '(' || FData[FPos] == ')')) {
        const unsigned char c = FData[FPos];
        if (FPos >= FNextPoll) {
            Poll();
        }
        FPreviousChar = c;
        FCurrentChar = c;
        ++FPos;
        FIsKnownToken = true;
        FTokenString.assign(1, static_cast<char>(c));
        return c == '(' ? eTok_OpenParen : eTok_CloseParen;
    }
    FTokenString.clear();
    FIsKnownToken = false;
    unsigned char ch = ' ';
    if (FEndOfFile || !SkipBlankQuickly(ch) || ch == '\t') {
        SkipBlank(ch);
    }
    if (ch == '(' || ch == ')') {
        FIsKnownToken = true;
        FTokenString.assign(1, static_cast<char>(ch));
        return ch == '(' ? eTok_OpenParen : eTok_CloseParen;
    }
    if (FLastNextToken == eTok_string_quote) {
        FQuoteChar = ch;
        FTokenString.assign(1, static_cast<char>(ch));
        return eTok_DR;
    }
    if (ch == FQuoteChar) {
        ScanQuoted();
        return eTok_QuotedString;
    }
    ScanWord<kConvert>(ch, delimiters);
    int32_t id = eTok_Word;
    if ((kTables.Class[ch] & kDecimalStart) != 0 && !FHasUnitSeparator &&
        !FKeywords.HasNumberLikeKeywords()) {
        return id; // a number, or a word that starts as one: no keyword does
    }
    if (!FTextPending) {
        FIsKnownToken = FKeywords.FindUpperToken(FTokenString, id);
        if (FHasUnitSeparator) {
            ReplaceSpaceMarkers(FTokenString);
        }
        return id;
    }
    // A word of up to 16 bytes is looked up where it stands, upper-cased on
    // the way whatever its case; a longer one only when it has no lower-case
    // letter.
    if (FTextStart + 16 <= FSize && (FTextLength <= 16 || !TextHasLower())) {
        FIsKnownToken = FKeywords.FindInData(reinterpret_cast<const char*>(FData) + FTextStart,
                                             FTextLength, FTextLength <= 16, id);
    } else {
        FIsKnownToken = FKeywords.FindUpperToken(TokenString(), id);
    }
    if (FHasUnitSeparator && FTextPending) {
        MaterializeText(); // the markers become spaces in the copy
    }
    return id;
}

template <bool kConvert>
[[gnu::noinline]] int32_t TBlockParser::ScanToken(const TDelimiters& delimiters) {
    return ScanTokenInline<kConvert>(delimiters);
}

int32_t TBlockParser::NextToken() {
    const int32_t id = ScanTokenInline<false>(Tables().TokenDelimiters);
    FLastNextToken = id;
    return id;
}

int32_t TBlockParser::NextTokenForNumber() {
    const int32_t id = ScanTokenInline<true>(Tables().TokenDelimiters);
    FLastNextToken = id;
    return id;
}

std::size_t TBlockParser::ReadNumberPairs(std::span<double> values) {
    if (FEndOfFile || FAborted || FLastNextToken == eTok_string_quote ||
        FKeywords.HasNumberLikeKeywords()) {
        return 0;
    }
    const char* const text = reinterpret_cast<const char*>(FData);
    // One number from the blank at `at`: its end (the delimiter after it),
    // or 0 where the token is no plain decimal, where its delimiter is not a
    // space, a line break or a parenthesis (the general path takes the
    // others its own way), or where reading it would reach the next poll
    // (the run stops there: the general path polls).
    const auto number = [&](std::size_t at, int32_t& lines, double& value) -> std::size_t {
        bool lineBreak = false;
        const std::size_t q = QuickBlankEnd(at, lineBreak);
        if (q == kNoQuickBlank || FData[q] == FQuoteChar ||
            (kTables.Class[FData[q]] & kDecimalStart) == 0) {
            return 0;
        }
        const char* const stop =
            SpecctraNumberText::QuickDecimalPrefix(text + q, text + FSize, value);
        if (stop == nullptr || stop == text + FSize) {
            return 0;
        }
        const auto end = static_cast<std::size_t>(stop - text);
        const unsigned char after = FData[end];
        if ((after != ' ' && after != '(' && after != ')' && !IsLineBreak(after)) ||
            end + 1 >= FNextPoll) {
            return 0;
        }
        lines += lineBreak ? 1 : 0;
        return end;
    };
    std::size_t count = 0;
    std::size_t at = FPos;
    int32_t lines = 0;
    // The blank before the last number taken, and the lines before it.
    std::size_t lastAt = 0;
    int32_t lastLines = 0;
    while (count + 2 <= values.size()) {
        int32_t pairLines = lines;
        const std::size_t xEnd = number(at, pairLines, values[count]);
        if (xEnd == 0) {
            break;
        }
        const int32_t yLines = pairLines;
        const std::size_t yEnd = number(xEnd, pairLines, values[count + 1]);
        if (yEnd == 0) {
            break;
        }
        lastAt = xEnd;
        lastLines = yLines;
        lines = pairLines;
        at = yEnd;
        count += 2;
    }
    if (count > 0) {
        // The last number is read again the ordinary way, which leaves every
        // part of the reader's state as it leaves it.
        FPos = lastAt;
        FLineNumber += lastLines;
        NextTokenForNumber();
    }
    return count;
}

void TBlockParser::ReportError(const std::string& text) {
    if (FReportManager != nullptr) {
        FReportManager->ReportError(text);
    }
}

void TBlockParser::ReportBadNumber(const char* expected) {
    ReportError(std::string(expected) + " value expected <" + TokenString() + "> in line " +
                std::to_string(FLineNumber) + ".");
}

template <typename T, bool (*Convert)(std::string_view, T&)>
inline bool TBlockParser::ConvertToken(T& value, const char* expected) {
    const std::string_view text = CaseBlindText();
    if (!text.empty() && Convert(text, value))
        return true;
    ReportBadNumber(expected);
    return false;
}

template <typename T, bool (*Convert)(std::string_view, T&)>
T TBlockParser::ScanNumber(T fallback, const char* expected) {
    // A real is converted as it is scanned; whole numbers convert by their
    // own rules from the text.
    constexpr bool kReal = std::is_same_v<T, double>;
    ScanToken<kReal>(Tables().NumberDelimiters);
    if constexpr (kReal) {
        if (FNumberKnown) {
            FConversionFailed = false;
            return FNumber;
        }
    }
    T value = fallback; // a token that fails part-way gives its valid part
    FConversionFailed = !ConvertToken<T, Convert>(value, expected);
    return value;
}

template <typename T, bool (*Convert)(std::string_view, T&)>
inline bool TBlockParser::TokenStrTo(T& value, const char* expected) {
    if (CaseBlindText().empty()) {
        value = T{};
        return true;
    }
    T converted{};
    if (!ConvertToken<T, Convert>(converted, expected))
        return false; // the value stays as it was
    value = converted;
    return true;
}

int32_t TBlockParser::NextNum() {
    return ScanNumber<int32_t, &ConvertSpecctraInt>(-32000, "Integer");
}

double TBlockParser::NextReal() {
    return ScanNumber<double, &SpecctraNumberText::ConvertReal>(-32000.0, "Floating point");
}

bool TBlockParser::NextBoolean() {
    NextToken();
    return TokenStr2Bool();
}

bool TBlockParser::TokenStr2Int(int32_t& value) {
    return TokenStrTo<int32_t, &ConvertSpecctraInt>(value, "Integer");
}

bool TBlockParser::ConvertTokenToReal(double& value) {
    return TokenStrTo<double, &SpecctraNumberText::ConvertReal>(value, "Floating point");
}

bool TBlockParser::TokenStr2Bool() const {
    const std::string_view text = CaseBlindText();
    return text.size() == 2 && (text[0] == 'o' || text[0] == 'O') &&
           (text[1] == 'n' || text[1] == 'N');
}

void TBlockParser::SkipCurrentBlock() {
    int32_t depth = 1;
    while (depth > 0 && !FEndOfFile && !FAborted) {
        const int32_t id = NextToken();
        if (id == eTok_OpenParen) {
            ++depth;
        } else if (id == eTok_CloseParen) {
            --depth;
        }
    }
}

void TBlockParser::SkipBlock() {
    int32_t depth = 1;
    if (FPreviousChar == '(') {
        depth = 2;
    } else if (FPreviousChar == ')') {
        depth = 0;
    }
    while (depth > 0 && !FEndOfFile) {
        if (AtEndOfLine()) {
            NextLine();
            continue;
        }
        const unsigned char c = ReadChar();
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        }
    }
    FPreviousChar = 0;
}

void TBlockParser::AddToken(const std::string& keyword, int32_t id) {
    FKeywords.Add(keyword, id);
}

bool TBlockParser::AdoptKeywords(const TKeywordTable& table) {
    // A fresh table holds only the entry its constructor made (DR), which
    // every table starts with; anything added since would be lost.
    if (FKeywords.Count() != 1) {
        return false;
    }
    FKeywords = table;
    return true;
}

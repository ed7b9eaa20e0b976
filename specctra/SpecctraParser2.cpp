#include "specctra/SpecctraParser2.h"

#include "board/PCBProcs.h"
#include "specctra/HostHooks.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

// ---------------------------------------------------------------------------
// Host hooks

namespace {
IEscapeKeyHost* GEscapeKeyHost = nullptr;
} // namespace

void SetEscapeKeyHost(IEscapeKeyHost* host) {
    GEscapeKeyHost = host;
}
IEscapeKeyHost* GetEscapeKeyHost() {
    return GEscapeKeyHost;
}

// ---------------------------------------------------------------------------
// Character tables

namespace {

constexpr unsigned char kLineFeed = 10;
constexpr unsigned char kCarriageReturn = 13;
constexpr unsigned char kDeviceControl4 = 20; // skipped after a line break
constexpr unsigned char kUnitSeparator = 31;  // stands for a blank inside a name
constexpr const char* kSpaceMarker = "~SP~";

constexpr unsigned char kTokenDelimiter = 1;
constexpr unsigned char kNumberDelimiter = 2;
constexpr unsigned char kLowerCase = 4;
constexpr unsigned char kMarker = 8;

struct TCharTables {
    bool TokenDelimiters[256] = {};
    bool NumberDelimiters[256] = {};
    unsigned char Upper[256] = {};
    // Per character: kTokenDelimiter, kNumberDelimiter, kLowerCase, kMarker bits.
    unsigned char Class[256] = {};

    constexpr TCharTables() {
        for (int c = 0; c < 256; ++c) {
            Upper[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            const bool numberChar = c == '+' || c == ',' || c == '-' || c == '.' ||
                                    (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                                    (c >= 'a' && c <= 'z');
            NumberDelimiters[c] = c != 0 && !numberChar;
            TokenDelimiters[c] = c == kLineFeed || c == kCarriageReturn || c == ' ' || c == '\'' ||
                                 c == '(' || c == ')' || c == ';';
            Class[c] = static_cast<unsigned char>((TokenDelimiters[c] ? kTokenDelimiter : 0) |
                                                  (NumberDelimiters[c] ? kNumberDelimiter : 0) |
                                                  (c >= 'a' && c <= 'z' ? kLowerCase : 0) |
                                                  (c == kUnitSeparator ? kMarker : 0));
        }
    }
};

constexpr TCharTables kTables{};

const TCharTables& Tables() {
    return kTables;
}

bool IsLineBreak(unsigned char c) {
    return c == kLineFeed || c == kCarriageReturn;
}

std::size_t HashUpper(std::string_view key) {
    std::size_t h = 1469598103934665603ull;
    for (unsigned char c : key) {
        h = (h ^ c) * 1099511628211ull;
    }
    return h;
}

std::string UpperCopy(std::string_view text) {
    std::string result(text);
    const auto& upper = Tables().Upper;
    for (char& c : result) {
        c = static_cast<char>(upper[static_cast<unsigned char>(c)]);
    }
    return result;
}

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
// Conversions

bool ConvertSpecctraInt(std::string_view text, int32_t& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    const std::size_t firstDigit = i;
    uint64_t magnitude = 0;
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    bool ok = true;
    for (; i < n; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        }
        const uint64_t next = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (digit < 0 || next > limit) {
            ok = false;
            break;
        }
        magnitude = next;
    }
    if (i == firstDigit) {
        ok = false;
    }
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) {
        bits = 0u - bits;
    }
    value = static_cast<int32_t>(bits);
    return ok;
}

bool ConvertSpecctraReal(std::string_view text, double& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    value = 0.0;
    // Only plain decimal notation: no "inf", "nan" or hexadecimal forms.
    if (i >= n || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) {
        return false;
    }
    double parsed = 0.0;
    const char* begin = text.data() + i;
    const char* end = text.data() + n;
    const auto result = std::from_chars(begin, end, parsed, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) {
        return false;
    }
    value = negative ? -parsed : parsed;
    return result.ec == std::errc() && result.ptr == end;
}

// ---------------------------------------------------------------------------
// TInputFile

TInputFile::TInputFile(const std::string& fileName) : FFileName(fileName) {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        throw EInputFileError("Cannot open file \"" + fileName + "\": " + std::strerror(errno));
    }
    char chunk[1 << 16];
    int error = 0;
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        FData.append(chunk, got);
        if (got < sizeof chunk) {
            if (std::ferror(file) != 0) {
                error = errno != 0 ? errno : EIO;
            }
            break;
        }
    }
    std::fclose(file);
    if (error != 0) {
        throw EInputFileError("Cannot read file \"" + fileName + "\": " + std::strerror(error));
    }
}

TInputFile::TInputFile(const std::string& fileName, std::string contents)
    : FFileName(fileName), FData(std::move(contents)) {}

// ---------------------------------------------------------------------------
// TKeywordTable

TKeywordTable::TKeywordTable() {
    FSlots.resize(1024);
    Add("DR", 0);
}

std::size_t TKeywordTable::SlotOf(std::string_view upperKey) const {
    const std::size_t mask = FSlots.size() - 1;
    std::size_t i = HashUpper(upperKey) & mask;
    while (FSlots[i].Used && FSlots[i].Key != upperKey) {
        i = (i + 1) & mask;
    }
    return i;
}

void TKeywordTable::Grow() {
    std::vector<TSlot> old(FSlots.size() * 2);
    old.swap(FSlots);
    for (auto& slot : old) {
        if (slot.Used) {
            FSlots[SlotOf(slot.Key)] = std::move(slot);
        }
    }
}

bool TKeywordTable::Add(std::string_view keyword, int32_t id) {
    const std::string upper = UpperCopy(keyword);
    if (FSlots[SlotOf(upper)].Used) {
        return false;
    }
    if ((FCount + 1) * 2 > FSlots.size()) {
        Grow();
    }
    TSlot& slot = FSlots[SlotOf(upper)];
    slot.Key = upper;
    slot.Spelling = std::string(keyword);
    slot.Id = id;
    slot.Used = true;
    ++FCount;
    FMaxLength = std::max(FMaxLength, upper.size());
    if (!upper.empty()) {
        FFirstChar[static_cast<unsigned char>(upper[0])] = true;
    }
    return true;
}

bool TKeywordTable::FindUpper(std::string_view upperWord, int32_t& id) const {
    if (upperWord.empty() || upperWord.size() > FMaxLength ||
        !FFirstChar[static_cast<unsigned char>(upperWord[0])]) {
        return false;
    }
    const TSlot& slot = FSlots[SlotOf(upperWord)];
    if (!slot.Used) {
        return false;
    }
    id = slot.Id;
    return true;
}

bool TKeywordTable::Find(std::string_view word, int32_t& id) const {
    return FindUpper(UpperCopy(word), id);
}

std::vector<std::pair<std::string, int32_t>> TKeywordTable::Sorted() const {
    std::vector<std::pair<std::string, int32_t>> result;
    std::vector<const TSlot*> used;
    for (const auto& slot : FSlots) {
        if (slot.Used) {
            used.push_back(&slot);
        }
    }
    std::sort(used.begin(), used.end(),
              [](const TSlot* a, const TSlot* b) { return a->Key < b->Key; });
    for (const TSlot* slot : used) {
        result.emplace_back(slot->Spelling, slot->Id);
    }
    return result;
}

// ---------------------------------------------------------------------------
// TBlockParser: character level

TBlockParser::TBlockParser(const std::string& fileName)
    : TBlockParser(std::make_unique<TInputFile>(fileName)) {}

TBlockParser::TBlockParser(std::unique_ptr<TInputFile> input) : FInput(std::move(input)) {
    FData = reinterpret_cast<const unsigned char*>(FInput->Data().data());
    FSize = FInput->Size();
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
            if (candidate.size() == name.size() &&
                std::equal(candidate.begin(), candidate.end(), name.begin(), [](char a, char b) {
                    return std::toupper(static_cast<unsigned char>(a)) ==
                           std::toupper(static_cast<unsigned char>(b));
                })) {
                path = entry.path().string();
                break;
            }
        }
    }
    auto input = std::make_unique<TInputFile>(path);
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
    const auto steps = static_cast<int32_t>(
        std::min<std::size_t>(FSize / PollInterval + 1, std::numeric_limits<int32_t>::max()));
    const std::string caption = "Loading DSN file " + FInput->FileName();
    PCBProcs::PcbApi_Percent_Init(caption.c_str(), steps);
    FProgressOpen = true;
    if (FSize == 0) {
        MarkEndOfFile();
    }
}

TBlockParser::~TBlockParser() {
    if (FProgressOpen) {
        PCBProcs::PcbApi_Percent_Finish();
    }
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
    if (IEscapeKeyHost* host = GetEscapeKeyHost()) {
        if (host->EscapePressed() && host->AskYesNo("Confirm Abort")) {
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
    std::size_t end = from;
    while (end < FSize && FData[end] == ' ') {
        ++end;
    }
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
    if (FPos > 0) {
        --FPos;
    }
}

// ---------------------------------------------------------------------------
// TBlockParser: tokens

void TBlockParser::SkipBlank(unsigned char& ch) {
    while ((ch == ' ' || ch == '\t') && !FEndOfFile) {
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

void TBlockParser::ScanWord(unsigned char ch, const TDelimiters& delimiters) {
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
    while (end < FSize) {
        const unsigned char k = kTables.Class[FData[end]];
        if ((k & stopClass) != 0) {
            break;
        }
        seen |= k;
        ++end;
    }
    FTokenString.assign(reinterpret_cast<const char*>(FData) + start, end - start);
    if ((seen & kLowerCase) != 0) {
        for (char& c : FTokenString) {
            c = static_cast<char>(kTables.Upper[static_cast<unsigned char>(c)]);
        }
    }
    FHasUnitSeparator = (seen & kMarker) != 0;
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

void TBlockParser::ScanQuoted() {
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

int32_t TBlockParser::ScanToken(const TDelimiters& delimiters) {
    FTokenString.clear();
    FIsKnownToken = false;
    unsigned char ch = ' ';
    SkipBlank(ch);
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
    ScanWord(ch, delimiters);
    int32_t id = eTok_Word;
    FIsKnownToken = FKeywords.FindUpper(FTokenString, id);
    if (FHasUnitSeparator) {
        ReplaceSpaceMarkers(FTokenString);
    }
    return id;
}

int32_t TBlockParser::NextToken() {
    const int32_t id = ScanToken(Tables().TokenDelimiters);
    FLastNextToken = id;
    return id;
}

void TBlockParser::ReportError(const std::string& text) {
    if (FReportManager != nullptr) {
        FReportManager->ReportError(text);
    }
}

template <typename T>
bool TBlockParser::ConvertToken(T& value, bool (*convert)(std::string_view, T&),
                                const char* expected) {
    if (!FTokenString.empty() && convert(FTokenString, value))
        return true;
    ReportError(std::string(expected) + " value expected <" + FTokenString + "> in line " +
                std::to_string(FLineNumber) + ".");
    return false;
}

template <typename T>
T TBlockParser::ScanNumber(T fallback, bool (*convert)(std::string_view, T&),
                           const char* expected) {
    ScanToken(Tables().NumberDelimiters);
    T value = fallback; // a token that fails part-way gives its valid part
    FConversionFailed = !ConvertToken(value, convert, expected);
    return value;
}

template <typename T>
bool TBlockParser::TokenStrTo(T& value, bool (*convert)(std::string_view, T&),
                              const char* expected) {
    if (FTokenString.empty()) {
        value = T{};
        return true;
    }
    T converted{};
    if (!ConvertToken(converted, convert, expected))
        return false; // the value stays as it was
    value = converted;
    return true;
}

int32_t TBlockParser::NextNum() {
    return ScanNumber<int32_t>(-32000, &ConvertSpecctraInt, "Integer");
}

double TBlockParser::NextReal() {
    return ScanNumber<double>(-32000.0, &ConvertSpecctraReal, "Floating point");
}

bool TBlockParser::NextBoolean() {
    NextToken();
    return TokenStr2Bool();
}

bool TBlockParser::TokenStr2Int(int32_t& value) {
    return TokenStrTo<int32_t>(value, &ConvertSpecctraInt, "Integer");
}

bool TBlockParser::TokenStr2Real(double& value) {
    return TokenStrTo<double>(value, &ConvertSpecctraReal, "Floating point");
}

bool TBlockParser::TokenStr2Bool() const {
    return FTokenString.size() == 2 && (FTokenString[0] == 'o' || FTokenString[0] == 'O') &&
           (FTokenString[1] == 'n' || FTokenString[1] == 'N');
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

// ---------------------------------------------------------------------------
// TSpecctraParser

TSpecctraParser::TSpecctraParser(const std::string& fileName) : TBlockParser(fileName) {}

TSpecctraParser::TSpecctraParser(std::unique_ptr<TInputFile> input)
    : TBlockParser(std::move(input)) {}

const std::vector<TKeywordRegistration>& SpecctraKeywordRegistrations() {
    static const std::vector<TKeywordRegistration> registrations = {
        {"absolute", 1},
        {"actual", 2},
        {"add_pins", 3},
        {"added", 4},
        {"all", 5},
        {"allow_antenna", 6},
        {"allow_redundant_wiring", 7},
        {"amp", 8},
        {"ancestor", 9},
        {"antipad", 10},
        {"antipad_gap", 11},
        {"aperture_type", 12},
        {"applies", 13},
        {"area", 14},
        {"area_smd", 15},
        {"array", 16},
        {"attach", 17},
        {"attr", 18},
        {"auto", 19},
        {"average_pair_length", 20},
        {"back", 21},
        {"back_only", 22},
        {"background", 23},
        {"balance", 24},
        {"balanced", 25},
        {"base_design", 26},
        {"bbv_ctr2ctr", 27},
        {"bend_keepout", 28},
        {"bestsave", 29},
        {"between", 30},
        {"bond", 31},
        {"both", 32},
        {"bottom_layer_sel", 33},
        {"boundary", 34},
        {"brickpat", 35},
        {"bundle", 36},
        {"buried_via_gap", 37},
        {"bus", 38},
        {"can", 39},
        {"capacitance_resolution", 40},
        {"capacitor", 41},
        {"case_sensitive", 42},
        {"cct1", 43},
        {"cct1a", 44},
        {"cctpat", 45},
        {"center_center", 46},
        {"checking_trim_by_pin", 47},
        {"checkpat", 48},
        {"circ", 49},
        {"circle", 49},
        {"circuit", 50},
        {"class", 51},
        {"class_class", 52},
        {"classes", 53},
        {"clear", 54},
        {"clearance", 55},
        {"cluster", 56},
        {"cm", 57},
        {"coax", 58},
        {"coincident", 59},
        {"color", 60},
        {"colors", 61},
        {"comment", 62},
        {"comp", 63},
        {"comp_edge_center", 64},
        {"comp_order", 65},
        {"complete_wire", 66},
        {"component", 67},
        {"composite", 68},
        {"conductance_resolution", 69},
        {"conductor", 70},
        {"conflict", 71},
        {"conflict_clearance", 72},
        {"conflict_crossing", 73},
        {"conflict_length", 74},
        {"conflict_wire", 75},
        {"conflict_xtalk", 76},
        {"connect", 77},
        {"connections", 78},
        {"constant", 79},
        {"contact", 80},
        {"control", 81},
        {"corner", 82},
        {"corners", 83},
        {"cost", 84},
        {"created_time", 85},
        {"cross", 86},
        {"crosstalk", 87},
        {"crosstalk_model", 88},
        {"current_resolution", 89},
        {"current_wire", 90},
        {"daisy", 91},
        {"define", 92},
        {"defining", 93},
        {"delete_pins", 94},
        {"deleted", 95},
        {"deleted_keepout", 96},
        {"diaghatchpat", 97},
        {"diagonal", 98},
        {"direct", 99},
        {"direction", 99},
        {"directory", 100},
        {"discrete", 101},
        {"dotpat", 102},
        {"down", 103},
        {"drill_gap", 104},
        {"effective_via_length", 105},
        {"elongate_keepout", 106},
        {"empty", 107},
        {"error", 108},
        {"exclude", 109},
        {"expose", 110},
        {"extra_image_directory", 111},
        {"family", 112},
        {"family_family", 113},
        {"family_family_spacing", 114},
        {"fanout", 115},
        {"farad", 116},
        {"ffarad", 117},
        {"file", 118},
        {"fit", 119},
        {"fix", 120},
        {"flip_style", 121},
        {"floor_plan", 122},
        {"for", 123},
        {"forbidden", 124},
        {"force_to_terminal_point", 125},
        {"forget", 126},
        {"free", 127},
        {"fromto", 128},
        {"front", 129},
        {"front_only", 130},
        {"g", 131},
        {"gap", 132},
        {"gate", 133},
        {"gates", 134},
        {"grid", 135},
        {"gridpat", 136},
        {"ground", 137},
        {"group", 138},
        {"group_set", 139},
        {"guide", 140},
        {"guides", 141},
        {"hard", 142},
        {"height", 143},
        {"high", 144},
        {"highlight", 145},
        {"histogram", 146},
        {"history", 147},
        {"horizdashpat", 148},
        {"horizontal", 149},
        {"horizpat", 150},
        {"horizwavepat", 151},
        {"host_cad", 152},
        {"host_version", 153},
        {"image", 154},
        {"image_conductor", 155},
        {"image_image", 156},
        {"image_image_spacing", 157},
        {"image_outline_clearance", 158},
        {"image_set", 159},
        {"image_type", 160},
        {"inch", 161},
        {"include", 162},
        {"include_pins_in_crosstalk", 163},
        {"inductance_resolution", 164},
        {"insert", 165},
        {"inter_layer_clearance", 166},
        {"iroute", 167},
        {"jumper", 168},
        {"junction_type", 169},
        {"keepout", 170},
        {"keepouts", 171},
        {"kg", 172},
        {"kohm", 173},
        {"large", 174},
        {"large_large", 175},
        {"large_small", 176},
        {"layer", 177},
        {"layer_depth", 178},
        {"layer_noise_weight", 179},
        {"layer_pair", 180},
        {"layer_rule", 181},
        {"length", 182},
        {"length_amplitude", 183},
        {"length_factor", 184},
        {"length_gap", 185},
        {"library", 186},
        {"library_out", 187},
        {"limit", 188},
        {"limit_bends", 189},
        {"limit_crossing", 190},
        {"limit_vias", 191},
        {"limit_way", 192},
        {"linear", 193},
        {"linear_interpolation", 194},
        {"load", 195},
        {"lock_type", 196},
        {"locked_comp", 197},
        {"logical_part", 198},
        {"logical_part_mapping", 199},
        {"low", 200},
        {"major", 201},
        {"mamp", 202},
        {"match_fromto_delay", 203},
        {"match_fromto_length", 204},
        {"match_group_delay", 205},
        {"match_group_length", 206},
        {"match_net_delay", 207},
        {"match_net_length", 208},
        {"max", 209},
        {"max_delay", 210},
        {"max_len", 211},
        {"max_length", 212},
        {"max_noise", 213},
        {"max_restricted_layer_length", 214},
        {"max_stagger", 215},
        {"max_stub", 216},
        {"max_total_delay", 217},
        {"max_total_length", 218},
        {"max_total_vias", 219},
        {"medium", 220},
        {"mfarad", 221},
        {"mg", 222},
        {"mhenry", 223},
        {"microvia", 224},
        {"mid_driven", 225},
        {"mil", 226},
        {"min", 227},
        {"min_delay", 228},
        {"min_gap", 229},
        {"min_total_delay", 230},
        {"min_total_length", 231},
        {"mirror", 232},
        {"mirror_first", 233},
        {"mixed", 234},
        {"mm", 235},
        {"mohm", 236},
        {"msec", 237},
        {"mvolt", 238},
        {"negative_diagonal", 239},
        {"net", 240},
        {"net_number", 241},
        {"net_pin_changes", 242},
        {"nets", 243},
        {"network", 244},
        {"network_out", 245},
        {"nfarad", 246},
        {"nhenry", 247},
        {"noexpose", 248},
        {"noise_accumulation", 249},
        {"noise_calculation", 250},
        {"normal", 251},
        {"nsec", 252},
        {"object_type", 253},
        {"off", 254},
        {"off_center", 255},
        {"off_grid", 256},
        {"offset", 257},
        {"ohm", 258},
        {"on", 259},
        {"open", 260},
        {"opposite_side", 261},
        {"order", 262},
        {"orthogonal", 263},
        {"orthohatchpat", 264},
        {"outline", 265},
        {"overlap", 266},
        {"pad_body", 267},
        {"pad_pad", 268},
        {"pad_to_turn_gap", 269},
        {"padstack", 270},
        {"pair", 271},
        {"parallel", 272},
        {"parallel_noise", 273},
        {"parallel_segment", 274},
        {"parser", 275},
        {"part_library", 276},
        {"partial_selection", 277},
        {"path", 278},
        {"pcb", 279},
        {"peak", 280},
        {"peakpat", 281},
        {"permit_orient", 282},
        {"permit_side", 283},
        {"pfarad", 284},
        {"physical", 285},
        {"physical_part_mapping", 286},
        {"piggyback", 287},
        {"pin", 288},
        {"pin_allow", 289},
        {"pin_cap_via", 290},
        {"pin_via_cap", 291},
        {"pin_width_taper", 292},
        {"pins", 293},
        {"pintype", 294},
        {"place", 295},
        {"place_boundary", 296},
        {"place_control", 297},
        {"place_keepout", 298},
        {"place_rule", 299},
        {"placement", 300},
        {"plaidpat", 301},
        {"plan", 302},
        {"plane", 303},
        {"plus-pat", 304},
        {"pn", 305},
        {"point", 306},
        {"poly_wire", 307},
        {"poly", 308},
        {"polygon", 308},
        {"position", 309},
        {"positive_diagonal", 310},
        {"power", 311},
        {"power_dissipation", 312},
        {"power_fanout", 313},
        {"power_layers", 314},
        {"prefer_back", 315},
        {"prefer_front", 316},
        {"prefix", 317},
        {"priority", 318},
        {"property", 319},
        {"protect", 320},
        {"psec", 321},
        {"qarc", 322},
        {"radius", 323},
        {"ratio", 324},
        {"ratio_tolerance", 325},
        {"rect", 326},
        {"reduce_padstack", 327},
        {"reduced", 328},
        {"reduction_ratio", 329},
        {"region", 330},
        {"region_class", 331},
        {"region_class_class", 332},
        {"region_net", 333},
        {"remain", 334},
        {"reorder", 335},
        {"reroute_order_viols", 336},
        {"reroute_wire", 337},
        {"resistance_resolution", 338},
        {"resistor", 339},
        {"resolution", 340},
        {"restricted_layer_length_factor", 341},
        {"result", 342},
        {"room", 343},
        {"room_image_set", 344},
        {"rotate", 345},
        {"rotate_first", 346},
        {"rotate_jumper_via", 347},
        {"round", 348},
        {"roundoff_rotation", 349},
        {"routability", 350},
        {"route", 351},
        {"route_pass", 352},
        {"route_to_fanout_only", 353},
        {"routes", 354},
        {"routes_include", 355},
        {"RSS", 356},
        {"rule", 357},
        {"ruler", 358},
        {"same", 359},
        {"same_net_checking", 360},
        {"sample_window", 361},
        {"saturation_length", 362},
        {"sec", 363},
        {"segment", 364},
        {"sel_signal_layers", 365},
        {"select", 366},
        {"selectedcomp", 367},
        {"self", 368},
        {"sequence_number", 369},
        {"session", 370},
        {"set", 371},
        {"set_color", 372},
        {"set_pattern", 373},
        {"shape", 374},
        {"shapes", 375},
        {"shield", 376},
        {"shield_gap", 377},
        {"shield_loop", 378},
        {"shield_tie_down_interval", 379},
        {"shield_width", 380},
        {"side", 381},
        {"side_exit", 382},
        {"signal", 383},
        {"signal_layers", 384},
        {"site", 385},
        {"slantleftpat", 386},
        {"slantrightpat", 387},
        {"small", 388},
        {"smd", 389},
        {"smd_pins", 390},
        {"smd_to_turn_gap", 391},
        {"smd_via_same_net", 392},
        {"snap", 393},
        {"soft", 394},
        {"source", 395},
        {"space_in_quoted_tokens", 396},
        {"spacing", 397},
        {"spare", 398},
        {"specified", 399},
        {"spiral_via", 400},
        {"square", 401},
        {"stack_via", 402},
        {"stack_via_depth", 403},
        {"staggered_via", 404},
        {"staired_via", 405},
        {"stairstep", 406},
        {"starburst", 407},
        {"status", 408},
        {"string_quote", 409},
        {"structure", 410},
        {"structure_out", 411},
        {"subgate", 412},
        {"subgates", 413},
        {"substituted", 414},
        {"suffix", 415},
        {"super", 416},
        {"super_placement", 417},
        {"supply", 418},
        {"supply_only", 419},
        {"supply_pin", 420},
        {"swapping", 421},
        {"switch_window", 422},
        {"tandem", 423},
        {"tandem_noise", 424},
        {"tandem_segment", 425},
        {"tandem_shield_overhang", 426},
        {"target", 427},
        {"term_only", 428},
        {"terminal", 429},
        {"terminator", 430},
        {"test", 431},
        {"test_points", 432},
        {"testpoint", 433},
        {"threshold", 434},
        {"thru_pins", 435},
        {"tilepat", 436},
        {"time_length_factor", 437},
        {"time_resolution", 438},
        {"tjunction", 439},
        {"tolerance", 440},
        {"top_layer_sel", 441},
        {"topology", 442},
        {"total", 443},
        {"total_pass", 444},
        {"total_pins", 445},
        {"totalcomp", 446},
        {"track_id", 447},
        {"turret", 448},
        {"type", 449},
        {"ufarad", 450},
        {"uhenry", 451},
        {"um", 453},
        {"unassigned", 452},
        {"unconnect_wire", 454},
        {"unit", 455},
        {"units", 456},
        {"unplaced_comp", 457},
        {"unplaced_large", 458},
        {"up", 459},
        {"up_down", 460},
        {"use_array", 461},
        {"use_layer", 462},
        {"use_net", 463},
        {"use_via", 464},
        {"usec", 465},
        {"value", 466},
        {"vertdashpat", 467},
        {"vertical", 468},
        {"vertpat", 469},
        {"vertwavepat", 470},
        {"via", 471},
        {"via_array_template", 472},
        {"via_at_smd", 473},
        {"via_keepout", 474},
        {"via_number", 475},
        {"via_rotate_first", 476},
        {"via_site", 477},
        {"via_size", 478},
        {"via_via", 479},
        {"via_via_same_net", 480},
        {"viakeepouts", 481},
        {"vias", 482},
        {"virtual_pin", 483},
        {"volt", 484},
        {"voltage_resolution", 485},
        {"was_is", 486},
        {"way", 487},
        {"weight", 488},
        {"width", 489},
        {"window", 490},
        {"wire", 491},
        {"wire_keepout", 492},
        {"wires", 493},
        {"wires_include", 494},
        {"wiring", 495},
        {"write", 496},
        {"write_resolution", 497},
        {"x", 498},
        {"xy", 499},
        {"y", 500},
        {"Pin_Pin", 501},
        {"Pin_Smd", 502},
        {"Smd_Pin", 503},
        {"Pin_Via", 504},
        {"Via_Pin", 505},
        {"Pin_Wire", 506},
        {"Wire_Pin", 507},
        {"Pin_Area", 508},
        {"Area_Pin", 509},
        {"Pin_TestPoint", 510},
        {"Testpoint_Pin", 511},
        {"Smd_Smd", 512},
        {"Smd_Via", 513},
        {"Via_Smd", 514},
        {"Smd_Wire", 515},
        {"Wire_Smd", 516},
        {"Smd_Area", 517},
        {"Area_Smd", 15},
        {"Smd_TestPoint", 519},
        {"TestPoint_Smd", 520},
        {"Via_Via", 479},
        {"Via_Wire", 522},
        {"Wire_Via", 523},
        {"Via_Area", 524},
        {"Area_Via", 525},
        {"Via_TestPoint", 526},
        {"TestPoint_Via", 527},
        {"Wire_Wire", 528},
        {"Wire_Area", 529},
        {"Area_Wire", 530},
        {"Wire_TestPoint", 531},
        {"TestPoint_Wire", 532},
        {"Area_Area", 533},
        {"Area_TestPoint", 534},
        {"TestPoint_Area", 535},
        {"TestPoint_TestPoint", 536},
        {"ViaPop", 537},
        {"WirePlow", 538},
    };
    return registrations;
}

void TSpecctraParser::RegisterKeywords() {
    for (const auto& registration : SpecctraKeywordRegistrations()) {
        AddToken(registration.Keyword, registration.Id);
    }
}

int32_t TSpecctraParser::NextToken() {
    FCurrentToken = TBlockParser::NextToken();
    return FCurrentToken;
}

int32_t TSpecctraParser::NextInteger() {
    return NextNum();
}

void TSpecctraParser::NextString(std::string& value) {
    NextToken();
    value = TokenString();
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
    ReportError("Unexpected token <" + TokenString() + "> in line " +
                std::to_string(static_cast<uint32_t>(LineNumber())));
}

bool TSpecctraParser::IsValidDSNFile() {
    if (NextToken() != eTok_OpenParen) {
        return false;
    }
    return ExpectToken(eTok_pcb);
}

// Reading of Specctra text: the input file, the block tokenizer and the
// Specctra parser with its keyword table.
//
// The whole file is held in memory and scanned byte by byte. Tokens are "(",
// ")", quoted strings and words; words arrive upper-cased and are looked up in
// the keyword table (case-insensitive, first registration wins). The token ids
// are listed in specctra/SpecctraTokens.h.
#pragma once

#include "specctra/ReportSink.h"
#include "specctra/SpecctraTokens.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A file that cannot be opened or read. The message names the file.
class EInputFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bytes of one input file, loaded whole.
class TInputFile {
public:
    // The largest design file read.
    static constexpr std::uintmax_t kMaxSize = std::uintmax_t{2} << 30;
    // Loads the file; throws EInputFileError naming it when it is missing,
    // not a regular file (a device, a FIFO, a folder), larger than kMaxSize
    // or cannot be read.
    explicit TInputFile(const std::string& fileName);
    // Text held in memory under a name (used for messages and the progress bar).
    TInputFile(const std::string& fileName, std::string contents);
    // Text the caller holds, read where it lies rather than copied: the
    // caller keeps it alive and unchanged for as long as the input lives. A
    // host that has the design's text already, or reads the same texts many
    // times, saves a copy of every byte.
    struct TInPlace {};
    TInputFile(const std::string& fileName, const std::string& text, TInPlace);
    // A temporary would be gone before the first byte is read.
    TInputFile(const std::string& fileName, std::string&& text, TInPlace) = delete;
    TInputFile(const TInputFile&) = delete;
    TInputFile& operator=(const TInputFile&) = delete;

    const std::string& FileName() const { return FFileName; }
    const std::string& Data() const { return *FText; }
    std::size_t Size() const { return FText->size(); }

private:
    std::string FFileName;
    std::string FData;
    const std::string* FText = &FData; // FData, or the caller's text
};

// Case-insensitive keyword index: keyword -> id. Adding a keyword that is
// already present in any case is ignored, so the first registration wins.
// Copies share their slots until one of them adds a keyword, so handing a
// full table to every parser costs no copying.
class TKeywordTable {
public:
    TKeywordTable();
    // Adds the keyword; false when it was already present.
    bool Add(std::string_view keyword, int32_t id);
    // Looks a word up in any case.
    bool Find(std::string_view word, int32_t& id) const;
    // Looks up a word that is already in upper case (the scanner's case).
    bool FindUpper(std::string_view upperWord, int32_t& id) const {
        if (!MayBeKeyword(upperWord)) {
            return false;
        }
        return FindHashed(upperWord, id);
    }
    // FindUpper for the scanner's own token: a string's buffer holds at
    // least 16 bytes (its capacity and the closing zero), so its first 16
    // bytes are read whole, whatever its length.
    bool FindUpperToken(const std::string& upperWord, int32_t& id) const {
        if (!MayBeKeyword(upperWord)) {
            return false;
        }
        const TKey key = upperWord.capacity() >= 15 ? KeyOf(upperWord.data(), upperWord.size())
                                                    : KeyOfView(upperWord);
        return FindKeyOf(key, upperWord, id);
    }
    // FindUpper for a word where the scanner's data holds it: at least 16
    // bytes can be read from `text`, and its lower-case letters (`lower`
    // when it has some) count as upper case. Only a word of at most 16
    // bytes, or one without lower-case letters, is looked up so.
    bool FindInData(const char* text, std::size_t length, bool lower, int32_t& id) const {
        if (length == 0) {
            return false;
        }
        const auto upper = [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
        };
        if (!LengthsMayHold(upper(text[0]), upper(text[length - 1]), length)) {
            return false;
        }
        return FindKeyInData(text, length, lower, id);
    }
    std::size_t Count() const { return FStore->Count; }
    // Whether a keyword starts as a number does, with a digit, a sign or a
    // point ("2", "-1.5"): the scanner looks up such words only then.
    bool HasNumberLikeKeywords() const { return FStore->NumberLikeKeys; }
    // The keywords as registered, sorted without regard to case.
    std::vector<std::pair<std::string, int32_t>> Sorted() const;

private:
    // The first 16 bytes of an upper-case key, zeros past its end, and its
    // length: keys of up to 16 bytes (nearly every keyword) compare in two
    // words, without a branch on their length.
    struct TKey {
        uint64_t Head = 0;
        uint64_t Tail = 0;
        std::size_t Length = 0;
    };
    struct TSlot {
        uint64_t Head = 0;
        uint64_t Tail = 0;
        uint32_t KeyOffset = 0; // of the upper-case key in TStore::Keys
        uint32_t Spelling = 0;  // index into TStore::Spellings
        int32_t Id = 0;
        uint16_t Length = 0;
        bool Used = false;
    };
    struct TStore {
        std::vector<TSlot> Slots;
        std::string Keys;
        std::vector<std::string> Spellings;
        std::size_t Count = 0;
        // Per first and last character (their low six bits, upper case),
        // bit n set when a keyword of n characters (n < 64) starts and ends
        // with them; longer keywords set bit 63 and are always looked up.
        // Most names and every number of a design fail this test and need
        // no hashing.
        uint64_t Lengths[64][64] = {};
        bool NumberLikeKeys = false;
    };
    bool LengthsMayHold(unsigned char upperFirst, unsigned char upperLast,
                        std::size_t length) const {
        const std::size_t bit = length < 63 ? length : 63;
        return ((FStore->Lengths[upperFirst & 63][upperLast & 63] >> bit) & 1) != 0;
    }
    bool MayBeKeyword(std::string_view upperWord) const {
        if (upperWord.empty()) {
            return false;
        }
        return LengthsMayHold(static_cast<unsigned char>(upperWord.front()),
                              static_cast<unsigned char>(upperWord.back()), upperWord.size());
    }
    // The key of `length` bytes at `text`, whose buffer holds at least 16
    // bytes.
    static TKey KeyOf(const char* text, std::size_t length) {
        TKey key;
        std::memcpy(&key.Head, text, 8);
        std::memcpy(&key.Tail, text + 8, 8);
        key.Head &= KeptBytes(length);
        key.Tail &= length > 8 ? KeptBytes(length - 8) : 0;
        key.Length = length;
        return key;
    }
    // The mask that keeps the first `bytes` bytes (in memory order) of a word.
    static uint64_t KeptBytes(std::size_t bytes) {
        if (bytes >= 8) {
            return ~uint64_t{0};
        }
        if constexpr (std::endian::native == std::endian::little) {
            return (uint64_t{1} << (bytes * 8)) - 1;
        } else {
            return ~(~uint64_t{0} >> (bytes * 8));
        }
    }
    // The key of any text (read without going past its end).
    static TKey KeyOfView(std::string_view text);
    struct TFresh {};
    explicit TKeywordTable(TFresh);
    bool FindHashed(std::string_view upperWord, int32_t& id) const;
    // FindInData past its first-character test.
    bool FindKeyInData(const char* text, std::size_t length, bool lower, int32_t& id) const;
    bool FindKeyOf(const TKey& key, std::string_view upperWord, int32_t& id) const;
    void Grow();
    std::size_t SlotOf(const TKey& key, std::string_view upperKey) const;

    std::shared_ptr<TStore> FStore;
};

// Where the reading stands between two tokens: enough to read the same text
// again later, from a copy of it, exactly as it was read the first time.
struct TReadPoint {
    std::size_t Pos = 0;
    int32_t Line = 1;
    int32_t LastToken = 0;
    unsigned char Previous = 0;
    unsigned char Current = 0;
    unsigned char Quote = '\'';
    bool ConversionFailed = false;
};

class IEscapeKeyHost;

// The tokenizer of the parenthesised Specctra syntax.
class TBlockParser {
public:
    // Marks a parser that reads again text read before: it shows no progress
    // and does not poll the Escape key.
    struct TRereading {};
    // Loads the file and starts the host progress bar. Throws EInputFileError
    // when the file is missing or unreadable.
    explicit TBlockParser(const std::string& fileName);
    explicit TBlockParser(std::unique_ptr<TInputFile> input);
    TBlockParser(std::unique_ptr<TInputFile> input, TRereading);
    virtual ~TBlockParser();

    TBlockParser(const TBlockParser&) = delete;
    TBlockParser& operator=(const TBlockParser&) = delete;

    // Reads the next token with the token delimiters and returns its id.
    virtual int32_t NextToken();
    // NextToken for a reader that takes a real next: a plain decimal is
    // converted as it is scanned, and TokenStr2Real gives its value without
    // reading its text again.
    virtual int32_t NextTokenForNumber();
    // Reads on through the numbers that follow while they come in pairs of
    // plain decimals (a path's points), as NextTokenForNumber and
    // TokenStr2Real would read them one at a time, and puts them in `values`
    // (an even count, at most its size). Stops before the first pair it
    // cannot take whole that way: the caller reads on token by token from
    // there. After a pair, the reader stands as after its second number.
    std::size_t ReadNumberPairs(std::span<double> values);
    // The current token's text.
    const std::string& TokenString() const {
        if (FTextPending) {
            MaterializeText();
        }
        return FTokenString;
    }

    // Reads the next token with the number delimiters and converts it. On a
    // failure ConversionFailed is set and an error is reported.
    int32_t NextNum();
    double NextReal();
    // Reads the next token; true when it is the word ON in any case.
    bool NextBoolean();

    // Convert the current token's text. On success the value is stored and the
    // result is true; on a failure the value is left alone and an error reported.
    // An empty text converts to 0.
    bool TokenStr2Int(int32_t& value);
    bool TokenStr2Real(double& value) {
        if (FNumberKnown) {
            value = FNumber;
            return true;
        }
        return ConvertTokenToReal(value);
    }
    bool TokenStr2Bool() const;

    // Skips tokens up to and including the ")" closing the block whose "(" and
    // keyword have been read.
    void SkipCurrentBlock();
    // Skips raw characters to the end of the current block, judged from
    // PreviousChar; quotes are not honoured.
    void SkipBlock();

    // Closes the current input and goes on reading from the start of the
    // named file (a name without a folder is taken beside the current file).
    // Throws EInputFileError naming the file when it cannot be read; the
    // current input is then kept.
    void SwitchToFile(const std::string& fileName);

    void AddToken(const std::string& keyword, int32_t id);
    // Takes the keywords of a table made earlier; the parser's own table is
    // replaced only while it holds nothing but its initial entry.
    bool AdoptKeywords(const TKeywordTable& table);
    bool FindKeyword(std::string_view word, int32_t& id) const { return FKeywords.Find(word, id); }
    const TKeywordTable& Keywords() const { return FKeywords; }

    void SetReportManager(IReportSink* reportManager) { FReportManager = reportManager; }
    IReportSink* ReportManager() const { return FReportManager; }
    // The host's Escape key, polled while reading; without one the key is
    // never pressed.
    void SetEscapeKey(IEscapeKeyHost* escapeKey) { FEscapeKey = escapeKey; }

    bool EndOfFile() const { return FEndOfFile; }
    bool Aborted() const { return FAborted; }
    int32_t LineNumber() const { return FLineNumber; }
    char QuoteChar() const { return static_cast<char>(FQuoteChar); }
    bool IsKnownToken() const { return FIsKnownToken; }
    bool ConversionFailed() const { return FConversionFailed; }
    char PreviousChar() const { return static_cast<char>(FPreviousChar); }
    char CurrentChar() const { return static_cast<char>(FCurrentChar); }
    const TInputFile& Input() const { return *FInput; }
    // Lets go of the text once everything is read: the parser then reads an
    // empty file of the same name, and keeps its line number.
    void ReleaseInput();
    // Read position in bytes from the start of the data.
    std::size_t Position() const { return FPos; }
    // The state between the last token and the next one.
    TReadPoint ReadPoint() const;
    // Goes back (or on) to a point taken by ReadPoint of a parser whose data
    // held the same bytes `shift` bytes further on.
    virtual void ResumeAt(const TReadPoint& point, std::size_t shift);

    // Bytes between two progress steps and Escape-key polls.
    static constexpr std::size_t PollInterval = 16384;

protected:
    // Reports "ERROR: " + text through the attached report manager, if any.
    void ReportError(const std::string& text);
    // The current token's text as TokenString gives it, without a copy where
    // the data holds it as it stands.
    std::string_view TokenText() const {
        return FTextPending && TextHasLower() ? std::string_view(TokenString()) : CaseBlindText();
    }
    // The current token's text for a conversion that reads letters in either
    // case alike (numbers, ON): the word where the data holds it, whatever
    // its case.
    std::string_view CaseBlindText() const {
        if (FTextPending && !FHasUnitSeparator) {
            return {reinterpret_cast<const char*>(FData) + FTextStart, FTextLength};
        }
        return TokenString();
    }

private:
    using TDelimiters = bool[256];

    template <bool kConvert> int32_t ScanToken(const TDelimiters& delimiters);
    template <bool kConvert> int32_t ScanTokenInline(const TDelimiters& delimiters);
    // Reads a token with the number delimiters and converts it; a failure
    // reports "<expected> value expected <text> in line n.".
    template <typename T, bool (*Convert)(std::string_view, T&)>
    T ScanNumber(T fallback, const char* expected);
    // Converts the current token's text into `value` (its valid part on a
    // failure, which is reported); an empty text fails.
    template <typename T, bool (*Convert)(std::string_view, T&)>
    bool ConvertToken(T& value, const char* expected);
    // TokenStr2Int/Real: an empty text gives 0; a failure leaves `value` alone.
    template <typename T, bool (*Convert)(std::string_view, T&)>
    bool TokenStrTo(T& value, const char* expected);
    // TokenStr2Real for a token the scanner did not convert.
    bool ConvertTokenToReal(double& value);
    // Reports "<expected> value expected <text> in line n.".
    void ReportBadNumber(const char* expected);
    // Copies a pending word's text into FTokenString, as the scanner gives it.
    void MaterializeText() const;
    // Whether the pending word has a lower-case letter (looked at once).
    bool TextHasLower() const;
    // The quick path of SkipBlank: false when the general path is needed.
    bool SkipBlankQuickly(unsigned char& ch);
    // Where the token after the blank from `pos` starts, when the quick path
    // of SkipBlank takes that blank (with `lineBreak` telling whether it
    // ends a line); kNoQuickBlank when it needs the general path.
    std::size_t QuickBlankEnd(std::size_t pos, bool& lineBreak) const;
    static constexpr std::size_t kNoQuickBlank = ~std::size_t{0};
    void SkipBlank(unsigned char& ch);
    template <bool kConvert> void ScanWord(unsigned char ch, const TDelimiters& delimiters);
    void ScanQuoted();
    bool ScanQuotedQuickly();

    unsigned char ReadChar();
    void Poll();
    void MarkEndOfFile();
    void StartProgress();
    void JumpTo(std::size_t pos, unsigned char previous, unsigned char current);
    std::size_t NextNonSpaceIndex(std::size_t from);
    unsigned char PeekNextNonSpace();
    unsigned char PreviousNonSpace() const;
    unsigned char PeekRaw();
    bool AtEndOfLine();
    bool AtCommentStart();
    void NextLine();

    std::unique_ptr<TInputFile> FInput;
    const unsigned char* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FPos = 0;
    std::size_t FNextPoll = 0;
    std::size_t FSpaceRunStart = 1;
    std::size_t FSpaceRunEnd = 0;

    int32_t FLineNumber = 1;
    IReportSink* FReportManager = nullptr;
    IEscapeKeyHost* FEscapeKey = nullptr;
    // The text of a word is copied out of the data only when it is asked
    // for: most words are keywords or numbers, looked up and converted where
    // they stand. While FTextPending, the word is the FTextLength bytes at
    // FTextStart, with lower-case letters when FTextLower. A word's case is
    // looked at only when its text is asked for (FTextCaseKnown).
    mutable std::string FTokenString;
    mutable bool FTextPending = false;
    mutable bool FTextLower = false;
    mutable bool FTextCaseKnown = false;
    std::size_t FTextStart = 0;
    std::size_t FTextLength = 0;
    // The value of the current word when the scanner read it as a plain
    // decimal (FNumberKnown), as a real's conversion of its text gives it.
    double FNumber = 0.0;
    bool FNumberKnown = false;
    TKeywordTable FKeywords;
    unsigned char FPreviousChar = 0;
    unsigned char FCurrentChar = 0;
    bool FEndOfFile = false;
    bool FAborted = false;
    unsigned char FQuoteChar = '\'';
    bool FConversionFailed = false;
    bool FIsKnownToken = false;
    bool FProgressOpen = false;
    bool FHasUnitSeparator = false;
    int32_t FLastNextToken = 0;
};

// The Specctra parser: the tokenizer with the keyword table and the current
// token id.
class TSpecctraParser final : public TBlockParser {
public:
    explicit TSpecctraParser(const std::string& fileName);
    explicit TSpecctraParser(std::unique_ptr<TInputFile> input);
    TSpecctraParser(std::unique_ptr<TInputFile> input, TRereading);

    // The current token becomes the point's last token.
    void ResumeAt(const TReadPoint& point, std::size_t shift) override;

    // Registers every Specctra keyword with its id (541 registrations).
    void RegisterKeywords();

    int32_t NextToken() final {
        FCurrentToken = TBlockParser::NextToken();
        return FCurrentToken;
    }
    int32_t NextTokenForNumber() final {
        FCurrentToken = TBlockParser::NextTokenForNumber();
        return FCurrentToken;
    }
    int32_t CurrentToken() const { return FCurrentToken; }

    // NextNum; CurrentToken is not changed.
    int32_t NextInteger();
    // Reads the next token and gives its text.
    void NextString(std::string& value);
    std::string NextString();
    // Reads the next token; true when its id is the one given, otherwise the
    // token is reported as unexpected.
    bool ExpectToken(int32_t id);
    // Reports "Unexpected token <text> in line n".
    void ReportUnexpectedToken();
    // True when the file starts with "(" and the keyword pcb. Consumes both.
    bool IsValidDSNFile();

private:
    int32_t FCurrentToken = 0;
    // The text of the last report made here, kept for its room: a damaged
    // design may report a hundred thousand tokens.
    std::string FReportText;
};

// Keyword registrations in their order: keyword and id.
struct TKeywordRegistration {
    const char* Keyword;
    int32_t Id;
};
const std::vector<TKeywordRegistration>& SpecctraKeywordRegistrations();

// Runtime-style conversions used by the parser, exposed for the readers:
// on a failure they give the value of the valid part and return false.
bool ConvertSpecctraInt(std::string_view text, int32_t& value);
bool ConvertSpecctraReal(std::string_view text, double& value);

// The tokenizer over any bytes: tokens, numbers and skips in an order the
// input chooses, each step bounded, with the report manager attached. With
// the input's choice, a second reader of the same bytes follows in step and
// takes one token at a time where the first reads a path's points in runs:
// both must give the same numbers and stand at the same place after each.
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"

#include "fuzz/FuzzSupport.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>

namespace {

auto StateOf(const TSpecctraParser& parser) {
    return std::tuple(parser.Position(), parser.LineNumber(), parser.EndOfFile(),
                      parser.CurrentChar(), parser.PreviousChar(), parser.CurrentToken(),
                      parser.TokenString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the mix of operations; the rest is the file.
    const uint8_t mix = size > 0 ? data[0] : 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    if (!text.empty())
        text.erase(0, 1);
    const bool runs = (mix & 0x40) != 0;
    TReportManager report("fuzz.dsn"), twinReport("fuzz.dsn");
    TSpecctraParser twin(std::make_unique<TInputFile>("fuzz.dsn", runs ? text : std::string()));
    TSpecctraParser parser(std::make_unique<TInputFile>("fuzz.dsn", std::move(text)));
    parser.RegisterKeywords();
    parser.SetReportManager(&report);
    twin.RegisterKeywords();
    twin.SetReportManager(&twinReport);
    // Every step reads at least one byte or ends the file, so the number of
    // steps is bounded by the size; more steps than that is a hang.
    const size_t limit = 4 * size + 64;
    size_t steps = 0;
    while (!parser.EndOfFile() && !parser.Aborted()) {
        if (++steps > limit)
            fuzzsupport::Fail("the tokenizer does not advance");
        const int op = (mix >> (steps % 4 * 2)) & 3;
        if (runs && op == 1) {
            double values[6];
            const std::size_t read = parser.ReadNumberPairs(values);
            for (std::size_t i = 0; i < read; ++i) {
                double value = 0;
                twin.NextTokenForNumber();
                if (!twin.TokenStr2Real(value) ||
                    std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(values[i]))
                    fuzzsupport::Fail("a run of points reads another number than the tokens");
            }
            if (read > 0) {
                if (StateOf(parser) != StateOf(twin))
                    fuzzsupport::Fail(
                        "a run of points leaves the reader elsewhere than the tokens");
                continue;
            }
        }
        // Every step of the reader is taken by its twin too.
        for (TSpecctraParser* reader : {&parser, &twin}) {
            if (reader == &twin && !runs)
                break;
            switch (op) {
            case 0:
            case 1: {
                const int32_t token = reader->NextToken();
                if ((mix & 0x80) && token == eTok_OpenParen && steps % 7 == 0) {
                    reader->NextToken();
                    reader->SkipCurrentBlock();
                }
                break;
            }
            case 2:
                reader->NextNum();
                break;
            default:
                reader->NextReal();
                break;
            }
        }
        if (runs && StateOf(parser) != StateOf(twin))
            fuzzsupport::Fail("the two readers part after a step they both took");
    }
    return 0;
}

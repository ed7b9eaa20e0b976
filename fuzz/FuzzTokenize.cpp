// The tokenizer over any bytes: tokens, numbers and skips in an order the
// input chooses, each step bounded, with the report manager attached.
#include "persistence/ReportManager.h"
#include "specctra/SpecctraParser2.h"

#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the mix of operations; the rest is the file.
    const uint8_t mix = size > 0 ? data[0] : 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    if (!text.empty())
        text.erase(0, 1);
    TReportManager report("fuzz.dsn");
    TSpecctraParser parser(std::make_unique<TInputFile>("fuzz.dsn", std::move(text)));
    parser.RegisterKeywords();
    parser.SetReportManager(&report);
    // Every step reads at least one byte or ends the file, so the number of
    // steps is bounded by the size; more steps than that is a hang.
    const size_t limit = 4 * size + 64;
    size_t steps = 0;
    while (!parser.EndOfFile() && !parser.Aborted()) {
        if (++steps > limit)
            fuzzsupport::Fail("the tokenizer does not advance");
        switch ((mix >> (steps % 4 * 2)) & 3) {
        case 0:
        case 1: {
            const int32_t token = parser.NextToken();
            if ((mix & 0x80) && token == eTok_OpenParen && steps % 7 == 0) {
                parser.NextToken();
                parser.SkipCurrentBlock();
            }
            break;
        }
        case 2:
            parser.NextNum();
            break;
        default:
            parser.NextReal();
            break;
        }
    }
    return 0;
}

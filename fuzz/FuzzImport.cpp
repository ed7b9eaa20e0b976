// The whole design import into a fresh board of the engine loaded in this
// process: the design reads the text, writes whatever it understood to the
// board, and is freed; the board is closed. Whatever the model reads and
// writes as it grows is reached without a change here.
#include "board/PCBProcs.h"
#include "design/SpecctraDesign.h"
#include "persistence/ReportManager.h"
#include "specctra/SpecctraClasses1.h"
#include "specctra/SpecctraParser2.h"

#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Reports stay off: a design root writes its report only when told to.
    if (!PCBProcs::BindEngine())
        fuzzsupport::Fail("the engine library is not loaded");
    // A file for "file" blocks to include, beside the design.
    const std::string part = "(unit inch) (parser (constant PART 1)) (file fuzz.dsn)\n";
    fuzzsupport::WriteFile(fuzzsupport::ScratchPath("part.dsn"),
                           reinterpret_cast<const uint8_t*>(part.data()), part.size());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzzsupport::TObjectLeakCheck leaks;
    // The design's folder is the scratch folder, so that "file" blocks find
    // part.dsn there and nothing outside it.
    const std::string designName = fuzzsupport::ScratchPath("fuzz.dsn");
    char error[256] = {};
    const CorvaneBoard board =
        Corvane_NewBoard(fuzzsupport::ScratchPath("fuzz.pcbdoc").c_str(), error, sizeof error);
    if (!board)
        fuzzsupport::Fail(std::string("no board: ") + error);
    Corvane_SetCurrentBoard(board);
    try {
        ResetTranslationState();
        TSpecctraParser parser(std::make_unique<TInputFile>(
            designName, std::string(reinterpret_cast<const char*>(data), size)));
        parser.RegisterKeywords();
        TSpecctraDesign design(designName, &parser, nullptr, board);
        if (design.ImportFromFile())
            design.ExportToPCB();
    } catch (const std::exception&) {
        // The translation ends by a raised error, as a command would.
    }
    Corvane_CloseBoard(board);
    return 0;
}

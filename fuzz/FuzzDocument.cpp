// Board documents as raw bytes: whatever SQLite file (or other file) the
// input is, the engine opens it or refuses it with a reason, and an opened
// document survives a save and reopen unchanged.
#include "fuzz/DocumentRoundTrip.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::ScratchPath("input.pcbdoc");
    fuzzsupport::WriteFile(path, data, size);
    fuzzsupport::DocumentRoundTrip(path);
    return 0;
}

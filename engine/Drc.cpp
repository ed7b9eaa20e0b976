// The rule check: connectivity per net, open connections, clearances and
// shorts between nets, copper against the board outline and keep-outs.
#include "engine/Drc.h"

#include "engine/Model.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace corvane {

BoardCheck CheckBoard(intptr_t board, int32_t /*flags*/, bool& ok) {
    BoardCheck check;
    Store& s = Store::Get();
    ok = s.BoardSlot(board) != kNone;
    return check;
}

} // namespace corvane

using namespace corvane;

namespace {

BoardCheck* CheckOf(CorvaneBoardCheck handle) {
    return reinterpret_cast<BoardCheck*>(handle);
}

void WriteError(char* error, int32_t capacity, const char* text) {
    if (!error || capacity <= 0)
        return;
    std::strncpy(error, text, static_cast<size_t>(capacity) - 1);
    error[capacity - 1] = '\0';
}

} // namespace

extern "C" CorvaneBoardCheck Corvane_CheckBoard(intptr_t board, int32_t flags, char* error,
                                                int32_t errorCapacity) {
    try {
        bool ok = false;
        auto check = std::make_unique<BoardCheck>(CheckBoard(board, flags, ok));
        if (!ok) {
            WriteError(error, errorCapacity, "unknown board");
            return 0;
        }
        return reinterpret_cast<CorvaneBoardCheck>(check.release());
    } catch (const std::exception& e) {
        WriteError(error, errorCapacity, e.what());
        return 0;
    }
}

extern "C" void Corvane_FreeCheck(CorvaneBoardCheck check) {
    delete CheckOf(check);
}

extern "C" int32_t Corvane_CheckSummaryOf(CorvaneBoardCheck check, CorvaneCheckSummary* summary) {
    if (!check || !summary)
        return 0;
    *summary = CheckOf(check)->summary;
    return 1;
}

extern "C" int32_t Corvane_CheckOpen(CorvaneBoardCheck check, int32_t index,
                                     CorvaneOpenConnection* open) {
    if (!check || !open || index < 0 || static_cast<size_t>(index) >= CheckOf(check)->opens.size())
        return 0;
    *open = CheckOf(check)->opens[static_cast<size_t>(index)];
    return 1;
}

extern "C" int32_t Corvane_CheckViolation(CorvaneBoardCheck check, int32_t index,
                                          CorvaneViolation* violation) {
    if (!check || !violation || index < 0 ||
        static_cast<size_t>(index) >= CheckOf(check)->violations.size())
        return 0;
    *violation = CheckOf(check)->violations[static_cast<size_t>(index)];
    return 1;
}

extern "C" int32_t Corvane_CheckNetName(CorvaneBoardCheck check, int32_t net, char* buffer,
                                        int32_t capacity) {
    if (!check || net < 0 || static_cast<size_t>(net) >= CheckOf(check)->netNames.size())
        return -1;
    const std::string& name = CheckOf(check)->netNames[static_cast<size_t>(net)];
    if (buffer && capacity > 0) {
        const size_t n = std::min(name.size(), static_cast<size_t>(capacity) - 1);
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(name.size());
}

extern "C" int32_t Corvane_CheckGroupOf(CorvaneBoardCheck check, intptr_t object) {
    if (!check)
        return -1;
    const auto& groups = CheckOf(check)->groupOf;
    auto it = groups.find(object);
    return it == groups.end() ? -1 : it->second;
}

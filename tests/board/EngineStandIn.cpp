// A stand-in engine module for the binding tests: exports a few PcbApi_ names
// and records how often they were called.
#include <cstdint>
#include <string>

namespace {
int gInitCalls = 0, gUpdateCalls = 0, gFinishCalls = 0;
int32_t gLastSteps = -1;
std::string gLastCaption;
} // namespace

#pragma GCC visibility push(default)
extern "C" {

intptr_t PcbApi_GetCurrentBoardHandle() {
    return 4711;
}

void PcbApi_Percent_Init(const char* caption, int32_t steps) {
    ++gInitCalls, gLastSteps = steps;
    gLastCaption = caption ? caption : "";
}

void PcbApi_Percent_Update() {
    ++gUpdateCalls;
}

void PcbApi_Percent_Finish() {
    ++gFinishCalls;
}

// Test probe: counts of init, update and finish calls, and the last init.
void StandIn_Counts(int* init, int* update, int* finish, int32_t* lastSteps,
                    const char** lastCaption) {
    *init = gInitCalls, *update = gUpdateCalls, *finish = gFinishCalls;
    *lastSteps = gLastSteps, *lastCaption = gLastCaption.c_str();
}
}
#pragma GCC visibility pop

// A stand-in engine module for the binding tests: exports a few PcbApi_ names
// and records how often they were called.
#include <cstdint>
#include <string>

namespace {
int gInitCalls = 0;
int gUpdateCalls = 0;
int gFinishCalls = 0;
int32_t gLastSteps = -1;
std::string gLastCaption;
} // namespace

extern "C" {

__attribute__((visibility("default"))) intptr_t PcbApi_GetCurrentBoardHandle() {
    return 4711;
}

__attribute__((visibility("default"))) void PcbApi_Percent_Init(const char* caption,
                                                                int32_t steps) {
    ++gInitCalls;
    gLastSteps = steps;
    gLastCaption = caption ? caption : "";
}

__attribute__((visibility("default"))) void PcbApi_Percent_Update() {
    ++gUpdateCalls;
}

__attribute__((visibility("default"))) void PcbApi_Percent_Finish() {
    ++gFinishCalls;
}

// Test probe: counts of init, update and finish calls, and the last init.
__attribute__((visibility("default"))) void
StandIn_Counts(int* init, int* update, int* finish, int32_t* lastSteps, const char** lastCaption) {
    *init = gInitCalls;
    *update = gUpdateCalls;
    *finish = gFinishCalls;
    *lastSteps = gLastSteps;
    *lastCaption = gLastCaption.c_str();
}
}

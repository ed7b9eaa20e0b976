// The engine binding against a stand-in module loaded under another name, and
// with no module loaded at all.
#include "board/PCBProcs.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using CountsFn = void (*)(int*, int*, int*, int32_t*, const char**);

struct Counts {
    int init = 0, update = 0, finish = 0;
    int32_t lastSteps = 0;
    std::string lastCaption;
};

Counts readCounts(void* module) {
    Counts c;
    const char* caption = "";
    if (auto fn = reinterpret_cast<CountsFn>(dlsym(module, "StandIn_Counts")))
        fn(&c.init, &c.update, &c.finish, &c.lastSteps, &caption);
    c.lastCaption = caption;
    return c;
}

class PCBProcsBinding : public ::testing::Test {
protected:
    void TearDown() override { PCBProcs::SetEngineModuleName("libcorvane.so"); }
};

TEST_F(PCBProcsBinding, DefaultModuleNameIsTheEngine) {
    PCBProcs::SetEngineModuleName("");
    EXPECT_EQ(PCBProcs::EngineModuleName(), "libcorvane.so");
}

TEST_F(PCBProcsBinding, BindsToLoadedStandInAndForwardsCalls) {
    const std::string path = std::string(DSNLINK_BIN_DIR) + "/libdsnlink_engine_standin.so";
    PCBProcs::SetEngineModuleName("libdsnlink_engine_standin.so");
    EXPECT_EQ(PCBProcs::EngineModuleName(), "libdsnlink_engine_standin.so");
    // Not yet loaded: the binding must not load it by itself, and entry
    // points answer their defaults.
    EXPECT_EQ(PCBProcs::PcbApi_GetCurrentBoardHandle(), 0);
    PCBProcs::PcbApi_Percent_Init("Reading", 10);
    PCBProcs::PcbApi_Percent_Finish();
    EXPECT_FALSE(PCBProcs::IsEngineBound());
    EXPECT_FALSE(PCBProcs::BindEngine());
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOLOAD | RTLD_NOW), nullptr);

    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    ASSERT_NE(module, nullptr) << dlerror();

    // The very next call looks again and binds.
    EXPECT_EQ(PCBProcs::PcbApi_GetCurrentBoardHandle(), 4711);
    EXPECT_TRUE(PCBProcs::IsEngineBound());

    const Counts before = readCounts(module);
    PCBProcs::PcbApi_Percent_Init("Loading Specctra file", 250);
    for (int i = 0; i < 250; ++i)
        PCBProcs::PcbApi_Percent_Update();
    PCBProcs::PcbApi_Percent_Finish();
    const Counts after = readCounts(module);
    EXPECT_EQ(after.init - before.init, 1);
    EXPECT_EQ(after.update - before.update, 250);
    EXPECT_EQ(after.finish - before.finish, 1);
    EXPECT_EQ(after.lastSteps, 250);
    EXPECT_EQ(after.lastCaption, "Loading Specctra file");
    EXPECT_TRUE(PCBProcs::BindEngine());

    // Switching back to an absent name unbinds again.
    PCBProcs::SetEngineModuleName("libdsnlink-absent-engine.so");
    EXPECT_EQ(PCBProcs::PcbApi_GetCurrentBoardHandle(), 0);
    PCBProcs::PcbApi_Percent_Update();
    EXPECT_EQ(readCounts(module).update, after.update);
    dlclose(module);
}

} // namespace

// What the geometry tests share: the board's objects as read from the
// engine, and the design texts kept in data/ beside the tests.
#pragma once

#include "support/BoardItems.h"
#include "support/TempFolder.h"

#include <string>

// The designator text of a component.
inline std::string Designator(const TPcbComponent& component) {
    return BoardItem<TPcbText>(component.GetState_Name()).GetState_Text();
}

// The text of tests/geometry/data/NAME.txt.
inline std::string GeometryData(const std::string& name) {
    return testfs::ReadFile(std::string(DSNLINK_SOURCE_DIR) + "/tests/geometry/data/" + name +
                            ".txt");
}

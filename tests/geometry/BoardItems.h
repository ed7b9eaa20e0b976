// What the geometry tests share: the board's objects of one kind as read
// from the engine, and the design texts kept in data/ beside the tests.
#pragma once

#include "board/Pcbclass.h"
#include "support/TempFolder.h"

#include <string>
#include <vector>

template <class T> std::vector<T> BoardItems(intptr_t board, TObjectId kind, intptr_t filter = 0) {
    std::vector<T> items;
    for (intptr_t handle : CollectItems(board, kind, filter)) {
        items.emplace_back(handle);
        items.back().QueryDatabase(1);
    }
    return items;
}

// The text of tests/geometry/data/NAME.txt.
inline std::string GeometryData(const std::string& name) {
    return testfs::ReadFile(std::string(DSNLINK_SOURCE_DIR) + "/tests/geometry/data/" + name +
                            ".txt");
}

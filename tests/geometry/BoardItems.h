// What the geometry tests share: the board's objects as read from the
// engine, and the design texts kept in data/ beside the tests.
#pragma once

#include "board/Pcbclass.h"
#include "support/TempFolder.h"

#include <string>
#include <vector>

template <class T> T BoardItem(intptr_t handle) {
    T item(handle);
    item.QueryDatabase(1);
    return item;
}

template <class T> std::vector<T> BoardItems(intptr_t board, TObjectId kind, intptr_t filter = 0) {
    std::vector<T> items;
    for (intptr_t handle : CollectItems(board, kind, filter))
        items.push_back(BoardItem<T>(handle));
    return items;
}

// The designator text of a component.
inline std::string Designator(const TPcbComponent& component) {
    return BoardItem<TPcbText>(component.GetState_Name()).GetState_Text();
}

// The text of tests/geometry/data/NAME.txt.
inline std::string GeometryData(const std::string& name) {
    return testfs::ReadFile(std::string(DSNLINK_SOURCE_DIR) + "/tests/geometry/data/" + name +
                            ".txt");
}

// A board's objects read through the host's wrapper classes.
#pragma once

#include "board/Pcbclass.h"

#include <gtest/gtest.h>

#include <vector>

// The object behind `handle`, read into a fresh wrapper of its kind.
template <class T> T BoardItem(intptr_t handle) {
    T item(handle);
    EXPECT_EQ(item.QueryDatabase(1), 1) << "handle " << handle;
    return item;
}

// The board's objects of one kind (on one layer, of one net: `filter`).
template <class T> std::vector<T> BoardItems(intptr_t board, TObjectId kind, intptr_t filter = 0) {
    std::vector<T> items;
    for (intptr_t handle : CollectItems(board, kind, filter))
        items.push_back(BoardItem<T>(handle));
    return items;
}

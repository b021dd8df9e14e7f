// Test helper: two melodies equal in every field, selection flags included.
#pragma once

#include "notes/TapeNote.h"

#include <gtest/gtest.h>

#include <vector>

namespace tw {

inline ::testing::AssertionResult sameWithFlags(const std::vector<TapeNote> &got,
                                                const std::vector<TapeNote> &want) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "size " << got.size() << " != " << want.size();
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i] || got[i].selected != want[i].selected)
            return ::testing::AssertionFailure() << "notes differ at " << i;
    }
    return ::testing::AssertionSuccess();
}

} // namespace tw

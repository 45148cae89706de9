// SPDX-License-Identifier: Apache-2.0
// ASSERT_TRUE(succeeded(call())): passes when a service call succeeded, and otherwise fails
// with the reason the call gave.
#pragma once

#include "engine/Result.h"

#include <gtest/gtest.h>

namespace palmcue::test {

template <typename T, typename Kind>
::testing::AssertionResult succeeded(const Result<T, Kind>& result) {
    if (result)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << result.error();
}

} // namespace palmcue::test

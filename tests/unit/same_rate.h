// Comparing rates in the rate-language tests.
#pragma once
#include <gtest/gtest.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

inline uint64_t bits_of(double d)
{
    uint64_t u;
    memcpy(&u, &d, sizeof u);
    return u;
}

// Equal as values, with infinities, not-a-number and the sign of zero told
// apart; finite values within four ulps.
inline ::testing::AssertionResult same_rate(double expected, double actual)
{
    if ((isnan(expected) && isnan(actual)) || bits_of(expected) == bits_of(actual))
        return ::testing::AssertionSuccess();
    if (isfinite(expected) && expected != 0.0 &&
        ::testing::internal::FloatingPoint<double>(expected).AlmostEquals(
            ::testing::internal::FloatingPoint<double>(actual)))
        return ::testing::AssertionSuccess();
    char text[80];
    snprintf(text, sizeof text, "expected %.17g, got %.17g", expected, actual);
    return ::testing::AssertionFailure() << text;
}

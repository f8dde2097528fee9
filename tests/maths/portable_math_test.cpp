// The platform-independent sine, cosine and power of two: close to the C library's values, right
// at the edges, and bit for bit the values recorded in portable_math_digest.txt, which the web
// build's browser test checks its .wasm against as well.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "maths/portable_math.h"

namespace {

int64_t ulpsApart(double a, double b) {
    int64_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x > y ? x - y : y - x;
}

// The arguments' shapes: effects' degrees in radians over many turns, single-precision clocks,
// the player's pitch exponents.
TEST(PortableMath, StaysWithinTwoUnitsOfTheCLibrary) {
    struct Range {
        const char* name;
        double      first, last, step;
    };
    const Range ranges[] = {
        {"small", -1, 1, 1.0 / 4096},
        {"one turn", -7, 7, 0.00137},
        {"hundreds of turns", -3000, 3000, 0.0731},
        {"long runs", 1e5, 1.6e6, 97.3},
    };
    for (const Range& r : ranges) {
        int64_t worst = 0;
        for (double x = r.first; x <= r.last; x += r.step) {
            worst = std::max({worst, ulpsApart(portableSin(x), std::sin(x)), ulpsApart(portableCos(x), std::cos(x))});
            if (std::fabs(x) < 1100) worst = std::max(worst, ulpsApart(portableExp2(x), std::pow(2.0, x)));
        }
        EXPECT_LE(worst, 2) << r.name;
    }
}

TEST(PortableMath, EdgeCases) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(portableSin(0.0), 0.0);
    EXPECT_TRUE(std::signbit(portableSin(-0.0)));
    EXPECT_EQ(portableCos(0.0), 1.0);
    EXPECT_EQ(portableSin(1e-300), 1e-300);
    for (double x : {inf, -inf, nan}) {
        EXPECT_TRUE(std::isnan(portableSin(x))) << x;
        EXPECT_TRUE(std::isnan(portableCos(x))) << x;
    }
    // Beyond 2^20·π/2 the argument is reduced modulo 2π first: still a sine, still bounded.
    EXPECT_NEAR(portableSin(1e9), std::sin(1e9), 1e-6);
    EXPECT_NEAR(portableCos(1e15), std::cos(1e15), 1.0);  // a double holds no more than that
    // Whole powers of two are exact, the ends saturate.
    for (int k = -1074; k < 1024; k += 7) EXPECT_EQ(portableExp2(k), std::ldexp(1.0, k)) << k;
    EXPECT_EQ(portableExp2(1024), inf);
    EXPECT_EQ(portableExp2(-1100), 0.0);
    EXPECT_TRUE(std::isnan(portableExp2(nan)));
}

TEST(PortableMath, GivesTheRecordedBits) {
    std::ifstream in(std::string(SKR_SOURCE_DIR) + "/tests/data/portable_math_digest.txt");
    std::string recorded;
    ASSERT_TRUE(in >> recorded);
    char actual[17];
    std::snprintf(actual, sizeof actual, "%016llx", static_cast<unsigned long long>(portableMathDigest()));
    EXPECT_EQ(actual, recorded);
}

}  // namespace

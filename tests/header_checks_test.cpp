#include <gtest/gtest.h>

#include <limits>

#include "image/header_checks.h"

namespace {

struct ResolutionCase {
    const char* what;
    int columns, rows;
    double minX, minY, maxX, maxY;
    bool equal;
};

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

const ResolutionCase resolutionCases[] = {
    {"one metre cells", 512, 480, 0, 0, 512, 480, true},
    {"one row too many metres", 512, 480, 0, 0, 512, 481, false},
    {"differs in the last bit only", 3, 3, 0, 0, 0.3, 0.30000000000000004, false},
    {"same ratio, other extents", 10, 20, 100, -50, 130, 10, true},
    {"a not-a-number resolution passes", 1, 1, nan, 0, 0, 1, true},
};

TEST(Resolution, ComparedExactly) {
    for (const auto& check : resolutionCases) {
        ImageHeader header;
        header.columns = check.columns;
        header.rows = check.rows;
        header.minX = check.minX;
        header.minY = check.minY;
        header.maxX = check.maxX;
        header.maxY = check.maxY;
        EXPECT_EQ(HasEqualResolution(header), check.equal) << check.what;
    }
}

}  // namespace

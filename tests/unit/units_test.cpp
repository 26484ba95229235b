// Lengths between ICAP_UNITS units and 1/300 inch, and TW_FIX32 reals: the
// conversions the layout triplet applies to every frame, with the rules
// applications have come to rely on (whole inches on the way in, small
// pixel values taken as inches, whole units read through six decimals).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "capabilities/capability_table.h"
#include "imaging/units.h"

namespace {

class UnitsTest : public ::testing::Test {
protected:
    void SetUp() override { capabilityTable.Build(); }
    void TearDown() override { capabilityTable.Clear(); }
    void Use(TW_UINT16 unit) { capabilityTable.Find(ICAP_UNITS).current = static_cast<TW_INT16>(unit); }
};

struct ToUnitsCase {
    TW_UINT16 unit;
    std::int32_t internal;
    float expected;
};

TEST_F(UnitsTest, InternalToUnitsConvertsByCurrentUnit) {
    const ToUnitsCase cases[] = {
        {TWUN_INCHES, 2550, 8.5f},      {TWUN_INCHES, 3300, 11.0f},  {TWUN_CENTIMETERS, 300, 2.54f},
        {TWUN_PICAS, 2550, 51.0f},      {TWUN_POINTS, 2550, 612.0f}, {TWUN_TWIPS, 1234, 1234.0f},
        {TWUN_PIXELS, 2550, 2550.0f},   {TWUN_PIXELS, -7, -7.0f},    {99, 42, 42.0f},
        {TWUN_INCHES, -300, -1.0f},
    };
    for (const ToUnitsCase& c : cases) {
        Use(c.unit);
        EXPECT_NEAR(InternalToUnits(c.internal), c.expected, 1e-4)
            << "unit " << c.unit << ", " << c.internal << "/300 inch";
    }
}

struct ToInternalCase {
    TW_UINT16 unit;
    float value;
    std::int32_t expected;
};

TEST_F(UnitsTest, UnitsToInternalTruncatesByCurrentUnit) {
    const ToInternalCase cases[] = {
        // Inches keep their fraction.
        {TWUN_INCHES, 8.5f, 2550},
        {TWUN_INCHES, 1.5f, 450},
        {TWUN_INCHES, -1.5f, -450},
        // Truncation toward zero, but a hair short of a whole count is that count.
        {TWUN_CENTIMETERS, 1.0413971f, 123},
        {TWUN_TWIPS, 456.995f, 457},
        {TWUN_TWIPS, -456.995f, -457},
        {TWUN_TWIPS, 456.98f, 456},
        {TWUN_CENTIMETERS, 8.0f, 944},
        {TWUN_CENTIMETERS, 11.0f, 1299},
        {TWUN_PICAS, 51.0f, 2550},
        {TWUN_POINTS, 612.0f, 2550},
        {TWUN_TWIPS, 13.9f, 13},
        // Pixels of 12 or less, zero and negatives included, are inches.
        {TWUN_PIXELS, 12.0f, 3600},
        {TWUN_PIXELS, 12.9f, 3600},
        {TWUN_PIXELS, 13.0f, 13},
        {TWUN_PIXELS, 0.0f, 0},
        {TWUN_PIXELS, -1.0f, -300},
        {TWUN_PIXELS, 2550.0f, 2550},
        {99, 77.7f, 77},
    };
    for (const ToInternalCase& c : cases) {
        Use(c.unit);
        EXPECT_EQ(UnitsToInternal(c.value), c.expected) << "unit " << c.unit << ", value " << c.value;
    }
}

TEST_F(UnitsTest, OutOfRangeValuesSaturateInsteadOfOverflowing) {
    const float huge = 1e20f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (TW_UINT16 unit : {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS, TWUN_TWIPS, TWUN_PIXELS}) {
        Use(unit);
        EXPECT_EQ(UnitsToInternal(huge), INT32_MAX) << "unit " << unit;
        EXPECT_EQ(UnitsToInternal(-huge), INT32_MIN) << "unit " << unit;
        EXPECT_EQ(UnitsToInternal(nan), 0) << "unit " << unit;
    }
}

TEST_F(UnitsTest, WithoutUnitsRecordEverythingIsZero) {
    capabilityTable.Clear();
    EXPECT_EQ(InternalToUnits(2550), 0.0f);
    EXPECT_EQ(UnitsToInternal(8.5f), 0);
}

struct Fix32Case {
    float value;
    TW_INT16 whole;
    TW_UINT16 frac;
};

TEST(Fix32Test, ToFix32RoundsToSixDecimalsThenTruncates) {
    const Fix32Case cases[] = {
        {0.0f, 0, 0},
        {8.5f, 8, 32768},
        {2550.0f, 2550, 0},
        {0.25f, 0, 16384},
        {1.0f / 3.0f, 0, 21845},
        // Six decimals first: just below 8 reads as 8.
        {7.9999999f, 8, 0},
        {7.9999f, 7, 65529},
        // Toward zero, and a negative value carries no fraction.
        {-0.5f, 0, 0},
        {-2.25f, -2, 0},
        {-3.0f, -3, 0},
        // Only the low 16 bits of the whole part survive.
        {70000.0f, static_cast<TW_INT16>(70000 & 0xFFFF), 0},
        {std::numeric_limits<float>::infinity(), 0, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0, 0},
        {std::numeric_limits<float>::max(), 0, 0},
    };
    for (const Fix32Case& c : cases) {
        const TW_FIX32 fix = ToFix32(c.value);
        EXPECT_EQ(fix.Whole, c.whole) << "ToFix32(" << c.value << ")";
        EXPECT_EQ(fix.Frac, c.frac) << "ToFix32(" << c.value << ")";
    }
}

TEST(Fix32Test, FromFix32AddsTheFraction) {
    EXPECT_EQ(FromFix32(TW_FIX32{8, 32768}), 8.5f);
    EXPECT_EQ(FromFix32(TW_FIX32{-2, 16384}), -1.75f);
    EXPECT_EQ(FromFix32(TW_FIX32{-32768, 0}), -32768.0f);
}

TEST(Fix32Test, NonNegativeValuesSurviveTheRoundTrip) {
    for (float value = 0.0f; value < 40.0f; value += 0.37f) {
        EXPECT_NEAR(FromFix32(ToFix32(value)), value, 1.0 / 65536 + 1e-5) << "round trip of " << value;
    }
}

}  // namespace

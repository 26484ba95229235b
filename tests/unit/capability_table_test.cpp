// The table of the capabilities: its order, what Build puts in each slot,
// Find's fallback, and that a close and reopen starts from scratch. Also
// consistency checks on the static rows, where a typo would go unnoticed.
#include "capabilities/capability_table.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class CapabilityTableTest : public ::testing::Test {
protected:
    void SetUp() override { capabilityTable.Build(); }
    void TearDown() override { capabilityTable.Clear(); }
};

TEST_F(CapabilityTableTest, BuildKeepsTheRowOrder) {
    ASSERT_TRUE(capabilityTable.IsBuilt());
    ASSERT_EQ(capabilityTable.Size(), kCapabilityCount);
    EXPECT_EQ(capabilityTable.Slot(0).id, CAP_XFERCOUNT) << "slot 0, read by DAT_PENDINGXFERS";
    EXPECT_EQ(capabilityTable.Slot(kCapabilityCount - 1).id, ICAP_PHYSICALWIDTH) << "last slot, Find's fallback";
    for (std::size_t i = 0; i < kCapabilityCount; ++i) {
        EXPECT_EQ(capabilityTable.Slot(i).id, CapabilityInitTable[i].id) << "slot " << i;
        EXPECT_EQ(capabilityTable.Slot(i).allowedMask, CapabilityInitTable[i].supportedMask) << "slot " << i;
    }
}

TEST_F(CapabilityTableTest, FindFallsBackToTheLastSlot) {
    EXPECT_EQ(&capabilityTable.Find(ICAP_COMPRESSION), &capabilityTable.Slot(17)) << "Find ICAP_COMPRESSION";
    EXPECT_EQ(capabilityTable.Find(0x1234).id, ICAP_PHYSICALWIDTH) << "Find 0x1234";
    EXPECT_EQ(capabilityTable.Find(CAP_SUPPORTEDCAPS).id, ICAP_PHYSICALWIDTH) << "Find CAP_SUPPORTEDCAPS";
    EXPECT_EQ(capabilityTable.Lookup(0x1234), nullptr) << "Lookup 0x1234";
    EXPECT_EQ(capabilityTable.Lookup(ICAP_PHYSICALWIDTH), &capabilityTable.Slot(kCapabilityCount - 1));
}

TEST_F(CapabilityTableTest, ClearLeavesNoRecordThatLooksReal) {
    capabilityTable.Clear();
    EXPECT_FALSE(capabilityTable.IsBuilt());
    EXPECT_EQ(capabilityTable.Size(), 0u);
    EXPECT_EQ(capabilityTable.Find(ICAP_PIXELTYPE).id, 0) << "a caller comparing ids sees no record";
    EXPECT_EQ(capabilityTable.Lookup(ICAP_PIXELTYPE), nullptr);
}

TEST_F(CapabilityTableTest, ReopeningForgetsTheNegotiation) {
    Capability& units = capabilityTable.Find(ICAP_UNITS);
    units.current = TWUN_INCHES;
    units.allowedMask = 1;
    capabilityTable.Find(ICAP_XRESOLUTION).maximum = 600;
    capabilityTable.Clear();
    capabilityTable.Build();
    EXPECT_EQ(capabilityTable.Find(ICAP_UNITS).current, TWUN_PIXELS);
    EXPECT_EQ(capabilityTable.Find(ICAP_UNITS).allowedMask, 0x3Fu);
    EXPECT_EQ(capabilityTable.Find(ICAP_XRESOLUTION).maximum, 2400);
}

TEST(CapabilityInitTableTest, RowsAreConsistent) {
    for (const CapabilityInit& row : CapabilityInitTable) {
        EXPECT_LE(row.minimum, row.current) << "cap " << row.id;
        EXPECT_LE(row.current, row.maximum) << "cap " << row.id;
        if (row.container == TWON_ENUMERATION) {
            EXPECT_TRUE(row.supportedMask >> row.current & 1) << "current supported, cap " << row.id;
            EXPECT_TRUE(row.supportedMask >> row.defaultValue & 1) << "default supported, cap " << row.id;
        }
        // What MSG_QUERYSUPPORT reports: the GETs always, SET and RESET together.
        EXPECT_TRUE(row.operations == kReadOnly || row.operations == kNegotiable) << "cap " << row.id;
        EXPECT_EQ(std::count_if(std::begin(CapabilityInitTable), std::end(CapabilityInitTable),
                                [&](const CapabilityInit& other) { return other.id == row.id; }),
                  1)
            << "cap " << row.id << " once";
    }
}

}  // namespace

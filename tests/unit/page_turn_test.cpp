// The page's turn as the application negotiates it: ICAP_ROTATION takes
// quarter turns only, ICAP_ORIENTATION adds its quarters, and the sum is the
// turn the scan session is handed.
#include "capabilities/page_turn.h"
#include "source_fixture.h"

using namespace source_test;

namespace {

class PageTurnTest : public SourceTest {};

// A TW_FIX32 one value of whole degrees.
TW_INT32 Degrees(int whole) { return static_cast<TW_INT32>(static_cast<TW_UINT16>(whole)); }

TEST_F(PageTurnTest, RotationTakesQuarterTurnsAndOrientationAddsItsOwn) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(QuarterTurns(capabilityTable), 0) << "after opening";
    struct Case {
        TW_UINT16 itemType;
        int rotation;
        TW_UINT16 orientation;
        TW_UINT16 rc;
        int turns;  // after the two MSG_SETs
    };
    const Case cases[] = {
        {TWTY_FIX32, 90, TWOR_PORTRAIT, TWRC_SUCCESS, 1},
        {TWTY_FIX32, 180, TWOR_ROT0, TWRC_SUCCESS, 2},
        {TWTY_UINT16, 270, TWOR_ROT0, TWRC_SUCCESS, 3},
        {TWTY_FIX32, 90, TWOR_LANDSCAPE, TWRC_SUCCESS, 0},
        {TWTY_FIX32, 180, TWOR_ROT90, TWRC_SUCCESS, 3},
        {TWTY_FIX32, 0, TWOR_ROT180, TWRC_SUCCESS, 2},
        // Refused: the turn stays what the case before left.
        {TWTY_FIX32, 45, TWOR_ROT180, TWRC_FAILURE, 2},
        {TWTY_FIX32, 360, TWOR_ROT180, TWRC_FAILURE, 2},
        {TWTY_INT16, -90, TWOR_ROT180, TWRC_FAILURE, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rotation " << c.rotation << " orientation " << c.orientation);
        EXPECT_EQ(SetOneValue(ICAP_ORIENTATION, TWTY_UINT16, c.orientation), TWRC_SUCCESS) << "MSG_SET ICAP_ORIENTATION";
        const TW_UINT16 rc = SetOneValue(ICAP_ROTATION, c.itemType, Degrees(c.rotation));
        EXPECT_EQ(rc, c.rc) << "MSG_SET ICAP_ROTATION";
        if (rc == TWRC_FAILURE) {
            EXPECT_EQ(Status(), TWCC_BADVALUE) << "MSG_SET ICAP_ROTATION";
        }
        EXPECT_EQ(QuarterTurns(capabilityTable), c.turns);
    }
    EXPECT_EQ(SetOneValue(ICAP_ORIENTATION, TWTY_UINT16, 4), TWRC_FAILURE) << "TWOR_AUTO is not offered";

    // What the dialog sets comes back from MSG_GETCURRENT in degrees, the
    // orientation counted in.
    ASSERT_EQ(SetOneValue(ICAP_ORIENTATION, TWTY_UINT16, TWOR_ROT90), TWRC_SUCCESS);
    EXPECT_TRUE(SetQuarterTurns(capabilityTable, 3));
    EXPECT_EQ(GetCurrent(ICAP_ROTATION), 180);
    EXPECT_EQ(QuarterTurns(capabilityTable), 3);

    for (TW_UINT16 id : {ICAP_ROTATION, ICAP_ORIENTATION}) {
        TW_CAPABILITY cap{id, 0, nullptr};
        ASSERT_EQ(Control(DAT_CAPABILITY, MSG_RESET, &cap), TWRC_SUCCESS) << "MSG_RESET 0x" << std::hex << id;
        platform::GlobalFreeBlock(cap.hContainer);
    }
    EXPECT_EQ(GetCurrent(ICAP_ROTATION), 0) << "after MSG_RESET";
    EXPECT_EQ(GetCurrent(ICAP_ORIENTATION), TWOR_PORTRAIT) << "after MSG_RESET";
    EXPECT_EQ(QuarterTurns(capabilityTable), 0);
}

}  // namespace

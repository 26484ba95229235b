// The progress window's line above its bar, through DS_Entry: which page
// of how many, where the batch's length is known.
#include "source_fixture.h"

using namespace source_test;

namespace {

class ProgressWindowTest : public SourceTest {};

// "Page n of N" only where the batch's length is known: a count asked of
// the glass; from the feeder, as many as it holds is unknown.
TEST_F(ProgressWindowTest, SaysWhichPageOfHowMany) {
    const struct {
        const char* feeder;
        int count;
        const char* labels[2];
    } cases[] = {
        {nullptr, 2, {"Page 1 of 2", "Page 2 of 2"}},
        {nullptr, -1, {"Page 1", nullptr}},
        {"loaded", 2, {"Page 1", "Page 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.feeder ? c.feeder : "glass") + ", count " + std::to_string(c.count));
        TearDown();
        SetUp();
        if (c.feeder != nullptr) {
            Simulate("VOREL_SIM_FEEDER", c.feeder);
            Simulate("VOREL_SIM_SHEETS", "3");
        }
        ASSERT_EQ(Open(), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, c.count), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 30), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 30), TWRC_SUCCESS);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        for (const char* label : c.labels) {
            if (label == nullptr) break;
            ASSERT_EQ(sourceState, 600);
            TW_HANDLE slot = nullptr;
            ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot), TWRC_XFERDONE);
            platform::GlobalFreeBlock(slot);
            EXPECT_STREQ(headlessProgressLog.pageLabel, label);
            ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
        }
    }
}

}  // namespace

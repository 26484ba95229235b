// DAT_EXTIMAGEINFO through DS_Entry: every item the source tells for each
// sheet of a batch, items it does not know, the frame's block, and the
// refusals (state, message, the application's structure, memory).
#include <vector>

#include "imaging/units.h"
#include "protocol/extended_image_info.h"
#include "source_fixture.h"

using namespace source_test;

namespace {

// A TW_EXTIMAGEINFO of `ids.size()` items, its Items filled with a sentinel.
struct InfoRequest {
    explicit InfoRequest(const std::vector<TW_UINT16>& ids) : bytes(4 + ids.size() * sizeof(TW_INFO), 0) {
        const auto count = static_cast<TW_UINT32>(ids.size());
        std::memcpy(bytes.data(), &count, 4);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            TW_INFO info{ids[i], kSentinel16, kSentinel16, kSentinel16, kSentinel32};
            std::memcpy(bytes.data() + 4 + i * sizeof(TW_INFO), &info, sizeof info);
        }
    }
    TW_INFO At(std::size_t i) const {
        TW_INFO info;
        std::memcpy(&info, bytes.data() + 4 + i * sizeof(TW_INFO), sizeof info);
        return info;
    }
    std::vector<std::uint8_t> bytes;
};

class ExtImageInfoTest : public SourceTest {
protected:
    TW_UINT16 Ask(InfoRequest& request) { return Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, request.bytes.data()); }
    // A grey scan of a 2 x 3 inch frame at (1, 0.5) inch from a feeder of `sheets`.
    void StartFeeder(const char* sheets) {
        Simulate("VOREL_SIM_FEEDER", "loaded");
        Simulate("VOREL_SIM_SHEETS", sheets);
        ASSERT_EQ(Open(), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
        TW_IMAGELAYOUT layout{{ToFix32(1), ToFix32(0.5f), ToFix32(3), ToFix32(3.5f)}, 0, 0, 0};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        ASSERT_EQ(sourceState, 600);
    }
    void TransferNative() {
        TW_HANDLE dib = nullptr;
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
        platform::GlobalFreeBlock(dib);
    }
    // The frame in a TWEI_FRAME block, which the application frees.
    static TW_FRAME TakeFrame(TW_UINTPTR item) {
        TW_FRAME frame{};
        auto handle = reinterpret_cast<platform::GlobalHandle>(item);
        EXPECT_EQ(platform::GlobalBlockSize(handle), sizeof(TW_FRAME));
        {
            platform::LockedBlock block(handle);
            if (block) std::memcpy(&frame, block.get(), sizeof frame);
        }
        platform::GlobalFreeBlock(handle);
        return frame;
    }
};

// Each sheet of a batch tells its own page number; an item asked twice is
// answered twice, one the source does not know is marked so and the rest
// still answered.
TEST_F(ExtImageInfoTest, TellsEveryItemOfEachSheet) {
    StartFeeder("2");
    if (HasFatalFailure()) return;
    for (TW_UINT32 sheet = 1; sheet <= 2; ++sheet) {
        SCOPED_TRACE(sheet);
        TransferNative();
        InfoRequest request({TWEI_DOCUMENTNUMBER, TWEI_PAGENUMBER, 0x1200 /* a bar code */, TWEI_FRAMENUMBER,
                             TWEI_FRAME, TWEI_PIXELFLAVOR, TWEI_PAGESIDE, kInfoBlankSheetsBefore, TWEI_PAGENUMBER,
                             0xFFFF});
        ASSERT_EQ(Ask(request), TWRC_SUCCESS);
        struct Expected {
            TW_UINT16 itemType;
            TW_UINTPTR value;
        };
        const Expected expected[] = {{TWTY_UINT32, 1}, {TWTY_UINT32, sheet}, {0, 0},
                                     {TWTY_UINT32, 1}, {TWTY_FRAME, 0},      {TWTY_UINT16, TWPF_CHOCOLATE},
                                     {TWTY_UINT16, TWCS_TOP}, {TWTY_UINT32, 0}, {TWTY_UINT32, sheet}, {0, 0}};
        for (std::size_t i = 0; i < std::size(expected); ++i) {
            const TW_INFO info = request.At(i);
            const bool known = expected[i].itemType != 0;
            EXPECT_EQ(info.ReturnCode, known ? TWRC_SUCCESS : TWRC_INFONOTSUPPORTED) << "item " << i;
            EXPECT_EQ(info.ItemType, expected[i].itemType) << "item " << i;
            EXPECT_EQ(info.NumItems, known ? 1 : 0) << "item " << i;
            if (expected[i].itemType == TWTY_FRAME) {
                const TW_FRAME frame = TakeFrame(info.Item);
                EXPECT_EQ(FromFix32(frame.Left), 1.0f);
                EXPECT_EQ(FromFix32(frame.Top), 0.5f);
                EXPECT_EQ(FromFix32(frame.Right), 3.0f);
                EXPECT_EQ(FromFix32(frame.Bottom), 3.5f);
            } else {
                EXPECT_EQ(info.Item, expected[i].value) << "item " << i;
            }
        }
        TW_IMAGELAYOUT layout{};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
        EXPECT_EQ(layout.PageNumber, sheet) << "DAT_IMAGELAYOUT agrees";
        TW_UINT16 count = 0;
        ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
    }
}

// Vanilla grey data are inverted by the scanner: the flavour says so.
TEST_F(ExtImageInfoTest, FlavourIsThatOfTheData) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_VANILLA), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    InfoRequest request({TWEI_PIXELFLAVOR, TWEI_PAGENUMBER});
    ASSERT_EQ(Ask(request), TWRC_SUCCESS);
    EXPECT_EQ(request.At(0).Item, TWPF_VANILLA);
    EXPECT_EQ(request.At(1).Item, 1u) << "the glass: page 1";
}

TEST_F(ExtImageInfoTest, RefusesWhatItCannotAnswer) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    InfoRequest one({TWEI_PAGENUMBER});
    EXPECT_EQ(Ask(one), TWRC_FAILURE) << "state 4";
    EXPECT_EQ(Status(), TWCC_SEQERROR);
    EXPECT_EQ(GetCurrent(ICAP_EXTIMAGEINFO), 1) << "on after opening";
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);

    EXPECT_EQ(Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_SET, one.bytes.data()), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    // More items than any application can mean: the count is not believed.
    InfoRequest huge({TWEI_PAGENUMBER});
    const TW_UINT32 count = 0x10001;
    std::memcpy(huge.bytes.data(), &count, 4);
    EXPECT_EQ(Ask(huge), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(huge.At(0).ItemType, kSentinel16) << "nothing written";

    // No block for the second frame: the first goes back too.
    InfoRequest frames({TWEI_FRAME, TWEI_PAGENUMBER, TWEI_FRAME});
    platform::FailGlobalAllocationsAfter(1);
    EXPECT_EQ(Ask(frames), TWRC_FAILURE);
    platform::FailGlobalAllocationsAfter(-1);
    EXPECT_EQ(Status(), TWCC_LOWMEMORY);
    EXPECT_EQ(frames.At(0).Item, 0u) << "the first frame's block freed";

    InfoRequest none({});
    EXPECT_EQ(Ask(none), TWRC_SUCCESS) << "nothing asked, nothing answered";
}

TEST_F(ExtImageInfoTest, SwitchedOffByTheApplication) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_EXTIMAGEINFO, TWTY_BOOL, 0), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    InfoRequest one({TWEI_PAGENUMBER});
    EXPECT_EQ(Ask(one), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_SEQERROR);
}

}  // namespace

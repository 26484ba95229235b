// A set-up kept with DAT_CUSTOMDSDATA through the real DLL: taken after the
// application changed image type, resolution and layout, put into the
// source loaded afresh, it gives the very same pixels; a damaged copy is
// refused and leaves the set-up as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "source_harness.h"

namespace {

std::string Take(TW_HANDLE handle, SIZE_T length) {
    std::string bytes(static_cast<const char*>(::GlobalLock(handle)), length);
    ::GlobalUnlock(handle);
    ::GlobalFree(handle);
    return bytes;
}

// The native image of a final scan without the dialog; back in state 400 after.
std::string Scan(SourceHarness& harness) {
    EXPECT_EQ(harness.Enable(false), TWRC_SUCCESS) << "cc " << harness.Status();
    TW_HANDLE dib = nullptr;
    EXPECT_EQ(harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE) << "cc " << harness.Status();
    TW_PENDINGXFERS pending{};
    harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    harness.Disable();
    return Take(dib, ::GlobalSize(dib));
}

TW_UINT16 SetBlock(SourceHarness& harness, const std::string& block) {
    TW_CUSTOMDSDATA data{static_cast<TW_UINT32>(block.size()), ::GlobalAlloc(GHND, block.size())};
    std::memcpy(::GlobalLock(data.hData), block.data(), block.size());
    ::GlobalUnlock(data.hData);
    const TW_UINT16 rc = harness.Call(DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET, &data);
    ::GlobalFree(data.hData);
    return rc;
}

}  // namespace

TEST(CustomDsData, AKeptSetUpScansTheSameInANewSessionAndADamagedOneIsRefused) {
    std::string block, image;
    {
        SourceHarness harness;
        ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 120), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 120), TWRC_SUCCESS);
        TW_IMAGELAYOUT layout{{{1, 0}, {2, 0}, {3, 0x8000}, {5, 0}}, 0, 0, 0};
        ASSERT_EQ(harness.Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
        TW_CUSTOMDSDATA data{0, nullptr};
        ASSERT_EQ(harness.Call(DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET, &data), TWRC_SUCCESS);
        ASSERT_GE(::GlobalSize(data.hData), data.InfoLength);
        block = Take(data.hData, data.InfoLength);
        image = Scan(harness);
        ASSERT_EQ(harness.Close(), TWRC_SUCCESS);
    }
    ASSERT_GT(image.size(), 40u + 256 * 4) << "a grey DIB";

    SourceHarness harness;  // the module loaded again
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    const std::string fresh = Scan(harness);
    std::string damaged = block;
    damaged[damaged.size() / 2] ^= 0x10;
    EXPECT_EQ(SetBlock(harness, damaged), TWRC_FAILURE) << "a damaged block";
    EXPECT_EQ(harness.Status(), TWCC_BADVALUE);
    EXPECT_TRUE(Scan(harness) == fresh) << "the set-up left as it was";

    ASSERT_EQ(SetBlock(harness, block), TWRC_SUCCESS) << "cc " << harness.Status();
    EXPECT_TRUE(Scan(harness) == image) << "the same pixels as the first session's scan";
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
}

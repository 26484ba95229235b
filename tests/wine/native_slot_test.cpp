// The native transfer's handle goes into the application's slot whole and
// nothing beside it is touched: the slot is a TW_HANDLE (8 bytes in a
// 64-bit process) between guard bytes, and every byte around it keeps its
// value. Run in both trees.
#include <gtest/gtest.h>

#include <cstring>

#include "source_harness.h"

namespace {

constexpr unsigned char kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 32;

struct GuardedSlot {
    unsigned char before[kGuardBytes];
    unsigned char slot[sizeof(TW_HANDLE)];
    unsigned char after[kGuardBytes];
};

}  // namespace

TEST(NativeSlot, TheSourceWritesOneWholeHandleAndNoMore) {
    SourceHarness harness;
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
    ASSERT_EQ(harness.SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
    ASSERT_EQ(harness.Enable(false), TWRC_SUCCESS) << "cc " << harness.Status();

    GuardedSlot guarded;
    std::memset(&guarded, kGuard, sizeof guarded);
    ASSERT_EQ(harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, guarded.slot), TWRC_XFERDONE)
        << "cc " << harness.Status();
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        EXPECT_EQ(guarded.before[i], kGuard) << "byte " << i << " before the slot";
        EXPECT_EQ(guarded.after[i], kGuard) << "byte " << i << " after the slot";
    }
    // All of the slot is the handle: had the source written less, the rest
    // would still hold guard bytes and name no block.
    TW_HANDLE dib = nullptr;
    std::memcpy(&dib, guarded.slot, sizeof dib);
    const SIZE_T size = ::GlobalSize(dib);
    EXPECT_GT(size, 40u + 256 * 4 + 425 * 700) << "a 50 dpi grey DIB of the whole bed in a block of its own";
    const auto* header = static_cast<const BITMAPINFOHEADER*>(::GlobalLock(dib));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, 425);
    EXPECT_EQ(header->biBitCount, 8);
    ::GlobalUnlock(dib);
    ::GlobalFree(dib);

    TW_PENDINGXFERS pending{};
    EXPECT_EQ(harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(harness.Disable(), TWRC_SUCCESS);
    EXPECT_EQ(harness.Close(), TWRC_SUCCESS);
}

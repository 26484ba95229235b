// DG_CONTROL / DAT_CAPABILITY through the real DLL: the container blocks as
// a 32-bit application reads them from real global memory, the condition
// codes through DAT_STATUS, hostile containers, and the triplet outside an
// opening.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "source_harness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads a block the source handed over, then frees it as the application must.
Bytes TakeBlock(TW_HANDLE handle, std::size_t expectedSize) {
    Bytes out;
    if (handle == nullptr) return out;
    EXPECT_GE(GlobalSize(handle), expectedSize) << "block size";
    const auto* data = static_cast<const std::uint8_t*>(GlobalLock(handle));
    if (data != nullptr) out.assign(data, data + expectedSize);
    GlobalUnlock(handle);
    GlobalFree(handle);
    return out;
}

HGLOBAL AppBlock(const Bytes& bytes) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes.size());
    void* data = GlobalLock(handle);
    std::memcpy(data, bytes.data(), bytes.size());
    GlobalUnlock(handle);
    return handle;
}

class CapabilityWine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(harness.Loaded());
        ASSERT_EQ(harness.Open(), TWRC_SUCCESS) << "MSG_OPENDS";
    }
    void TearDown() override { harness.Close(); }

    TW_UINT16 Call(TW_UINT16 msg, TW_CAPABILITY* cap) { return harness.Call(DG_CONTROL, DAT_CAPABILITY, msg, cap); }

    SourceHarness harness;
};

TEST_F(CapabilityWine, AnswersAreExactBlocks) {
    static_assert(sizeof(TW_CAPABILITY) == 4 + sizeof(TW_HANDLE), "two words and the handle, packed");
    struct Case {
        const char* name;
        TW_UINT16 id, msg, conType;
        Bytes bytes;
    };
    const Case cases[] = {
        {"MSG_GET ICAP_PIXELTYPE", ICAP_PIXELTYPE, MSG_GET, TWON_ENUMERATION,
         {4, 0, 3, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0, 2, 0, 0, 0}},
        {"MSG_GET ICAP_YRESOLUTION", ICAP_YRESOLUTION, MSG_GET, TWON_RANGE,
         {7, 0, 12, 0, 0, 0, 0x60, 0x09, 0, 0, 1, 0, 0, 0, 150, 0, 0, 0, 150, 0, 0, 0}},
        {"MSG_GETCURRENT CAP_XFERCOUNT", CAP_XFERCOUNT, MSG_GETCURRENT, TWON_ONEVALUE, {1, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"MSG_GET ICAP_PHYSICALWIDTH", ICAP_PHYSICALWIDTH, MSG_GET, TWON_ONEVALUE, {7, 0, 0xF6, 0x09, 0, 0}},
        {"MSG_GETDEFAULT ICAP_PHYSICALHEIGHT", ICAP_PHYSICALHEIGHT, MSG_GETDEFAULT, TWON_ONEVALUE,
         {7, 0, 0x68, 0x10, 0, 0}},
        {"MSG_QUERYSUPPORT ICAP_PHYSICALWIDTH", ICAP_PHYSICALWIDTH, MSG_QUERYSUPPORT, TWON_ONEVALUE,
         {2, 0, 0x0D, 0, 0, 0}},
        {"MSG_QUERYSUPPORT ICAP_XRESOLUTION", ICAP_XRESOLUTION, MSG_QUERYSUPPORT, TWON_ONEVALUE, {2, 0, 0x1F, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TW_CAPABILITY cap{c.id, 0, nullptr};
        ASSERT_EQ(Call(c.msg, &cap), TWRC_SUCCESS) << c.name;
        EXPECT_EQ(cap.ConType, c.conType) << c.name;
        EXPECT_EQ(TakeBlock(cap.hContainer, c.bytes.size()), c.bytes) << c.name;
    }
}

TEST_F(CapabilityWine, NegotiationAndRefusals) {
    // A range narrows ICAP_XRESOLUTION; a one value outside it is refused.
    HGLOBAL range = AppBlock({4, 0, 100, 0, 0, 0, 0x58, 0x02, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x2C, 0x01, 0, 0});
    TW_CAPABILITY cap{ICAP_XRESOLUTION, TWON_RANGE, range};
    EXPECT_EQ(Call(MSG_SET, &cap), TWRC_SUCCESS) << "MSG_SET ICAP_XRESOLUTION range";
    GlobalFree(range);
    HGLOBAL tooHigh = AppBlock({4, 0, 0xBC, 0x02, 0, 0});
    cap = TW_CAPABILITY{ICAP_XRESOLUTION, TWON_ONEVALUE, tooHigh};
    EXPECT_EQ(Call(MSG_SET, &cap), TWRC_FAILURE) << "MSG_SET ICAP_XRESOLUTION 700";
    EXPECT_EQ(harness.Status(), TWCC_BADVALUE);
    GlobalFree(tooHigh);

    // An enumeration claiming far more items than its block holds.
    HGLOBAL liar = AppBlock({4, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0});
    cap = TW_CAPABILITY{ICAP_PIXELTYPE, TWON_ENUMERATION, liar};
    EXPECT_EQ(Call(MSG_SET, &cap), TWRC_FAILURE) << "MSG_SET NumItems 0x7FFFFFFF";
    EXPECT_EQ(harness.Status(), TWCC_BADVALUE);
    GlobalFree(liar);

    cap = TW_CAPABILITY{ICAP_PIXELTYPE, TWON_ONEVALUE, nullptr};
    EXPECT_EQ(Call(MSG_SET, &cap), TWRC_FAILURE) << "MSG_SET null hContainer";
    EXPECT_EQ(harness.Status(), TWCC_LOWMEMORY);
    EXPECT_EQ(Call(MSG_GET, nullptr), TWRC_FAILURE) << "MSG_GET null TW_CAPABILITY";
    EXPECT_EQ(harness.Status(), TWCC_BADVALUE);
    cap = TW_CAPABILITY{0x1234, 0, nullptr};
    EXPECT_EQ(Call(MSG_GET, &cap), TWRC_FAILURE) << "MSG_GET 0x1234";
    EXPECT_EQ(harness.Status(), TWCC_BADCAP);

    TW_CAPABILITY current{ICAP_XRESOLUTION, 0, nullptr};
    ASSERT_EQ(Call(MSG_GETCURRENT, &current), TWRC_SUCCESS);
    EXPECT_EQ(TakeBlock(current.hContainer, 6), (Bytes{7, 0, 0x2C, 0x01, 0, 0})) << "current 300 from the range";
}

TEST_F(CapabilityWine, OutsideAnOpeningIsOutOfSequence) {
    ASSERT_EQ(harness.Close(), TWRC_SUCCESS) << "MSG_CLOSEDS";
    TW_CAPABILITY cap{ICAP_PIXELTYPE, 0, nullptr};
    EXPECT_EQ(Call(MSG_GET, &cap), TWRC_FAILURE) << "MSG_GET in state 300";
    EXPECT_EQ(harness.Status(), TWCC_SEQERROR);
    EXPECT_EQ(cap.hContainer, nullptr);
    // A new opening starts from the initial values.
    ASSERT_EQ(harness.Open(), TWRC_SUCCESS) << "MSG_OPENDS again";
    ASSERT_EQ(Call(MSG_GETCURRENT, &cap), TWRC_SUCCESS);
    EXPECT_EQ(TakeBlock(cap.hContainer, 6), (Bytes{4, 0, 2, 0, 0, 0})) << "ICAP_PIXELTYPE after reopening";
}

}  // namespace

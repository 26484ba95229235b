// DAT_CUSTOMDSDATA through DS_Entry: a set-up taken from one session and
// put into a freshly opened source gives the same capabilities and layout
// (the Wine test compares the images); a damaged block is refused whole and
// changes nothing.
#include <functional>

#include "capability_test_blocks.h"
#include "imaging/units.h"
#include "protocol/setup_block.h"
#include "source_fixture.h"

using namespace capability_test;
using namespace source_test;

namespace {

class CustomDsDataTest : public SourceTest {
protected:
    Bytes GetBlock() {
        TW_CUSTOMDSDATA data{kSentinel32, nullptr};
        EXPECT_EQ(Control(DAT_CUSTOMDSDATA, MSG_GET, &data), TWRC_SUCCESS) << "MSG_GET DAT_CUSTOMDSDATA";
        Bytes bytes = TakeBlock(data.hData);
        EXPECT_EQ(data.InfoLength, bytes.size()) << "InfoLength";
        return bytes;
    }
    // MSG_SET of a handle holding `bytes`, said to be `infoLength` long.
    TW_UINT16 SetBlock(const Bytes& bytes, std::size_t infoLength) {
        TW_CUSTOMDSDATA data{static_cast<TW_UINT32>(infoLength), AppBlock(bytes)};
        const TW_UINT16 rc = Control(DAT_CUSTOMDSDATA, MSG_SET, &data);
        platform::GlobalFreeBlock(data.hData);
        return rc;
    }
    // The set-up as the application reads it (MSG_GET of every capability and
    // the layout), and the image type and region lock the dialog keeps.
    Bytes SetUpNow() {
        Bytes all;
        for (const CapabilityInit& init : CapabilityInitTable) {
            TW_CAPABILITY cap{init.id, 0, nullptr};
            Control(DAT_CAPABILITY, MSG_GET, &cap);
            const Bytes one = TakeBlock(cap.hContainer);
            all.insert(all.end(), one.begin(), one.end());
        }
        TW_IMAGELAYOUT layout{};
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
        all.insert(all.end(), reinterpret_cast<std::uint8_t*>(&layout), reinterpret_cast<std::uint8_t*>(&layout + 1));
        all.push_back(static_cast<std::uint8_t>(Dialog().GetImageTypeIndex() * 2 + Dialog().IsScanRegionLocked()));
        return all;
    }
    void SetContainer(TW_UINT16 id, TW_UINT16 conType, const Bytes& container) {
        TW_CAPABILITY cap{id, conType, AppBlock(container)};
        EXPECT_EQ(Control(DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS) << "MSG_SET cap " << id;
        platform::GlobalFreeBlock(cap.hContainer);
    }
};

TEST_F(CustomDsDataTest, AFreshSourceTakesTheWholeSetUp) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    EXPECT_EQ(GetCurrent(CAP_CUSTOMDSDATA), 1) << "CAP_CUSTOMDSDATA";
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_VANILLA), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS), TWRC_SUCCESS);
    // A narrowed range and a narrowed enumeration, which a one value alone cannot restore.
    SetContainer(ICAP_XRESOLUTION, TWON_RANGE, Range(TWTY_FIX32, 100, 300, 20, 150, 120));
    SetContainer(ICAP_XFERMECH, TWON_ENUMERATION, EnumerationHead(TWTY_UINT16, 2, 0).u16(0).u16(TWSX_MEMORY).bytes);
    // Numbers held in hundredths and negative ones, with the shadow kept
    // above the highlight the fresh source has.
    SetContainer(ICAP_GAMMA, TWON_RANGE, Range(TWTY_FIX32, 0x8000u << 16, 4, 6554u << 16, 0, 52429u << 16 | 1));
    ASSERT_EQ(SetOneValue(ICAP_XSCALING, TWTY_FIX32, 0x4000u << 16 | 1), TWRC_SUCCESS);  // 1.25
    ASSERT_EQ(SetOneValue(ICAP_BRIGHTNESS, TWTY_INT16, -300), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_HIGHLIGHT, TWTY_UINT16, 20), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_SHADOW, TWTY_UINT16, 40), TWRC_SUCCESS);
    TW_IMAGELAYOUT layout{{ToFix32(1), ToFix32(2), ToFix32(3.5f), ToFix32(4)}, 0, 0, 0};
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);

    const Bytes block = GetBlock();
    const Bytes setup = SetUpNow();
    ASSERT_EQ(Close(), TWRC_SUCCESS);

    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_NE(SetUpNow(), setup) << "a fresh source starts from its defaults";
    ASSERT_EQ(SetBlock(block, block.size()), TWRC_SUCCESS) << "cc " << Status();
    EXPECT_EQ(SetUpNow(), setup) << "every capability, the layout, the image type and region";
    EXPECT_EQ(GetBlock(), block) << "the same block again";
}

TEST_F(CustomDsDataTest, ADamagedBlockIsRefusedWholeAndChangesNothing) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    const Bytes good = GetBlock();
    // The source moves on, so that a block applied even in part would show.
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
    const Bytes before = SetUpNow();

    // The payload of the block's entry `tag`, and the checksum made right again.
    const auto payload = [](Bytes& b, TW_UINT16 tag) {
        std::size_t at = 12;
        while (at + 4 <= b.size() && (b[at] | b[at + 1] << 8) != tag) at += 4 + (b[at + 2] | b[at + 3] << 8);
        return at + 4;
    };
    const auto reseal = [](Bytes& b) {
        const TW_UINT32 crc = setup_block::Crc32(b.data(), b.size() - 4);
        for (int i = 0; i < 4; ++i) b[b.size() - 4 + i] = static_cast<std::uint8_t>(crc >> 8 * i);
    };
    // The region's four edges written into the block, resealed.
    const auto region = [&](Bytes& b, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
        const std::size_t at = payload(b, setup_block::kRegionTag);
        const std::int32_t edges[4] = {left, top, right, bottom};
        for (int e = 0; e < 4; ++e) {
            for (int i = 0; i < 4; ++i) b[at + 4 * e + i] = static_cast<std::uint8_t>(std::uint32_t(edges[e]) >> 8 * i);
        }
        reseal(b);
    };
    const struct {
        const char* name;
        std::function<void(Bytes&)> damage;
        int longer;  // InfoLength beyond the bytes the handle holds
    } cases[] = {
        {"short InfoLength", [](Bytes&) {}, -1},
        {"InfoLength beyond the handle", [](Bytes&) {}, 8},
        {"wrong magic", [](Bytes& b) { b[0] ^= 1; }, 0},
        {"newer version", [&](Bytes& b) { b[4] = 2; reseal(b); }, 0},
        {"bad checksum", [](Bytes& b) { b[b.size() - 5] ^= 0x40; }, 0},
        // A late entry, after others were put back: those are undone.
        {"page size unknown", [&](Bytes& b) { b[payload(b, ICAP_SUPPORTEDSIZES)] = 6; reseal(b); }, 0},
        {"region beyond any frame", [&](Bytes& b) { b[payload(b, setup_block::kRegionTag) + 11] = 0x7F; reseal(b); }, 0},
        // Edges the scanner's window would take for others: off the bed.
        {"region right of the bed", [&](Bytes& b) { region(b, 0, 0, 2551, 4200); }, 0},
        {"region left of the bed", [&](Bytes& b) { region(b, -300, 0, 2550, 4200); }, 0},
        {"region inside out", [&](Bytes& b) { region(b, 2000, 0, 1000, 4200); }, 0},
        // Each scaling alone is one the source takes, but it keeps the two
        // equal: the set-up the block names cannot be held whole.
        {"scalings that differ", [&](Bytes& b) { b[payload(b, ICAP_YSCALING)] = 150; reseal(b); }, 0},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        c.damage(bad);
        EXPECT_EQ(SetBlock(bad, bad.size() + c.longer), TWRC_FAILURE) << c.name;
        EXPECT_EQ(Status(), TWCC_BADVALUE) << c.name;
        EXPECT_EQ(SetUpNow(), before) << c.name << ": nothing changed";
    }
    // Memory that runs out at any point of putting the set-up back undoes it too.
    TW_CUSTOMDSDATA held{static_cast<TW_UINT32>(good.size()), AppBlock(good)};
    for (int allowed = 0; allowed < 64; ++allowed) {
        platform::FailGlobalAllocationsAfter(allowed);
        const TW_UINT16 rc = Control(DAT_CUSTOMDSDATA, MSG_SET, &held);
        platform::FailGlobalAllocationsAfter(-1);
        if (rc == TWRC_SUCCESS) break;
        EXPECT_EQ(Status(), TWCC_LOWMEMORY) << "allocation " << allowed;
        ASSERT_EQ(SetUpNow(), before) << "allocation " << allowed << ": nothing changed";
    }
    platform::GlobalFreeBlock(held.hData);
    TW_CUSTOMDSDATA none{static_cast<TW_UINT32>(good.size()), nullptr};
    EXPECT_EQ(Control(DAT_CUSTOMDSDATA, MSG_SET, &none), TWRC_FAILURE) << "null handle";
    EXPECT_EQ(Status(), TWCC_BADVALUE) << "null handle";

    // Only MSG_GET and MSG_SET, only while open and not enabled.
    EXPECT_EQ(Control(DAT_CUSTOMDSDATA, MSG_RESET, &none), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL) << "MSG_RESET";
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(SetBlock(good, good.size()), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_SEQERROR) << "MSG_SET in state 5";
}

}  // namespace

// A block kept by an earlier build lacks the capabilities added since: it is
// still taken, those capabilities go back to their reset values, and every
// capability it holds is as it says.
TEST_F(CustomDsDataTest, ABlockOfAnEarlierBuildTakesResetValuesForWhatItLacks) {
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 8), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 300), TWRC_SUCCESS);
    const Bytes whole = GetBlock();
    setup_block::SetupBlock block;
    ASSERT_TRUE(setup_block::Decode(whole.data(), whole.size(), &block));
    std::size_t kept = 0;
    for (std::size_t i = 0; i < block.capabilityCount; ++i) {
        const TW_UINT16 id = block.capabilities[i].id;
        if (id != ICAP_ROTATION && id != ICAP_ORIENTATION && id != ICAP_JPEGQUALITY) block.capabilities[kept++] = block.capabilities[i];
    }
    ASSERT_EQ(kept + 3, block.capabilityCount);
    block.capabilityCount = kept;
    Bytes earlier(setup_block::EncodedSize(block));
    setup_block::Encode(block, earlier.data());

    ASSERT_EQ(SetOneValue(ICAP_ROTATION, TWTY_FIX32, 90u), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 75), TWRC_SUCCESS);
    ASSERT_EQ(SetBlock(earlier, earlier.size()), TWRC_SUCCESS) << "cc " << Status();
    EXPECT_EQ(GetCurrent(ICAP_ROTATION), 0) << "lacking from the block: reset";
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 300) << "held by the block";
    EXPECT_EQ(GetCurrent(ICAP_PIXELTYPE), TWPT_GRAY);

    // An entry named twice is still no set-up of this source.
    block.capabilities[block.capabilityCount] = block.capabilities[0];
    ++block.capabilityCount;
    Bytes twice(setup_block::EncodedSize(block));
    setup_block::Encode(block, twice.data());
    EXPECT_EQ(SetBlock(twice, twice.size()), TWRC_FAILURE);
}

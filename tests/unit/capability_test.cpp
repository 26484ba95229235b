// Capability records: the containers they answer, byte by byte as an
// application reads them, and the rules by which MSG_SET and MSG_RESET
// change them, including containers built to mislead.
#include "capabilities/capability.h"

#include <gtest/gtest.h>

#include "capability_test_blocks.h"
#include "platform/global_memory.h"

using namespace capability_test;

namespace {

Capability Make(TW_UINT16 id) {
    Capability record;
    for (const CapabilityInit& row : CapabilityInitTable) {
        if (row.id == id) record.Initialize(row);
    }
    return record;
}

Capability MakeOfType(TW_UINT16 itemType, TW_INT16 value) {
    CapabilityInit init{0x8000, TWON_ONEVALUE, itemType, 0, 0, value, value, value, value, 0, 0};
    Capability record;
    record.Initialize(init);
    return record;
}

struct Answer {
    TW_UINT16 code;
    TW_UINT16 conType;
    Bytes bytes;
};

enum class Ask { Get, Current, Default };

Answer Query(Capability& record, Ask ask) {
    TW_CAPABILITY cap{record.id, 0xEEEE, Sentinel()};
    TW_UINT16 code = ask == Ask::Get       ? record.Get(cap)
                     : ask == Ask::Current ? record.GetCurrent(cap)
                                           : record.GetDefault(cap);
    return {code, cap.ConType, TakeBlock(cap.hContainer)};
}

TW_UINT16 SetWith(Capability& record, TW_UINT16 conType, const Bytes& bytes) {
    TW_CAPABILITY cap{record.id, conType, AppBlock(bytes)};
    TW_UINT16 code = record.Set(cap);
    platform::GlobalFreeBlock(cap.hContainer);
    return code;
}

// Every field that a refused MSG_SET must leave alone.
void ExpectSame(const Capability& a, const Capability& b, const char* what) {
    EXPECT_EQ(a.current, b.current) << what;
    EXPECT_EQ(a.minimum, b.minimum) << what;
    EXPECT_EQ(a.maximum, b.maximum) << what;
    EXPECT_EQ(a.step, b.step) << what;
    EXPECT_EQ(a.allowedMask, b.allowedMask) << what;
}

class CapabilityTest : public ::testing::Test {
protected:
    void SetUp() override { blocksBefore = platform::GlobalBlocksOutstanding(); }
    void TearDown() override {
        platform::FailGlobalAllocationsAfter(-1);
        EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksBefore) << "every block freed";
    }
    long blocksBefore = 0;
};

// --- What the application reads ---

struct ContainerCase {
    const char* name;
    TW_UINT16 id;
    Ask ask;
    TW_UINT16 conType;
    Bytes bytes;
};

TEST_F(CapabilityTest, AnswersAreExactBlocks) {
    const ContainerCase cases[] = {
        {"MSG_GET ICAP_PIXELTYPE", ICAP_PIXELTYPE, Ask::Get, TWON_ENUMERATION,
         {4, 0, 3, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0, 2, 0, 0, 0}},
        {"MSG_GET ICAP_BITDEPTH", ICAP_BITDEPTH, Ask::Get, TWON_ENUMERATION,
         {4, 0, 3, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0, 24, 0, 0, 0}},
        {"MSG_GET ICAP_XRESOLUTION", ICAP_XRESOLUTION, Ask::Get, TWON_RANGE,
         {7, 0, 12, 0, 0, 0, 0x60, 0x09, 0, 0, 1, 0, 0, 0, 150, 0, 0, 0, 150, 0, 0, 0}},
        {"MSG_GET CAP_XFERCOUNT", CAP_XFERCOUNT, Ask::Get, TWON_ONEVALUE, {1, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"MSG_GETCURRENT CAP_XFERCOUNT", CAP_XFERCOUNT, Ask::Current, TWON_ONEVALUE, {1, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"MSG_GETCURRENT ICAP_PIXELTYPE", ICAP_PIXELTYPE, Ask::Current, TWON_ONEVALUE, {4, 0, 2, 0, 0, 0}},
        {"MSG_GETDEFAULT ICAP_XRESOLUTION", ICAP_XRESOLUTION, Ask::Default, TWON_ONEVALUE, {7, 0, 150, 0, 0, 0}},
        {"MSG_GET CAP_DEVICEONLINE", CAP_DEVICEONLINE, Ask::Get, TWON_ONEVALUE, {6, 0, 1, 0, 0, 0}},
        // The physical sizes are 1/300-inch counts as Whole, Frac 0, in all three answers.
        {"MSG_GET ICAP_PHYSICALWIDTH", ICAP_PHYSICALWIDTH, Ask::Get, TWON_ONEVALUE, {7, 0, 0xF6, 0x09, 0, 0}},
        {"MSG_GETCURRENT ICAP_PHYSICALWIDTH", ICAP_PHYSICALWIDTH, Ask::Current, TWON_ONEVALUE, {7, 0, 0xF6, 0x09, 0, 0}},
        {"MSG_GETDEFAULT ICAP_PHYSICALHEIGHT", ICAP_PHYSICALHEIGHT, Ask::Default, TWON_ONEVALUE, {7, 0, 0x68, 0x10, 0, 0}},
    };
    for (const ContainerCase& c : cases) {
        Capability record = Make(c.id);
        Answer answer = Query(record, c.ask);
        EXPECT_EQ(answer.code, TWCC_SUCCESS) << c.name;
        EXPECT_EQ(answer.conType, c.conType) << c.name;
        EXPECT_EQ(answer.bytes, c.bytes) << c.name;
    }
}

TEST_F(CapabilityTest, EveryGetAllocatesANewBlock) {
    Capability record = Make(ICAP_UNITS);
    TW_CAPABILITY first{ICAP_UNITS, 0, nullptr};
    TW_CAPABILITY second{ICAP_UNITS, 0, nullptr};
    ASSERT_EQ(record.Get(first), TWCC_SUCCESS) << "MSG_GET ICAP_UNITS";
    ASSERT_EQ(record.Get(second), TWCC_SUCCESS) << "MSG_GET ICAP_UNITS again";
    EXPECT_NE(HandleOf(first), HandleOf(second)) << "two answers, two blocks";
    TakeBlock(first.hContainer);
    TakeBlock(second.hContainer);
}

TEST_F(CapabilityTest, OneValueItemFollowsTheItemType) {
    struct Case {
        TW_UINT16 itemType;
        TW_UINT32 item;
    };
    // The value -2 (0xFFFE) through every item type.
    const Case cases[] = {
        {TWTY_INT8, 0xFFFFFFFE},  {TWTY_INT16, 0xFFFFFFFE}, {TWTY_INT32, 0xFFFFFFFE}, {TWTY_UINT8, 0x000000FE},
        {TWTY_UINT16, 0x0000FFFE}, {TWTY_UINT32, 0xFFFFFFFE}, {TWTY_BOOL, 0x0000FFFE},  {TWTY_FIX32, 0x0000FFFE},
        {TWTY_FRAME, 0},           {TWTY_STR32, 0xFFFFFFFE}, {TWTY_STR255, 0xFFFFFFFE}, {13, 0},
    };
    for (const Case& c : cases) {
        Capability record = MakeOfType(c.itemType, -2);
        Bytes expected = OneValue(c.itemType, c.item);
        EXPECT_EQ(Query(record, Ask::Current).bytes, expected) << "MSG_GETCURRENT, item type " << c.itemType;
        EXPECT_EQ(Query(record, Ask::Default).bytes, expected) << "MSG_GETDEFAULT, item type " << c.itemType;
    }
}

TEST_F(CapabilityTest, EnumerationIndexesAreZeroWhenTheValueIsNotListed) {
    Capability record = Make(ICAP_PIXELTYPE);
    record.allowedMask = 0x6;  // grey and colour
    record.current = 0;
    record.defaultValue = 7;
    EXPECT_EQ(Query(record, Ask::Get).bytes,
              (Bytes{4, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0, 0, 0}))
        << "MSG_GET ICAP_PIXELTYPE, current and default not allowed";
}

TEST_F(CapabilityTest, LowMemoryLeavesNoContainer) {
    for (Ask ask : {Ask::Get, Ask::Current, Ask::Default}) {
        for (TW_UINT16 id : {ICAP_PIXELTYPE, ICAP_XRESOLUTION, CAP_XFERCOUNT}) {
            Capability record = Make(id);
            TW_CAPABILITY cap{id, 0xEEEE, Sentinel()};
            platform::FailGlobalAllocationsAfter(0);
            TW_UINT16 code = ask == Ask::Get       ? record.Get(cap)
                             : ask == Ask::Current ? record.GetCurrent(cap)
                                                   : record.GetDefault(cap);
            platform::FailGlobalAllocationsAfter(-1);
            EXPECT_EQ(code, TWCC_LOWMEMORY) << "cap " << id;
            EXPECT_EQ(HandleOf(cap), nullptr) << "cap " << id;
            EXPECT_EQ(cap.ConType, ask == Ask::Get ? record.container : TWON_ONEVALUE) << "ConType still written, cap " << id;
        }
    }
}

// --- MSG_SET with an enumeration ---

TEST_F(CapabilityTest, EnumerationReplacesTheAllowedSetModulo32) {
    Capability record = Make(ICAP_PIXELTYPE);
    // 33 is value bit 1; CurrentIndex 1 picks the item 33 itself.
    Bytes list = EnumerationHead(TWTY_UINT16, 2, 1).u16(0).u16(33).bytes;
    ASSERT_EQ(SetWith(record, TWON_ENUMERATION, list), TWCC_SUCCESS) << "MSG_SET ICAP_PIXELTYPE {0, 33}";
    EXPECT_EQ(record.allowedMask, 0x3u) << "values 0 and 33 mod 32";
    EXPECT_EQ(record.current, 33) << "current is the item, not reduced";
    // 33 is not among the listed values, so CurrentIndex falls back to 0.
    EXPECT_EQ(Query(record, Ask::Get).bytes, (Bytes{4, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}))
        << "MSG_GET after MSG_SET";
}

TEST_F(CapabilityTest, EnumerationCurrentIndexBeyondTheListKeepsCurrent) {
    Capability record = Make(ICAP_PIXELTYPE);
    Bytes list = EnumerationHead(TWTY_UINT16, 2, 2).u16(0).u16(1).bytes;
    ASSERT_EQ(SetWith(record, TWON_ENUMERATION, list), TWCC_SUCCESS) << "CurrentIndex == NumItems";
    EXPECT_EQ(record.allowedMask, 0x3u);
    EXPECT_EQ(record.current, 2) << "current unchanged";
}

TEST_F(CapabilityTest, EnumerationReadsEachItemType) {
    struct Case {
        TW_UINT16 itemType;
        Bytes items;  // two items; CurrentIndex 1
        TW_UINT32 allowed;
        TW_INT16 current;
    };
    const Case cases[] = {
        {TWTY_INT8, {2, 0xFF}, (1u << 2) | (1u << 31), -1},
        {TWTY_UINT8, {2, 0xFF}, (1u << 2) | (1u << 31), 255},
        {TWTY_INT16, {2, 0, 0xFE, 0xFF}, (1u << 2) | (1u << 30), -2},
        {TWTY_UINT16, {2, 0, 0x21, 0x00}, (1u << 2) | (1u << 1), 33},
        {TWTY_BOOL, {0, 0, 1, 0}, 0x3u, 1},
        {TWTY_INT32, {2, 0, 0, 0, 5, 0, 1, 0}, (1u << 2) | (1u << 5), 5},
        {TWTY_UINT32, {2, 0, 0, 0, 0x23, 0x80, 0xFF, 0xFF}, (1u << 2) | (1u << 3), static_cast<TW_INT16>(0x8023)},
    };
    for (const Case& c : cases) {
        Capability record = Make(ICAP_UNITS);
        ByteWriter w = EnumerationHead(c.itemType, 2, 1);
        for (std::uint8_t b : c.items) w.u8(b);
        EXPECT_EQ(SetWith(record, TWON_ENUMERATION, w.bytes), TWCC_SUCCESS) << "item type " << c.itemType;
        EXPECT_EQ(record.allowedMask, c.allowed) << "item type " << c.itemType;
        EXPECT_EQ(record.current, c.current) << "item type " << c.itemType;
    }
}

TEST_F(CapabilityTest, EnumerationOfUnreadableTypeIsRefusedWhole) {
    for (TW_UINT16 itemType : {TWTY_FIX32, TWTY_FRAME, TWTY_STR32, TW_UINT16{0xFFFF}}) {
        Capability record = Make(ICAP_UNITS);
        const Capability before = record;
        ByteWriter w = EnumerationHead(itemType, 2, 0);
        for (int i = 0; i < 40; ++i) w.u8(1);
        EXPECT_EQ(SetWith(record, TWON_ENUMERATION, w.bytes), TWCC_BADVALUE) << "item type " << itemType;
        ExpectSame(record, before, "refused enumeration");
    }
}

TEST_F(CapabilityTest, EmptyEnumerationAllowsNothing) {
    Capability record = Make(ICAP_XFERMECH);
    ASSERT_EQ(SetWith(record, TWON_ENUMERATION, EnumerationHead(TWTY_UINT16, 0, 0).bytes), TWCC_SUCCESS)
        << "MSG_SET ICAP_XFERMECH, NumItems 0";
    EXPECT_EQ(record.allowedMask, 0u);
    Answer answer = Query(record, Ask::Get);
    EXPECT_EQ(answer.bytes, (Bytes{4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})) << "16-byte answer, NumItems 0";
}

TEST_F(CapabilityTest, UnsupportedValuesAreAllowedButNeverListed) {
    Capability record = Make(ICAP_PIXELTYPE);
    Bytes list = EnumerationHead(TWTY_UINT16, 2, 9).u16(1).u16(7).bytes;
    ASSERT_EQ(SetWith(record, TWON_ENUMERATION, list), TWCC_SUCCESS);
    EXPECT_EQ(record.allowedMask, (1u << 1) | (1u << 7));
    EXPECT_EQ(Query(record, Ask::Get).bytes, (Bytes{4, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}))
        << "only grey listed";
}

// --- MSG_SET with a one value or a range ---

TEST_F(CapabilityTest, OneValueWithinTheCurrentBounds) {
    struct Case {
        TW_UINT16 id;
        TW_UINT32 item;
        TW_UINT16 code;
    };
    const Case cases[] = {
        {CAP_XFERCOUNT, 0xFFFFFFFF, TWCC_SUCCESS},  {CAP_XFERCOUNT, 32767, TWCC_SUCCESS},
        {CAP_XFERCOUNT, 0xFFFFFFFE, TWCC_BADVALUE}, {CAP_XFERCOUNT, 0x8000, TWCC_BADVALUE},
        {CAP_AUTOFEED, 1, TWCC_SUCCESS},             {CAP_AUTOFEED, 0, TWCC_BADVALUE},
        {CAP_AUTOFEED, 2, TWCC_BADVALUE},            {CAP_AUTOFEED, 0x12340001, TWCC_SUCCESS},  // low 16 bits only
    };
    for (const Case& c : cases) {
        Capability record = Make(c.id);
        const Capability before = record;
        TW_UINT16 code = SetWith(record, TWON_ONEVALUE, OneValue(TWTY_INT16, c.item));
        EXPECT_EQ(code, c.code) << "MSG_SET cap " << c.id << " item " << c.item;
        if (code == TWCC_SUCCESS) {
            EXPECT_EQ(record.current, static_cast<TW_INT16>(c.item & 0xFFFF)) << "cap " << c.id;
        } else {
            ExpectSame(record, before, "refused one value");
        }
    }
}

TEST_F(CapabilityTest, RangeNarrowsTheBoundsAndResetRestoresThem) {
    Capability record = Make(ICAP_XRESOLUTION);
    ASSERT_EQ(SetWith(record, TWON_RANGE, Range(TWTY_UINT16, 100, 600, 1, 0, 300)), TWCC_SUCCESS)
        << "MSG_SET ICAP_XRESOLUTION 100..600";
    EXPECT_EQ(Query(record, Ask::Get).bytes,
              (Bytes{7, 0, 100, 0, 0, 0, 0x58, 0x02, 0, 0, 1, 0, 0, 0, 150, 0, 0, 0, 0x2C, 0x01, 0, 0}))
        << "MSG_GET after the range";

    // A one value is held to the narrowed bounds ...
    EXPECT_EQ(SetWith(record, TWON_ONEVALUE, OneValue(TWTY_UINT16, 700)), TWCC_BADVALUE) << "one value 700";
    EXPECT_EQ(SetWith(record, TWON_ONEVALUE, OneValue(TWTY_UINT16, 50)), TWCC_BADVALUE) << "one value 50";
    EXPECT_EQ(SetWith(record, TWON_ONEVALUE, OneValue(TWTY_UINT16, 600)), TWCC_SUCCESS) << "one value 600";
    // ... a range still to the initial ones.
    EXPECT_EQ(SetWith(record, TWON_RANGE, Range(TWTY_UINT16, 12, 2400, 2, 0, 2400)), TWCC_SUCCESS) << "range 12..2400";
    EXPECT_EQ(SetWith(record, TWON_RANGE, Range(TWTY_UINT16, 11, 2400, 1, 0, 300)), TWCC_BADVALUE) << "MinValue 11";
    EXPECT_EQ(SetWith(record, TWON_RANGE, Range(TWTY_UINT16, 12, 2401, 1, 0, 300)), TWCC_BADVALUE) << "MaxValue 2401";
    EXPECT_EQ(SetWith(record, TWON_RANGE, Range(TWTY_UINT16, 100, 600, 1, 0, 2401)), TWCC_BADVALUE)
        << "CurrentValue 2401";
    EXPECT_EQ(record.step, 2) << "only the accepted range changed the step";

    record.Reset();
    EXPECT_EQ(Query(record, Ask::Get).bytes,
              (Bytes{7, 0, 12, 0, 0, 0, 0x60, 0x09, 0, 0, 1, 0, 0, 0, 150, 0, 0, 0, 150, 0, 0, 0}))
        << "MSG_GET after MSG_RESET";
}

// A TW_FIX32 capability reads the number the item type means: a fraction is
// rounded to the nearest whole dot per inch (and said so), a 32-bit value
// is never cut to its low 16 bits, and a type without a number is refused.
TEST_F(CapabilityTest, ResolutionTakesTheNumberTheItemTypeMeans) {
    struct Case {
        const char* name;
        TW_UINT16 conType;
        Bytes bytes;
        TW_UINT16 code;
        TW_INT16 current;
        bool rounded;
    };
    const Case cases[] = {
        {"FIX32 300.0", TWON_ONEVALUE, OneValue(TWTY_FIX32, 300), TWCC_SUCCESS, 300, false},
        {"FIX32 300.5", TWON_ONEVALUE, OneValue(TWTY_FIX32, 0x8000u << 16 | 300), TWCC_SUCCESS, 301, true},
        {"FIX32 300.25", TWON_ONEVALUE, OneValue(TWTY_FIX32, 0x4000u << 16 | 300), TWCC_SUCCESS, 300, true},
        {"FIX32 2400.5", TWON_ONEVALUE, OneValue(TWTY_FIX32, 0x8000u << 16 | 2400), TWCC_BADVALUE, 150, false},
        {"UINT16 600", TWON_ONEVALUE, OneValue(TWTY_UINT16, 600), TWCC_SUCCESS, 600, false},
        {"INT32 65836", TWON_ONEVALUE, OneValue(TWTY_INT32, 65536 + 300), TWCC_BADVALUE, 150, false},
        {"UINT32 300", TWON_ONEVALUE, OneValue(TWTY_UINT32, 300), TWCC_SUCCESS, 300, false},
        {"INT16 -300", TWON_ONEVALUE, OneValue(TWTY_INT16, 0xFED4), TWCC_BADVALUE, 150, false},
        {"BOOL 1", TWON_ONEVALUE, OneValue(TWTY_BOOL, 1), TWCC_BADVALUE, 150, false},
        {"STR32", TWON_ONEVALUE, OneValue(TWTY_STR32, 300), TWCC_BADVALUE, 150, false},
        {"FIX32 range 100.5..600, 299.75", TWON_RANGE,
         Range(TWTY_FIX32, 0x8000u << 16 | 100, 600, 1, 150, 0xC000u << 16 | 299), TWCC_SUCCESS, 300, true},
        {"FIX32 range with min above max", TWON_RANGE, Range(TWTY_FIX32, 600, 100, 1, 150, 300), TWCC_BADVALUE, 150,
         false},
        {"UINT32 range to 0x10000", TWON_RANGE, Range(TWTY_UINT32, 100, 0x10000, 1, 150, 300), TWCC_BADVALUE, 150,
         false},
    };
    for (const Case& c : cases) {
        Capability record = Make(ICAP_XRESOLUTION);
        TW_CAPABILITY cap{ICAP_XRESOLUTION, c.conType, AppBlock(c.bytes)};
        bool rounded = !c.rounded;
        EXPECT_EQ(record.Set(cap, &rounded), c.code) << "MSG_SET ICAP_XRESOLUTION " << c.name;
        EXPECT_EQ(record.current, c.current) << c.name;
        if (c.code == TWCC_SUCCESS) {
            EXPECT_EQ(rounded, c.rounded) << c.name;
        }
        platform::GlobalFreeBlock(cap.hContainer);
    }
}

// A record held in hundredths answers and takes fractions as 16.16 fixed
// point, and negative numbers are fixed point too: -1000 is Whole -1000 with
// Frac 0 (a sign-extended 32-bit -1000 would carry Frac 0xFFFF), -0.5 is
// Whole -1 with Frac 0x8000.
TEST_F(CapabilityTest, FixedPointFractionsAndNegativeNumbers) {
    constexpr std::uint32_t kTwoPointTwo = 13107u << 16 | 2;  // 2 + 13107 / 65536
    Capability gamma = Make(ICAP_GAMMA);
    EXPECT_EQ(gamma.scale, 100);
    EXPECT_EQ(Query(gamma, Ask::Current).bytes, OneValue(TWTY_FIX32, kTwoPointTwo)) << "ICAP_GAMMA 2.2";
    Capability brightness = Make(ICAP_BRIGHTNESS);
    EXPECT_EQ(Query(brightness, Ask::Get).bytes, Range(TWTY_FIX32, 0xFC18, 1000, 1, 0, 0))
        << "ICAP_BRIGHTNESS -1000 to 1000";

    struct Case {
        const char* name;
        TW_UINT16 id;
        TW_UINT16 conType;
        Bytes bytes;
        TW_UINT16 code;
        TW_INT16 current;  // held, in 1/scale
        bool rounded;
    };
    const Case cases[] = {
        {"gamma 2.2 as answered", ICAP_GAMMA, TWON_ONEVALUE, OneValue(TWTY_FIX32, kTwoPointTwo), TWCC_SUCCESS, 220, false},
        {"gamma 1.0", ICAP_GAMMA, TWON_ONEVALUE, OneValue(TWTY_FIX32, 1), TWCC_SUCCESS, 100, false},
        {"gamma 1.005", ICAP_GAMMA, TWON_ONEVALUE, OneValue(TWTY_FIX32, 328u << 16 | 1), TWCC_SUCCESS, 101, true},
        {"gamma UINT16 3", ICAP_GAMMA, TWON_ONEVALUE, OneValue(TWTY_UINT16, 3), TWCC_SUCCESS, 300, false},
        {"gamma 10.01", ICAP_GAMMA, TWON_ONEVALUE, OneValue(TWTY_FIX32, 655u << 16 | 10), TWCC_BADVALUE, 220, false},
        {"gamma 0", ICAP_GAMMA, TWON_ONEVALUE, OneValue(TWTY_FIX32, 0), TWCC_BADVALUE, 220, false},
        {"gamma range 0.5..4, 1.8", ICAP_GAMMA, TWON_RANGE,
         Range(TWTY_FIX32, 0x8000u << 16, 4, 6554u << 16, 220, 52429u << 16 | 1), TWCC_SUCCESS, 180, false},
        {"brightness -500", ICAP_BRIGHTNESS, TWON_ONEVALUE, OneValue(TWTY_FIX32, 0xFE0C), TWCC_SUCCESS, -500, false},
        {"brightness INT16 -1000", ICAP_BRIGHTNESS, TWON_ONEVALUE, OneValue(TWTY_INT16, 0xFC18), TWCC_SUCCESS, -1000,
         false},
        {"brightness INT32 -1001", ICAP_BRIGHTNESS, TWON_ONEVALUE, OneValue(TWTY_INT32, 0xFFFFFC17), TWCC_BADVALUE, 0,
         false},
        {"brightness -0.5", ICAP_BRIGHTNESS, TWON_ONEVALUE, OneValue(TWTY_FIX32, 0x8000FFFF), TWCC_SUCCESS, 0, true},
        {"brightness -1.5", ICAP_BRIGHTNESS, TWON_ONEVALUE, OneValue(TWTY_FIX32, 0x8000FFFE), TWCC_SUCCESS, -1, true},
        {"brightness range -200..300", ICAP_BRIGHTNESS, TWON_RANGE, Range(TWTY_FIX32, 0xFF38, 300, 1, 0, 0xFF9C),
         TWCC_SUCCESS, -100, false},
    };
    for (const Case& c : cases) {
        Capability record = Make(c.id);
        TW_CAPABILITY cap{c.id, c.conType, AppBlock(c.bytes)};
        bool rounded = !c.rounded;
        EXPECT_EQ(record.Set(cap, &rounded), c.code) << c.name;
        EXPECT_EQ(record.current, c.current) << c.name;
        if (c.code == TWCC_SUCCESS) {
            EXPECT_EQ(rounded, c.rounded) << c.name;
            // What was taken reads back as the application would set it again.
            TW_CAPABILITY again{c.id, TWON_ONEVALUE, AppBlock(Query(record, Ask::Current).bytes)};
            bool roundedAgain = true;
            EXPECT_EQ(record.Set(again, &roundedAgain), TWCC_SUCCESS) << c.name << " read back";
            EXPECT_FALSE(roundedAgain) << c.name << " read back";
            EXPECT_EQ(record.current, c.current) << c.name << " read back";
            platform::GlobalFreeBlock(again.hContainer);
        }
        platform::GlobalFreeBlock(cap.hContainer);
    }
}

TEST_F(CapabilityTest, RangeOnANegativeMinimumIsAlwaysRefused) {
    Capability record = Make(CAP_XFERCOUNT);
    const Capability before = record;
    // The initial minimum -1 compares as 0xFFFFFFFF, which no CurrentValue
    // can reach while staying at or under 32767.
    const Bytes ranges[] = {
        Range(TWTY_INT16, 0xFFFFFFFF, 10, 1, 0, 0xFFFFFFFF),
        Range(TWTY_INT16, 0xFFFFFFFF, 10, 1, 0, 5),
        Range(TWTY_INT16, 0, 10, 1, 0, 5),
    };
    for (const Bytes& range : ranges) {
        EXPECT_EQ(SetWith(record, TWON_RANGE, range), TWCC_BADVALUE) << "MSG_SET CAP_XFERCOUNT range";
    }
    ExpectSame(record, before, "CAP_XFERCOUNT after refused ranges");
}

TEST_F(CapabilityTest, ResetRestoresTheAllowedSet) {
    Capability record = Make(ICAP_PIXELTYPE);
    ASSERT_EQ(SetWith(record, TWON_ENUMERATION, EnumerationHead(TWTY_UINT16, 1, 0).u16(1).bytes), TWCC_SUCCESS);
    record.Reset();
    EXPECT_EQ(record.allowedMask, record.supportedMask);
    EXPECT_EQ(record.current, 2);
}

// --- Containers the source cannot trust ---

TEST_F(CapabilityTest, UnknownContainerTypeIsBadProtocol) {
    for (TW_UINT16 conType : {TWON_ARRAY, TW_UINT16{0}, TW_UINT16{7}, TW_UINT16{0xFFFF}}) {
        Capability record = Make(ICAP_UNITS);
        const Capability before = record;
        EXPECT_EQ(SetWith(record, conType, OneValue(TWTY_UINT16, 1)), TWCC_BADPROTOCOL) << "ConType " << conType;
        ExpectSame(record, before, "refused container type");
    }
}

TEST_F(CapabilityTest, UnlockableContainerIsLowMemory) {
    Capability record = Make(ICAP_UNITS);
    TW_CAPABILITY cap{ICAP_UNITS, TWON_ONEVALUE, nullptr};
    EXPECT_EQ(record.Set(cap), TWCC_LOWMEMORY) << "null hContainer";
    cap.hContainer = Sentinel();
    EXPECT_EQ(record.Set(cap), TWCC_LOWMEMORY) << "unknown hContainer";
    cap.hContainer = AppBlock(OneValue(TWTY_UINT16, 1));
    platform::GlobalFreeBlock(cap.hContainer);
    EXPECT_EQ(record.Set(cap), TWCC_LOWMEMORY) << "freed hContainer";
}

TEST_F(CapabilityTest, ContainersShorterThanTheyClaimAreRefused) {
    struct Case {
        const char* name;
        TW_UINT16 conType;
        Bytes bytes;
    };
    const Case cases[] = {
        {"one value of 4 bytes", TWON_ONEVALUE, {5, 0, 1, 0}},
        {"range of 20 bytes", TWON_RANGE, Bytes(20, 0)},
        {"enumeration head of 13 bytes", TWON_ENUMERATION, Bytes(13, 0)},
        {"3 UINT16 items in room for 2.5", TWON_ENUMERATION, EnumerationHead(TWTY_UINT16, 3, 0).u16(1).u16(2).u8(3).bytes},
        {"NumItems 0xFFFFFFFF", TWON_ENUMERATION, EnumerationHead(TWTY_UINT16, 0xFFFFFFFF, 0).u16(1).bytes},
        // 0x40000000 four-byte items wrap to 0 bytes in 32-bit arithmetic.
        {"NumItems 0x40000000 of INT32", TWON_ENUMERATION, EnumerationHead(TWTY_INT32, 0x40000000, 0).u32(1).bytes},
        {"NumItems 0x80000000 of UINT16", TWON_ENUMERATION, EnumerationHead(TWTY_UINT16, 0x80000000, 0).u16(1).bytes},
        {"empty block", TWON_ENUMERATION, {}},
    };
    for (const Case& c : cases) {
        Capability record = Make(ICAP_UNITS);
        const Capability before = record;
        EXPECT_EQ(SetWith(record, c.conType, c.bytes), TWCC_BADVALUE) << c.name;
        ExpectSame(record, before, c.name);
    }
}

}  // namespace

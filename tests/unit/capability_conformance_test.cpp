// Capability negotiation as TWAIN 2 applications and conformance suites
// meet it, through DS_Entry over the simulated scanner: every capability
// CAP_SUPPORTEDCAPS lists is walked, and what MSG_QUERYSUPPORT promises is
// held against what the GETs, MSG_SET and MSG_RESET really do and against
// the item types TWAIN names. Then the answers that depend on the
// application's kind, the units, the page sizes and MSG_RESETALL.
#include <map>

#include "capability_test_blocks.h"
#include "source_fixture.h"

using namespace capability_test;
using namespace source_test;

namespace {

// The item type TWAIN gives each capability the source may list.
const std::map<TW_UINT16, TW_UINT16> kTwainItemTypes = {
    {CAP_XFERCOUNT, TWTY_INT16},          {CAP_FEEDERENABLED, TWTY_BOOL},       {CAP_FEEDERLOADED, TWTY_BOOL},
    {CAP_AUTOFEED, TWTY_BOOL},            {CAP_INDICATORS, TWTY_BOOL},          {CAP_UICONTROLLABLE, TWTY_BOOL},
    {CAP_DEVICEONLINE, TWTY_BOOL},        {CAP_PAPERDETECTABLE, TWTY_BOOL},     {CAP_AUTOMATICSENSEMEDIUM, TWTY_BOOL},
    {CAP_ENABLEDSUIONLY, TWTY_BOOL},      {CAP_CUSTOMDSDATA, TWTY_BOOL},        {CAP_SUPPORTEDCAPS, TWTY_UINT16},
    {CAP_SUPPORTEDDATS, TWTY_UINT32},     {ICAP_PIXELTYPE, TWTY_UINT16},        {ICAP_UNITS, TWTY_UINT16},
    {ICAP_XFERMECH, TWTY_UINT16},         {ICAP_XRESOLUTION, TWTY_FIX32},       {ICAP_YRESOLUTION, TWTY_FIX32},
    {ICAP_BITORDER, TWTY_UINT16},         {ICAP_PIXELFLAVOR, TWTY_UINT16},      {ICAP_PLANARCHUNKY, TWTY_UINT16},
    {ICAP_BITDEPTH, TWTY_UINT16},         {ICAP_IMAGEFILEFORMAT, TWTY_UINT16},  {ICAP_COMPRESSION, TWTY_UINT16},
    {ICAP_PHYSICALWIDTH, TWTY_FIX32},     {ICAP_PHYSICALHEIGHT, TWTY_FIX32},    {ICAP_XNATIVERESOLUTION, TWTY_FIX32},
    {ICAP_YNATIVERESOLUTION, TWTY_FIX32}, {ICAP_BITDEPTHREDUCTION, TWTY_UINT16}, {ICAP_THRESHOLD, TWTY_FIX32},
    {ICAP_SUPPORTEDSIZES, TWTY_UINT16},   {CAP_DUPLEX, TWTY_UINT16},            {CAP_DUPLEXENABLED, TWTY_BOOL},
    {ICAP_BRIGHTNESS, TWTY_FIX32},        {ICAP_CONTRAST, TWTY_FIX32},          {ICAP_GAMMA, TWTY_FIX32},
    {ICAP_HIGHLIGHT, TWTY_FIX32},         {ICAP_SHADOW, TWTY_FIX32},            {ICAP_XSCALING, TWTY_FIX32},
    {ICAP_YSCALING, TWTY_FIX32},
    {ICAP_EXTIMAGEINFO, TWTY_BOOL},       {ICAP_SUPPORTEDEXTIMAGEINFO, TWTY_UINT16}, {ICAP_AUTODISCARDBLANKPAGES, TWTY_INT32},
    {ICAP_ROTATION, TWTY_FIX32},          {ICAP_ORIENTATION, TWTY_UINT16},
    {ICAP_JPEGQUALITY, TWTY_INT16},
};

struct Reply {
    TW_UINT16 rc = 0;
    TW_UINT16 cc = 0;
    TW_UINT16 conType = 0;
    Bytes bytes;
};

class CapabilityConformanceTest : public SourceTest {
protected:
    void OpenAs(TW_UINT32 groups) {
        app.SupportedGroups = groups;
        ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS";
    }
    // One DAT_CAPABILITY call; `offer` is the container MSG_SET hands in.
    Reply Ask(TW_UINT16 id, TW_UINT16 msg, const Reply* offer = nullptr) {
        TW_CAPABILITY cap{id, offer ? offer->conType : TW_UINT16{0}, offer ? AppBlock(offer->bytes) : nullptr};
        TW_HANDLE handed = cap.hContainer;
        Reply reply;
        reply.rc = Control(DAT_CAPABILITY, msg, &cap);
        reply.cc = reply.rc == TWRC_FAILURE ? Status() : TWCC_SUCCESS;
        reply.conType = cap.ConType;
        if (cap.hContainer != handed) reply.bytes = TakeBlock(cap.hContainer);
        platform::GlobalFreeBlock(handed);
        return reply;
    }
    static TW_UINT32 U32(const Bytes& b, std::size_t at) {
        return b.size() < at + 4 ? 0xFFFFFFFF : b[at] | b[at + 1] << 8 | b[at + 2] << 16 | TW_UINT32(b[at + 3]) << 24;
    }
    static TW_UINT16 U16(const Bytes& b, std::size_t at) { return b.size() < at + 2 ? 0xFFFF : b[at] | b[at + 1] << 8; }
};

TEST_F(CapabilityConformanceTest, QuerySupportAgreesWithWhatEveryListedCapabilityDoes) {
    OpenAs(DG_CONTROL | DG_IMAGE | DF_APP2);
    const Reply list = Ask(CAP_SUPPORTEDCAPS, MSG_GET);
    ASSERT_EQ(list.rc, TWRC_SUCCESS) << "MSG_GET CAP_SUPPORTEDCAPS";
    ASSERT_EQ(list.conType, TWON_ARRAY);
    ASSERT_EQ(U16(list.bytes, 0), TWTY_UINT16) << "CAP_SUPPORTEDCAPS item type";
    const TW_UINT32 count = U32(list.bytes, 2);
    ASSERT_EQ(list.bytes.size(), 6 + 2 * std::size_t{count});
    std::vector<TW_UINT16> codes;
    for (TW_UINT32 i = 0; i < count; ++i) codes.push_back(U16(list.bytes, 6 + 2 * i));
    for (TW_UINT16 must : {CAP_SUPPORTEDCAPS, ICAP_COMPRESSION, CAP_SUPPORTEDDATS, ICAP_SUPPORTEDSIZES}) {
        EXPECT_NE(std::find(codes.begin(), codes.end(), must), codes.end()) << "cap " << must << " listed";
    }

    for (TW_UINT16 id : codes) {
        SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << id);
        auto type = kTwainItemTypes.find(id);
        ASSERT_NE(type, kTwainItemTypes.end()) << "a capability TWAIN names a type for";
        const Reply query = Ask(id, MSG_QUERYSUPPORT);
        ASSERT_EQ(query.rc, TWRC_SUCCESS) << "MSG_QUERYSUPPORT";
        ASSERT_EQ(query.conType, TWON_ONEVALUE);
        ASSERT_EQ(U16(query.bytes, 0), TWTY_INT32) << "MSG_QUERYSUPPORT item type";
        const TW_UINT32 bits = U32(query.bytes, 2);
        const TW_UINT32 gets = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
        EXPECT_EQ(bits & gets, gets) << "the three GETs, always together";
        EXPECT_EQ((bits & TWQC_SET) != 0, (bits & TWQC_RESET) != 0) << "SET and RESET together";

        Reply current;
        for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
            const Reply got = Ask(id, msg);
            ASSERT_EQ(got.rc, TWRC_SUCCESS) << "msg " << msg << " cc " << got.cc;
            EXPECT_EQ(U16(got.bytes, 0), type->second) << "item type, msg " << msg;
            if (msg != MSG_GET) {
                EXPECT_TRUE(got.conType == TWON_ONEVALUE || got.conType == TWON_ARRAY) << "msg " << msg;
            }
            if (msg == MSG_GETCURRENT) current = got;
        }
        // Setting the current value again and resetting change nothing the
        // application can see, when QUERYSUPPORT allows them at all.
        const Reply set = Ask(id, MSG_SET, &current);
        const Reply reset = Ask(id, MSG_RESET);
        if (bits & TWQC_SET) {
            EXPECT_EQ(set.rc, TWRC_SUCCESS) << "MSG_SET of the current value, cc " << set.cc;
            EXPECT_EQ(reset.rc, TWRC_SUCCESS) << "MSG_RESET, cc " << reset.cc;
        } else {
            EXPECT_EQ(set.rc, TWRC_FAILURE) << "MSG_SET";
            EXPECT_EQ(set.cc, TWCC_CAPBADOPERATION) << "MSG_SET";
            EXPECT_EQ(reset.rc, TWRC_FAILURE) << "MSG_RESET";
            EXPECT_EQ(reset.cc, TWCC_CAPBADOPERATION) << "MSG_RESET";
        }
        EXPECT_EQ(Ask(id, MSG_GETCURRENT).bytes, current.bytes) << "unchanged by SET and RESET";
    }

    const Reply unknown = Ask(0x1234, MSG_QUERYSUPPORT);
    EXPECT_EQ(unknown.rc, TWRC_SUCCESS) << "MSG_QUERYSUPPORT of an unknown capability";
    EXPECT_EQ(unknown.bytes, OneValue(TWTY_INT32, 0)) << "no message supported";
    EXPECT_EQ(Ask(0x1234, MSG_GET).cc, TWCC_CAPUNSUPPORTED) << "MSG_GET of an unknown capability";
}

// The answers that depend on the application's kind: a 1.x application
// keeps one values for TW_BOOL, CAP_SUPPORTEDCAPS for every message and its
// old condition codes.
TEST_F(CapabilityConformanceTest, TheApplicationsKindDecidesBooleansAndRefusals) {
    struct Case {
        TW_UINT32 groups;
        TW_UINT16 id;
        TW_UINT16 msg;
        TW_UINT16 rc;
        TW_UINT16 cc;
        TW_UINT16 conType;
        Bytes bytes;
    };
    const TW_UINT32 v1 = DG_CONTROL | DG_IMAGE, v2 = v1 | DF_APP2;
    const Bytes trueList = EnumerationHead(TWTY_BOOL, 1, 0, 0).u16(1).bytes;
    const Bytes falseList = EnumerationHead(TWTY_BOOL, 1, 0, 0).u16(0).bytes;
    const Bytes bothList = EnumerationHead(TWTY_BOOL, 2, 1, 1).u16(0).u16(1).bytes;
    const Case cases[] = {
        {v1, CAP_AUTOFEED, MSG_GET, TWRC_SUCCESS, 0, TWON_ONEVALUE, OneValue(TWTY_BOOL, 1)},
        {v2, CAP_AUTOFEED, MSG_GET, TWRC_SUCCESS, 0, TWON_ENUMERATION, trueList},
        {v2, CAP_AUTOMATICSENSEMEDIUM, MSG_GET, TWRC_SUCCESS, 0, TWON_ENUMERATION, falseList},
        {v2, CAP_INDICATORS, MSG_GET, TWRC_SUCCESS, 0, TWON_ENUMERATION, bothList},
        // Read-only booleans list their one present value.
        {v2, CAP_DEVICEONLINE, MSG_GET, TWRC_SUCCESS, 0, TWON_ENUMERATION, trueList},
        {v2, CAP_ENABLEDSUIONLY, MSG_GET, TWRC_SUCCESS, 0, TWON_ENUMERATION, trueList},
        {v2, CAP_FEEDERLOADED, MSG_GET, TWRC_SUCCESS, 0, TWON_ENUMERATION, falseList},
        {v2, CAP_FEEDERENABLED, MSG_GET, TWRC_SUCCESS, 0, TWON_ENUMERATION, falseList},
        {v2, CAP_DUPLEXENABLED, MSG_GET, TWRC_SUCCESS, 0, TWON_ENUMERATION, falseList},
        {v1, CAP_DEVICEONLINE, MSG_GET, TWRC_SUCCESS, 0, TWON_ONEVALUE, OneValue(TWTY_BOOL, 1)},
        {v1, CAP_DEVICEONLINE, MSG_RESET, TWRC_SUCCESS, 0, TWON_ONEVALUE, OneValue(TWTY_BOOL, 1)},
        {v2, CAP_DEVICEONLINE, MSG_RESET, TWRC_FAILURE, TWCC_CAPBADOPERATION, 0, {}},
        {v1, CAP_DUPLEX, MSG_GET, TWRC_SUCCESS, 0, TWON_ONEVALUE, OneValue(TWTY_UINT16, TWDX_NONE)},
        {v1, ICAP_PIXELTYPE, MSG_GETFIRST, TWRC_SUCCESS, 0, 0, {}},
        // No message of the capability triplet: a protocol error, in any state.
        {v2, ICAP_PIXELTYPE, MSG_GETFIRST, TWRC_FAILURE, TWCC_BADPROTOCOL, 0, {}},
        {v2, ICAP_PIXELTYPE, MSG_GETHELP, TWRC_FAILURE, TWCC_CAPBADOPERATION, 0, {}},
        {v1, 0x1234, MSG_GET, TWRC_FAILURE, TWCC_BADCAP, 0, {}},
        {v1, CAP_SUPPORTEDDATS, MSG_SET, TWRC_FAILURE, TWCC_BADPROTOCOL, 0, {}},
        {v2, CAP_SUPPORTEDCAPS, MSG_RESET, TWRC_FAILURE, TWCC_CAPBADOPERATION, 0, {}},
        {v1, CAP_PAPERDETECTABLE, MSG_GETCURRENT, TWRC_SUCCESS, 0, TWON_ONEVALUE, OneValue(TWTY_BOOL, 0)},
        {v1, ICAP_XNATIVERESOLUTION, MSG_GETCURRENT, TWRC_SUCCESS, 0, TWON_ONEVALUE, OneValue(TWTY_FIX32, 300)},
    };
    for (const Case& c : cases) {
        OpenAs(c.groups);
        const Reply reply = Ask(c.id, c.msg);
        const char* kind = c.groups & DF_APP2 ? "2.x" : "1.x";
        EXPECT_EQ(reply.rc, c.rc) << kind << " cap " << c.id << " msg " << c.msg;
        EXPECT_EQ(reply.cc, c.cc) << kind << " cap " << c.id << " msg " << c.msg;
        if (c.rc == TWRC_SUCCESS && !c.bytes.empty()) {
            EXPECT_EQ(reply.conType, c.conType) << kind << " cap " << c.id;
            EXPECT_EQ(reply.bytes, c.bytes) << kind << " cap " << c.id;
        }
        ASSERT_EQ(Close(), TWRC_SUCCESS);
    }
    // A 1.x application still gets the list for any message but MSG_QUERYSUPPORT.
    OpenAs(v1);
    const Reply setList = Ask(CAP_SUPPORTEDCAPS, MSG_SET);
    EXPECT_EQ(setList.rc, TWRC_SUCCESS);
    EXPECT_EQ(setList.conType, TWON_ARRAY);
    EXPECT_EQ(U32(setList.bytes, 2), kCapabilityCount + 3) << "every record and the three lists";
}

TEST_F(CapabilityConformanceTest, PhysicalSizeIsInTheCurrentUnit) {
    OpenAs(DG_CONTROL | DG_IMAGE);
    struct Case {
        TW_UINT16 units;
        TW_UINT32 width;   // TW_FIX32 as the item's 32 bits: Frac << 16 | Whole
        TW_UINT32 height;
    };
    const Case cases[] = {
        {TWUN_INCHES, 0x8000u << 16 | 8, 14},
        {TWUN_CENTIMETERS, 0x970Au << 16 | 21, 0x8F5Cu << 16 | 35},
        {TWUN_POINTS, 612, 1008},
        {TWUN_PICAS, 51, 84},
        {TWUN_PIXELS, 2550, 4200},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SetOneValue(ICAP_UNITS, TWTY_UINT16, c.units), TWRC_SUCCESS) << "units " << c.units;
        for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
            EXPECT_EQ(Ask(ICAP_PHYSICALWIDTH, msg).bytes, OneValue(TWTY_FIX32, c.width)) << "units " << c.units;
            EXPECT_EQ(Ask(ICAP_PHYSICALHEIGHT, msg).bytes, OneValue(TWTY_FIX32, c.height)) << "units " << c.units;
        }
    }
}

TEST_F(CapabilityConformanceTest, FractionalResolutionIsRoundedAndSaidSo) {
    OpenAs(DG_CONTROL | DG_IMAGE | DF_APP2);
    Reply offer{0, 0, TWON_ONEVALUE, OneValue(TWTY_FIX32, 0x8000u << 16 | 299)};
    EXPECT_EQ(Ask(ICAP_XRESOLUTION, MSG_SET, &offer).rc, TWRC_CHECKSTATUS) << "MSG_SET 299.5";
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 300);
    offer.bytes = OneValue(TWTY_UINT16, 200);
    EXPECT_EQ(Ask(ICAP_XRESOLUTION, MSG_SET, &offer).rc, TWRC_SUCCESS) << "MSG_SET UINT16 200";
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 200);
}

TEST_F(CapabilityConformanceTest, PageSizeSetsTheFrameAndAFrameClearsIt) {
    OpenAs(DG_CONTROL | DG_IMAGE | DF_APP2);
    struct Case {
        TW_UINT16 size;
        TW_UINT16 rc;
        Rect32 region;
    };
    const Case cases[] = {
        {TWSS_A4, TWRC_SUCCESS, {0, 0, 2480, 3508}},
        {TWSS_USLEGAL, TWRC_SUCCESS, {0, 0, 2550, 4200}},
        {6, TWRC_FAILURE, {0, 0, 2550, 4200}},  // ISO B4 is wider than the bed
        {TWSS_NONE, TWRC_SUCCESS, {0, 0, 2550, 4200}},
        {TWSS_USEXECUTIVE, TWRC_SUCCESS, {0, 0, 2175, 3150}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetOneValue(ICAP_SUPPORTEDSIZES, TWTY_UINT16, c.size), c.rc) << "size " << c.size;
        Rect32 region{};
        Dialog().GetScanRegion(&region.left, &region.top, &region.right, &region.bottom);
        EXPECT_EQ(region, c.region) << "size " << c.size;
    }
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_USEXECUTIVE);
    TW_IMAGELAYOUT layout{{{0, 0}, {0, 0}, {5, 0}, {5, 0}}, 1, 1, 1};  // inches
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_NONE) << "a frame of the application's own";
}

TEST_F(CapabilityConformanceTest, ResetAllRestoresNegotiationAndLayoutInStateFourOnly) {
    OpenAs(DG_CONTROL | DG_IMAGE);
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 600), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A5), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(CAP_DEVICEONLINE, TWTY_BOOL, 0), TWRC_SUCCESS) << "a 1.x application may";
    TW_CAPABILITY all{CAP_SUPPORTEDCAPS, 0, nullptr};
    ASSERT_EQ(Control(DAT_CAPABILITY, MSG_RESETALL, &all), TWRC_SUCCESS) << "MSG_RESETALL in state 4";
    EXPECT_EQ(HandleOf(all), nullptr) << "no container";
    EXPECT_EQ(GetCurrent(ICAP_XRESOLUTION), 150);
    EXPECT_EQ(GetCurrent(CAP_XFERCOUNT), -1);
    EXPECT_EQ(GetCurrent(ICAP_SUPPORTEDSIZES), TWSS_NONE);
    EXPECT_EQ(GetCurrent(CAP_DEVICEONLINE), 0) << "what the application cannot reset stays";
    Rect32 region{1, 1, 1, 1};
    Dialog().GetScanRegion(&region.left, &region.top, &region.right, &region.bottom);
    EXPECT_EQ(region, (Rect32{0, 0, 2550, 4200})) << "the whole bed, as after opening";

    ASSERT_EQ(SetOneValue(CAP_DEVICEONLINE, TWTY_BOOL, 1), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(Control(DAT_CAPABILITY, MSG_RESETALL, &all), TWRC_FAILURE) << "MSG_RESETALL in state 5";
    EXPECT_EQ(Status(), TWCC_SEQERROR);
}

}  // namespace

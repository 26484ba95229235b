// The source dialog's logic over the headless window: its start-up with and
// without a (colour) scanner, the image type list rules, the final scan's
// window record and feeder question, the preview scan, and the window
// operations that reach the application (About box, close requests).
#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "imaging/dib_format.h"
#include "imaging/pixel_conversion.h"
#include "resources/resource_ids.h"
#include "source_fixture.h"

using namespace source_test;

namespace {

class SourceDialogTest : public SourceTest {
protected:
    void OpenSource() { ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS"; }

    // Puts the given texts in the list, in sorted order, and selects one.
    void FillList(std::initializer_list<const char*> texts, int select) {
        while (List().GetCount() > 0) List().DeleteString(0);
        for (const char* text : texts) List().AddString(text);
        List().SetCurSel(select);
    }
};

using Texts = std::vector<std::string>;
const Texts kAllTypes = {"BW Drawing", "BW Photo", "Color Photo"};

// --- Start-up ---

TEST_F(SourceDialogTest, StartUpWithAColourScanner) {
    OpenSource();
    EXPECT_EQ(ListTexts(), kAllTypes);
    EXPECT_EQ(SelectedText(), "Color Photo");
    EXPECT_EQ(headlessWindowLog.aboutMenuText, "&About Vorel Source");
    EXPECT_TRUE(headlessWindowLog.scanButtonsEnabled);
    EXPECT_EQ(Session().ScannerKind(), 2);
    // A 30 dpi preview of the 8.5 x 14 inch bed: 255 x 420 pixels.
    EXPECT_EQ(Dialog().preview.imageRect, (Rect32{0, 0, 255, 420}));
    EXPECT_EQ(Dialog().preview.GetRegion(), (Rect32{0, 0, 2550, 4200})) << "the region is the whole bed";
    EXPECT_TRUE(Dialog().preview.region.IsEmpty()) << "no region drawn";
    ASSERT_EQ(Dialog().preview.bufferSize(), 255u * 420u * 3u);
    const std::uint8_t* buffer = Dialog().preview.buffer();
    EXPECT_TRUE(std::all_of(buffer, buffer + Dialog().preview.bufferSize(), [](std::uint8_t b) { return b == 0xFF; }))
        << "the preview starts white";
    EXPECT_EQ(headlessWindowLog.renders, 1);
    EXPECT_EQ(Dialog().preview.renderedBitsPerPixel, 1u) << "rendered while the list was still empty";
    EXPECT_EQ(Dialog().preview.renderedPaletteEntries, 2u);
}

TEST_F(SourceDialogTest, StartUpWithAScannerWithoutColour) {
    Simulate("VOREL_SIM_COLOR", "0");
    OpenSource();
    EXPECT_EQ(Session().ScannerKind(), 1);
    EXPECT_EQ(ListTexts(), (Texts{"BW Drawing", "BW Photo"}));
    EXPECT_EQ(SelectedText(), "BW Photo");
    EXPECT_EQ(Dialog().SelectImageType(2), 1) << "SelectImageType(2) without a colour entry";
    EXPECT_EQ(SelectedText(), "BW Photo") << "the selection is kept";
    Dialog().allowedImageTypes = 3;
    Dialog().RemoveDisallowedImageTypes();
    EXPECT_EQ(ListTexts(), (Texts{"BW Drawing", "BW Photo"})) << "nothing to remove at the colour position";
}

TEST_F(SourceDialogTest, StartUpWithoutAScanner) {
    Simulate("VOREL_SIM_OPEN", "-10");
    OpenSource();
    EXPECT_EQ(Session().ScannerKind(), 0);
    EXPECT_FALSE(headlessWindowLog.scanButtonsEnabled);
    EXPECT_EQ(ListTexts(), kAllTypes) << "all three types are listed";
    EXPECT_EQ(SelectedText(), "Color Photo");

    const std::size_t boxesBefore = boxes.size();
    const int rendersBefore = headlessWindowLog.renders;
    Dialog().ShowWindow(true);
    Dialog().PreviewScan();
    EXPECT_EQ(Dialog().FinalScan(), 0) << "FinalScan without a scanner";
    EXPECT_EQ(headlessWindowLog.renders, rendersBefore) << "nothing previewed";
    EXPECT_TRUE(Calls().windows.empty()) << "no scan set up";
    EXPECT_TRUE(Notifications().empty()) << "nothing notified";
    EXPECT_EQ(boxes.size(), boxesBefore) << "no further box";
}

// --- The image type list ---

TEST_F(SourceDialogTest, RemoveDisallowedImageTypesByMask) {
    struct Case {
        std::uint32_t mask;
        Texts left;
        std::string selected;
    };
    const Case cases[] = {
        {7, kAllTypes, "Color Photo"},
        {1, {"BW Drawing"}, "BW Drawing"},
        {2, {"BW Photo"}, "BW Photo"},
        {3, {"BW Drawing", "BW Photo"}, "BW Photo"},
        {5, {"BW Drawing", "Color Photo"}, "Color Photo"},
        {6, {"BW Photo", "Color Photo"}, "Color Photo"},
        {0, {}, ""},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        OpenSource();
        List().SetCurSel(0);
        Dialog().allowedImageTypes = c.mask;
        Dialog().RemoveDisallowedImageTypes();
        EXPECT_EQ(ListTexts(), c.left) << "mask " << c.mask;
        EXPECT_EQ(SelectedText(), c.selected) << "mask " << c.mask << ": the last entry is selected";
    }
    EXPECT_EQ(List().GetCurSel(), -1) << "mask 0: nothing selected";
    EXPECT_EQ(Dialog().GetImageTypeIndex(), 0) << "mask 0";
    EXPECT_EQ(Dialog().GetBitsPerPixel(), 1u) << "mask 0";
}

// The list is filled afresh at every enabling: a shorter mask shortens it,
// and a type left out comes back when the mask allows it again.
TEST_F(SourceDialogTest, RepeatedEnablingWithAShorterMask) {
    OpenSource();
    Capability& pixelType = capabilityTable.Find(ICAP_PIXELTYPE);
    pixelType.allowedMask = 1u << TWPT_GRAY | 1u << TWPT_RGB;
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(ListTexts(), (Texts{"BW Photo", "Color Photo"}));
    ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    pixelType.allowedMask = 1u << TWPT_RGB;
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(ListTexts(), (Texts{"Color Photo"}));
    EXPECT_EQ(SelectedText(), "Color Photo");
    ASSERT_EQ(Disable(true), TWRC_SUCCESS);
    pixelType.allowedMask = 7;
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    EXPECT_EQ(ListTexts(), kAllTypes) << "every type comes back";
    EXPECT_EQ(Dialog().GetBitsPerPixel(), 24u);
}

TEST_F(SourceDialogTest, ImageTypeIndexComparesWholeTextsIgnoringCase) {
    OpenSource();
    struct Case {
        const char* text;
        int index;
    };
    const Case cases[] = {
        {"BW Drawing", 0},  {"BW Photo", 1},    {"Color Photo", 2},      {"bw photo", 1},
        {"COLOR PHOTO", 2}, {"Color Photos", 0}, {"BW Photo (grey)", 0}, {"Halftone", 0},
    };
    for (const Case& c : cases) {
        FillList({c.text}, 0);
        EXPECT_EQ(Dialog().GetImageTypeIndex(), c.index) << "\"" << c.text << "\"";
        EXPECT_EQ(Dialog().GetBitsPerPixel(), ImageTypeTable[c.index].bitsPerPixel) << "\"" << c.text << "\"";
    }
}

TEST_F(SourceDialogTest, SelectImageTypeFindsEntriesByPrefix) {
    OpenSource();
    struct Case {
        int index;
        int resultIndex;
        const char* selected;
    };
    // From "BW Drawing" selected: 5 and -1 look for "Color Photo".
    const Case cases[] = {
        {0, 0, "BW Drawing"}, {1, 1, "BW Photo"}, {2, 2, "Color Photo"}, {5, 2, "Color Photo"}, {-1, 2, "Color Photo"},
    };
    for (const Case& c : cases) {
        List().SetCurSel(0);
        EXPECT_EQ(Dialog().SelectImageType(c.index), c.resultIndex) << "SelectImageType(" << c.index << ")";
        EXPECT_EQ(SelectedText(), c.selected) << "SelectImageType(" << c.index << ")";
    }
    // Letter case is ignored in the search, and the first entry is searched too.
    FillList({"bw drawing", "color photo"}, 1);
    EXPECT_EQ(Dialog().SelectImageType(0), 0);
    EXPECT_EQ(List().GetCurSel(), 0) << "entry 0 found";
    // A longer entry that begins with the name is found, but its text is
    // not the name, so it counts as type 0.
    FillList({"BW Drawing", "BW Photo (8 bit)"}, 0);
    EXPECT_EQ(Dialog().SelectImageType(1), 0);
    EXPECT_EQ(SelectedText(), "BW Photo (8 bit)");
}

// --- The final scan ---

TEST_F(SourceDialogTest, ScanWindowRecordFromRegionAndResolutions) {
    struct Case {
        const char* what;
        std::uint32_t x;
        std::uint32_t y;
        bool setRegion;
        Rect32 region;
        std::array<std::uint16_t, 5> record;
    };
    // The scanner reads the window in 1/300 inch and takes both axes at the
    // X resolution, so the region goes out unstretched whatever Y is.
    const Case cases[] = {
        {"whole bed, 150 x 150", 150, 150, false, {}, {150, 0, 0, 2550, 4200}},
        {"ratio 1", 300, 300, true, {100, 200, 1100, 1700}, {300, 100, 200, 1000, 1500}},
        {"X twice Y", 300, 150, true, {100, 200, 1100, 1700}, {300, 100, 200, 1000, 1500}},
        {"X twice Y, whole bed", 300, 150, false, {}, {300, 0, 0, 2550, 4200}},
        {"Y twice X", 150, 300, true, {100, 200, 1100, 1700}, {150, 100, 200, 1000, 1500}},
        // A region without width or height scans what the preview shows.
        {"empty region", 150, 150, true, {0, 0, 0, 0}, {150, 0, 0, 2550, 4200}},
        {"no height", 150, 150, true, {13, 13, 130, 13}, {150, 0, 0, 2550, 4200}},
        // The window never leaves the bed: no edge reaches the scanner's
        // 16 bits as another number.
        {"widest region", 150, 150, true, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {150, 0, 0, 2550, 4200}},
        {"negative edges", 300, 150, true, {-100, -50, 400, 50}, {300, 0, 0, 400, 50}},
        {"beyond the bed's end", 300, 150, true, {100, 4000, 65636, 69736}, {300, 100, 4000, 2450, 200}},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        OpenSource();
        Session().SetResolution(c.x, c.y);
        if (c.setRegion) {
            EXPECT_EQ(Dialog().SetScanRegion(c.region.left, c.region.top, c.region.right, c.region.bottom), 1);
        }
        EXPECT_EQ(Dialog().FinalScan(), 1) << c.what << ": the notification's result";
        ASSERT_EQ(Calls().windows.size(), 1u) << c.what;
        EXPECT_EQ(Calls().windows[0], c.record) << c.what;
        EXPECT_EQ(sourceState, 600) << c.what;
        EXPECT_EQ(CountNotifications(MSG_XFERREADY), 1) << c.what;
    }
}

TEST_F(SourceDialogTest, FeederQuestionBeforeAVisibleFinalScan) {
    Simulate("VOREL_SIM_FEEDER", "loaded");
    OpenSource();
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);

    boxAnswer = platform::kAnswerCancel;
    EXPECT_EQ(Dialog().FinalScan(), 0) << "answered Cancel";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, TEXT_FEEDER_QUESTION);
    EXPECT_NE(boxes[0].text.find("and haven't yet, please press 'Cancel' and do so now."), std::string::npos)
        << "the question reads as a sentence: " << boxes[0].text;
    EXPECT_EQ(boxes[0].caption, "Vorel Source");
    EXPECT_EQ(boxes[0].type & 0xF, platform::kBoxOkCancel);
    EXPECT_TRUE(Calls().windows.empty()) << "Cancel: nothing set up";
    EXPECT_TRUE(Notifications().empty()) << "Cancel: nothing notified";
    EXPECT_EQ(sourceState, 500);

    boxAnswer = platform::kAnswerOk;
    EXPECT_EQ(Dialog().FinalScan(), 1) << "answered OK";
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Calls().windows.size(), 1u);
    EXPECT_EQ(CountNotifications(MSG_XFERREADY), 1);
    EXPECT_EQ(sourceState, 600);
}

TEST_F(SourceDialogTest, HiddenFinalScanFromTheFeederAsksNothing) {
    Simulate("VOREL_SIM_FEEDER", "loaded");
    OpenSource();
    boxAnswer = platform::kAnswerCancel;
    ASSERT_EQ(Enable(false), TWRC_SUCCESS) << "MSG_ENABLEDS ShowUI 0 with the feeder loaded";
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(sourceState, 600);
    EXPECT_EQ(CountNotifications(MSG_XFERREADY), 1);
}

// --- The preview scan ---

TEST_F(SourceDialogTest, PreviewScanFillsThePreviewAndKeepsTheRegion) {
    OpenSource();
    Dialog().SetScanRegion(100, 200, 1000, 2000);
    List().SetCurSel(1);
    const int rendersBefore = headlessWindowLog.renders;
    Dialog().PreviewScan();
    EXPECT_EQ(headlessWindowLog.renders, rendersBefore + 1);
    EXPECT_EQ(Dialog().preview.renderedBitsPerPixel, 8u) << "rendered in the listed type";
    ASSERT_EQ(Dialog().preview.bufferSize(), 255u * 420u * 3u);
    const std::uint8_t* buffer = Dialog().preview.buffer();
    EXPECT_FALSE(std::all_of(buffer, buffer + Dialog().preview.bufferSize(), [](std::uint8_t b) { return b == 0xFF; }))
        << "the page was read into the buffer";
    EXPECT_EQ(Dialog().preview.GetRegion(), (Rect32{100, 200, 1000, 2000})) << "the region is kept";
    EXPECT_TRUE(Notifications().empty());
}

TEST_F(SourceDialogTest, GreyPreviewIsWidenedToThreeEqualBytes) {
    Simulate("VOREL_SIM_COLOR", "0");
    OpenSource();
    Dialog().PreviewScan();
    ASSERT_EQ(Dialog().preview.bufferSize(), 255u * 420u * 3u);
    const std::uint8_t* buffer = Dialog().preview.buffer();
    bool dark = false;
    for (std::size_t i = 0; i < Dialog().preview.bufferSize(); i += 3) {
        ASSERT_TRUE(buffer[i] == buffer[i + 1] && buffer[i] == buffer[i + 2]) << "pixel " << i / 3;
        dark = dark || buffer[i] < 0x80;
    }
    EXPECT_TRUE(dark) << "the page was read";
}

// The preview of a type is what a final scan of that type gives: a 30 dpi
// grey or black-and-white scan of the bed equals the preview rendered in
// that type, pixel for pixel, with tone settings of the user's.
TEST_F(SourceDialogTest, PreviewOfEachTypeIsWhatItsFinalScanGives) {
    std::ofstream(folder + "/vorelsrc.ini") << "[Test]\nHighlight=200\nGammaX10=18\n";
    for (const TW_UINT16 pixelType : {TWPT_BW, TWPT_GRAY, TWPT_RGB}) {
        const std::uint32_t bits = pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
        OpenSource();
        Dialog().PreviewScan();
        const std::int32_t width = Dialog().preview.imageRect.right, height = Dialog().preview.imageRect.bottom;
        const std::size_t stride = RowStride(DibRowBytes(width, bits));
        std::vector<std::uint8_t> rendered(stride * height);
        ConvertRows(bits, rendered.data(), Dialog().preview.buffer(), width, height, Dialog().preview.levels);

        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, bits), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 30), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 30), TWRC_SUCCESS);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        TW_HANDLE dib = nullptr;
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
        {
            platform::LockedBlock block(dib);
            const auto* header = static_cast<const std::uint8_t*>(block.get());
            const std::uint32_t entries = bits == 24 ? 0 : 1u << bits;
            const std::uint8_t* rows = header + kDibHeaderSize + 4 * entries;
            int differing = 0;
            for (std::int32_t y = 0; y < height; ++y) {
                // The DIB runs bottom-up; 24-bit rows of both are blue, green, red.
                const std::uint8_t* scan = rows + stride * (height - 1 - y);
                differing += std::memcmp(scan, rendered.data() + stride * y, DibRowBytes(width, bits)) != 0;
            }
            EXPECT_EQ(differing, 0) << bits << "-bit: rows of the preview unlike the scan";
        }
        platform::GlobalFreeBlock(dib);
        ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
        ASSERT_EQ(Disable(false), TWRC_SUCCESS);
        ASSERT_EQ(Close(), TWRC_SUCCESS);
    }
}

// What the final scan set up is what each transfer of it delivers, for both
// pages of a batch: a type picked in the list afterwards changes nothing.
// The controls that would change the set-up are disabled while images are
// pending and act again once the source is back in state 500.
TEST_F(SourceDialogTest, FinalScanFixesItsSetUpUntilTheImagesAreTransferred) {
    OpenSource();
    ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 30), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_EQ(SelectedText(), "Color Photo");
    Dialog().OnFinalScanButton();
    ASSERT_EQ(sourceState, 600);
    EXPECT_FALSE(headlessWindowLog.setupControlsEnabled);
    EXPECT_FALSE(headlessWindowLog.scanButtonsEnabled);
    for (int page = 1; page <= 2; ++page) {
        List().SetCurSel(0);  // "BW Drawing"
        Dialog().OnImageTypeChange();
        TW_IMAGEINFO info{};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        EXPECT_EQ(info.BitsPerPixel, 24) << "page " << page;
        TW_HANDLE dib = nullptr;
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE) << "page " << page;
        {
            platform::LockedBlock block(dib);
            const auto* header = static_cast<const std::uint8_t*>(block.get());
            EXPECT_EQ(header[14], 24) << "page " << page << ": biBitCount";
            EXPECT_EQ(platform::GlobalBlockSize(dib), kDibHeaderSize + RowStride(255 * 3) * 420u) << "page " << page;
        }
        platform::GlobalFreeBlock(dib);
        ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
    }
    EXPECT_EQ(sourceState, 500);
    EXPECT_TRUE(headlessWindowLog.setupControlsEnabled);
    EXPECT_TRUE(headlessWindowLog.scanButtonsEnabled);
}

TEST_F(SourceDialogTest, PreviewScanRefusedWhileTheFeederIsLoaded) {
    Simulate("VOREL_SIM_FEEDER", "loaded");
    OpenSource();
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    const int rendersBefore = headlessWindowLog.renders;
    Dialog().PreviewScan();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, TEXT_NO_PREVIEW_WITH_FEEDER);
    EXPECT_EQ(boxes[0].caption, "Vorel Source");
    EXPECT_EQ(boxes[0].type & 0xF, platform::kBoxOk);
    EXPECT_EQ(headlessWindowLog.renders, rendersBefore) << "nothing scanned";
}

// A scanner whose geometry announces more than pixels x lines x 3 bytes,
// and that delivers every byte asked for.
std::int32_t bytesDelivered = 0;
std::int16_t VOREL_API OverstatedGeometry(ScanGeometry* geometry) {
    std::int16_t status = RecordingScannerLibrary().GetScanGeometry(geometry);
    if (geometry != nullptr) geometry->totalBytes = 4 * 1000 * 1000;
    return status;
}
std::int16_t VOREL_API GenerousRead(std::int16_t, void* buffer, std::int32_t count, std::int32_t* got) {
    if (count > 0) std::memset(buffer, 0x55, static_cast<std::size_t>(count));
    bytesDelivered += count;
    *got = count;
    return 0;
}

TEST_F(SourceDialogTest, PreviewScanReadsNoMoreThanTheBufferHolds) {
    OpenSource();
    ScannerLibrary lying = RecordingScannerLibrary();
    lying.GetScanGeometry = OverstatedGeometry;
    lying.ReadScanData = GenerousRead;
    SetScannerLibraryForTesting(&lying);
    bytesDelivered = 0;
    Dialog().PreviewScan();
    SetScannerLibraryForTesting(&RecordingScannerLibrary());
    EXPECT_EQ(static_cast<std::size_t>(bytesDelivered), Dialog().preview.bufferSize())
        << "read exactly the buffer, not the announced total";
}

TEST_F(SourceDialogTest, ImageTypeChangeRendersTheSamePreviewAgain) {
    OpenSource();
    struct Case {
        int position;
        std::uint32_t paletteEntries;
        std::uint32_t bitsPerPixel;
    };
    for (const Case& c : {Case{1, 256, 8}, Case{2, 0, 24}, Case{0, 2, 1}}) {
        const int rendersBefore = headlessWindowLog.renders;
        List().SetCurSel(c.position);
        Dialog().OnImageTypeChange();
        EXPECT_EQ(headlessWindowLog.renders, rendersBefore + 1) << "position " << c.position;
        EXPECT_EQ(Dialog().preview.renderedBitsPerPixel, c.bitsPerPixel) << "position " << c.position;
        EXPECT_EQ(Dialog().preview.renderedPaletteEntries, c.paletteEntries) << "position " << c.position;
    }
    EXPECT_TRUE(Calls().windows.empty()) << "nothing scanned";
}

// --- Window operations ---

TEST_F(SourceDialogTest, AboutBoxForItsSystemCommandsOnly) {
    OpenSource();
    for (unsigned command = 0; command < 64; ++command) {
        const int before = headlessWindowLog.aboutBoxes;
        Dialog().OnSysCommand(command);
        EXPECT_EQ(headlessWindowLog.aboutBoxes - before, (command >= 16 && command <= 31) ? 1 : 0)
            << "system command " << command;
    }
    const int before = headlessWindowLog.aboutBoxes;
    Dialog().OnSysCommand(0xF060);  // SC_CLOSE
    Dialog().OnSysCommand(0xF010);  // SC_MOVE
    EXPECT_EQ(headlessWindowLog.aboutBoxes, before);
}

TEST_F(SourceDialogTest, ClosingOrCancellingTheDialogAsksToBeClosed) {
    OpenSource();
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    Dialog().OnClose();
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].msg, MSG_CLOSEDSREQ) << "OnClose";
    EXPECT_EQ(sourceState, 500) << "OnClose changes no state";
    Dialog().OnCancel();
    ASSERT_EQ(Notifications().size(), 2u);
    EXPECT_EQ(Notifications()[1].msg, MSG_CLOSEDSREQ) << "OnCancel";
    EXPECT_EQ(sourceState, 500) << "OnCancel changes no state";
}

// A TWAIN 2 application whose callback, called at once by its manager,
// answers a notification by disabling, closing and opening the source again
// (and, for MSG_XFERREADY, enabling it without its window, which sets the
// next scan up from inside the first one's notification). The handler that
// sent it must not touch the dialog, its window or its session afterwards:
// the sanitizer build sees any use of what the closing freed.
TW_IDENTITY* reenteringApp = nullptr;
int reentries = 0;
TW_UINT16 ReopenFromTheCallback(TW_UINT16 msg) {
    RecordNotification(msg);
    if (reentries++ > 0) return TWRC_SUCCESS;
    TW_USERINTERFACE ui{0, 0, nullptr};
    EXPECT_EQ(DS_Entry(reenteringApp, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS) << msg;
    TW_IDENTITY source{};
    EXPECT_EQ(DS_Entry(reenteringApp, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS) << msg;
    DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &source);
    source.Id = kSourceId;
    EXPECT_EQ(DS_Entry(reenteringApp, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS) << msg;
    if (msg == MSG_XFERREADY) {
        EXPECT_EQ(DS_Entry(reenteringApp, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS) << msg;
    }
    return TWRC_SUCCESS;
}

TEST_F(SourceDialogTest, HandlersTouchNothingAfterTheApplicationClosedTheSourceInItsCallback) {
    struct Case {
        const char* name;
        void (SourceDialog::*press)();
        TW_UINT16 told;
        TW_INT32 stateAfter;
    } const cases[] = {{"Cancel", &SourceDialog::OnCancel, MSG_CLOSEDSREQ, 400},
                       {"close box", &SourceDialog::OnClose, MSG_CLOSEDSREQ, 400},
                       {"Final Scan", &SourceDialog::OnFinalScanButton, MSG_XFERREADY, 600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        OpenSource();
        ASSERT_EQ(Enable(true), TWRC_SUCCESS);
        SourceDialog* first = &Dialog();
        reenteringApp = &app;
        reentries = 0;
        SetNotificationHookForTesting(ReopenFromTheCallback);
        (first->*c.press)();
        SetNotificationHookForTesting(RecordNotification);
        ASSERT_FALSE(Notifications().empty());
        EXPECT_EQ(Notifications()[0].msg, c.told);
        EXPECT_EQ(sourceState, c.stateAfter) << "the state the callback left";
        ASSERT_NE(theApp.GetDialog(), nullptr) << "the source was opened again";
        EXPECT_EQ(headlessWindowLog.windowsAlive, 1) << "the new opening's window alone";
        EXPECT_FALSE(Dialog().IsWindowVisible()) << "enabled without its window";
        if (c.stateAfter == 600) {
            EXPECT_FALSE(headlessWindowLog.scanButtonsEnabled) << "the new scan holds its set-up";
            EXPECT_EQ(EndXfer(), TWRC_SUCCESS);
        }
    }
}

TEST_F(SourceDialogTest, ScanRegionIsSetAndLocked) {
    OpenSource();
    EXPECT_FALSE(Dialog().preview.regionLocked);
    EXPECT_EQ(Dialog().SetScanRegion(105, 0, 1999, 3001), 1);
    std::int32_t l = -1, t = -1, r = -1, b = -1;
    Dialog().GetScanRegion(&l, &t, &r, &b);
    EXPECT_EQ((Rect32{l, t, r, b}), (Rect32{105, 0, 1999, 3001}));
    EXPECT_EQ(Dialog().preview.region, (Rect32{10, 0, 199, 300}));
    EXPECT_TRUE(Dialog().preview.regionLocked);
}

}  // namespace

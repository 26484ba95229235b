// The three transfers of the final scan through DS_Entry, over the
// simulated scanner: memory strips and their ending, the native DIB, BMP
// and TIFF files, what each delivers compared with the others, and buffers,
// handles and slots an application gets wrong.
#include "source_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "image_tools.h"
#include "imaging/dib_format.h"
#include "protocol/extended_image_info.h"
#include "protocol/image_transfers.h"
#include "imaging/units.h"
#include "imaging/little_endian_writer.h"
#include "sheet_page.h"
#include "capability_test_blocks.h"
#include "codec_decoders.h"

namespace {

using namespace source_test;

using Bytes = std::vector<std::uint8_t>;

const auto kBadPointer = reinterpret_cast<void*>(0x100);

class ImageTransferTest : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        ResetMemoryTransfer();
        ASSERT_EQ(Open(), TWRC_SUCCESS) << "MSG_OPENDS";
    }
    // The simulator reads its knobs at power-on, so the source is closed
    // around the change.
    void Reopen(const char* variable, const char* value) {
        ASSERT_EQ(Close(), TWRC_SUCCESS);
        Simulate(variable, value);
        ASSERT_EQ(Open(), TWRC_SUCCESS);
    }
    void TearDown() override {
        ResetMemoryTransfer();
        SourceTest::TearDown();
    }

    // A final scan of the region (0, 0, right, bottom) in 1/300 inch, in
    // the image type of the pixel type and depth, at `dpi` on both axes.
    void StartScan(TW_UINT16 pixelType, TW_UINT16 depth, TW_UINT16 dpi, float right, float bottom,
                   TW_UINT16 ydpi = 0) {
        pixelType_ = pixelType;
        depth_ = depth;
        dpi_ = dpi;
        right_ = right;
        bottom_ = bottom;
        ASSERT_EQ(SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_PIXELS), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, depth), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, dpi), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, ydpi != 0 ? ydpi : dpi), TWRC_SUCCESS);
        TW_IMAGELAYOUT layout{{ToFix32(0), ToFix32(0), ToFix32(right), ToFix32(bottom)}, 0, 0, 0};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        ASSERT_EQ(sourceState, 600) << "final scan set up";
    }
    // From a finished transfer back to state 400.
    void BackToOpen() {
        if (sourceState == 600) {
            EXPECT_EQ(EndXfer(), TWRC_SUCCESS);
        }
        if (sourceState == 500) {
            EXPECT_EQ(Disable(false), TWRC_SUCCESS);
        }
    }
    // The same final scan once more, after the transfer of the last one.
    void ScanAgain() {
        if (sourceState == 600) {
            ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
        }
        ASSERT_EQ(Disable(false), TWRC_SUCCESS);
        ResetMemoryTransfer();
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        ASSERT_EQ(sourceState, 600) << "final scan set up again";
    }

    TW_UINT16 MemXfer(TW_IMAGEMEMXFER* xfer, TW_UINT16 msg = MSG_GET) {
        return Call(DG_IMAGE, DAT_IMAGEMEMXFER, msg, xfer);
    }
    static TW_IMAGEMEMXFER Strip(TW_UINT32 flags, TW_UINT32 length, void* memory) {
        TW_IMAGEMEMXFER xfer;
        std::memset(&xfer, 0xA5, sizeof xfer);
        xfer.Memory = TW_MEMORY{flags, length, memory};
        return xfer;
    }
    // Every row of the image by memory transfer, padding removed.
    Bytes MemoryImage(std::uint32_t bufferSize = 64000) {
        Bytes image;
        Bytes buffer(bufferSize);
        for (int call = 0; call < 1000; ++call) {
            TW_IMAGEMEMXFER xfer = Strip(TWMF_APPOWNS | TWMF_POINTER, bufferSize, buffer.data());
            const TW_UINT16 rc = MemXfer(&xfer);
            EXPECT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << "strip " << call << " rc " << rc;
            for (std::uint32_t row = 0; row < xfer.Rows; ++row) {
                const std::uint8_t* at = buffer.data() + row * xfer.BytesPerRow;
                image.insert(image.end(), at, at + BytesPerLine());
            }
            if (rc != TWRC_SUCCESS) break;
        }
        TW_IMAGEMEMXFER last = Strip(TWMF_POINTER, bufferSize, buffer.data());
        EXPECT_EQ(MemXfer(&last), TWRC_XFERDONE) << "the call after the end";
        return image;
    }
    // The packed DIB of a native transfer; the block is freed.
    Bytes NativeImage() {
        TW_HANDLE slot = reinterpret_cast<TW_HANDLE>(std::uintptr_t(kSentinel32));
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot), TWRC_XFERDONE);
        Bytes dib(platform::GlobalBlockSize(slot));
        {
            platform::LockedBlock block(slot);
            EXPECT_TRUE(block) << "the handle in the slot does not lock";
            if (block) std::memcpy(dib.data(), block.get(), dib.size());
        }
        platform::GlobalFreeBlock(slot);
        return dib;
    }
    // The rows of a packed DIB top-down, padding removed.
    Bytes DibRowsTopDown(const Bytes& dib, std::uint32_t entries) {
        Bytes rows;
        const std::size_t stride = RowStride(BytesPerLine());
        const std::size_t first = kDibHeaderSize + 4 * entries;
        for (int line = Lines() - 1; line >= 0; --line) {
            const std::uint8_t* at = dib.data() + first + stride * line;
            rows.insert(rows.end(), at, at + BytesPerLine());
        }
        return rows;
    }
    void SetUpFile(const std::string& name, TW_UINT16 format) {
        TW_SETUPFILEXFER setup{};
        std::strncpy(setup.FileName, name.c_str(), sizeof setup.FileName - 1);
        setup.Format = format;
        ASSERT_EQ(Control(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS) << name;
    }
    TW_UINT16 FileXfer() { return Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr); }

    std::uint32_t BytesPerLine() { return static_cast<std::uint32_t>(Session().GetBytesPerLine()); }
    int Lines() { return Session().GetLineCount(); }

    TW_UINT16 pixelType_ = 0, depth_ = 0, dpi_ = 0;
    float right_ = 0, bottom_ = 0;
};

// --- Memory transfer ---

struct StripCase {
    const char* name;
    float bottom;  // 1/300 inch at 100 dpi: lines = bottom / 3
    std::vector<TW_UINT16> codes;
    std::vector<TW_UINT32> rows;
};

TEST_F(ImageTransferTest, MemoryStripsOfWholeRowsEndWithTheShortStrip) {
    const StripCase cases[] = {
        {"100 lines", 300, {TWRC_SUCCESS, TWRC_SUCCESS, TWRC_XFERDONE, TWRC_XFERDONE}, {39, 39, 22, 0}},
        {"78 lines: ends on a strip boundary",
         234,
         {TWRC_SUCCESS, TWRC_SUCCESS, TWRC_XFERDONE, TWRC_XFERDONE},
         {39, 39, 0, 0}},
    };
    bool first = true;
    for (const StripCase& c : cases) {
        if (first) {
            // 101 grey pixels at 100 dpi: 101 bytes per line, rows of 104.
            StartScan(TWPT_GRAY, 8, 100, 303, c.bottom);
        } else {
            ScanAgain();
            TW_IMAGELAYOUT layout{{ToFix32(0), ToFix32(0), ToFix32(303), ToFix32(c.bottom)}, 0, 0, 0};
            ASSERT_EQ(Disable(false), TWRC_SUCCESS);
            ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
            ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        }
        first = false;
        ASSERT_EQ(BytesPerLine(), 101u) << c.name;
        Bytes buffer(4096 + 16, 0xCC);
        TW_UINT32 yOffset = 0;
        for (std::size_t i = 0; i < c.codes.size(); ++i) {
            TW_IMAGEMEMXFER xfer = Strip(TWMF_APPOWNS | TWMF_POINTER, 4096, buffer.data());
            EXPECT_EQ(MemXfer(&xfer), c.codes[i]) << c.name << ", call " << i;
            EXPECT_EQ(+xfer.BytesWritten, c.rows[i] * 104) << c.name << ", call " << i;
            if (i + 1 < c.codes.size()) {  // the extra call after the end writes only BytesWritten
                EXPECT_EQ(+xfer.Rows, c.rows[i]) << c.name << ", call " << i;
                EXPECT_EQ(+xfer.BytesPerRow, 104u) << c.name << ", call " << i;
                EXPECT_EQ(+xfer.Columns, 101u) << c.name << ", call " << i;
                EXPECT_EQ(+xfer.XOffset, 0u) << c.name << ", call " << i;
                EXPECT_EQ(+xfer.YOffset, yOffset) << c.name << ", call " << i;
                EXPECT_EQ(xfer.Compression, TWCP_NONE) << c.name << ", call " << i;
                yOffset += c.rows[i];
            }
            EXPECT_EQ(buffer[4096], 0xCC) << c.name << ": written past the buffer";
        }
        EXPECT_EQ(scanInProgress, 0u) << c.name;
        EXPECT_EQ(Status(), TWCC_SUCCESS) << c.name;
    }
}

TEST_F(ImageTransferTest, BufferLengthsOutsideTheAnnouncedBoundsAreRefused) {
    StartScan(TWPT_GRAY, 8, 100, 303, 300);
    Bytes buffer(64001);
    const struct {
        TW_UINT32 flags;
        TW_UINT32 length;
        bool accepted;
    } cases[] = {
        {TWMF_POINTER, 4095, false}, {TWMF_POINTER, 64001, false}, {TWMF_POINTER, 0, false},
        {0, 4096, false},            {0x20, 4096, false},
        // Who owns it, but neither handle nor pointer said: a pointer.
        {TWMF_APPOWNS, 4096, true},  {TWMF_APPOWNS | TWMF_DSMOWNS, 4096, true},
        {TWMF_POINTER, 64000, true},
    };
    for (const auto& c : cases) {
        TW_IMAGEMEMXFER xfer = Strip(c.flags, c.length, buffer.data());
        const TW_UINT16 rc = MemXfer(&xfer);
        if (c.accepted) {
            EXPECT_NE(rc, TWRC_FAILURE) << "flags " << c.flags << " length " << c.length;
            EXPECT_GT(+xfer.BytesWritten, 0u) << "flags " << c.flags << " length " << c.length;
        } else {
            EXPECT_EQ(rc, TWRC_FAILURE) << "flags " << c.flags << " length " << c.length;
            EXPECT_EQ(Status(), TWCC_BADVALUE) << "flags " << c.flags << " length " << c.length;
            EXPECT_EQ(+xfer.BytesWritten, 0xA5A5A5A5u) << "refused, yet written";
        }
    }
}

// The sizes announced hold whole rows of the pending image; a buffer without
// room for one row is refused and the transfer goes on where it was.
TEST_F(ImageTransferTest, BufferWithoutRoomForOneRowIsRefusedAndTheTransferGoesOn) {
    // 1400 colour pixels: rows of 4200 bytes.
    StartScan(TWPT_RGB, 24, 300, 1400, 30);
    ASSERT_EQ(BytesPerLine(), 4200u);
    TW_SETUPMEMXFER sizes{};
    ASSERT_EQ(Control(DAT_SETUPMEMXFER, MSG_GET, &sizes), TWRC_SUCCESS);
    EXPECT_EQ(+sizes.MinBufSize, 4200u);
    EXPECT_EQ(+sizes.Preferred, 15u * 4200u);
    EXPECT_EQ(+sizes.MaxBufSize, 64000u);
    Bytes buffer(8400);
    TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 4096, buffer.data());
    EXPECT_EQ(MemXfer(&xfer), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    xfer = Strip(TWMF_POINTER, 8400, buffer.data());
    EXPECT_EQ(MemXfer(&xfer), TWRC_SUCCESS);
    EXPECT_EQ(+xfer.Rows, 2u);
    EXPECT_EQ(+xfer.YOffset, 0u) << "the refused buffer took no row";
    BackToOpen();
    // Before the final scan: the rows the negotiated scan will have, here
    // 600 dpi colour over the whole bed (5100 pixels, 15300 bytes).
    Dialog().SetScanRegion(0, 0, 0, 0);
    ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 600), TWRC_SUCCESS);
    ASSERT_EQ(Control(DAT_SETUPMEMXFER, MSG_GET, &sizes), TWRC_SUCCESS);
    EXPECT_EQ(+sizes.MinBufSize, 15300u);
    EXPECT_EQ(+sizes.Preferred, 4u * 15300u);
}

TEST_F(ImageTransferTest, UnusableBuffersAreRefusedWithoutWritingAnywhere) {
    StartScan(TWPT_GRAY, 8, 100, 303, 300);
    EXPECT_EQ(MemXfer(nullptr), TWRC_FAILURE) << "no TW_IMAGEMEMXFER";
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, kBadPointer), TWRC_FAILURE) << "TW_IMAGEMEMXFER at 0x100";
    EXPECT_EQ(Status(), TWCC_BADVALUE);

    const struct {
        const char* name;
        TW_UINT32 flags;
        void* memory;
    } cases[] = {
        {"null pointer", TWMF_POINTER, nullptr},
        {"pointer into nowhere", TWMF_POINTER, kBadPointer},
        {"null handle", TWMF_HANDLE, nullptr},
        {"handle nobody allocated", TWMF_HANDLE, reinterpret_cast<void*>(0x12345678)},
    };
    for (const auto& c : cases) {
        TW_IMAGEMEMXFER xfer = Strip(c.flags, 4096, c.memory);
        EXPECT_EQ(MemXfer(&xfer), TWRC_FAILURE) << c.name;
        EXPECT_EQ(Status(), TWCC_BADVALUE) << c.name;
        EXPECT_EQ(+xfer.BytesWritten, 0u) << c.name;
        // The failed transfer is over: the next call says so.
        TW_IMAGEMEMXFER next = Strip(c.flags, 4096, c.memory);
        EXPECT_EQ(MemXfer(&next), TWRC_XFERDONE) << c.name;
        EXPECT_EQ(+next.BytesWritten, 0u) << c.name;
    }
}

TEST_F(ImageTransferTest, HandleBufferIsNeverTakenAsLongerThanItsBlock) {
    StartScan(TWPT_GRAY, 8, 100, 303, 300);
    platform::GlobalHandle block = platform::GlobalAllocate(platform::kGmemShareable, 2000);
    ASSERT_NE(block, nullptr);
    TW_IMAGEMEMXFER xfer = Strip(TWMF_APPOWNS | TWMF_HANDLE, 4096, block);
    EXPECT_EQ(MemXfer(&xfer), TWRC_SUCCESS);
    EXPECT_EQ(+xfer.Rows, 2000u / 104) << "whole rows that fit the 2000-byte block";
    EXPECT_EQ(+xfer.BytesWritten, 2000u / 104 * 104);
    // Still lockable and unlocked: the transfer did not keep it locked.
    EXPECT_NE(platform::GlobalLockBlock(block), nullptr);
    platform::GlobalUnlockBlock(block);
    platform::GlobalFreeBlock(block);
}

TEST_F(ImageTransferTest, OtherMessagesAreRefusedAndLeaveTheScanOpen) {
    StartScan(TWPT_GRAY, 8, 100, 303, 300);
    Bytes buffer(4096);
    TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 4096, buffer.data());
    EXPECT_EQ(MemXfer(&xfer, MSG_GETCURRENT), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(scanInProgress, 1u);
}

TEST_F(ImageTransferTest, EndXferResetsTheScannerOnlyAfterAnEarlyStop) {
    StartScan(TWPT_GRAY, 8, 100, 303, 300);
    Bytes buffer(4096);
    TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 4096, buffer.data());
    ASSERT_EQ(MemXfer(&xfer), TWRC_SUCCESS);
    const int resetsBefore = Calls().resets;
    ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
    EXPECT_EQ(Calls().resets, resetsBefore + 1) << "stopped after one strip";

    ScanAgain();
    MemoryImage(4096);
    const int resetsAfterFullTransfer = Calls().resets;
    ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
    EXPECT_EQ(Calls().resets, resetsAfterFullTransfer) << "the whole image was transferred";
}

// --- Native transfer ---

struct TypeCase {
    const char* name;
    TW_UINT16 pixelType;
    TW_UINT16 depth;
    std::uint32_t entries;
};
const TypeCase kTypes[] = {
    {"BW Drawing", TWPT_BW, 1, 2},
    {"BW Photo", TWPT_GRAY, 8, 256},
    {"Color Photo", TWPT_RGB, 24, 0},
};

TEST_F(ImageTransferTest, NativeDibIsABottomUpPackedDibOfTheScan) {
    for (const TypeCase& c : kTypes) {
        BackToOpen();
        StartScan(c.pixelType, c.depth, 50, 1506, 600);  // 251 x 100 pixels
        const int pixels = Session().GetPixelsPerLine();
        const std::uint32_t stride = RowStride(BytesPerLine());
        const int lines = Lines();
        ASSERT_EQ(pixels, 251) << c.name;
        ASSERT_EQ(lines, 100) << c.name;

        const Bytes dib = NativeImage();
        EXPECT_EQ(scanInProgress, 0u) << c.name;
        ASSERT_EQ(dib.size(), kDibHeaderSize + 4 * c.entries + stride * lines) << c.name;
        const DibHeader header = ReadDibHeader(dib.data());
        EXPECT_EQ(header.width, pixels) << c.name;
        EXPECT_EQ(header.height, lines) << c.name << ": bottom-up";
        EXPECT_EQ(header.bitCount, c.depth) << c.name;
        EXPECT_EQ(header.sizeImage, stride * lines) << c.name;
        if (c.entries > 0) {
            EXPECT_EQ(ReadU32(dib.data(), kDibHeaderSize), 0u) << c.name << ": first entry black";
            EXPECT_EQ(ReadU32(dib.data(), kDibHeaderSize + 4 * (c.entries - 1)), 0x00FFFFFFu)
                << c.name << ": last entry white";
        }
        EXPECT_EQ(CountNotifications(MSG_XFERREADY), 1 + static_cast<int>(&c - kTypes)) << c.name;
    }
}

// Frames reaching beyond the bed are delivered as the part on the bed,
// never cut to 16 bits into a strip somewhere else.
TEST_F(ImageTransferTest, FramesBeyondTheBedAreNotDeliveredAsAStrip) {
    const struct {
        const char* name;
        float left, top, right, bottom;  // inches
        long width, height;               // pixels at 50 dpi
    } cases[] = {
        {"right edge 219.5 inches", 0, 0, 219.5f, 2, 425, 100},
        {"negative left edge", -3, 1, 2, 3, 100, 100},
    };
    for (const auto& c : cases) {
        BackToOpen();
        ASSERT_EQ(SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
        TW_IMAGELAYOUT layout{{ToFix32(c.left), ToFix32(c.top), ToFix32(c.right), ToFix32(c.bottom)}, 0, 0, 0};
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_CHECKSTATUS) << c.name;
        ASSERT_EQ(Enable(false), TWRC_SUCCESS) << c.name;
        const Bytes dib = NativeImage();
        ASSERT_GE(dib.size(), kDibHeaderSize) << c.name;
        const DibHeader header = ReadDibHeader(dib.data());
        EXPECT_EQ(header.width, c.width) << c.name;
        EXPECT_EQ(header.height, c.height) << c.name;
    }
}

// The same scan by native and by memory transfer: rows flipped, and for
// colour red and blue exchanged by the scanner's colour matrix.
TEST_F(ImageTransferTest, NativeAndMemoryDeliverTheSameImage) {
    for (const TypeCase& c : kTypes) {
        BackToOpen();
        StartScan(c.pixelType, c.depth, 50, 2550, 600);
        const Bytes native = DibRowsTopDown(NativeImage(), c.entries);
        ScanAgain();
        const Bytes memory = MemoryImage();
        ASSERT_EQ(memory.size(), native.size()) << c.name;
        if (c.depth != 24) {
            EXPECT_TRUE(memory == native) << c.name;
            continue;
        }
        std::size_t coloured = 0, mismatches = 0;
        for (std::size_t i = 0; i + 2 < native.size(); i += 3) {
            if (native[i] != native[i + 2]) ++coloured;
            if (native[i] != memory[i + 2] || native[i + 1] != memory[i + 1] || native[i + 2] != memory[i])
                ++mismatches;
        }
        EXPECT_GT(coloured, 0u) << "the page has no pixel whose red and blue differ";
        EXPECT_EQ(mismatches, 0u) << "native pixels are blue, green, red; strip pixels red, green, blue";
    }
}

// The DIB block is not zero-filled when allocated: the rows the scanner
// never reached and every row's padding must still come out zero.
// A scan whose data ends before its announced size is a failed transfer by
// every mechanism, told to the user once each time, never a padded image;
// so is a turned one, whose page is read whole before a byte goes out.
TEST_F(ImageTransferTest, ShortScanFailsEveryMechanismAndSaysSo) {
    Reopen("VOREL_SIM_LINES", "10");
    const std::string name = folder + "/short.tif";
    for (int degrees : {0, 90})
    for (const char* mechanism : {"native", "memory", "tiff", "bmp"}) {
        SCOPED_TRACE(testing::Message() << "rotation " << degrees);
        BackToOpen();
        ASSERT_EQ(SetOneValue(ICAP_ROTATION, TWTY_UINT16, degrees), TWRC_SUCCESS);
        StartScan(TWPT_RGB, 24, 50, 606, 600);  // 100 lines announced
        boxes.clear();
        TW_UINT16 rc = TWRC_SUCCESS;
        const std::string m = mechanism;
        if (m == "native") {
            TW_HANDLE slot = nullptr;
            rc = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot);
            EXPECT_EQ(slot, nullptr) << mechanism;
        } else if (m == "memory") {
            Bytes buffer(64000);
            for (int strip = 0; strip < 10 && rc == TWRC_SUCCESS; ++strip) {
                TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 4096, buffer.data());
                rc = MemXfer(&xfer);
            }
        } else {
            SetUpFile(name, m == "tiff" ? TWFF_TIFF : TWFF_BMP);
            rc = FileXfer();
            EXPECT_FALSE(image_tools::FileExists(name)) << mechanism;
        }
        EXPECT_EQ(rc, TWRC_FAILURE) << mechanism;
        EXPECT_EQ(Status(), TWCC_BUMMER) << mechanism;
        ASSERT_EQ(boxes.size(), 1u) << mechanism;
        EXPECT_NE(boxes[0].text.find("incomplete"), std::string::npos) << boxes[0].text;
        EXPECT_NE(boxes[0].text.find("[114]"), std::string::npos) << boxes[0].text;
    }
}

TEST_F(ImageTransferTest, NativeRefusalsHandNothingOver) {
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    TW_HANDLE slot = reinterpret_cast<TW_HANDLE>(std::uintptr_t(kSentinel32));
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot), TWRC_FAILURE) << "state 500";
    EXPECT_EQ(Status(), TWCC_SEQERROR);
    ASSERT_EQ(Disable(true), TWRC_SUCCESS);

    StartScan(TWPT_GRAY, 8, 50, 600, 600);
    const long blocksHeld = platform::GlobalBlocksOutstanding();
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GETCURRENT, &slot), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
    for (void* bad : {static_cast<void*>(nullptr), kBadPointer}) {
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, bad), TWRC_FAILURE) << "slot " << bad;
        EXPECT_EQ(Status(), TWCC_BADVALUE);
    }
    EXPECT_EQ(slot, reinterpret_cast<TW_HANDLE>(std::uintptr_t(kSentinel32)));
    EXPECT_EQ(platform::GlobalBlocksOutstanding(), blocksHeld) << "a refused transfer allocated";

    // No memory for the DIB.
    platform::FailGlobalAllocationsAfter(0);
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot), TWRC_FAILURE);
    platform::FailGlobalAllocationsAfter(-1);
    EXPECT_EQ(Status(), TWCC_LOWMEMORY);
    EXPECT_EQ(scanInProgress, 0u);
    EXPECT_EQ(slot, reinterpret_cast<TW_HANDLE>(std::uintptr_t(kSentinel32)));
}

// --- File transfer ---

// (A scan that stops early fails: ShortScanFailsEveryMechanismAndSaysSo.)
TEST_F(ImageTransferTest, TiffFileIsTheHeaderThenTheScannersBytes) {
    for (const char* lines : {""}) {
        if (*lines) Reopen("VOREL_SIM_LINES", lines);
        // Colour, 101 pixels: 303 bytes per line, so strips carry padding.
        StartScan(TWPT_RGB, 24, 100, 303, 150);
        ASSERT_EQ(BytesPerLine(), 303u);
        const std::string name = folder + "/scan.tif";
        SetUpFile(name, TWFF_TIFF);
        ASSERT_EQ(FileXfer(), TWRC_XFERDONE) << "lines " << lines;
        EXPECT_EQ(scanInProgress, 0u);
        const Bytes file = image_tools::ReadAll(name);
        const std::size_t delivered = *lines ? 10 : 50;
        ASSERT_EQ(file.size(), 354 + 50 * 303) << "lines " << lines;
        EXPECT_EQ(ReadU32(file.data(), 118 + 8), 50u * 303) << "StripByteCounts announces the whole scan";
        EXPECT_EQ(ReadU32(file.data(), 170), 100u) << "X resolution";

        // The strip equals the memory transfer of the same scan: red, green, blue.
        ScanAgain();
        const Bytes memory = MemoryImage();
        ASSERT_EQ(memory.size(), delivered * 303);
        EXPECT_TRUE(Bytes(file.begin() + 354, file.begin() + 354 + memory.size()) == memory) << "lines " << lines;
        EXPECT_TRUE(std::all_of(file.begin() + 354 + memory.size(), file.end(), [](std::uint8_t b) { return b == 0; }))
            << "padding of the missing lines";
        if (image_tools::Installed("tiffinfo")) {
            EXPECT_EQ(image_tools::Run("tiffinfo '" + name + "'").exitCode, 0) << "tiffinfo rejects " << name;
        }
    }
}

// The BMP file is written as the scan is read, its rows from the end of the
// file towards its start; it must still be the native DIB byte for byte,
// and the scanner must hear exactly the calls of the native transfer.
TEST_F(ImageTransferTest, BmpFileIsTheFileHeaderThenTheNativeDib) {
    const std::string log = folder + "/calls.log";
    const struct {
        TypeCase type;
        TW_UINT16 dpi;
        float right, bottom;
        const char* lines;
    } cases[] = {
        {kTypes[1], 50, 606, 600, ""},      // rows with padding
        {kTypes[2], 50, 606, 600, "10"},    // a short scan
        {kTypes[0], 100, 2550, 3000, ""},   // bi-level
        {kTypes[1], 300, 2550, 1200, ""},   // rows for three batches
        {kTypes[2], 150, 2550, 1500, "333"},  // several batches, then rows never reached
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.type.name) + " at " + std::to_string(c.dpi) + " dpi, lines " + c.lines;
        BackToOpen();
        if (*c.lines) {
            setenv("VOREL_SIM_LINES", c.lines, 1);
        } else {
            unsetenv("VOREL_SIM_LINES");
        }
        Reopen("VOREL_SIM_LOG", log.c_str());
        StartScan(c.type.pixelType, c.type.depth, c.dpi, c.right, c.bottom);
        const std::string name = folder + "/scan.bmp";
        std::remove(name.c_str());
        SetUpFile(name, TWFF_BMP);
        std::remove(log.c_str());
        if (*c.lines) {
            // A scan that stops early delivers nothing, by file or natively.
            EXPECT_EQ(FileXfer(), TWRC_FAILURE) << what;
            EXPECT_FALSE(image_tools::FileExists(name)) << what;
            continue;
        }
        ASSERT_EQ(FileXfer(), TWRC_XFERDONE) << what;
        EXPECT_EQ(scanInProgress, 0u);
        const Bytes file = image_tools::ReadAll(name);
        const Bytes fileCalls = image_tools::ReadAll(log);
        ScanAgain();
        std::remove(log.c_str());
        const Bytes dib = NativeImage();
        const Bytes nativeCalls = image_tools::ReadAll(log);
        ASSERT_EQ(file.size(), 14 + dib.size()) << what;
        EXPECT_EQ(ReadU32(file.data(), 10), 14u + 40 + 4 * c.type.entries) << what << ": bfOffBits";
        EXPECT_TRUE(Bytes(file.begin() + 14, file.end()) == dib) << what;
        EXPECT_TRUE(fileCalls == nativeCalls) << what << ": the scanner heard other calls";
        EXPECT_GT(fileCalls.size(), 0u) << what;
    }
}

// Chunks of 60000 bytes are gathered into larger writes of the file; the
// scanner still hears one read of 60000 bytes after another, the short
// last one, and one more that finds the end. A short scan is padded to the
// strip its header announces.
TEST_F(ImageTransferTest, TiffFileReadsTheScannerInChunksOfSixtyThousand) {
    const std::string log = folder + "/calls.log";
    for (const char* lines : {"", "1000"}) {
        BackToOpen();
        if (*lines) setenv("VOREL_SIM_LINES", lines, 1);
        Reopen("VOREL_SIM_LOG", log.c_str());
        StartScan(TWPT_GRAY, 8, 300, 2550, 1300);  // 2550 x 1300 pixels, 55 chunks
        SetUpFile(folder + "/scan.tif", TWFF_TIFF);
        std::remove(log.c_str());
        ASSERT_EQ(FileXfer(), *lines ? TWRC_FAILURE : TWRC_XFERDONE) << "a short scan fails";
        const std::size_t total = 2550u * (*lines ? 1000 : 1300);
        std::vector<std::string> expected;
        for (std::size_t at = 0;; at += 60000) {
            const std::size_t got = at < total ? std::min<std::size_t>(60000, total - at) : 0;
            expected.push_back("14 ReadScanData(" + std::string(at == 0 ? "2" : "0") + ", ptr, 60000, ptr) = 0 [got " +
                               std::to_string(got) + "]");
            if (got == 0) break;
        }
        std::vector<std::string> reads;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("14 ", 0) == 0) reads.push_back(line);
        }
        EXPECT_EQ(reads, expected) << "lines " << lines;
        EXPECT_EQ(image_tools::ReadAll(folder + "/scan.tif").size(), 354 + 2550u * 1300) << "lines " << lines;
    }
}

// The file DAT_SETUPFILEXFER names is replaced only by a whole image: a
// failed transfer leaves the user's file byte for byte, and no other file.
TEST_F(ImageTransferTest, FailedFileTransferKeepsTheUsersFile) {
    const std::string name = folder + "/keep.img";
    for (TW_UINT16 format : {TWFF_TIFF, TWFF_BMP}) {
        BackToOpen();
        Reopen("VOREL_SIM_LINES", "10");
        { std::ofstream(name, std::ios::binary) << "the user's picture"; }
        StartScan(TWPT_GRAY, 8, 50, 600, 600);
        SetUpFile(name, format);
        EXPECT_EQ(image_tools::ReadAll(name).size(), 18u) << "DAT_SETUPFILEXFER left the file alone";
        EXPECT_EQ(FileXfer(), TWRC_FAILURE) << "format " << format;
        EXPECT_EQ(Status(), TWCC_BUMMER) << "format " << format;
        const Bytes kept = image_tools::ReadAll(name);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's picture") << "format " << format;
        std::size_t others = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            others += entry.path() != name && entry.path().filename() != "vorelsrc.ini";
        }
        EXPECT_EQ(others, 0u) << "format " << format << ": a file was left beside it";

        BackToOpen();
        ASSERT_EQ(Close(), TWRC_SUCCESS);
        unsetenv("VOREL_SIM_LINES");
        ResetSimulator();
        ASSERT_EQ(Open(), TWRC_SUCCESS);
        StartScan(TWPT_GRAY, 8, 50, 600, 600);
        EXPECT_EQ(FileXfer(), TWRC_XFERDONE) << "format " << format;
        EXPECT_GT(image_tools::ReadAll(name).size(), 10000u) << "format " << format << ": replaced by the image";
    }
}

// Another transfer into the same folder, in another process: at the
// scanner's first read it takes the first part-file name free, as the
// source does, and writes into it.
std::string otherTransferFolder;
std::string otherTransferPart;
std::int16_t VOREL_API ReadWhileAnotherTransferStarts(std::int16_t mode, void* buffer, std::int32_t count,
                                                      std::int32_t* got) {
    for (int n = 0; otherTransferPart.empty() && n < 100; ++n) {
        const std::string part = otherTransferFolder + "/~vorel-transfer" + std::to_string(n) + ".part";
        const int fd = open(part.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
        if (fd < 0) continue;
        const char text[] = "another transfer's image";
        EXPECT_EQ(write(fd, text, sizeof text - 1), ssize_t(sizeof text - 1));
        close(fd);
        otherTransferPart = part;
    }
    return RecordingScannerLibrary().ReadScanData(mode, buffer, count, got);
}

// Two transfers into one folder each write a part file of their own: one
// that starts while the source's is under way neither spoils the source's
// transfer nor loses its own file when the source's transfer succeeds or
// fails.
TEST_F(ImageTransferTest, TransfersIntoOneFolderKeepToTheirOwnPartFiles) {
    static const ScannerLibrary sharing = [] {
        ScannerLibrary table = RecordingScannerLibrary();
        table.ReadScanData = ReadWhileAnotherTransferStarts;
        return table;
    }();
    const std::string name = folder + "/shared.img";
    for (const char* lines : {"", "10"}) {
        for (TW_UINT16 format : {TWFF_TIFF, TWFF_BMP}) {
            const std::string what = std::string("format ") + std::to_string(format) + (*lines ? ", short scan" : "");
            BackToOpen();
            ASSERT_EQ(Close(), TWRC_SUCCESS);
            if (*lines) {
                setenv("VOREL_SIM_LINES", lines, 1);
            } else {
                unsetenv("VOREL_SIM_LINES");
            }
            ResetSimulator();
            ASSERT_EQ(Open(), TWRC_SUCCESS);
            std::filesystem::remove(name);
            StartScan(TWPT_GRAY, 8, 50, 600, 600);
            SetUpFile(name, format);
            otherTransferFolder = folder;
            otherTransferPart.clear();
            SetScannerLibraryForTesting(&sharing);
            const TW_UINT16 rc = FileXfer();
            SetScannerLibraryForTesting(&RecordingScannerLibrary());
            EXPECT_EQ(rc, *lines ? TWRC_FAILURE : TWRC_XFERDONE) << what;
            if (rc == TWRC_FAILURE) {
                EXPECT_EQ(Status(), TWCC_BUMMER) << what;
            }
            EXPECT_EQ(image_tools::ReadAll(name).size() > 10000u, !*lines) << what << ": the image only when whole";
            ASSERT_FALSE(otherTransferPart.empty()) << what << ": the other transfer found a name";
            const Bytes other = image_tools::ReadAll(otherTransferPart);
            EXPECT_EQ(std::string(other.begin(), other.end()), "another transfer's image")
                << what << ": " << otherTransferPart;
            std::size_t parts = 0;
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                parts += entry.path().extension() == ".part";
            }
            EXPECT_EQ(parts, 1u) << what << ": the other transfer's part file alone is left";
            std::filesystem::remove(otherTransferPart);
        }
    }
    unsetenv("VOREL_SIM_LINES");
    ResetSimulator();
}

TEST_F(ImageTransferTest, FileTransferRefusals) {
    StartScan(TWPT_GRAY, 8, 50, 600, 600);
    EXPECT_EQ(FileXfer(), TWRC_FAILURE) << "no file name set";
    EXPECT_EQ(Status(), TWCC_BUMMER);
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GETCURRENT, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL);

    // No memory for the TIFF working block.
    SetUpFile(folder + "/scan.tif", TWFF_TIFF);
    platform::FailGlobalAllocationsAfter(0);
    EXPECT_EQ(FileXfer(), TWRC_FAILURE);
    platform::FailGlobalAllocationsAfter(-1);
    EXPECT_EQ(Status(), TWCC_LOWMEMORY);
    EXPECT_EQ(scanInProgress, 0u);
    EXPECT_EQ(image_tools::ReadAll(folder + "/scan.tif").size(), 0u) << "nothing written";
}

// --- The scanner's side of a transfer ---

// Until the first read of a scan the line geometry comes from the scanner's
// inquiries: a memory strip asks for bytes per line, lines, then bytes per
// line for the row count and again for the read; a TIFF file asks for bytes
// per line, pixels per line and lines for its header.
TEST_F(ImageTransferTest, TransfersAskTheScannerInOrderBeforeTheFirstRead) {
    const std::string log = folder + "/calls.log";
    Reopen("VOREL_SIM_LOG", log.c_str());
    // The calls up to the first read, each without its result.
    auto callsBeforeFirstRead = [&] {
        std::vector<std::string> calls;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            calls.push_back(line.substr(0, line.find(" = ")));
            if (line.rfind("14 ReadScanData", 0) == 0) break;
        }
        return calls;
    };

    StartScan(TWPT_GRAY, 8, 100, 303, 150);
    std::remove(log.c_str());
    Bytes buffer(64000);
    TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 64000, buffer.data());
    ASSERT_EQ(MemXfer(&xfer), TWRC_XFERDONE);
    const std::vector<std::string> memory = {
        "26 InquireParameter(52, 82, ptr)", "26 InquireParameter(53, 82, ptr)", "26 InquireParameter(52, 82, ptr)",
        "26 InquireParameter(52, 82, ptr)", "14 ReadScanData(2, ptr, 62115, ptr)"};
    EXPECT_EQ(callsBeforeFirstRead(), memory) << "DAT_IMAGEMEMXFER MSG_GET, first strip";

    ScanAgain();
    SetUpFile(folder + "/scan.tif", TWFF_TIFF);
    std::remove(log.c_str());
    ASSERT_EQ(FileXfer(), TWRC_XFERDONE);
    const std::vector<std::string> tiff = {"26 InquireParameter(52, 82, ptr)", "26 InquireParameter(51, 82, ptr)",
                                           "26 InquireParameter(53, 82, ptr)", "14 ReadScanData(2, ptr, 60000, ptr)"};
    EXPECT_EQ(callsBeforeFirstRead(), tiff) << "DAT_IMAGEFILEXFER MSG_GET, TIFF";
}

// --- What an image says about itself ---

// The grey level of every pixel of a DIB (1 or 8 bits) read through its
// colour table, or the bytes themselves for 24 bits; rows top-down.
Bytes SeenThroughColourTable(const Bytes& dib) {
    const DibHeader h = ReadDibHeader(dib.data());
    const std::uint32_t entries = h.bitCount == 24 ? 0 : 1u << h.bitCount;
    const std::size_t stride = RowStride(DibRowBytes(h.width, h.bitCount));
    const std::uint8_t* table = dib.data() + kDibHeaderSize;
    const std::uint8_t* rows = table + 4 * entries;
    Bytes seen;
    for (int line = h.height - 1; line >= 0; --line) {
        const std::uint8_t* row = rows + stride * line;
        if (entries == 0) {
            seen.insert(seen.end(), row, row + 3 * h.width);
            continue;
        }
        for (int x = 0; x < h.width; ++x) {
            const int index = h.bitCount == 8 ? row[x] : (row[x >> 3] >> (7 - (x & 7))) & 1;
            seen.push_back(table[4 * index]);
        }
    }
    return seen;
}

// The strip of a TIFF file as levels where 255 is white.
Bytes SeenThroughPhotometry(const Bytes& file, std::uint32_t bitsPerPixel) {
    Bytes strip(file.begin() + 354, file.end());
    if (ReadU32(file.data(), 70 + 8) == 0) {  // WhiteIsZero
        for (std::uint8_t& b : strip) b = static_cast<std::uint8_t>(bitsPerPixel == 1 ? ~b : 255 - b);
    }
    return strip;
}

// Pixel flavour, resolution and the picture travel with every format: a
// vanilla scan looks like the chocolate one through its colour table or its
// photometry, colour is never inverted, and a 300 x 150 dpi scan records
// 300 dpi on both axes (the scanner takes both at X).
TEST_F(ImageTransferTest, EveryFormatDescribesFlavourAndResolutionTruthfully) {
    struct Type {
        TW_UINT16 pixelType, depth;
        std::uint32_t bits;
    };
    for (const Type t : {Type{TWPT_BW, 1, 1}, Type{TWPT_GRAY, 8, 8}, Type{TWPT_RGB, 24, 24}}) {
        Bytes native[2], bmp[2], tiff[2];
        for (TW_UINT16 flavour : {TWPF_CHOCOLATE, TWPF_VANILLA}) {
            const std::string what = "bits " + std::to_string(t.bits) + (flavour ? " vanilla" : " chocolate");
            ASSERT_EQ(SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, flavour), TWRC_SUCCESS);
            StartScan(t.pixelType, t.depth, 300, 600, 300, 150);
            native[flavour] = NativeImage();
            const DibHeader h = ReadDibHeader(native[flavour].data());
            EXPECT_EQ(h.xPelsPerMeter, 11811) << what;
            EXPECT_EQ(h.yPelsPerMeter, 11811) << what;

            ScanAgain();
            SetUpFile(folder + "/scan.bmp", TWFF_BMP);
            ASSERT_EQ(FileXfer(), TWRC_XFERDONE) << what;
            bmp[flavour] = image_tools::ReadAll(folder + "/scan.bmp");
            EXPECT_TRUE(Bytes(bmp[flavour].begin() + 14, bmp[flavour].end()) == native[flavour]) << what;

            ScanAgain();
            SetUpFile(folder + "/scan.tif", TWFF_TIFF);
            ASSERT_EQ(FileXfer(), TWRC_XFERDONE) << what;
            tiff[flavour] = image_tools::ReadAll(folder + "/scan.tif");
            EXPECT_EQ(ReadU32(tiff[flavour].data(), 170), 300u) << what << ": X resolution";
            EXPECT_EQ(ReadU32(tiff[flavour].data(), 178), 300u) << what << ": Y resolution";
            const std::uint32_t photometric = t.bits == 24 ? 2 : flavour == TWPF_VANILLA ? 0 : 1;
            EXPECT_EQ(ReadU32(tiff[flavour].data(), 70 + 8), photometric) << what;
            BackToOpen();
        }
        const std::string what = "bits " + std::to_string(t.bits);
        EXPECT_TRUE(SeenThroughColourTable(native[1]) == SeenThroughColourTable(native[0])) << what << " native";
        EXPECT_TRUE(SeenThroughPhotometry(tiff[1], t.bits) == SeenThroughPhotometry(tiff[0], t.bits)) << what;
        if (t.bits != 24) {
            EXPECT_FALSE(native[1] == native[0]) << what << ": the scanner inverts 1- and 8-bit data";
        } else {
            EXPECT_TRUE(native[1] == native[0]) << what << ": colour is never inverted";
        }
    }
}

// A scanner library that never stops sending: after the scan it was set up
// for, every read is filled.
std::int16_t VOREL_API EndlessReadScanData(std::int16_t mode, void* buffer, std::int32_t count, std::int32_t* got) {
    const std::int16_t status = SimulatedScannerLibrary().ReadScanData(mode, buffer, count, got);
    if (got != nullptr && *got < count) {
        std::memset(static_cast<std::uint8_t*>(buffer) + *got, 0x55, static_cast<std::size_t>(count - *got));
        *got = count;
    }
    return status;
}

// The TIFF strip holds what its header announces, however much the scanner
// sends: the file transfer ends and the file is exactly header and strip.
TEST_F(ImageTransferTest, TiffStripIsCutWhereTheHeaderSaysEvenIfTheScannerGoesOn) {
    StartScan(TWPT_GRAY, 8, 100, 303, 150);
    static const ScannerLibrary endless = [] {
        ScannerLibrary table = RecordingScannerLibrary();
        table.ReadScanData = EndlessReadScanData;
        return table;
    }();
    SetScannerLibraryForTesting(&endless);
    SetUpFile(folder + "/endless.tif", TWFF_TIFF);
    EXPECT_EQ(FileXfer(), TWRC_XFERDONE);
    SetScannerLibraryForTesting(&RecordingScannerLibrary());
    const Bytes file = image_tools::ReadAll(folder + "/endless.tif");
    EXPECT_EQ(file.size(), 354u + 101 * 50);
}

// A scanner that sends no line at all gives no image by any mechanism, and
// the file transfer leaves its file as the set-up made it.
TEST_F(ImageTransferTest, NoDataFromTheScannerFailsEveryMechanism) {
    Reopen("VOREL_SIM_LINES", "0");
    StartScan(TWPT_GRAY, 8, 100, 303, 150);
    TW_HANDLE slot = nullptr;
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BUMMER) << "native";
    EXPECT_EQ(slot, nullptr);

    ScanAgain();
    Bytes buffer(64000);
    TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 64000, buffer.data());
    EXPECT_EQ(MemXfer(&xfer), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BUMMER) << "memory";

    for (TW_UINT16 format : {TWFF_BMP, TWFF_TIFF}) {
        ScanAgain();
        SetUpFile(folder + "/nothing", format);
        EXPECT_EQ(FileXfer(), TWRC_FAILURE) << "format " << format;
        EXPECT_EQ(Status(), TWCC_BUMMER) << "format " << format;
        EXPECT_TRUE(image_tools::ReadAll(folder + "/nothing").empty()) << "format " << format;
    }
}

// --- Batches: several images in one enabling ---

// The sheet number drawn on a grey image of the region (0, 0, ...) at `dpi`,
// rows top-down `width` bytes apart; 0 when no digit can be read.
int SheetNumberIn(const Bytes& grey, std::uint32_t width, int dpi) {
    using namespace sim::sheet_number;
    for (int digits = 1; digits <= 3; ++digits) {
        int number = 0;
        for (int i = 0; i < digits && number >= 0; ++i) {
            std::uint8_t lit = 0;
            for (int segment = 0; segment < 7; ++segment) {
                const Box& box = kSegments[segment];
                const std::size_t x = (DigitLeft(i, digits) + (box.left + box.right) / 2) * dpi / 300;
                const std::size_t y = (kTop + (box.top + box.bottom) / 2) * dpi / 300;
                if (y * width + x < grey.size() && grey[y * width + x] < 100) lit |= std::uint8_t(1 << segment);
            }
            const std::uint8_t* found = std::find(kDigitSegments, kDigitSegments + 10, lit);
            number = found == kDigitSegments + 10 ? -1 : number * 10 + int(found - kDigitSegments);
        }
        if (number > 0) return number;
    }
    return 0;
}

// --- Frames larger than one window of the scanner library ---

// The frame (left, top, right, bottom in 1/300 inch) by memory transfer,
// from state 400 back to 400; its size as DAT_IMAGEINFO tells it.
struct Scanned {
    Bytes rows;
    TW_INT32 width = 0, length = 0;
};

class LargeFrameTest : public ImageTransferTest {
protected:
    Scanned Rect32(TW_UINT16 pixelType, TW_UINT16 depth, int left, int top, int right, int bottom) {
        Scanned scanned;
        EXPECT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), TWRC_SUCCESS);
        EXPECT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, depth), TWRC_SUCCESS);
        EXPECT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 2400), TWRC_SUCCESS);
        EXPECT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 2400), TWRC_SUCCESS);
        TW_IMAGELAYOUT layout{{ToFix32(left), ToFix32(top), ToFix32(right), ToFix32(bottom)}, 0, 0, 0};
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
        if (Enable(false) != TWRC_SUCCESS) return scanned;
        TW_IMAGEINFO info{};
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        scanned.width = info.ImageWidth;
        scanned.length = info.ImageLength;
        ResetMemoryTransfer();
        scanned.rows = MemoryImage();
        BackToOpen();
        return scanned;
    }
};

// Cut into pieces the frame comes out as one image, the same as the frame
// scanned in other pieces that each fit: the joins fall exactly.
TEST_F(LargeFrameTest, FramesBeyondOneWindowArriveWholeAndJoinExactly) {
    // Colour over the whole width: 20400 pixels, two columns.
    const Scanned wide = Rect32(TWPT_RGB, 24, 0, 1000, 2550, 1030);
    EXPECT_EQ(wide.width, 20400);
    EXPECT_EQ(wide.length, 240);
    ASSERT_EQ(wide.rows.size(), 20400u * 3 * 240);
    Bytes joined(wide.rows.size());
    for (int third = 0; third < 3; ++third) {
        const Scanned part = Rect32(TWPT_RGB, 24, 850 * third, 1000, 850 * (third + 1), 1030);
        ASSERT_EQ(part.rows.size(), 6800u * 3 * 240);
        for (int row = 0; row < 240; ++row) {
            std::memcpy(&joined[(row * 20400 + third * 6800) * 3], &part.rows[row * 6800 * 3], 6800 * 3);
        }
    }
    EXPECT_TRUE(wide.rows == joined) << "the columns join where thirds of the line do";

    // Grey over the whole height: 33600 lines, two bands.
    const Scanned tall = Rect32(TWPT_GRAY, 8, 1200, 0, 1300, 4200);
    EXPECT_EQ(tall.width, 800);
    EXPECT_EQ(tall.length, 33600);
    ASSERT_EQ(tall.rows.size(), 800u * 33600);
    Bytes stacked;
    for (int third = 0; third < 3; ++third) {
        const Scanned part = Rect32(TWPT_GRAY, 8, 1200, 1400 * third, 1300, 1400 * (third + 1));
        stacked.insert(stacked.end(), part.rows.begin(), part.rows.end());
    }
    EXPECT_TRUE(tall.rows == stacked) << "the bands join where thirds of the page do";
    EXPECT_TRUE(boxes.empty());
}

// Where pieces cannot join exactly (a resolution whose pixels meet whole
// 1/300 inch only every inch, for colour lines that need columns) or cannot
// be taken at all (the feeder's sheet is gone after one piece), the
// enabling is refused and the user told.
TEST_F(LargeFrameTest, FramesThatCannotBePiecedAreRefusedAtEnabling) {
    EXPECT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 2399), TWRC_SUCCESS);
    EXPECT_EQ(Enable(false), TWRC_FAILURE) << "2399 dpi colour over the whole bed";
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(sourceState, 400);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.substr(boxes[0].text.size() - 5), "[113]");
    EXPECT_TRUE(Notifications().empty()) << "no transfer announced";

    Reopen("VOREL_SIM_FEEDER", "loaded");
    boxes.clear();
    EXPECT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 2400), TWRC_SUCCESS);
    EXPECT_EQ(Enable(false), TWRC_FAILURE) << "a sheet of the feeder at 2400 dpi";
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(boxes.size(), 1u);
}

class BatchTest : public ImageTransferTest {
protected:
    void Feeder(const char* sheets, const char* jam = nullptr) {
        ASSERT_EQ(Close(), TWRC_SUCCESS);
        setenv("VOREL_SIM_FEEDER", "loaded", 1);
        setenv("VOREL_SIM_SHEETS", sheets, 1);
        if (jam != nullptr) setenv("VOREL_SIM_JAM", jam, 1);
        ResetSimulator();
        ASSERT_EQ(Open(), TWRC_SUCCESS);
    }
    // One grey image of the batch by `mechanism`, rows top-down, padding
    // removed; empty when the transfer failed.
    Bytes Transfer(const std::string& mechanism) {
        if (mechanism == "native") {
            TW_HANDLE slot = nullptr;
            if (Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot) != TWRC_XFERDONE) return {};
            Bytes dib(platform::GlobalBlockSize(slot));
            {
                platform::LockedBlock block(slot);
                std::memcpy(dib.data(), block.get(), dib.size());
            }
            platform::GlobalFreeBlock(slot);
            return DibRowsTopDown(dib, 256);
        }
        if (mechanism == "memory") {
            Bytes image, buffer(4096);
            for (;;) {
                TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 4096, buffer.data());
                const TW_UINT16 rc = MemXfer(&xfer);
                if (rc == TWRC_FAILURE) return {};
                for (std::uint32_t row = 0; row < xfer.Rows; ++row) {
                    const std::uint8_t* at = buffer.data() + row * xfer.BytesPerRow;
                    image.insert(image.end(), at, at + BytesPerLine());
                }
                if (rc == TWRC_XFERDONE) return image;
            }
        }
        const bool tiff = mechanism == "tiff";
        const std::string name = folder + (tiff ? "/sheet.tif" : "/sheet.bmp");
        SetUpFile(name, tiff ? TWFF_TIFF : TWFF_BMP);
        if (FileXfer() != TWRC_XFERDONE) return {};
        const Bytes file = image_tools::ReadAll(name);
        return tiff ? Bytes(file.begin() + 354, file.end()) : DibRowsTopDown(Bytes(file.begin() + 14, file.end()), 256);
    }
    // A grey scan of the top of the bed, where the sheet number is.
    void StartBatch() { StartScan(TWPT_GRAY, 8, 100, 1550, 200); }
    int Sheet(const Bytes& image) { return SheetNumberIn(image, BytesPerLine(), 100); }
};

// Three sheets by each mechanism: sheets 1, 2, 3 in that order, Count
// 0xFFFF while more may come (CAP_XFERCOUNT -1), then 0 with state 500 and
// MSG_CLOSEDSREQ once the feeder is empty.
TEST_F(BatchTest, FeederBatchDeliversEverySheetInOrder) {
    for (const std::string mechanism : {"native", "memory", "bmp", "tiff"}) {
        Feeder("3");
        StartBatch();
        for (int sheet = 1; sheet <= 3; ++sheet) {
            const Bytes image = Transfer(mechanism);
            ASSERT_EQ(image.size(), std::size_t(BytesPerLine()) * Lines()) << mechanism << " sheet " << sheet;
            EXPECT_EQ(Sheet(image), sheet) << mechanism;
            TW_UINT16 count = 0;
            ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
            EXPECT_EQ(count, sheet < 3 ? 0xFFFF : 0) << mechanism << " sheet " << sheet;
            EXPECT_EQ(sourceState, sheet < 3 ? 600 : 500) << mechanism << " sheet " << sheet;
        }
        EXPECT_EQ(CountNotifications(MSG_XFERREADY), 1) << mechanism << ": one MSG_XFERREADY a batch";
        EXPECT_EQ(CountNotifications(MSG_CLOSEDSREQ), 1) << mechanism;
        BackToOpen();
        Notifications().clear();
    }
}

// A count the feeder cannot fill ends when it runs out; a count on the
// flatbed scans the same region again.
TEST_F(BatchTest, CountEndsAtAnEmptyFeederAndRepeatsOnTheFlatbed) {
    ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
    StartBatch();
    const Bytes first = Transfer("native");
    TW_UINT16 count = 0;
    ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 1);
    const Bytes second = Transfer("native");
    EXPECT_FALSE(first.empty());
    EXPECT_TRUE(first == second) << "the flatbed's second copy";
    EXPECT_EQ(Sheet(first), 0) << "no sheet number on the flatbed";
    ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);

    Feeder("2");
    ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    StartBatch();
    for (int sheet = 1; sheet <= 2; ++sheet) {
        EXPECT_EQ(Sheet(Transfer("tiff")), sheet);
        ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
        EXPECT_EQ(count, sheet == 1 ? 2 : 0) << "sheet " << sheet;
    }
    EXPECT_EQ(sourceState, 500) << "the feeder ran out before the count";
}

// A jam on sheet 2: box 109 once, that transfer fails, the batch ends.
TEST_F(BatchTest, JamShowsItsBoxOnceAndEndsTheBatch) {
    for (const std::string mechanism : {"native", "memory", "tiff"}) {
        Feeder("3", "2");
        StartBatch();
        EXPECT_EQ(Sheet(Transfer(mechanism)), 1) << mechanism;
        ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
        boxes.clear();
        EXPECT_TRUE(Transfer(mechanism).empty()) << mechanism << ": the jammed sheet";
        EXPECT_EQ(Status(), TWCC_BUMMER) << mechanism;
        ASSERT_EQ(boxes.size(), 1u) << mechanism;
        EXPECT_EQ(boxes[0].text, "Document Feeder Jam  [109]") << mechanism;
        TW_UINT16 count = kSentinel16;
        ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
        EXPECT_EQ(count, 0) << mechanism;
        EXPECT_EQ(sourceState, 500) << mechanism;
        EXPECT_EQ(CountNotifications(MSG_CLOSEDSREQ), 1) << mechanism;
        BackToOpen();
        Notifications().clear();
        unsetenv("VOREL_SIM_JAM");
    }
}

// Blank sheets dropped from a batch (ICAP_AUTODISCARDBLANKPAGES): the
// application gets the other sheets in order, each with its own sheet's
// number (DAT_EXTIMAGEINFO), the blank ones before it counted, and Count
// at every MSG_ENDXFER counts only images still to come; a sheet with one
// line of text or a signature is kept. A batch of blank sheets only
// announces nothing and ends.
TEST_F(BatchTest, BlankSheetsAreDroppedBeforeTheyAreAnnounced) {
    struct Case {
        const char* sheets;
        TW_INT32 discard;
        TW_INT16 xferCount;
        std::vector<TW_UINT32> pages;   // the sheets delivered
        std::vector<TW_UINT32> blanks;  // blank sheets dropped before each
        std::vector<TW_UINT16> counts;  // Count after each MSG_ENDXFER
        const char* mechanism;
    };
    const Case cases[] = {
        {"page,page,blank,line,blank,page,blank,page", TWBP_AUTO, -1, {1, 2, 4, 6, 8}, {0, 0, 1, 1, 1},
         {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0}, "native"},
        {"page,page,blank,line,blank,page,blank,page", TWBP_AUTO, 4, {1, 2, 4, 6}, {0, 0, 1, 1}, {3, 2, 1, 0},
         "memory"},
        {"blank,signature,page,blank,blank", TWBP_AUTO, -1, {2, 3}, {1, 0}, {0xFFFF, 0}, "tiff"},
        {"page,page,blank,line,blank,page,blank,page", TWBP_DISABLE, -1, {1, 2, 3, 4, 5, 6, 7, 8},
         {0, 0, 0, 0, 0, 0, 0, 0}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0}, "bmp"},
        // A byte count above the line's strokes takes the line for blank too.
        {"page,line,page", 32000, -1, {1, 3}, {0, 1}, {0xFFFF, 0}, "native"},
        {"blank,blank,blank", TWBP_AUTO, -1, {}, {}, {}, "native"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sheets << ", discard " << c.discard << ", count " << c.xferCount);
        setenv("VOREL_SIM_SHEET_CONTENT", c.sheets, 1);
        std::vector<std::string> words;
        std::stringstream list(c.sheets);
        for (std::string word; std::getline(list, word, ',');) words.push_back(word);
        Feeder(std::to_string(words.size()).c_str());
        Notifications().clear();
        ASSERT_EQ(SetOneValue(ICAP_AUTODISCARDBLANKPAGES, TWTY_INT32, c.discard), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, c.xferCount), TWRC_SUCCESS);
        // The whole sheet, grey, at 100 dpi.
        pixelType_ = TWPT_GRAY;
        depth_ = 8;
        dpi_ = 100;
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        if (c.pages.empty()) {
            EXPECT_EQ(sourceState, 500) << "nothing to announce";
            EXPECT_EQ(CountNotifications(MSG_XFERREADY), 0);
            EXPECT_EQ(CountNotifications(MSG_CLOSEDSREQ), 1) << "the batch is over";
            EXPECT_EQ(Disable(false), TWRC_SUCCESS);
            continue;
        }
        for (std::size_t i = 0; i < c.pages.size(); ++i) {
            ASSERT_EQ(sourceState, 600) << "image " << i;
            TW_PENDINGXFERS pending{kSentinel16, kSentinel32};
            ASSERT_EQ(Control(DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
            if (i == 0) {
                EXPECT_EQ(pending.Count, static_cast<TW_UINT16>(c.xferCount)) << "before the first image";
            }
            const Bytes image = Transfer(c.mechanism);
            ASSERT_FALSE(image.empty()) << "image " << i;
            std::vector<std::uint8_t> request(4 + 2 * sizeof(TW_INFO), 0);
            const TW_UINT32 two = 2;
            std::memcpy(request.data(), &two, 4);
            const TW_UINT16 ids[2] = {TWEI_PAGENUMBER, kInfoBlankSheetsBefore};
            for (int k = 0; k < 2; ++k) std::memcpy(request.data() + 4 + k * sizeof(TW_INFO), &ids[k], 2);
            ASSERT_EQ(Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, request.data()), TWRC_SUCCESS);
            TW_INFO page, blanks;
            std::memcpy(&page, request.data() + 4, sizeof page);
            std::memcpy(&blanks, request.data() + 4 + sizeof(TW_INFO), sizeof blanks);
            EXPECT_EQ(page.Item, c.pages[i]) << "image " << i;
            EXPECT_EQ(blanks.Item, c.blanks[i]) << "image " << i;
            if (words[c.pages[i] - 1] == "page") {
                EXPECT_EQ(Sheet(image), static_cast<int>(c.pages[i])) << "the sheet's own number";
            }
            TW_UINT16 count = kSentinel16;
            ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
            EXPECT_EQ(count, c.counts[i]) << "MSG_ENDXFER after image " << i;
        }
        EXPECT_EQ(sourceState, 500);
        EXPECT_EQ(CountNotifications(MSG_XFERREADY), 1);
        EXPECT_EQ(CountNotifications(MSG_CLOSEDSREQ), 1);
        BackToOpen();
    }
}

// A sheet read whole to be judged shows the progress, and Cancel there ends
// the batch before that sheet: at the enabling nothing is announced, at a
// MSG_ENDXFER nothing more is counted.
TEST_F(BatchTest, CancelWhileASheetIsJudgedEndsTheBatch) {
    for (const bool atEnabling : {true, false}) {
        SCOPED_TRACE(atEnabling ? "the first sheet" : "the second sheet");
        setenv("VOREL_SIM_SHEET_CONTENT", "page,page,page", 1);
        Feeder("3");
        Notifications().clear();
        headlessProgressLog = HeadlessProgressLog{};
        headlessProgressLog.cancelAtUpdate = atEnabling ? 2 : 0;
        ASSERT_EQ(SetOneValue(ICAP_AUTODISCARDBLANKPAGES, TWTY_INT32, TWBP_AUTO), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 100), TWRC_SUCCESS);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        EXPECT_STREQ(headlessProgressLog.firstText, "Page 1: 0 of 1400 rows") << "the first sheet's reading shows";
        if (!atEnabling) {
            ASSERT_EQ(sourceState, 600);
            ASSERT_FALSE(Transfer("native").empty());
            headlessProgressLog.cancelAtUpdate = headlessProgressLog.updates + 2;
            TW_UINT16 count = kSentinel16;
            ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
            EXPECT_EQ(count, 0) << "nothing more after the Cancel";
            EXPECT_EQ(std::string(headlessProgressLog.lastText).rfind("Page 2: ", 0), 0u)
                << "the second sheet's reading shows: " << headlessProgressLog.lastText;
        }
        EXPECT_EQ(sourceState, 500);
        EXPECT_EQ(CountNotifications(MSG_XFERREADY), atEnabling ? 0 : 1);
        EXPECT_EQ(CountNotifications(MSG_CLOSEDSREQ), 1);
        EXPECT_FALSE(headlessProgressLog.visible);
        BackToOpen();
    }
}

// A sheet read whole to be judged is delivered byte for byte as one read
// during its transfer, in each mechanism's colour order.
TEST_F(BatchTest, JudgedSheetsAreDeliveredAsTheScannerSentThem) {
    const auto batch = [&](TW_INT32 discard, const std::string& mechanism) {
        Feeder("2");
        EXPECT_EQ(SetOneValue(ICAP_AUTODISCARDBLANKPAGES, TWTY_INT32, discard), TWRC_SUCCESS);
        StartScan(TWPT_RGB, 24, 50, 2550, 900);
        std::vector<Bytes> images;
        for (int sheet = 1; sheet <= 2; ++sheet) {
            if (mechanism == "native") {
                TW_HANDLE slot = nullptr;
                EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot), TWRC_XFERDONE);
                Bytes dib(platform::GlobalBlockSize(slot));
                {
                    platform::LockedBlock block(slot);
                    if (block) std::memcpy(dib.data(), block.get(), dib.size());
                }
                platform::GlobalFreeBlock(slot);
                images.push_back(dib);
            } else {
                Bytes image, buffer(8192);
                for (int strips = 0; strips < 1000; ++strips) {
                    TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 8192, buffer.data());
                    const TW_UINT16 rc = MemXfer(&xfer);
                    if (rc == TWRC_FAILURE) break;
                    image.insert(image.end(), buffer.begin(), buffer.begin() + xfer.BytesWritten);
                    if (rc == TWRC_XFERDONE) break;
                }
                images.push_back(image);
            }
            EXPECT_EQ(EndXfer(), TWRC_SUCCESS);
        }
        BackToOpen();
        return images;
    };
    for (const std::string mechanism : {"native", "memory"}) {
        const std::vector<Bytes> kept = batch(TWBP_DISABLE, mechanism);
        const std::vector<Bytes> judged = batch(TWBP_AUTO, mechanism);
        ASSERT_EQ(judged.size(), 2u) << mechanism;
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_FALSE(judged[i].empty()) << mechanism << " sheet " << i + 1;
            EXPECT_TRUE(judged[i] == kept[i]) << mechanism << " sheet " << i + 1;
        }
    }
}

// The same jam with no window allowed (no dialog, CAP_INDICATORS FALSE): no
// box, and the condition code says what happened to a TWAIN 2 application.
TEST_F(BatchTest, UnattendedJamShowsNoBoxAndTellsThePaperJam) {
    for (const bool twain2 : {false, true}) {
        for (const std::string mechanism : {"native", "memory", "bmp", "tiff"}) {
            app.SupportedGroups = DG_CONTROL | DG_IMAGE | (twain2 ? DF_APP2 : 0);
            Feeder("3", "2");
            ASSERT_EQ(SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
            StartBatch();
            EXPECT_EQ(Sheet(Transfer(mechanism)), 1) << mechanism;
            ASSERT_EQ(EndXfer(), TWRC_SUCCESS);
            boxes.clear();
            EXPECT_TRUE(Transfer(mechanism).empty()) << mechanism << ": the jammed sheet";
            EXPECT_EQ(Status(), twain2 ? TWCC_PAPERJAM : TWCC_BUMMER) << mechanism;
            EXPECT_TRUE(boxes.empty()) << mechanism;
            TW_UINT16 count = kSentinel16;
            ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
            EXPECT_EQ(count, 0) << mechanism;
            BackToOpen();
            unsetenv("VOREL_SIM_JAM");
        }
    }
}


// --- Compressed transfers and encoded files ---

// Levels as they look (0 black) of an uncompressed scan's rows: 1-bit rows
// widened (the scanner's 1 is white), grey and colour as they are.
Bytes LooksOf(const Bytes& rows, std::uint32_t bits, std::uint32_t width) {
    if (bits != 1) return rows;
    const std::size_t bytes = (width + 7) / 8;
    Bytes levels;
    for (std::size_t at = 0; at + bytes <= rows.size(); at += bytes) {
        for (std::uint32_t x = 0; x < width; ++x) levels.push_back((rows[at + x / 8] >> (7 - x % 8)) & 1 ? 255 : 0);
    }
    return levels;
}

double MeanDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / a.size();
}

struct CodedCase {
    TW_UINT16 pixelType, depth, compression;
};

// A compressed memory transfer: DAT_IMAGEINFO names the compression, every
// strip carries it with the bytes written and no row fields, the strip with
// the last byte answers TWRC_XFERDONE, and the bytes decode to the
// uncompressed scan (Group 4 exactly, JPEG within a mean error of 3).
TEST_F(ImageTransferTest, CompressedMemoryStripsDecodeToTheUncompressedScan) {
    const CodedCase cases[] = {
        {TWPT_GRAY, 8, TWCP_JPEG}, {TWPT_RGB, 24, TWCP_JPEG}, {TWPT_BW, 1, TWCP_GROUP4}};
    for (const CodedCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "pixel type " << c.pixelType << " compression " << c.compression);
        ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
        StartScan(c.pixelType, c.depth, 100, 2550, 900);
        const std::uint32_t width = static_cast<std::uint32_t>(Session().GetPixelsPerLine());
        const std::uint32_t height = static_cast<std::uint32_t>(Lines());
        const Bytes plain = LooksOf(MemoryImage(), c.depth, width);
        BackToOpen();
        ResetMemoryTransfer();

        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, c.pixelType), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, c.compression), TWRC_SUCCESS);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        TW_IMAGEINFO info{};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        EXPECT_EQ(info.Compression, c.compression) << "DAT_IMAGEINFO Compression";
        Bytes coded, buffer(8192);
        TW_UINT16 rc = TWRC_SUCCESS;
        for (int strip = 0; strip < 10000 && rc == TWRC_SUCCESS; ++strip) {
            TW_IMAGEMEMXFER xfer = Strip(TWMF_APPOWNS | TWMF_POINTER, 8192, buffer.data());
            rc = MemXfer(&xfer);
            ASSERT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << "strip " << strip << " rc " << rc << " cc " << Status();
            EXPECT_EQ(TW_UINT16{xfer.Compression}, c.compression);
            EXPECT_EQ(TW_UINT32{xfer.Rows}, TWON_DONTCARE32);
            EXPECT_EQ(TW_UINT32{xfer.Columns}, width);
            EXPECT_LE(TW_UINT32{xfer.BytesWritten}, 8192u);
            if (rc == TWRC_SUCCESS) EXPECT_EQ(TW_UINT32{xfer.BytesWritten}, 8192u) << "a full strip before the last";
            coded.insert(coded.end(), buffer.begin(), buffer.begin() + xfer.BytesWritten);
        }
        EXPECT_EQ(rc, TWRC_XFERDONE);
        TW_IMAGEMEMXFER after = Strip(TWMF_POINTER, 8192, buffer.data());
        EXPECT_EQ(MemXfer(&after), TWRC_XFERDONE) << "the call after the end";
        EXPECT_EQ(TW_UINT32{after.BytesWritten}, 0u);

        Bytes decoded;
        if (c.compression == TWCP_JPEG) {
            int dpi = 0;
            ASSERT_TRUE(codec_test::DecodeJpeg(coded, c.depth == 24 ? 3 : 1, &decoded, &dpi));
            EXPECT_EQ(dpi, 100);
            EXPECT_LT(MeanDifference(decoded, plain), 3.0);
            EXPECT_LT(coded.size() * 4, plain.size()) << "JPEG smaller than a quarter of the scan";
        } else {
            ASSERT_TRUE(codec_test::DecodeGroup4(coded, width, height, &decoded));
            EXPECT_EQ(MeanDifference(decoded, plain), 0.0) << "Group 4 is lossless";
        }
        BackToOpen();
        ResetMemoryTransfer();
        ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_NONE), TWRC_SUCCESS);
    }
}

// ICAP_COMPRESSION takes only what the transfer carries and follows the
// set-up: a native transfer is never compressed, Group 4 is for 1-bit and
// JPEG for grey and colour, a file format has its own list, and a change of
// pixel type, mechanism or format leaves no compression it cannot carry.
TEST_F(ImageTransferTest, CompressionHoldsToWhatTheTransferCarries) {
    struct Row {
        TW_UINT16 mechanism, pixelType, format, compression;
        bool taken;
    };
    const Row rows[] = {
        {TWSX_NATIVE, TWPT_RGB, TWFF_BMP, TWCP_JPEG, false},   {TWSX_NATIVE, TWPT_RGB, TWFF_BMP, TWCP_NONE, true},
        {TWSX_MEMORY, TWPT_RGB, TWFF_BMP, TWCP_JPEG, true},    {TWSX_MEMORY, TWPT_GRAY, TWFF_BMP, TWCP_GROUP4, false},
        {TWSX_MEMORY, TWPT_BW, TWFF_BMP, TWCP_GROUP4, true},   {TWSX_MEMORY, TWPT_BW, TWFF_BMP, TWCP_JPEG, false},
        {TWSX_MEMORY, TWPT_GRAY, TWFF_BMP, TWCP_LZW, false},   {TWSX_FILE, TWPT_GRAY, TWFF_TIFF, TWCP_LZW, true},
        {TWSX_FILE, TWPT_BW, TWFF_TIFF, TWCP_ZIP, true},       {TWSX_FILE, TWPT_BW, TWFF_TIFFMULTI, TWCP_GROUP4, true},
        {TWSX_FILE, TWPT_RGB, TWFF_PDF, TWCP_JPEG, true},      {TWSX_FILE, TWPT_BW, TWFF_PDF, TWCP_GROUP4, true},
        {TWSX_FILE, TWPT_GRAY, TWFF_TIFF, TWCP_GROUP4, false}, {TWSX_FILE, TWPT_RGB, TWFF_PDF, 99, false},
        // The format is often named with the file, after the compression:
        // a file transfer takes what any format carries for the type.
        {TWSX_FILE, TWPT_GRAY, TWFF_BMP, TWCP_LZW, true},      {TWSX_MEMORY, TWPT_RGB, TWFF_BMP, 99, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mechanism " << r.mechanism << " type " << r.pixelType << " format "
                                        << r.format << " compression " << r.compression);
        // A native transfer first, which takes the compression back to none.
        ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, r.mechanism), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, r.pixelType), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, r.format), TWRC_SUCCESS);
        const TW_UINT16 before = static_cast<TW_UINT16>(capabilityTable.Find(ICAP_COMPRESSION).current);
        const TW_UINT16 rc = SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, r.compression);
        EXPECT_EQ(rc, r.taken ? TWRC_SUCCESS : TWRC_FAILURE);
        if (!r.taken) EXPECT_EQ(Status(), TWCC_BADVALUE);
        EXPECT_EQ(capabilityTable.Find(ICAP_COMPRESSION).current, r.taken ? r.compression : before);
    }
    // Following the set-up.
    ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_JPEG), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
    EXPECT_EQ(capabilityTable.Find(ICAP_COMPRESSION).current, TWCP_NONE) << "JPEG left for a 1-bit type";
    ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_GROUP4), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE), TWRC_SUCCESS);
    EXPECT_EQ(capabilityTable.Find(ICAP_COMPRESSION).current, TWCP_NONE) << "a native transfer";
    ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE), TWRC_SUCCESS);
    SetUpFile(folder + "/page.jpg", TWFF_JFIF);
    EXPECT_EQ(capabilityTable.Find(ICAP_COMPRESSION).current, TWCP_JPEG) << "a JPEG file is JPEG";
    ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_LZW), TWRC_SUCCESS);
    SetUpFile(folder + "/page.tif", TWFF_TIFF);
    EXPECT_EQ(capabilityTable.Find(ICAP_COMPRESSION).current, TWCP_LZW) << "a TIFF file keeps LZW";
    SetUpFile(folder + "/page.bmp", TWFF_BMP);
    EXPECT_EQ(capabilityTable.Find(ICAP_COMPRESSION).current, TWCP_NONE) << "a BMP file cannot carry LZW";
    // MSG_GET lists what the set-up carries.
    ASSERT_EQ(SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, TWFF_TIFF), TWRC_SUCCESS);
    TW_CAPABILITY cap{ICAP_COMPRESSION, 0, nullptr};
    ASSERT_EQ(Control(DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
    const Bytes list = capability_test::TakeBlock(cap.hContainer);
    ASSERT_GE(list.size(), 14u);
    EXPECT_EQ(list[2], 5) << "a 1-bit page in some file: none, Group 4, JPEG (a JFIF file), LZW, ZIP";
    // ICAP_JPEGQUALITY: the named qualities and 0 to 100.
    for (int quality : {-4, -1, 0, 100}) {
        EXPECT_EQ(SetOneValue(ICAP_JPEGQUALITY, TWTY_INT16, static_cast<TW_UINT16>(quality)), TWRC_SUCCESS) << quality;
    }
    for (int quality : {-5, 101}) {
        EXPECT_EQ(SetOneValue(ICAP_JPEGQUALITY, TWTY_INT16, static_cast<TW_UINT16>(quality)), TWRC_FAILURE) << quality;
    }
}

// DAT_JPEGCOMPRESSION tells how the source codes JPEG and takes no other way.
TEST_F(ImageTransferTest, JpegCompressionIsAnsweredAndNotSet) {
    ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
    TW_JPEGCOMPRESSION jpeg;
    std::memset(&jpeg, 0xA5, sizeof jpeg);
    for (TW_UINT16 msg : {MSG_GET, MSG_GETDEFAULT, MSG_RESET}) {
        ASSERT_EQ(Call(DG_IMAGE, DAT_JPEGCOMPRESSION, msg, &jpeg), TWRC_SUCCESS) << msg;
        EXPECT_EQ(jpeg.NumComponents, 3);
        EXPECT_EQ(TW_UINT32{jpeg.SubSampling}, 0x21102110u);
        EXPECT_EQ(TW_MEMREF{jpeg.QuantTable[0].TheMem}, nullptr);
    }
    EXPECT_EQ(Call(DG_IMAGE, DAT_JPEGCOMPRESSION, MSG_SET, &jpeg), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
    EXPECT_EQ(Call(DG_IMAGE, DAT_JPEGCOMPRESSION, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
}

struct FileCase {
    TW_UINT16 pixelType, depth, format, compression;
    const char* name;
    double maxError;  // 0: lossless
};

// Every new format and compression of a file transfer, read back by the
// libraries: the pixels of the uncompressed scan (JPEG within a mean error
// of 3, a 1-bit page's JPEG file as grey), and its resolution.
TEST_F(ImageTransferTest, EncodedFilesReadBackAsTheScan) {
    const FileCase cases[] = {
        {TWPT_GRAY, 8, TWFF_JFIF, TWCP_JPEG, "g.jpg", 3},     {TWPT_RGB, 24, TWFF_JFIF, TWCP_JPEG, "c.jpg", 3},
        {TWPT_BW, 1, TWFF_JFIF, TWCP_JPEG, "b.jpg", 12},      {TWPT_BW, 1, TWFF_PNG, TWCP_NONE, "b.png", 0},
        {TWPT_GRAY, 8, TWFF_PNG, TWCP_NONE, "g.png", 0},      {TWPT_RGB, 24, TWFF_PNG, TWCP_NONE, "c.png", 0},
        {TWPT_BW, 1, TWFF_TIFF, TWCP_GROUP4, "b4.tif", 0},    {TWPT_BW, 1, TWFF_TIFF, TWCP_LZW, "bl.tif", 0},
        {TWPT_GRAY, 8, TWFF_TIFF, TWCP_ZIP, "gz.tif", 0},     {TWPT_RGB, 24, TWFF_TIFF, TWCP_LZW, "cl.tif", 0},
        {TWPT_GRAY, 8, TWFF_TIFF, TWCP_JPEG, "gj.tif", 3},    {TWPT_RGB, 24, TWFF_TIFF, TWCP_JPEG, "cj.tif", 3},
        {TWPT_BW, 1, TWFF_TIFFMULTI, TWCP_GROUP4, "bm.tif", 0}, {TWPT_RGB, 24, TWFF_PDF, TWCP_JPEG, "c.pdf", 3},
        {TWPT_BW, 1, TWFF_PDF, TWCP_GROUP4, "b.pdf", 0},
    };
    for (const FileCase& c : cases) {
        for (bool vanilla : {false, true}) {
            if (vanilla && c.depth == 24) continue;
            SCOPED_TRACE(testing::Message() << c.name << (vanilla ? " vanilla" : ""));
            ASSERT_EQ(SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, vanilla ? TWPF_VANILLA : TWPF_CHOCOLATE), TWRC_SUCCESS);
            ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
            ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_NONE), TWRC_SUCCESS);
            StartScan(c.pixelType, c.depth, 75, 1500, 600);
            const std::uint32_t width = static_cast<std::uint32_t>(Session().GetPixelsPerLine());
            Bytes plain = LooksOf(MemoryImage(), c.depth, width);
            if (vanilla) {
                for (auto& level : plain) level = static_cast<std::uint8_t>(255 - level);
            }
            BackToOpen();
            ResetMemoryTransfer();

            ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE), TWRC_SUCCESS);
            ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, c.pixelType), TWRC_SUCCESS);
            ASSERT_EQ(SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, c.format), TWRC_SUCCESS);
            ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, c.compression), TWRC_SUCCESS);
            ASSERT_EQ(Enable(false), TWRC_SUCCESS);
            const std::string name = folder + "/" + c.name;
            SetUpFile(name, c.format);
            ASSERT_EQ(FileXfer(), TWRC_XFERDONE) << "cc " << Status();
            const std::string ext = std::string(c.name).substr(std::string(c.name).rfind('.'));
            Bytes decoded;
            const std::uint32_t channels = c.depth == 24 ? 3 : 1;
            if (ext == ".jpg") {
                int dpi = 0;
                ASSERT_TRUE(codec_test::DecodeJpeg(image_tools::ReadAll(name), channels, &decoded, &dpi));
                EXPECT_EQ(dpi, 75);
            } else if (ext == ".png") {
                png_uint_32 ppm = 0;
                ASSERT_TRUE(codec_test::DecodePng(name, channels, &decoded, &ppm));
                EXPECT_EQ(ppm, 2953u) << "75 dpi in dots per metre";
            } else if (ext == ".tif") {
                std::vector<float> dpi;
                const auto pages = codec_test::DecodeTiffPages(name, channels, &dpi);
                ASSERT_EQ(pages.size(), 1u);
                EXPECT_EQ(dpi[0], 75.0f);
                decoded = pages[0];
            } else {
                if (!codec_test::Have("qpdf") || !codec_test::Have("pdfimages")) continue;
                EXPECT_EQ(std::system(("qpdf --check " + name + " >/dev/null 2>&1").c_str()), 0) << "qpdf --check";
                // The page's image through pdfimages, as a PNM.
                ASSERT_EQ(std::system(("pdfimages " + name + " " + name + "-img >/dev/null 2>&1").c_str()), 0);
                const std::string pnm = name + "-img-000." + (channels == 3 ? "ppm" : c.depth == 1 ? "pbm" : "pgm");
                Bytes file = image_tools::ReadAll(pnm);
                // Three lines of header (magic, size, and for grey and colour the maximum).
                std::size_t at = 0;
                for (int lines = c.depth == 1 ? 2 : 3; lines > 0 && at < file.size(); ++at) {
                    if (file[at] == '\n') --lines;
                }
                Bytes body(file.begin() + static_cast<std::ptrdiff_t>(at), file.end());
                decoded = c.depth == 1 ? LooksOf(body, 1, width) : body;
                if (c.depth == 1) {
                    for (auto& level : decoded) level = static_cast<std::uint8_t>(255 - level);  // PBM's 1 is black
                }
            }
            if (c.maxError == 0) {
                EXPECT_EQ(MeanDifference(decoded, plain), 0.0);
            } else {
                EXPECT_LT(MeanDifference(decoded, plain), c.maxError);
            }
            BackToOpen();
        }
    }
    ASSERT_EQ(SetOneValue(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_CHOCOLATE), TWRC_SUCCESS);
}

// A turned page is compressed turned: the JPEG strips and an LZW TIFF of a
// quarter turn decode to the turned uncompressed scan.
TEST_F(ImageTransferTest, ATurnedPageIsCompressedTurned) {
    ASSERT_EQ(SetOneValue(ICAP_ROTATION, TWTY_INT16, 90), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
    StartScan(TWPT_GRAY, 8, 100, 1500, 600);
    TW_IMAGEINFO info{};
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    ASSERT_GT(info.ImageLength, info.ImageWidth) << "a wide frame turned stands upright";
    Bytes plain;
    {
        Bytes buffer(64000);
        for (TW_UINT16 rc = TWRC_SUCCESS; rc == TWRC_SUCCESS;) {
            TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 64000, buffer.data());
            rc = MemXfer(&xfer);
            ASSERT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << "cc " << Status();
            for (std::uint32_t row = 0; row < xfer.Rows; ++row) {
                plain.insert(plain.end(), buffer.begin() + row * xfer.BytesPerRow,
                             buffer.begin() + row * xfer.BytesPerRow + info.ImageWidth);
            }
        }
    }
    BackToOpen();
    ResetMemoryTransfer();
    ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_JPEG), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    Bytes coded, buffer(8192);
    for (TW_UINT16 rc = TWRC_SUCCESS; rc == TWRC_SUCCESS;) {
        TW_IMAGEMEMXFER xfer = Strip(TWMF_POINTER, 8192, buffer.data());
        rc = MemXfer(&xfer);
        ASSERT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << "cc " << Status();
        EXPECT_EQ(TW_UINT32{xfer.Columns}, TW_UINT32(info.ImageWidth));
        coded.insert(coded.end(), buffer.begin(), buffer.begin() + xfer.BytesWritten);
    }
    Bytes decoded;
    int dpi = 0;
    ASSERT_TRUE(codec_test::DecodeJpeg(coded, 1, &decoded, &dpi));
    EXPECT_LT(MeanDifference(decoded, plain), 3.0);
    BackToOpen();
    ResetMemoryTransfer();

    ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, TWFF_TIFF), TWRC_SUCCESS);
    ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_LZW), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    SetUpFile(folder + "/turned.tif", TWFF_TIFF);
    ASSERT_EQ(FileXfer(), TWRC_XFERDONE) << "cc " << Status();
    std::vector<float> resolutions;
    const auto pages = codec_test::DecodeTiffPages(folder + "/turned.tif", 1, &resolutions);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(MeanDifference(pages[0], plain), 0.0);
    BackToOpen();
}

// A file transfer that fails leaves the file at the name as it was: the
// JPEG, PNG and compressed TIFF pages are written beside it first.
TEST_F(ImageTransferTest, AFailedEncodedFileLeavesTheNamedFileAsItWas) {
    Reopen("VOREL_SIM_LINES", "20");
    for (TW_UINT16 format : {TWFF_JFIF, TWFF_PNG, TWFF_PDF}) {
        SCOPED_TRACE(testing::Message() << "format " << format);
        const std::string name = folder + "/kept";
        {
            std::ofstream old(name, std::ios::binary);
            old << "the user's file";
        }
        ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, format), TWRC_SUCCESS);
        StartScan(TWPT_GRAY, 8, 100, 1500, 600);
        SetUpFile(name, format);
        EXPECT_EQ(FileXfer(), TWRC_FAILURE);
        const Bytes kept = image_tools::ReadAll(name);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's file");
        BackToOpen();
    }
}

// A feeder batch into one multi-page file: five sheets make five pages
// (TIFF directories, PDF pages) while the name stays the same; a jam at
// sheet 4 leaves the file whole with the three pages before it.
TEST_F(BatchTest, AFeederBatchGoesIntoOneMultiPageFile) {
    for (TW_UINT16 format : {TWFF_TIFFMULTI, TWFF_PDF}) {
        for (const char* jam : {static_cast<const char*>(nullptr), "4"}) {
            SCOPED_TRACE(testing::Message() << "format " << format << (jam ? " jam at 4" : ""));
            Feeder("5", jam);
            ASSERT_EQ(SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE), TWRC_SUCCESS);
            ASSERT_EQ(SetOneValue(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, format), TWRC_SUCCESS);
            ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
            ASSERT_EQ(SetOneValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_JPEG), TWRC_SUCCESS);
            StartBatch();
            const std::string name = folder + (format == TWFF_PDF ? "/batch.pdf" : "/batch.tif");
            int delivered = 0;
            for (int sheet = 1; sheet <= 5 && sourceState == 600; ++sheet) {
                SetUpFile(name, format);
                const TW_UINT16 rc = FileXfer();
                if (rc == TWRC_XFERDONE) ++delivered;
                TW_UINT16 count = 0;
                ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
            }
            EXPECT_EQ(delivered, jam ? 3 : 5);
            if (format == TWFF_TIFFMULTI) {
                std::vector<float> dpi;
                EXPECT_EQ(codec_test::DecodeTiffPages(name, 1, &dpi).size(), std::size_t(delivered));
            } else if (codec_test::Have("qpdf")) {
                EXPECT_EQ(std::system(("qpdf --check " + name + " >/dev/null 2>&1").c_str()), 0);
                const image_tools::Result pages = image_tools::Run("qpdf --show-npages " + name);
                EXPECT_EQ(pages.output, std::to_string(delivered) + "\n");
            }
            BackToOpen();
            unsetenv("VOREL_SIM_JAM");
        }
    }
}
}  // namespace

// --- Progress and Cancel ---

namespace {

enum class Mechanism { Native, Memory, Bmp, Tiff };

class TransferProgressTest : public ImageTransferTest {
protected:
    // One transfer of the scan set up, by `mechanism`; the file's name when
    // it is a file.
    TW_UINT16 Transfer(Mechanism mechanism, const std::string& name) {
        switch (mechanism) {
            case Mechanism::Native: {
                TW_HANDLE slot = nullptr;
                const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &slot);
                if (rc == TWRC_XFERDONE) platform::GlobalFreeBlock(slot);
                return rc;
            }
            case Mechanism::Memory: {
                Bytes buffer(64000);
                for (int call = 0; call < 10000; ++call) {
                    TW_IMAGEMEMXFER xfer = Strip(TWMF_APPOWNS | TWMF_POINTER, 64000, buffer.data());
                    const TW_UINT16 rc = MemXfer(&xfer);
                    if (rc != TWRC_SUCCESS) return rc;
                }
                return TWRC_FAILURE;
            }
            case Mechanism::Bmp:
            case Mechanism::Tiff:
                SetUpFile(name, mechanism == Mechanism::Bmp ? TWFF_BMP : TWFF_TIFF);
                return FileXfer();
        }
        return TWRC_FAILURE;
    }
};

const std::pair<Mechanism, const char*> kMechanisms[] = {
    {Mechanism::Native, "native"}, {Mechanism::Memory, "memory"}, {Mechanism::Bmp, "bmp"}, {Mechanism::Tiff, "tiff"}};

}  // namespace

// Every mechanism shows the page's progress from its first rows to its last
// and hides it; Cancel ends the transfer with TWRC_CANCEL, no image, an
// empty file, no second transfer of the same scan, and MSG_ENDXFER ends the
// batch; with CAP_INDICATORS FALSE nothing is shown.
TEST_F(TransferProgressTest, EveryMechanismShowsProgressAndCancels) {
    for (const auto& [mechanism, what] : kMechanisms) {
        const std::string name = folder + "/progress-" + what;
        for (int cancelAt : {0, 3}) {
            headlessProgressLog = HeadlessProgressLog{};
            headlessProgressLog.cancelAtUpdate = cancelAt;
            StartScan(TWPT_GRAY, 8, 300, 2550, 1500);
            const Bytes before = image_tools::FileExists(name) ? image_tools::ReadAll(name) : Bytes();
            const TW_UINT16 rc = Transfer(mechanism, name);
            EXPECT_EQ(headlessProgressLog.shows, 1) << what;
            EXPECT_FALSE(headlessProgressLog.visible) << what << ": hidden when the transfer ends";
            EXPECT_STREQ(headlessProgressLog.firstText, "Page 1: 0 of 1500 rows") << what;
            if (cancelAt == 0) {
                EXPECT_EQ(rc, TWRC_XFERDONE) << what;
                EXPECT_GE(headlessProgressLog.updates, 4) << what << ": told between reads";
                BackToOpen();
                continue;
            }
            EXPECT_EQ(rc, TWRC_CANCEL) << what;
            EXPECT_EQ(Status(), TWCC_SUCCESS) << what;
            EXPECT_EQ(headlessProgressLog.updates, cancelAt) << what << ": nothing read after Cancel";
            EXPECT_EQ(sourceState, 600) << what << ": waits for MSG_ENDXFER";
            EXPECT_NE(Transfer(mechanism, name), TWRC_XFERDONE) << what << ": the cancelled scan is not delivered";
            if (mechanism == Mechanism::Bmp || mechanism == Mechanism::Tiff) {
                EXPECT_TRUE(image_tools::ReadAll(name) == before) << what << ": the named file as it was";
                EXPECT_FALSE(image_tools::FileExists(folder + "/~vorel-transfer0.part")) << what << ": no part left";
            }
            TW_UINT16 count = 1;
            EXPECT_EQ(EndXfer(&count), TWRC_SUCCESS) << what;
            EXPECT_EQ(count, 0) << what;
            BackToOpen();
        }
        headlessProgressLog = HeadlessProgressLog{};
        ASSERT_EQ(SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
        StartScan(TWPT_GRAY, 8, 300, 2550, 1500);
        EXPECT_EQ(Transfer(mechanism, name), TWRC_XFERDONE) << what;
        EXPECT_EQ(headlessProgressLog.shows, 0) << what << ": CAP_INDICATORS FALSE";
        BackToOpen();
        ASSERT_EQ(SetOneValue(CAP_INDICATORS, TWTY_BOOL, 1), TWRC_SUCCESS);
    }
}

// A batch of three copies cancelled on page 2 ends there.
TEST_F(TransferProgressTest, CancelOnPageTwoEndsTheBatch) {
    ASSERT_EQ(SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
    StartScan(TWPT_GRAY, 8, 300, 2550, 1500);
    EXPECT_EQ(Transfer(Mechanism::Native, ""), TWRC_XFERDONE);
    TW_UINT16 count = 0;
    ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 2);
    headlessProgressLog.cancelAtUpdate = headlessProgressLog.updates + 2;
    EXPECT_EQ(Transfer(Mechanism::Native, ""), TWRC_CANCEL);
    EXPECT_EQ(std::string(headlessProgressLog.lastText).rfind("Page 2: ", 0), 0u) << headlessProgressLog.lastText;
    ASSERT_EQ(EndXfer(&count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(sourceState, 500);
}

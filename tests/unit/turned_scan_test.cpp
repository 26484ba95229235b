// Turned scans over the simulated scanner through DS_Entry: every transfer
// delivers the unturned scan of the same region turned, pixel for pixel, at
// every depth and quarter; DAT_IMAGEINFO and the memory strips describe
// the turned image before its first strip; a Cancel during the page's read
// and a block that cannot be had end the transfer as they do unturned.
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "device/scan_reads.h"
#include "imaging/dib_format.h"
#include "imaging/tiff_header.h"
#include "imaging/turn_image.h"
#include "source_fixture.h"
#include "ui/headless/progress_window_headless.h"

using namespace source_test;

namespace {

enum class Mechanism { Native, Memory, Bmp, Tiff };

struct Image {
    std::uint32_t width = 0, length = 0, bits = 0;
    std::vector<std::uint8_t> rows;  // top-down, unpadded
    std::uint32_t Pixel(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* row = rows.data() + y * PackedRowBytes(width, bits);
        if (bits == 1) return row[x / 8] >> (7 - x % 8) & 1;
        if (bits == 8) return row[x];
        return row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
    }
};

// A 2 x 2 inch page at 300 dpi whose colours change from pixel to pixel
// in both directions, so that no turn or mirror of it looks the same.
void WritePattern(const std::string& path) {
    constexpr int kSide = 600;
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << kSide << " " << kSide << "\n255\n";
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const char rgb[3] = {static_cast<char>((x * 37 + y * 11) & 255), static_cast<char>((x * x / 7 + y * 3) & 255),
                                 static_cast<char>(((x / 4) ^ (y / 3)) * 5 & 255)};
            out.write(rgb, 3);
        }
    }
}

// The rows of a packed DIB (or a BMP file's after its file header), top-down.
std::vector<std::uint8_t> DibRows(const std::uint8_t* dib, std::uint32_t width, std::uint32_t length,
                                  std::uint32_t bits) {
    const std::uint32_t entries = bits == 24 ? 0 : 1u << bits;
    const std::uint8_t* pixels = dib + kDibHeaderSize + 4 * entries;
    const std::size_t rowBytes = PackedRowBytes(width, bits);
    const std::size_t stride = RowStride(static_cast<std::uint32_t>(rowBytes));
    std::vector<std::uint8_t> rows;
    for (std::uint32_t y = length; y-- > 0;) rows.insert(rows.end(), pixels + stride * y, pixels + stride * y + rowBytes);
    return rows;
}

class TurnedScanTest : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        WritePattern(folder + "/pattern.ppm");
        Simulate("VOREL_SIM_PAGE", (folder + "/pattern.ppm").c_str());
        ASSERT_EQ(Open(), TWRC_SUCCESS);
    }

    // The type, 50 dpi, a region of 0.9 x 0.5 inch (45 x 25 pixels: neither a
    // whole number of bytes at one bit), and the turn.
    void Negotiate(TW_UINT16 pixelType, int degrees) {
        const TW_UINT16 bits = pixelType == TWPT_BW ? 1 : pixelType == TWPT_GRAY ? 8 : 24;
        ASSERT_EQ(SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, bits), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 50), TWRC_SUCCESS);
        // 0.2 and 0.3 inch from the corner, 0.9 by 0.5 inch (Frac in 1/65536).
        TW_IMAGELAYOUT layout{{{0, 13107}, {0, 19661}, {1, 6554}, {0, 52429}}, 0, 0, 0};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
        ASSERT_EQ(SetOneValue(ICAP_ROTATION, TWTY_UINT16, degrees), TWRC_SUCCESS);
    }

    // Enables without the dialog and transfers the one image; `info` is
    // what DAT_IMAGEINFO said before it.
    Image Scan(Mechanism mechanism, TW_IMAGEINFO* info, TW_UINT16 expected = TWRC_XFERDONE) {
        Image image;
        EXPECT_EQ(Enable(false), TWRC_SUCCESS);
        EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, info), TWRC_SUCCESS);
        image.width = static_cast<std::uint32_t>(info->ImageWidth);
        image.length = static_cast<std::uint32_t>(info->ImageLength);
        image.bits = static_cast<std::uint32_t>(info->BitsPerPixel);
        const std::size_t rowBytes = PackedRowBytes(image.width, image.bits);
        TW_UINT16 rc = TWRC_FAILURE;
        switch (mechanism) {
        case Mechanism::Native: {
            TW_HANDLE dib = nullptr;
            rc = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
            if (rc == TWRC_XFERDONE) {
                {
                    platform::LockedBlock block(dib);
                    const auto* bytes = static_cast<const std::uint8_t*>(block.get());
                    EXPECT_EQ(std::memcmp(bytes + 4, &info->ImageWidth, 4), 0) << "biWidth";
                    EXPECT_EQ(std::memcmp(bytes + 8, &info->ImageLength, 4), 0) << "biHeight";
                    image.rows = DibRows(bytes, image.width, image.length, image.bits);
                }
                platform::GlobalFreeBlock(dib);
            }
            break;
        }
        case Mechanism::Memory: {
            // The smallest buffer, so the page comes in several strips.
            std::vector<std::uint8_t> buffer(kMinMemoryStrip);
            for (int strip = 0; strip < 1000; ++strip) {
                TW_IMAGEMEMXFER xfer{};
                xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
                rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
                if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) break;
                EXPECT_EQ(TW_UINT32{xfer.Columns}, image.width) << "strip " << strip;
                EXPECT_EQ(TW_UINT32{xfer.BytesPerRow}, RowStride(static_cast<std::uint32_t>(rowBytes))) << "strip " << strip;
                EXPECT_EQ(TW_UINT32{xfer.XOffset}, 0u);
                EXPECT_EQ(TW_UINT32{xfer.YOffset} * rowBytes, image.rows.size()) << "strip " << strip;
                for (std::uint32_t row = 0; row < xfer.Rows; ++row) {
                    const std::uint8_t* at = buffer.data() + std::size_t(row) * xfer.BytesPerRow;
                    image.rows.insert(image.rows.end(), at, at + rowBytes);
                }
                if (rc == TWRC_XFERDONE) break;
            }
            break;
        }
        case Mechanism::Bmp:
        case Mechanism::Tiff: {
            const bool tiff = mechanism == Mechanism::Tiff;
            TW_SETUPFILEXFER setup{};
            const std::string name = folder + (tiff ? "/scan.tif" : "/scan.bmp");
            std::strncpy(setup.FileName, name.c_str(), sizeof setup.FileName - 1);
            setup.Format = tiff ? TWFF_TIFF : TWFF_BMP;
            EXPECT_EQ(Control(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
            rc = Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
            std::ifstream in(name, std::ios::binary);
            std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (rc != TWRC_XFERDONE) {
                EXPECT_TRUE(file.empty()) << "no file after a failed transfer";
            } else if (tiff) {
                EXPECT_EQ(file.size(), TiffHeaderSize() + rowBytes * image.length) << "TIFF size";
                std::uint8_t header[kTiffHeaderSize];
                FillTiffHeader(header, static_cast<std::uint32_t>(rowBytes), image.width, image.length, image.bits,
                               50, 50, false);
                EXPECT_EQ(std::memcmp(header, file.data(), TiffHeaderSize()), 0) << "TIFF header of the turned image";
                if (file.size() > TiffHeaderSize()) image.rows.assign(file.begin() + TiffHeaderSize(), file.end());
            } else if (file.size() > 14 + kDibHeaderSize) {
                EXPECT_EQ(std::memcmp(file.data() + 18, &info->ImageWidth, 4), 0) << "BMP biWidth";
                EXPECT_EQ(std::memcmp(file.data() + 22, &info->ImageLength, 4), 0) << "BMP biHeight";
                image.rows = DibRows(file.data() + 14, image.width, image.length, image.bits);
            }
            break;
        }
        }
        EXPECT_EQ(rc, expected);
        EndXfer();
        EXPECT_EQ(Disable(false), TWRC_SUCCESS);
        return image;
    }
};

// Where pixel (x, y) of the image turned `quarters` clockwise lies in the
// image before the turn.
std::uint32_t Unturned(const Image& plain, int quarters, std::uint32_t x, std::uint32_t y) {
    switch (quarters) {
    case 1: return plain.Pixel(y, plain.length - 1 - x);
    case 2: return plain.Pixel(plain.width - 1 - x, plain.length - 1 - y);
    default: return plain.Pixel(plain.width - 1 - y, x);
    }
}

TEST_F(TurnedScanTest, EveryTransferDeliversTheUnturnedScanTurned) {
    for (TW_UINT16 type : {TWPT_BW, TWPT_GRAY, TWPT_RGB}) {
        for (Mechanism mechanism : {Mechanism::Native, Mechanism::Memory, Mechanism::Bmp, Mechanism::Tiff}) {
            Negotiate(type, 0);
            TW_IMAGEINFO plainInfo{};
            const Image plain = Scan(mechanism, &plainInfo);
            ASSERT_EQ(plain.width, 45u);
            ASSERT_EQ(plain.length, 25u);
            for (int quarters = 1; quarters < 4; ++quarters) {
                SCOPED_TRACE(testing::Message() << "pixel type " << type << ", mechanism " << int(mechanism) << ", "
                                                << quarters * 90 << " degrees");
                Negotiate(type, quarters * 90);
                TW_IMAGEINFO info{};
                const Image turned = Scan(mechanism, &info);
                EXPECT_EQ(turned.width, quarters % 2 ? plain.length : plain.width) << "DAT_IMAGEINFO ImageWidth";
                EXPECT_EQ(turned.length, quarters % 2 ? plain.width : plain.length) << "DAT_IMAGEINFO ImageLength";
                EXPECT_EQ(TW_INT16{info.XResolution.Whole}, TW_INT16{plainInfo.YResolution.Whole});
                EXPECT_EQ(TW_INT16{info.YResolution.Whole}, TW_INT16{plainInfo.XResolution.Whole});
                ASSERT_EQ(turned.rows.size(), PackedRowBytes(turned.width, turned.bits) * turned.length);
                for (std::uint32_t y = 0; y < turned.length; ++y) {
                    for (std::uint32_t x = 0; x < turned.width; ++x) {
                        ASSERT_EQ(turned.Pixel(x, y), Unturned(plain, quarters, x, y)) << "pixel " << x << ", " << y;
                    }
                    // A 1-bit row's unused bits are zero.
                    const std::size_t used = std::size_t{turned.width} * turned.bits;
                    if (used % 8 != 0) {
                        ASSERT_EQ(turned.rows[(y + 1) * PackedRowBytes(turned.width, turned.bits) - 1] & (0xFF >> (used % 8)), 0);
                    }
                }
            }
        }
    }
}

// A Cancel while the page is read, and every block the transfer takes
// failing in turn: the transfer ends cancelled or with TWCC_LOWMEMORY,
// leaves no block behind (the fixture counts them) and the next scan is
// whole.
TEST_F(TurnedScanTest, CancelAndMissingMemoryEndTheTransferCleanly) {
    for (Mechanism mechanism : {Mechanism::Native, Mechanism::Memory, Mechanism::Bmp, Mechanism::Tiff}) {
        SCOPED_TRACE(testing::Message() << "mechanism " << int(mechanism));
        Negotiate(TWPT_RGB, 90);
        headlessProgressLog = HeadlessProgressLog{};
        headlessProgressLog.cancelAtUpdate = 1;
        TW_IMAGEINFO info{};
        Scan(mechanism, &info, TWRC_CANCEL);
        headlessProgressLog = HeadlessProgressLog{};

        int lowMemory = 0;
        for (int allowed = 0; allowed < 4; ++allowed) {
            SCOPED_TRACE(testing::Message() << allowed << " blocks allowed");
            EXPECT_EQ(Enable(false), TWRC_SUCCESS);
            platform::FailGlobalAllocationsAfter(allowed);
            TW_UINT16 rc = TWRC_FAILURE;
            if (mechanism == Mechanism::Native) {
                TW_HANDLE dib = nullptr;
                rc = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
                if (rc == TWRC_XFERDONE) platform::GlobalFreeBlock(dib);
            } else if (mechanism == Mechanism::Memory) {
                std::vector<std::uint8_t> buffer(64000);
                TW_IMAGEMEMXFER xfer{};
                xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
                rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            } else {
                TW_SETUPFILEXFER setup{};
                std::strncpy(setup.FileName, (folder + "/fault.img").c_str(), sizeof setup.FileName - 1);
                setup.Format = mechanism == Mechanism::Tiff ? TWFF_TIFF : TWFF_BMP;
                EXPECT_EQ(Control(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
                rc = Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
            }
            platform::FailGlobalAllocationsAfter(-1);
            if (rc == TWRC_FAILURE) {
                EXPECT_EQ(Status(), TWCC_LOWMEMORY);
                ++lowMemory;
            } else {
                EXPECT_TRUE(rc == TWRC_XFERDONE || rc == TWRC_SUCCESS) << "rc " << rc;
            }
            EndXfer();
            EXPECT_EQ(Disable(false), TWRC_SUCCESS);
        }
        EXPECT_GE(lowMemory, 2) << "the page's block and the turned one (or the file's work block) each failed once";
        const Image whole = Scan(mechanism, &info);
        EXPECT_EQ(whole.rows.size(), PackedRowBytes(25, 24) * 45);
    }
}

}  // namespace

// Writes one small test image through each of the image libraries linked
// into the Windows builds, so that a shell test can read every file back
// with Debian's own decoders (image_libraries_test.sh):
//
//   image_libraries.exe FOLDER
//
// writes into FOLDER the same pictures uncompressed, by hand, as netpbm files
// (bilevel.pbm, grey.pgm, colour.ppm) and through the libraries: colour.jpg
// (libjpeg-turbo, quality 75), colour.png (libpng), and the TIFFs g4.tif
// (1-bit, CCITT Group 4), lzw.tif (grey, LZW), zip.tif (colour, Deflate) and
// jpeg.tif (colour, JPEG). It prints each library's version, and exits 1
// with a line on standard error when a library refuses anything.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

namespace {

// Odd sizes, so that rows of 1-bit pixels end inside a byte and no row is a
// multiple of four bytes.
constexpr int kWidth = 257;
constexpr int kHeight = 93;

// 1-bit rows packed most significant bit first, 1 black (as PBM and a TIFF
// with PHOTOMETRIC_MINISWHITE have it): blocks, a diagonal and a frame, the
// kind of strokes Group 4 codes by runs.
std::vector<std::uint8_t> BilevelPixels() {
    const int stride = (kWidth + 7) / 8;
    std::vector<std::uint8_t> rows(std::size_t(stride) * kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            bool black = (x / 16 + y / 8) % 3 == 0 || x == y || x == 0 || y == kHeight - 1;
            if (black) rows[std::size_t(y) * stride + x / 8] |= std::uint8_t(0x80 >> (x % 8));
        }
    }
    return rows;
}

// Smooth gradients (what JPEG is made for), with a sharp edge in the middle.
std::vector<std::uint8_t> GreyPixels() {
    std::vector<std::uint8_t> rows(std::size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            rows[std::size_t(y) * kWidth + x] = std::uint8_t(x < kWidth / 2 ? x * 255 / (kWidth - 1) : 255 - y * 2);
    return rows;
}

std::vector<std::uint8_t> ColourPixels() {
    std::vector<std::uint8_t> rows(std::size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* pixel = &rows[(std::size_t(y) * kWidth + x) * 3];
            pixel[0] = std::uint8_t(x * 255 / (kWidth - 1));
            pixel[1] = std::uint8_t(y * 255 / (kHeight - 1));
            pixel[2] = std::uint8_t((x + y) * 255 / (kWidth + kHeight - 2));
        }
    }
    return rows;
}

bool Fail(const std::string& what) {
    std::fprintf(stderr, "image_libraries: %s\n", what.c_str());
    return false;
}

bool WriteNetpbm(const std::string& path, const char* magic, int maxval, const std::vector<std::uint8_t>& data) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return Fail("cannot write " + path);
    if (maxval > 0) {
        std::fprintf(file, "%s\n%d %d\n%d\n", magic, kWidth, kHeight, maxval);
    } else {
        std::fprintf(file, "%s\n%d %d\n", magic, kWidth, kHeight);
    }
    bool whole = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return (std::fclose(file) == 0 && whole) || Fail("cannot write " + path);
}

bool WriteJpeg(const std::string& path, const std::vector<std::uint8_t>& colour) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return Fail("cannot write " + path);
    jpeg_compress_struct compress;
    jpeg_error_mgr errors;
    compress.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compress);
    jpeg_stdio_dest(&compress, file);
    compress.image_width = kWidth;
    compress.image_height = kHeight;
    compress.input_components = 3;
    compress.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compress);
    jpeg_set_quality(&compress, 75, TRUE);
    compress.density_unit = 1;  // dots per inch
    compress.X_density = 300;
    compress.Y_density = 300;
    jpeg_start_compress(&compress, TRUE);
    while (compress.next_scanline < compress.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&colour[std::size_t(compress.next_scanline) * kWidth * 3]);
        jpeg_write_scanlines(&compress, &row, 1);
    }
    jpeg_finish_compress(&compress);
    jpeg_destroy_compress(&compress);
    return std::fclose(file) == 0 || Fail("cannot write " + path);
}

bool WritePng(const std::string& path, const std::vector<std::uint8_t>& colour) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return Fail("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return Fail("libpng refused " + path);
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 11811, 11811, PNG_RESOLUTION_METER);  // 300 dpi
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y) png_write_row(png, &colour[std::size_t(y) * kWidth * 3]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 || Fail("cannot write " + path);
}

struct TiffCase {
    const char* name;
    std::uint16_t compression;
    std::uint16_t bitsPerSample;
    std::uint16_t samples;
};

bool WriteTiff(const std::string& path, const TiffCase& kind, const std::vector<std::uint8_t>& data) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff) return Fail("libtiff cannot write " + path);
    const std::size_t stride = kind.bitsPerSample == 1 ? (kWidth + 7) / 8 : std::size_t(kWidth) * kind.samples;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(kWidth));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(kHeight));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, kind.bitsPerSample);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, kind.samples);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, std::uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, std::uint16_t(RESUNIT_INCH));
    std::uint16_t photometric = kind.samples == 3 ? PHOTOMETRIC_RGB
                                : kind.bitsPerSample == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    if (!TIFFSetField(tiff, TIFFTAG_COMPRESSION, kind.compression)) {
        TIFFClose(tiff);
        return Fail(std::string("libtiff has no codec for ") + kind.name);
    }
    if (kind.compression == COMPRESSION_JPEG) {
        // Colour JPEG in TIFF is YCbCr; the codec converts the RGB rows.
        photometric = PHOTOMETRIC_YCBCR;
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
        TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, 75);
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    } else {
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    }
    if (kind.compression == COMPRESSION_LZW || kind.compression == COMPRESSION_ADOBE_DEFLATE)
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, std::uint16_t(PREDICTOR_HORIZONTAL));
    // Strips of 16 rows (JPEG wants a multiple of 8 or 16 with YCbCr).
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, std::uint32_t(16));
    std::vector<std::uint8_t> row(stride);
    for (int y = 0; y < kHeight; ++y) {
        std::memcpy(row.data(), &data[std::size_t(y) * stride], stride);
        if (TIFFWriteScanline(tiff, row.data(), std::uint32_t(y), 0) < 0) {
            TIFFClose(tiff);
            return Fail("libtiff cannot write a row of " + path);
        }
    }
    TIFFClose(tiff);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: image_libraries FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "\\";
    std::printf("libjpeg-turbo %d (libjpeg %d)\n", LIBJPEG_TURBO_VERSION_NUMBER, JPEG_LIB_VERSION);
    std::printf("libpng %s\n", png_get_libpng_ver(nullptr));
    std::printf("zlib %s\n", zlibVersion());
    std::printf("%s\n", TIFFGetVersion());

    const std::vector<std::uint8_t> bilevel = BilevelPixels();
    const std::vector<std::uint8_t> grey = GreyPixels();
    const std::vector<std::uint8_t> colour = ColourPixels();
    const TiffCase tiffs[] = {
        {"g4", COMPRESSION_CCITTFAX4, 1, 1},
        {"lzw", COMPRESSION_LZW, 8, 1},
        {"zip", COMPRESSION_ADOBE_DEFLATE, 8, 3},
        {"jpeg", COMPRESSION_JPEG, 8, 3},
    };
    bool ok = WriteNetpbm(folder + "bilevel.pbm", "P4", 0, bilevel) &&
              WriteNetpbm(folder + "grey.pgm", "P5", 255, grey) &&
              WriteNetpbm(folder + "colour.ppm", "P6", 255, colour) &&
              WriteJpeg(folder + "colour.jpg", colour) && WritePng(folder + "colour.png", colour);
    for (const TiffCase& kind : tiffs) {
        const std::vector<std::uint8_t>& data = kind.bitsPerSample == 1 ? bilevel : kind.samples == 1 ? grey : colour;
        ok = ok && WriteTiff(folder + kind.name + ".tif", kind, data);
    }
    return ok ? 0 : 1;
}

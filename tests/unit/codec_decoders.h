// Decoders for the tests of the source's encoders: libjpeg-turbo, libtiff
// and libpng read back what the source wrote, as levels (grey 0 black, or
// RGB) top-down; and the tools from Debian where a library has no reader
// (qpdf for PDF).
#pragma once

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

namespace codec_test {

struct JpegTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
inline void JpegThrow(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegTrap*>(info->err)->jump, 1); }

// Decodes a JPEG into levels; `dpi` its JFIF density in dots per inch.
inline bool DecodeJpeg(const std::vector<std::uint8_t>& data, std::uint32_t channels, std::vector<std::uint8_t>* out,
                int* dpi) {
    jpeg_decompress_struct info{};
    JpegTrap trap{};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = JpegThrow;
    if (setjmp(trap.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), data.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    *dpi = info.density_unit == 1 ? info.X_density : -1;
    out->resize(std::size_t(info.output_width) * info.output_height * channels);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out->data() + std::size_t(info.output_scanline) * info.output_width * channels;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

inline std::string TempName(const char* ext) {
    static int n = 0;  // one counter for the test program
    return "/tmp/vorel-codecs-" + std::to_string(getpid()) + "-" + std::to_string(++n) + ext;
}

inline void Save(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    FILE* f = std::fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Every page of a TIFF through libtiff's RGBA reader, which applies the
// photometry, the colour space and the coding; and the resolution.
inline std::vector<std::vector<std::uint8_t>> DecodeTiffPages(const std::string& name, std::uint32_t channels,
                                                       std::vector<float>* dpi) {
    std::vector<std::vector<std::uint8_t>> pages;
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(name.c_str(), "r");
    if (tif == nullptr) return pages;
    do {
        std::uint32_t w = 0, h = 0;
        float x = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x);
        dpi->push_back(x);
        std::vector<std::uint32_t> raster(std::size_t(w) * h);
        std::vector<std::uint8_t> levels;
        if (TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
            for (std::uint32_t px : raster) {
                if (channels == 3) {
                    levels.push_back(TIFFGetR(px));
                    levels.push_back(TIFFGetG(px));
                    levels.push_back(TIFFGetB(px));
                } else {
                    levels.push_back(TIFFGetR(px));
                }
            }
        }
        pages.push_back(levels);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

inline bool DecodePng(const std::string& name, std::uint32_t channels, std::vector<std::uint8_t>* out, png_uint_32* ppm) {
    FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_expand_gray_1_2_4_to_8(png);
    png_read_update_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    int unit = 0;
    png_get_pHYs(png, info, ppm, ppm, &unit);
    out->resize(std::size_t(w) * h * channels);
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, out->data() + std::size_t(y) * w * channels, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

// Bare Group 4 data read back by libtiff: put into a one-strip TIFF as it
// is, then decoded; 0 bits are white.
inline bool DecodeGroup4(const std::vector<std::uint8_t>& data, std::uint32_t w, std::uint32_t h, std::vector<std::uint8_t>* out) {
    const std::string name = TempName(".tif");
    TIFF* tif = TIFFOpen(name.c_str(), "w");
    if (tif == nullptr) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    TIFFWriteRawStrip(tif, 0, const_cast<std::uint8_t*>(data.data()), static_cast<tmsize_t>(data.size()));
    TIFFClose(tif);
    std::vector<float> dpi;
    const auto pages = DecodeTiffPages(name, 1, &dpi);
    std::remove(name.c_str());
    if (pages.size() != 1) return false;
    *out = pages[0];
    return true;
}

inline std::vector<std::uint8_t> ReadFile(const std::string& name) {
    std::vector<std::uint8_t> bytes;
    FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return bytes;
}

inline bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace codec_test

// PNG through libpng: one page of 1-bit, 8-bit grey or 24-bit colour, its
// resolution in pHYs. libpng's errors come back by longjmp to the call that
// met them; nothing with a destructor lives in those calls' frames.
#include <csetjmp>
#include <vector>

#include <png.h>

#include "imaging/codecs/byte_sink.h"
#include "imaging/codecs/png_writer.h"
#include "imaging/codecs/row_levels.h"

namespace {

void WriteData(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<ByteSink*>(png_get_io_ptr(png));
    if (!sink->Write(data, length)) png_error(png, "write");
}

void Flush(png_structp) {}

void ErrorProc(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void WarningProc(png_structp, png_const_charp) {}

class PngWriter : public ImageWriter {
public:
    explicit PngWriter(ByteSink& sink) : sink_(sink) {}
    ~PngWriter() override { Abandon(); }

    bool BeginPage(const PageFormat& page) override {
        if (png_ != nullptr || done_ || !FormatTakes(EncodedFormat::Png, page.bitsPerPixel, page.coding)) return false;
        page_ = page;
        try {
            row_.resize(PackedRowBytes(page) + 8);
        } catch (...) {
            return false;
        }
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorProc, WarningProc);
        if (png_ == nullptr) return false;
        info_ = png_create_info_struct(png_);
        if (info_ == nullptr) return Fail();
        return Start();
    }

    bool WriteRows(const std::uint8_t* rows, std::uint32_t count, std::size_t stride) override {
        if (png_ == nullptr) return false;
        for (std::uint32_t y = 0; y < count && written_ < page_.height; ++y, ++written_) {
            // PNG's grey runs from black at 0, its 1-bit pixels too.
            CopyRowLevels(page_, rows + stride * y, row_.data(), false);
            if (!WriteRow(row_.data())) return Fail();
        }
        return true;
    }

    bool EndPage() override {
        if (png_ == nullptr || written_ != page_.height) return Fail();
        const bool ended = End();
        Abandon();
        done_ = true;
        return ended;
    }

    void Abandon() override {
        if (png_ != nullptr) png_destroy_write_struct(&png_, info_ != nullptr ? &info_ : nullptr);
        png_ = nullptr;
        info_ = nullptr;
    }

private:
    bool Fail() {
        Abandon();
        return false;
    }

    bool Start() {
        if (setjmp(png_jmpbuf(png_))) return Fail();
        png_set_write_fn(png_, &sink_, WriteData, Flush);
        const int type = page_.bitsPerPixel == 24 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
        png_set_IHDR(png_, info_, page_.width, page_.height, page_.bitsPerPixel == 1 ? 1 : 8, type,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        // Dots per metre, to the nearest.
        const png_uint_32 perMetre = static_cast<png_uint_32>((page_.resolution * 10000ull + 127) / 254);
        png_set_pHYs(png_, info_, perMetre, perMetre, PNG_RESOLUTION_METER);
        png_write_info(png_, info_);
        return true;
    }

    bool WriteRow(std::uint8_t* row) {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_write_row(png_, row);
        return true;
    }

    bool End() {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_write_end(png_, info_);
        return true;
    }

    ByteSink& sink_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    PageFormat page_;
    std::vector<std::uint8_t> row_;
    std::uint32_t written_ = 0;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<ImageWriter> MakePngWriter(ByteSink& sink) {
    try {
        return std::unique_ptr<ImageWriter>(new PngWriter(sink));
    } catch (...) {
        return nullptr;
    }
}

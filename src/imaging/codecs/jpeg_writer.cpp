// JPEG through libjpeg-turbo: grey or colour (a 1-bit page as grey), the
// quality given, the resolution in the JFIF density. The library's errors
// come back by longjmp to the call that met them; nothing with a destructor
// lives in those calls' frames.
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "imaging/codecs/byte_sink.h"
#include "imaging/codecs/jpeg_writer.h"
#include "imaging/codecs/row_levels.h"

namespace {

constexpr std::size_t kOutputChunk = 64 * 1024;

struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void ErrorExit(j_common_ptr info) {
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    std::longjmp(trap->jump, 1);
}

void NoMessage(j_common_ptr, int) {}
void NoOutput(j_common_ptr) {}

struct Destination {
    jpeg_destination_mgr manager;
    ByteSink* sink;
    JOCTET* buffer;
    bool failed;
};

void InitDestination(j_compress_ptr info) {
    auto* d = reinterpret_cast<Destination*>(info->dest);
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = kOutputChunk;
}

boolean EmptyOutput(j_compress_ptr info) {
    auto* d = reinterpret_cast<Destination*>(info->dest);
    if (!d->sink->Write(d->buffer, kOutputChunk)) d->failed = true;
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = kOutputChunk;
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    auto* d = reinterpret_cast<Destination*>(info->dest);
    const std::size_t used = kOutputChunk - d->manager.free_in_buffer;
    if (used > 0 && !d->sink->Write(d->buffer, used)) d->failed = true;
}

class JpegWriter : public ImageWriter {
public:
    explicit JpegWriter(ByteSink& sink) {
        destination_.sink = &sink;
        destination_.failed = false;
        destination_.manager.init_destination = InitDestination;
        destination_.manager.empty_output_buffer = EmptyOutput;
        destination_.manager.term_destination = TermDestination;
    }
    ~JpegWriter() override { Abandon(); }

    bool BeginPage(const PageFormat& page) override {
        if (started_ || done_ || !FormatTakes(EncodedFormat::JpegStream, page.bitsPerPixel, page.coding)) return false;
        page_ = page;
        try {
            output_.resize(kOutputChunk);
            row_.resize(std::size_t(page.width) * (page.bitsPerPixel == 24 ? 3 : 1) + 8);
        } catch (...) {
            return false;
        }
        destination_.buffer = output_.data();
        return Start();
    }

    bool WriteRows(const std::uint8_t* rows, std::uint32_t count, std::size_t stride) override {
        if (!started_) return false;
        for (std::uint32_t y = 0; y < count; ++y) {
            const std::uint8_t* in = rows + stride * y;
            if (page_.bitsPerPixel == 1) {
                WidenBitsToGrey(page_, in, row_.data());
            } else {
                CopyRowLevels(page_, in, row_.data(), false);
            }
            if (!WriteRow(row_.data()) || destination_.failed) return Fail();
        }
        return true;
    }

    bool EndPage() override {
        if (!started_) return false;
        const bool finished = Finish();
        started_ = false;
        done_ = true;
        return finished && !destination_.failed;
    }

    void Abandon() override {
        if (created_) jpeg_destroy_compress(&info_);
        created_ = started_ = false;
    }

private:
    bool Fail() {
        Abandon();
        return false;
    }

    bool Start() {
        info_.err = jpeg_std_error(&trap_.manager);
        trap_.manager.error_exit = ErrorExit;
        trap_.manager.emit_message = NoMessage;
        trap_.manager.output_message = NoOutput;
        if (setjmp(trap_.jump)) return Fail();
        jpeg_create_compress(&info_);
        created_ = true;
        info_.dest = &destination_.manager;
        info_.image_width = page_.width;
        info_.image_height = page_.height;
        const bool colour = page_.bitsPerPixel == 24;
        info_.input_components = colour ? 3 : 1;
        info_.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
        jpeg_set_defaults(&info_);
        jpeg_set_quality(&info_, page_.quality < 1 ? 1 : page_.quality > 100 ? 100 : page_.quality, TRUE);
        info_.write_JFIF_header = TRUE;
        info_.density_unit = 1;  // dots per inch
        const unsigned dpi = page_.resolution > 65535 ? 65535 : page_.resolution;
        info_.X_density = static_cast<UINT16>(dpi);
        info_.Y_density = static_cast<UINT16>(dpi);
        jpeg_start_compress(&info_, TRUE);
        started_ = true;
        return !destination_.failed;
    }

    bool WriteRow(std::uint8_t* row) {
        if (setjmp(trap_.jump)) return false;
        JSAMPROW rows[1] = {row};
        return jpeg_write_scanlines(&info_, rows, 1) == 1;
    }

    bool Finish() {
        if (setjmp(trap_.jump)) {
            Abandon();
            return false;
        }
        jpeg_finish_compress(&info_);
        jpeg_destroy_compress(&info_);
        created_ = false;
        return true;
    }

    jpeg_compress_struct info_{};
    ErrorTrap trap_{};
    Destination destination_{};
    std::vector<JOCTET> output_;
    std::vector<std::uint8_t> row_;
    PageFormat page_;
    bool created_ = false;
    bool started_ = false;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<ImageWriter> MakeJpegWriter(ByteSink& sink) {
    try {
        return std::unique_ptr<ImageWriter>(new JpegWriter(sink));
    } catch (...) {
        return nullptr;
    }
}

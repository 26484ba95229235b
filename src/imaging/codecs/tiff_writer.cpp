// TIFF through libtiff: one page or several in one file (none, Group 4 for
// 1-bit, JPEG for grey and colour, LZW, ZIP; the resolution in every page),
// and the bare Group 4 data of one page for a memory transfer or a PDF,
// which is libtiff's own Group 4 coder writing a one-strip page whose strip
// bytes alone are kept.
//
// libtiff writes and reads through the sink. A writer that ends (or drops a
// page) lets libtiff write nothing more: the sink stays as it was after
// the last whole page.
#include <algorithm>
#include <cstdio>
#include <vector>

#include <tiffio.h>

#include "imaging/codecs/byte_sink.h"
#include "imaging/codecs/row_levels.h"
#include "imaging/codecs/tiff_writer.h"

namespace {

// What libtiff's file functions reach: the sink, or (Group 4 data) the
// sink of the strip bytes alone.
struct Stream {
    ByteSink* sink = nullptr;
    bool closed = false;   // writes go nowhere
    bool stripOnly = false;
    // Strip only: libtiff's own file is kept here; the bytes written from
    // the first strip byte on, in order, also go to the sink.
    MemorySink own;
    std::uint64_t nextStripByte = 0;
    bool inStrip = false;
};

ByteSink& FileOf(Stream* s) { return s->stripOnly ? static_cast<ByteSink&>(s->own) : *s->sink; }

tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size) {
    auto* s = static_cast<Stream*>(handle);
    if (size < 0) return -1;
    return static_cast<tmsize_t>(FileOf(s).Read(data, static_cast<std::size_t>(size)));
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
    auto* s = static_cast<Stream*>(handle);
    if (size < 0) return -1;
    if (s->closed) return size;
    if (s->stripOnly) {
        // The header is libtiff's alone; strip bytes are written after it,
        // each write where the last ended.
        const std::uint64_t at = s->own.Position();
        if (at >= 8 && (!s->inStrip || at == s->nextStripByte)) {
            if (!s->sink->Write(data, static_cast<std::size_t>(size))) return -1;
            s->inStrip = true;
            s->nextStripByte = at + static_cast<std::uint64_t>(size);
        }
        // Only the header needs keeping for libtiff to read back.
        if (at < 8) {
            if (!s->own.Write(data, static_cast<std::size_t>(size))) return -1;
        } else if (!s->own.Seek(at + static_cast<std::uint64_t>(size))) {
            return -1;
        }
        return size;
    }
    return s->sink->Write(data, static_cast<std::size_t>(size)) ? size : -1;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto* s = static_cast<Stream*>(handle);
    ByteSink& file = FileOf(s);
    std::uint64_t to = offset;
    if (whence == SEEK_CUR) to = file.Position() + offset;
    if (whence == SEEK_END) to = std::max(file.Size(), s->stripOnly ? s->nextStripByte : 0) + offset;
    if (s->closed) return to;
    return file.Seek(to) ? to : static_cast<toff_t>(-1);
}

int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t handle) {
    auto* s = static_cast<Stream*>(handle);
    return s->stripOnly ? std::max(s->own.Size(), s->nextStripByte) : FileOf(s).Size();
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages go nowhere: a failure comes back as a result.
void Quiet(const char*, const char*, va_list) {}

TIFF* OpenOver(Stream& stream) {
    TIFFSetErrorHandler(Quiet);
    TIFFSetWarningHandler(Quiet);
    return TIFFClientOpen("vorel", "w", &stream, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                          UnmapProc);
}

std::uint16_t CompressionTag(ImageCoding coding) {
    switch (coding) {
    case ImageCoding::Jpeg: return COMPRESSION_JPEG;
    case ImageCoding::Group4: return COMPRESSION_CCITTFAX4;
    case ImageCoding::Lzw: return COMPRESSION_LZW;
    case ImageCoding::Zip: return COMPRESSION_ADOBE_DEFLATE;
    default: return COMPRESSION_NONE;
    }
}

class TiffWriter : public ImageWriter {
public:
    TiffWriter(ByteSink& sink, bool group4Data) {
        stream_.sink = &sink;
        stream_.stripOnly = group4Data;
    }
    ~TiffWriter() override { Close(); }

    bool BeginPage(const PageFormat& page) override {
        const EncodedFormat format = stream_.stripOnly ? EncodedFormat::Group4Stream : EncodedFormat::Tiff;
        if (inPage_ || broken_ || (stream_.stripOnly && pages_ > 0) || !FormatTakes(format, page.bitsPerPixel, page.coding)) {
            return false;
        }
        page_ = page;
        try {
            row_.resize(PackedRowBytes(page) + 8);
        } catch (...) {
            return false;
        }
        if (tiff_ == nullptr) tiff_ = OpenOver(stream_);
        if (tiff_ == nullptr) return Broken();
        const bool colour = page.bitsPerPixel == 24;
        const std::uint16_t compression = CompressionTag(page.coding);
        std::uint16_t photometric = colour ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
        if (page.bitsPerPixel == 1) photometric = PHOTOMETRIC_MINISWHITE;
        if (colour && page.coding == ImageCoding::Jpeg) photometric = PHOTOMETRIC_YCBCR;
        bool ok = TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, page.width) &&
                  TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, page.height) &&
                  TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, colour ? 8 : page.bitsPerPixel) &&
                  TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, colour ? 3 : 1) &&
                  TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                  TIFFSetField(tiff_, TIFFTAG_COMPRESSION, compression) &&
                  TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, photometric) &&
                  TIFFSetField(tiff_, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
                  TIFFSetField(tiff_, TIFFTAG_XRESOLUTION, static_cast<float>(page.resolution)) &&
                  TIFFSetField(tiff_, TIFFTAG_YRESOLUTION, static_cast<float>(page.resolution)) &&
                  TIFFSetField(tiff_, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        if (!stream_.stripOnly) {
            ok = ok && TIFFSetField(tiff_, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
                 TIFFSetField(tiff_, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(pages_), 0);
        }
        if (page.coding == ImageCoding::Jpeg) {
            ok = ok && TIFFSetField(tiff_, TIFFTAG_JPEGQUALITY, std::clamp(page.quality, 1, 100));
            if (colour) ok = ok && TIFFSetField(tiff_, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        if ((page.coding == ImageCoding::Lzw || page.coding == ImageCoding::Zip) && page.bitsPerPixel != 1) {
            ok = ok && TIFFSetField(tiff_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        }
        ok = ok && TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, RowsPerStrip(page));
        if (!ok) return Broken();
        inPage_ = true;
        row_number_ = 0;
        return true;
    }

    bool WriteRows(const std::uint8_t* rows, std::uint32_t count, std::size_t stride) override {
        if (!inPage_) return false;
        for (std::uint32_t y = 0; y < count; ++y) {
            if (row_number_ >= page_.height) return true;  // rows past the page are not the page's
            // 1-bit pages are kept white-is-zero (as fax data is), grey
            // black-is-zero.
            CopyRowLevels(page_, rows + stride * y, row_.data(), page_.bitsPerPixel == 1);
            if (TIFFWriteScanline(tiff_, row_.data(), row_number_, 0) != 1) return Broken();
            ++row_number_;
        }
        return true;
    }

    bool EndPage() override {
        if (!inPage_ || row_number_ != page_.height) return Broken();
        inPage_ = false;
        if (stream_.stripOnly) {
            // The strip's last bits, then nothing more of libtiff's file.
            const bool flushed = TIFFFlushData(tiff_) == 1;
            Close();
            ++pages_;
            return flushed && stream_.inStrip;
        }
        if (TIFFWriteDirectory(tiff_) != 1) return Broken();
        ++pages_;
        return true;
    }

    void Abandon() override {
        inPage_ = false;
        Close();
        broken_ = true;
    }

private:
    // Strips of about 64 KB; a JPEG strip holds whole rows of 8 x 8 blocks
    // (16 rows for colour, which is subsampled), and Group 4 one strip a page.
    std::uint32_t RowsPerStrip(const PageFormat& page) const {
        if (page.coding == ImageCoding::Group4) return page.height;
        const std::size_t bytes = std::max<std::size_t>(PackedRowBytes(page), 1);
        std::uint32_t rows = static_cast<std::uint32_t>(std::max<std::size_t>(65536 / bytes, 1));
        if (page.coding == ImageCoding::Jpeg) rows = (rows + 15) / 16 * 16;
        return std::min(rows, std::max<std::uint32_t>(page.height, 1));
    }

    bool Broken() {
        Abandon();
        return false;
    }

    void Close() {
        if (tiff_ == nullptr) return;
        stream_.closed = true;
        TIFFClose(tiff_);
        tiff_ = nullptr;
    }

    Stream stream_;
    TIFF* tiff_ = nullptr;
    PageFormat page_;
    std::vector<std::uint8_t> row_;
    std::uint32_t row_number_ = 0;
    std::uint32_t pages_ = 0;
    bool inPage_ = false;
    bool broken_ = false;
};

}  // namespace

std::unique_ptr<ImageWriter> MakeTiffWriter(ByteSink& sink) {
    try {
        return std::unique_ptr<ImageWriter>(new TiffWriter(sink, false));
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<ImageWriter> MakeGroup4Writer(ByteSink& sink) {
    try {
        return std::unique_ptr<ImageWriter>(new TiffWriter(sink, true));
    } catch (...) {
        return nullptr;
    }
}

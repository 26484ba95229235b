// What each format holds, and the writer of each.
#include "imaging/codecs/image_writer.h"

#include "imaging/codecs/jpeg_writer.h"
#include "imaging/codecs/pdf_writer.h"
#include "imaging/codecs/png_writer.h"
#include "imaging/codecs/tiff_writer.h"

bool FormatTakes(EncodedFormat format, std::uint32_t bitsPerPixel, ImageCoding coding) {
    if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24) return false;
    const bool bilevel = bitsPerPixel == 1;
    switch (format) {
    case EncodedFormat::JpegStream:
        // A 1-bit page becomes grey: a JPEG file of a drawing is still a picture of it.
        return coding == ImageCoding::Jpeg;
    case EncodedFormat::Group4Stream:
        return bilevel && coding == ImageCoding::Group4;
    case EncodedFormat::Tiff:
        if (coding == ImageCoding::Group4) return bilevel;
        if (coding == ImageCoding::Jpeg) return !bilevel;
        return true;
    case EncodedFormat::Png:
        return coding == ImageCoding::None;
    case EncodedFormat::Pdf:
        if (coding == ImageCoding::Group4) return bilevel;
        if (coding == ImageCoding::Jpeg) return !bilevel;
        return coding == ImageCoding::None;
    }
    return false;
}

std::unique_ptr<ImageWriter> MakeImageWriter(EncodedFormat format, ByteSink& sink) {
    switch (format) {
    case EncodedFormat::JpegStream: return MakeJpegWriter(sink);
    case EncodedFormat::Group4Stream: return MakeGroup4Writer(sink);
    case EncodedFormat::Tiff: return MakeTiffWriter(sink);
    case EncodedFormat::Png: return MakePngWriter(sink);
    case EncodedFormat::Pdf: return MakePdfWriter(sink);
    }
    return nullptr;
}

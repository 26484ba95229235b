// The session's transfers through the encoders (imaging/codecs): files in
// JPEG, PNG, compressed TIFF, multi-page TIFF and PDF, and the compressed
// strips of a memory transfer. The scan is read as the other readers read
// it, rows top-down and colour in red, green, blue, a whole number of the
// scanner's reads at a time, and each piece goes to the encoder at once: a
// page is never held whole here.
//
// A file of one page is written beside its name and moved over it only
// when whole, as the source's own writers do. A multi-page file is made so
// too; from its first page on it is the file at the name, and each later
// page is added to it in place: a page that fails is cut off again, so the
// file always holds the pages delivered so far, whole. Between pages the
// file is closed: the application may read it.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/scan_session.h"
#include "imaging/codecs/byte_sink.h"
#include "imaging/codecs/image_writer.h"
#include "twain/twain.h"

struct CodedStream {
    MemorySink sink;
    std::unique_ptr<ImageWriter> writer;
    std::vector<std::uint8_t> rows;
    std::uint32_t bytesPerLine = 0;
    std::uint32_t lines = 0;
    std::uint32_t done = 0;
    std::uint32_t perPiece = 1;
    bool ended = false;
};

struct DocumentFile {
    std::string name;
    std::uint16_t format = 0;
    PartFile part;  // its file is the document's, also once moved over the name
    std::unique_ptr<FileSink> sink;
    std::unique_ptr<ImageWriter> writer;
    bool moved = false;        // the file is at the name
    std::uint64_t whole = 0;   // the file's length after its last page
};

ScanSession::ScanSession() = default;
ScanSession::~ScanSession() = default;

namespace {

ImageCoding CodingOf(std::uint16_t compression) {
    switch (compression) {
    case TWCP_JPEG: return ImageCoding::Jpeg;
    case TWCP_GROUP4: return ImageCoding::Group4;
    case TWCP_LZW: return ImageCoding::Lzw;
    case TWCP_ZIP: return ImageCoding::Zip;
    default: return ImageCoding::None;
    }
}

std::uint32_t NonNegative(int value) { return value > 0 ? static_cast<std::uint32_t>(value) : 0; }

// Lines read at a time: a whole number of the scanner's reads of about
// 128 KB, so the progress is told and a Cancel heard between them.
std::uint32_t PieceLines(std::uint32_t bytesPerLine) {
    const std::size_t perRead = ScannerDevice::LinesPerRead(static_cast<int>(bytesPerLine));
    const std::size_t reads = bytesPerLine == 0 ? 1 : (128 * 1024) / (perRead * bytesPerLine);
    return static_cast<std::uint32_t>(perRead * std::max<std::size_t>(reads, 1));
}

}  // namespace

// Reads the page set up and hands it to `writer`, piece by piece; the
// caller drops what the writer wrote when this fails.
int ScanSession::DescribeCodedPage(std::uint16_t compression, int quality, PageFormat* page,
                                   std::uint32_t* bytesPerLine) {
    const ImageTypeEntry& type = ScanType();
    *bytesPerLine = NonNegative(scanner.GetBytesPerLine());
    const std::uint32_t pixels = NonNegative(scanner.GetPixelsPerLine());
    const std::uint32_t lines = NonNegative(scanner.GetLineCount());
    if (*bytesPerLine == 0 || lines == 0 ||
        std::uint64_t(pixels) * type.bitsPerPixel > std::uint64_t(*bytesPerLine) * 8) {
        return TWCC_BUMMER;
    }
    if (type.bitsPerPixel == 24) scanner.LoadColourMatrix(true);
    page->width = pixels;
    page->height = lines;
    page->bitsPerPixel = type.bitsPerPixel;
    page->whiteIsZero = ScanInverted();
    page->resolution = ScanResolution();
    page->coding = CodingOf(compression);
    page->quality = quality;
    return TWCC_SUCCESS;
}

int ScanSession::WriteCodedPage(ImageWriter& writer, std::uint16_t compression, int quality) {
    PageFormat page;
    std::uint32_t bytesPerLine = 0;
    if (const int described = DescribeCodedPage(compression, quality, &page, &bytesPerLine); described != TWCC_SUCCESS) {
        return described;
    }
    const std::uint32_t lines = page.height;
    if (setup_.quarterTurns != 0) return WriteTurnedPage(writer, page);
    const std::uint32_t perPiece = std::min(PieceLines(bytesPerLine), lines);
    std::vector<std::uint8_t> rows;
    try {
        rows.resize(std::size_t(perPiece) * bytesPerLine);
    } catch (...) {
        return TWCC_LOWMEMORY;
    }
    if (!writer.BeginPage(page)) return TWCC_BUMMER;
    BeginProgress(lines);
    for (std::uint32_t done = 0; done < lines;) {
        const std::uint32_t n = std::min(perPiece, lines - done);
        const std::uint32_t want = n * bytesPerLine;
        const std::uint32_t got = scanner.ReadData(want, rows.data());
        if (scanner.Halted() || (got == 0 && done == 0)) return TWCC_BUMMER;
        const std::uint32_t whole = got / bytesPerLine;
        if (whole > 0 && !writer.WriteRows(rows.data(), whole, bytesPerLine)) return TWCC_BUMMER;
        done += whole;
        if (AdvanceProgress(done)) return kTransferCancelled;
        if (got < want) return ScanIncomplete();
    }
    return writer.EndPage() ? TWCC_SUCCESS : TWCC_BUMMER;
}

// A turned page is read whole and turned first (the rotation's stage), then
// coded from the turned rows.
int ScanSession::WriteTurnedPage(ImageWriter& writer, PageFormat page) {
    const int read = PrepareMemoryStrips();
    if (read != TWCC_SUCCESS) return read;
    page.width = turnedPage_.width();
    page.height = turnedPage_.lines();
    const bool written = writer.BeginPage(page) && writer.WriteRows(turnedPage_.Row(0), page.height, turnedPage_.stride()) &&
                         writer.EndPage();
    turnedPage_.Release();
    return written ? TWCC_SUCCESS : TWCC_BUMMER;
}

int ScanSession::WriteImageFile(const char* fileName, std::uint16_t format, std::uint16_t compression, int quality) {
    if (fileName == nullptr || fileName[0] == '\0') return TWCC_BUMMER;
    if (format == TWFF_TIFFMULTI || format == TWFF_PDF) {
        const int result = WriteDocumentPage(fileName, format, compression, quality);
        EndProgress();
        return result;
    }
    EncodedFormat encoded = EncodedFormat::Tiff;
    if (format == TWFF_JFIF) {
        encoded = EncodedFormat::JpegStream;
        compression = TWCP_JPEG;
    } else if (format == TWFF_PNG) {
        encoded = EncodedFormat::Png;
        compression = TWCP_NONE;
    } else if (format != TWFF_TIFF || compression == TWCP_NONE) {
        // BMP and uncompressed TIFF: the source's own writers.
        PartFile part;
        if (!part.Create(fileName)) return TWCC_BUMMER;
        int result = WriteNewImageFile(part.file(), format);
        EndProgress();
        if (result == TWCC_SUCCESS && !part.MoveOver(fileName)) result = TWCC_BUMMER;
        return result;
    }
    PartFile part;
    if (!part.Create(fileName)) return TWCC_BUMMER;
    int result = TWCC_LOWMEMORY;
    {
        FileSink sink(part.file());
        std::unique_ptr<ImageWriter> writer = MakeImageWriter(encoded, sink);
        if (writer != nullptr) result = WriteCodedPage(*writer, compression, quality);
        if (writer != nullptr && result != TWCC_SUCCESS) writer->Abandon();
    }
    EndProgress();
    if (result == TWCC_SUCCESS && !part.MoveOver(fileName)) result = TWCC_BUMMER;
    return result;
}

int ScanSession::WriteDocumentPage(const char* fileName, std::uint16_t format, std::uint16_t compression, int quality) {
    if (document_ != nullptr && (document_->name != fileName || document_->format != format)) EndDocument();
    if (document_ == nullptr) {
        try {
            auto document = std::make_unique<DocumentFile>();
            document->name = fileName;
            document->format = format;
            if (!document->part.Create(fileName)) return TWCC_BUMMER;
            document->sink = std::make_unique<FileSink>(document->part.file());
            document->writer =
                MakeImageWriter(format == TWFF_PDF ? EncodedFormat::Pdf : EncodedFormat::Tiff, *document->sink);
            if (document->writer == nullptr) return TWCC_LOWMEMORY;
            document_ = std::move(document);
        } catch (...) {
            return TWCC_LOWMEMORY;
        }
    }
    if (document_->moved) {
        // The file is closed between pages, so that the application may read
        // it; a file that cannot be opened again is no longer this one.
        if (!document_->part.file().Open(fileName, platform::FileMode::ReadWrite) ||
            !document_->sink->Seek(document_->whole)) {
            EndDocument();
            return WriteDocumentPage(fileName, format, compression, quality);
        }
    }
    DocumentFile& document = *document_;
    int result = WriteCodedPage(*document.writer, compression, quality);
    if (result != TWCC_SUCCESS) {
        document.writer->Abandon();
        if (!document.moved) {
            // Its first page failed: the file at the name is as it was, and
            // the part file goes.
            document_.reset();
        } else {
            if (!document.sink->CutTo(document.whole)) result = TWCC_BUMMER;
            document.part.file().Close();
        }
        return result;
    }
    document.whole = document.sink->Size();
    if (!document.moved) {
        // The first page whole: the file takes the name.
        if (!document.part.MoveOver(fileName)) {
            document_.reset();
            return TWCC_BUMMER;
        }
        document.moved = true;
    }
    document.part.file().Close();
    return TWCC_SUCCESS;
}

void ScanSession::EndDocument() { document_.reset(); }

void ScanSession::EndDocumentUnlessNamed(const char* fileName) {
    if (document_ != nullptr && (fileName == nullptr || document_->name != fileName)) EndDocument();
}

void ScanSession::DropCodedStream() { coded_.reset(); }

int ScanSession::ReadCodedStrip(void* buffer, std::uint32_t length, std::uint16_t compression, int quality,
                                std::uint32_t* written, bool* last) {
    *written = 0;
    *last = false;
    if (coded_ == nullptr) {
        PageFormat page;
        std::uint32_t bytesPerLine = 0;
        if (const int described = DescribeCodedPage(compression, quality, &page, &bytesPerLine);
            described != TWCC_SUCCESS) {
            return described;
        }
        const std::uint32_t lines = page.height;
        try {
            auto stream = std::make_unique<CodedStream>();
            stream->bytesPerLine = bytesPerLine;
            stream->lines = lines;
            stream->perPiece = std::min(PieceLines(bytesPerLine), lines);
            stream->rows.resize(std::size_t(stream->perPiece) * bytesPerLine);
            stream->writer = MakeImageWriter(
                compression == TWCP_GROUP4 ? EncodedFormat::Group4Stream : EncodedFormat::JpegStream, stream->sink);
            if (stream->writer == nullptr) return TWCC_LOWMEMORY;
            if (setup_.quarterTurns != 0) {
                // The whole turned page coded at once; the strips then hand
                // out its bytes.
                const int turned = WriteTurnedPage(*stream->writer, page);
                if (turned != TWCC_SUCCESS) return turned;
                stream->ended = true;
            } else if (!stream->writer->BeginPage(page)) {
                return TWCC_BUMMER;
            }
            coded_ = std::move(stream);
        } catch (...) {
            return TWCC_LOWMEMORY;
        }
        if (!coded_->ended) BeginProgress(lines);
    }
    CodedStream& stream = *coded_;
    // Coded until the strip is full or the page ends.
    while (stream.sink.Pending() < length && !stream.ended) {
        const std::uint32_t n = std::min(stream.perPiece, stream.lines - stream.done);
        const std::uint32_t want = n * stream.bytesPerLine;
        const std::uint32_t got = scanner.ReadData(want, stream.rows.data());
        int failure = TWCC_SUCCESS;
        if (scanner.Halted() || (got == 0 && stream.done == 0)) failure = TWCC_BUMMER;
        const std::uint32_t whole = got / stream.bytesPerLine;
        if (failure == TWCC_SUCCESS && whole > 0 && !stream.writer->WriteRows(stream.rows.data(), whole, stream.bytesPerLine)) {
            failure = TWCC_BUMMER;
        }
        stream.done += whole;
        if (failure == TWCC_SUCCESS && AdvanceProgress(stream.done)) failure = kTransferCancelled;
        if (failure == TWCC_SUCCESS && got < want) {
            EndProgress();
            failure = ScanIncomplete();
        }
        if (failure == TWCC_SUCCESS && stream.done >= stream.lines) {
            if (!stream.writer->EndPage()) failure = TWCC_BUMMER;
            stream.ended = true;
        }
        if (failure != TWCC_SUCCESS) {
            coded_.reset();
            return failure;
        }
    }
    *written = static_cast<std::uint32_t>(stream.sink.Take(buffer, length));
    if (stream.ended && stream.sink.Pending() == 0) {
        *last = true;
        coded_.reset();
        EndProgress();
    }
    return TWCC_SUCCESS;
}

// A raster PDF, written here: each page is one image drawn over the whole
// page, whose size in points comes from the image's size and resolution.
// Grey and colour pages are JPEG (DCTDecode) or uncompressed, 1-bit pages
// Group 4 (CCITTFaxDecode, K -1) or uncompressed; the JPEG and Group 4 data
// come from the JPEG and libtiff writers, straight into the file.
//
// The first page makes the file: catalogue, page tree, cross-reference table
// and trailer. Each later page is an update appended to it: the page's
// objects, the page tree again with the new page, and a cross-reference
// section for those that points back to the one before. Until that last
// section is written the file ends where the last page left it, so the file
// is whole after every page.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/codecs/byte_sink.h"
#include "imaging/codecs/jpeg_writer.h"
#include "imaging/codecs/pdf_writer.h"
#include "imaging/codecs/row_levels.h"
#include "imaging/codecs/tiff_writer.h"

namespace {

constexpr std::uint32_t kCatalog = 1;
constexpr std::uint32_t kPages = 2;

class PdfWriter : public ImageWriter {
public:
    explicit PdfWriter(ByteSink& sink) : sink_(sink) {}

    bool BeginPage(const PageFormat& page) override {
        if (inPage_ || !FormatTakes(EncodedFormat::Pdf, page.bitsPerPixel, page.coding) || page.resolution == 0) {
            return false;
        }
        page_ = page;
        written_ = 0;
        pageStart_ = sink_.Position();
        try {
            offsets_.clear();
            row_.resize(PackedRowBytes(page) + 8);
            if (firstXref_ == 0 && !Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")) return Fail();
            if (firstXref_ == 0) {
                if (!StartObject(kCatalog) || !Put("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n")) return Fail();
            }
            image_ = next_;
            length_ = next_ + 1;
            contents_ = next_ + 2;
            pageObject_ = next_ + 3;
            const char* space = page.bitsPerPixel == 24 ? "/DeviceRGB" : "/DeviceGray";
            std::string filter;
            if (page.coding == ImageCoding::Jpeg) filter = " /Filter /DCTDecode";
            if (page.coding == ImageCoding::Group4) {
                filter = " /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns " + std::to_string(page.width) +
                         " /Rows " + std::to_string(page.height) + " >>";
            }
            if (!StartObject(image_) ||
                !Put("<< /Type /XObject /Subtype /Image /Width " + std::to_string(page.width) + " /Height " +
                     std::to_string(page.height) + " /ColorSpace " + space + " /BitsPerComponent " +
                     (page.bitsPerPixel == 1 ? "1" : "8") + filter + " /Length " + std::to_string(length_) +
                     " 0 R >>\nstream\n")) {
                return Fail();
            }
        } catch (...) {
            return Fail();
        }
        streamStart_ = sink_.Position();
        if (page.coding == ImageCoding::Jpeg) coder_ = MakeJpegWriter(sink_);
        if (page.coding == ImageCoding::Group4) coder_ = MakeGroup4Writer(sink_);
        if (page.coding != ImageCoding::None && (coder_ == nullptr || !coder_->BeginPage(page))) return Fail();
        inPage_ = true;
        return true;
    }

    bool WriteRows(const std::uint8_t* rows, std::uint32_t count, std::size_t stride) override {
        if (!inPage_) return false;
        if (coder_ != nullptr) {
            if (!coder_->WriteRows(rows, count, stride)) return Fail();
            written_ += count;
            return true;
        }
        for (std::uint32_t y = 0; y < count && written_ < page_.height; ++y, ++written_) {
            // DeviceGray: 0 is black, at one bit as at eight.
            CopyRowLevels(page_, rows + stride * y, row_.data(), false);
            if (!sink_.Write(row_.data(), PackedRowBytes(page_))) return Fail();
        }
        return true;
    }

    bool EndPage() override {
        if (!inPage_ || written_ < page_.height) return Fail();
        if (coder_ != nullptr && !coder_->EndPage()) return Fail();
        coder_.reset();
        try {
            const std::uint64_t streamLength = sink_.Position() - streamStart_;
            // The page in points: 72 a inch.
            char size[64];
            std::snprintf(size, sizeof size, "%.4f %.4f", page_.width * 72.0 / page_.resolution,
                          page_.height * 72.0 / page_.resolution);
            const std::string draw = std::string("q\n") + Words(size, 0) + " 0 0 " + Words(size, 1) + " 0 0 cm\n/Im0 Do\nQ\n";
            if (!Put("\nendstream\nendobj\n") || !StartObject(length_) ||
                !Put(std::to_string(streamLength) + "\nendobj\n") || !StartObject(contents_) ||
                !Put("<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw + "endstream\nendobj\n") ||
                !StartObject(pageObject_) ||
                !Put("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::string(size) + "] /Resources << /XObject << /Im0 " +
                     std::to_string(image_) + " 0 R >> /ProcSet [/PDF /ImageB /ImageC] >> /Contents " +
                     std::to_string(contents_) + " 0 R >>\nendobj\n")) {
                return Fail();
            }
            kids_.push_back(pageObject_);
            std::string tree = "<< /Type /Pages /Kids [";
            for (std::uint32_t kid : kids_) tree += std::to_string(kid) + " 0 R ";
            tree += "] /Count " + std::to_string(kids_.size()) + " >>\nendobj\n";
            if (!StartObject(kPages) || !Put(tree)) return Fail();
            if (!WriteXref()) return Fail();
        } catch (...) {
            return Fail();
        }
        next_ = pageObject_ + 1;
        inPage_ = false;
        return true;
    }

    // The writer goes back to the file as it stood after the last page; the
    // caller cuts the sink back there, and a next page may follow.
    void Abandon() override {
        coder_.reset();
        if (inPage_ && kids_.size() > 0 && kids_.back() == pageObject_) kids_.pop_back();
        inPage_ = false;
    }

private:
    bool Fail() {
        Abandon();
        return false;
    }

    // The n-th word of "a b".
    static std::string Words(const char* text, int n) {
        const std::string s = text;
        const std::size_t space = s.find(' ');
        return n == 0 ? s.substr(0, space) : s.substr(space + 1);
    }

    bool Put(const std::string& text) { return sink_.Write(text.data(), text.size()); }

    bool StartObject(std::uint32_t number) {
        offsets_.push_back({number, sink_.Position()});
        return Put(std::to_string(number) + " 0 obj\n");
    }

    // A cross-reference section for the objects this page wrote (the whole
    // table for the first page), its trailer, and the end of the file.
    bool WriteXref() {
        const std::uint64_t at = sink_.Position();
        std::string text = "xref\n";
        char entry[32];
        const auto line = [&](std::uint64_t offset, unsigned generation, char kind) {
            std::snprintf(entry, sizeof entry, "%010" PRIu64 " %05u %c\r\n", offset, generation, kind);
            text += entry;
        };
        // Sorted by number in runs of consecutive numbers.
        std::vector<std::uint64_t> byNumber(pageObject_ + 1, 0);
        std::vector<bool> present(pageObject_ + 1, false);
        for (const auto& o : offsets_) {
            byNumber[o.number] = o.offset;
            present[o.number] = true;
        }
        if (firstXref_ == 0) present[0] = true;
        for (std::uint32_t n = 0; n <= pageObject_;) {
            if (!present[n]) {
                ++n;
                continue;
            }
            std::uint32_t end = n;
            while (end + 1 <= pageObject_ && present[end + 1]) ++end;
            text += std::to_string(n) + " " + std::to_string(end - n + 1) + "\n";
            for (std::uint32_t k = n; k <= end; ++k) {
                if (k == 0) {
                    line(0, 65535, 'f');
                } else {
                    line(byNumber[k], 0, 'n');
                }
            }
            n = end + 1;
        }
        text += "trailer\n<< /Size " + std::to_string(pageObject_ + 1) + " /Root 1 0 R";
        if (lastXref_ != 0) text += " /Prev " + std::to_string(lastXref_);
        text += " >>\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
        if (!Put(text)) return false;
        if (firstXref_ == 0) firstXref_ = at;
        lastXref_ = at;
        return true;
    }

    struct Placed {
        std::uint32_t number;
        std::uint64_t offset;
    };

    ByteSink& sink_;
    PageFormat page_;
    std::unique_ptr<ImageWriter> coder_;
    std::vector<std::uint8_t> row_;
    std::vector<Placed> offsets_;
    std::vector<std::uint32_t> kids_;
    std::uint32_t next_ = 3;
    std::uint32_t image_ = 0, length_ = 0, contents_ = 0, pageObject_ = 0;
    std::uint64_t pageStart_ = 0, streamStart_ = 0;
    std::uint64_t firstXref_ = 0, lastXref_ = 0;
    std::uint32_t written_ = 0;
    bool inPage_ = false;
};

}  // namespace

std::unique_ptr<ImageWriter> MakePdfWriter(ByteSink& sink) {
    try {
        return std::unique_ptr<ImageWriter>(new PdfWriter(sink));
    } catch (...) {
        return nullptr;
    }
}

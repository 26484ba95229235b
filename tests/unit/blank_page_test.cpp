// BlankPageJudge over made-up pages: paper with the scanner's noise and
// dust is blank in every format and flavour, while one line of text, a
// signature or a dark page is not; the byte count mode.
#include "imaging/blank_page.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr std::uint32_t kDpi = 100;
constexpr std::uint32_t kWidth = 850;   // 8.5 inches
constexpr std::uint32_t kHeight = 1100;  // 11 inches

// A grey page, 0 black, one byte per pixel.
struct GreyPage {
    std::vector<std::uint8_t> levels = std::vector<std::uint8_t>(std::size_t(kWidth) * kHeight);
    std::uint8_t& at(std::uint32_t x, std::uint32_t y) { return levels[std::size_t(y) * kWidth + x]; }
};

// Paper of `paper` with noise of up to +-`noise` levels and a speck of dust
// (a dark pixel, now and then two side by side) every `speckEvery` pixels.
GreyPage Paper(int paper, int noise, std::uint32_t speckEvery) {
    GreyPage page;
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < page.levels.size(); ++i) {
        state = state * 1103515245u + 12345u;
        const int jitter = static_cast<int>(state >> 16) % (2 * noise + 1) - noise;
        page.levels[i] = static_cast<std::uint8_t>(std::clamp(paper + jitter, 0, 255));
        if (speckEvery != 0 && (state >> 8) % speckEvery == 0) {
            page.levels[i] = 40;
            if ((state & 0x100) && i + 1 < page.levels.size()) page.levels[++i] = 40;
        }
    }
    return page;
}

// One line of text across the page: 50 letters of 7 x 10 pixels drawn as
// outlines one pixel wide, an inch from the top.
void LineOfText(GreyPage& page) {
    for (std::uint32_t letter = 0; letter < 50; ++letter) {
        const std::uint32_t left = 60 + letter * 14, top = 100;
        for (std::uint32_t x = left; x < left + 7; ++x) page.at(x, top) = page.at(x, top + 9) = 20;
        for (std::uint32_t y = top; y < top + 10; ++y) page.at(left, y) = page.at(left + 6, y) = 20;
    }
}

// A signature: a wave two pixels thick, three inches long, in blue-ish ink
// as grey (about 70).
void Signature(GreyPage& page) {
    for (std::uint32_t x = 400; x < 700; ++x) {
        const auto y = static_cast<std::uint32_t>(900 + 20 * std::sin(x / 9.0) + 10 * std::sin(x / 23.0));
        page.at(x, y) = page.at(x, y + 1) = 70;
    }
}

// The page in the scanner's format: 1 bit (1 white), 8-bit or 24-bit,
// levels running from white when inverted.
struct Scan {
    std::vector<std::uint8_t> bytes;
    ScanRows rows;
};
Scan Format(const GreyPage& page, std::uint32_t bitsPerPixel, bool inverted) {
    Scan scan;
    const std::size_t stride = (std::size_t(kWidth) * bitsPerPixel + 31) / 32 * 4;
    scan.bytes.assign(stride * kHeight, 0);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = scan.bytes.data() + y * stride;
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            const std::uint8_t level = page.levels[std::size_t(y) * kWidth + x];
            if (bitsPerPixel == 1) {
                const bool white = level >= 128;
                if (white != inverted) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            } else if (bitsPerPixel == 8) {
                row[x] = inverted ? static_cast<std::uint8_t>(255 - level) : level;
            } else {
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = level;
            }
        }
    }
    scan.rows = ScanRows{scan.bytes.data(), stride, kWidth, kHeight, bitsPerPixel, inverted};
    return scan;
}

TEST(BlankPageJudgeTest, DropsNoisyPaperAndKeepsTheLeastWriting) {
    struct Case {
        const char* name;
        GreyPage page;
        bool blank;
    };
    GreyPage text = Paper(235, 16, 5000);
    LineOfText(text);
    GreyPage signed_ = Paper(235, 16, 5000);
    Signature(signed_);
    GreyPage greyText = Paper(170, 10, 0);
    LineOfText(greyText);
    const Case cases[] = {
        {"clean paper", Paper(250, 0, 0), true},
        {"paper with noise and dust", Paper(235, 16, 5000), true},
        {"grey paper with noise and dust", Paper(170, 12, 4000), true},
        {"one line of text", text, false},
        {"a signature", signed_, false},
        {"one line on grey paper", greyText, false},
        {"a dark page", Paper(40, 5, 0), false},
    };
    for (const Case& c : cases) {
        for (std::uint32_t bits : {1u, 8u, 24u}) {
            for (bool inverted : {false, true}) {
                // Bi-level grey paper is black or white as a whole; its
                // case is the grey one.
                if (bits == 1 && c.page.levels[0] < 200 && c.page.levels[0] > 128) continue;
                const Scan scan = Format(c.page, bits, inverted && bits != 24);
                EXPECT_EQ(BlankPageJudge::IsBlank(scan.rows, kDpi), c.blank)
                    << c.name << ", " << bits << " bits" << (inverted ? ", inverted" : "");
            }
        }
    }
}

TEST(BlankPageJudgeTest, ByteCountWeighsTheStrokes) {
    GreyPage text = Paper(235, 16, 5000);
    LineOfText(text);
    const Scan grey = Format(text, 8, false);
    const std::uint64_t strokes = BlankPageJudge::StrokePixels(grey.rows);
    ASSERT_GT(strokes, 1000u) << "fifty letters";
    EXPECT_FALSE(BlankPageJudge::IsBlankByBytes(grey.rows, 0)) << "0: never blank";
    EXPECT_FALSE(BlankPageJudge::IsBlankByBytes(grey.rows, static_cast<std::uint32_t>(strokes)));
    EXPECT_TRUE(BlankPageJudge::IsBlankByBytes(grey.rows, static_cast<std::uint32_t>(strokes + 1)));
    const Scan colour = Format(text, 24, false);
    EXPECT_FALSE(BlankPageJudge::IsBlankByBytes(colour.rows, static_cast<std::uint32_t>(3 * strokes)));
    EXPECT_TRUE(BlankPageJudge::IsBlankByBytes(colour.rows, static_cast<std::uint32_t>(3 * strokes + 1)));
    EXPECT_EQ(BlankPageJudge::StrokePixels(ScanRows{}), 0u) << "no rows";
}

}  // namespace

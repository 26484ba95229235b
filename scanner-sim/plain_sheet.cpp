// Drawing a plain sheet one row at a time: paper and noise first, then the
// dust, then the line of text or the signature over them.
#include "plain_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace sim {
namespace {

using namespace plain_sheet;

// A number of the cell, the same on every scan.
std::uint32_t Mix(int x, int y, std::uint32_t salt) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u ^ salt;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// A speck of dust starts at about one cell in 200000; half of them cover
// two by two cells.
bool SpeckAt(int x, int y) { return x >= 0 && y >= 0 && Mix(x, y, 0xD057u) % 200000 == 0; }
bool BigSpeckAt(int x, int y) { return SpeckAt(x, y) && (Mix(x, y, 0xB16u) & 1) != 0; }
bool Dust(int x, int y) {
    return SpeckAt(x, y) || BigSpeckAt(x - 1, y) || BigSpeckAt(x, y - 1) || BigSpeckAt(x - 1, y - 1);
}

// Whether cell (x, y) is ink of the line of text: each letter a stem with
// some of a top, middle and bottom bar and a right stem, the letters in
// words of five.
bool TextAt(int x, int y) {
    const int row = y - kLineTop;
    if (row < 0 || row >= kLetterHeight) return false;
    const int pitch = kLetterWidth + 8;
    const int word = 5 * pitch + kLetterWidth;
    const int along = x - kLineLeft;
    if (along < 0) return false;
    const int wordIndex = along / word;
    const int inWord = along % word;
    const int letterInWord = inWord / pitch;
    const int column = inWord % pitch;
    if (letterInWord >= 5 || column >= kLetterWidth) return false;
    const int letter = wordIndex * 5 + letterInWord;
    if (letter >= kLetters) return false;
    const unsigned shape = Mix(letter, 0, 0x7E77u);
    const bool leftStem = column < kStroke;
    const bool rightStem = (shape & 1) && column >= kLetterWidth - kStroke;
    const bool top = (shape & 2) && row < kStroke;
    const bool middle = (shape & 4) && row >= kLetterHeight / 2 - kStroke / 2 && row < kLetterHeight / 2 + kStroke / 2 + 1;
    const bool bottom = (shape & 8) && row >= kLetterHeight - kStroke;
    return leftStem || rightStem || top || middle || bottom;
}

// The signature's middle row at column x.
double SignatureRow(int x) { return kSignatureRow + 60 * std::sin(x / 40.0) + 25 * std::sin(x / 97.0); }

// Whether cell (x, y) is on the signature's line, six cells thick, which
// joins its row at x to the one at x + 1.
bool SignatureAt(int x, int y) {
    if (x < kSignatureLeft || x >= kSignatureRight) return false;
    const double a = SignatureRow(x);
    const double b = SignatureRow(x + 1);
    return y >= std::min(a, b) - 3 && y <= std::max(a, b) + 3;
}

}  // namespace

void PlainSheet::ReadRow(int y, int x0, int x1, std::uint8_t* rgb) const {
    for (int x = x0; x < x1; ++x) {
        std::uint8_t* cell = rgb + 3 * (x - x0);
        // Slightly warm paper, its level wandering by up to 14 either way.
        const int noise = static_cast<int>(Mix(x, y, 0x5EEDu) % 29) - 14;
        cell[0] = static_cast<std::uint8_t>(240 + std::min(noise, 15));
        cell[1] = static_cast<std::uint8_t>(238 + noise);
        cell[2] = static_cast<std::uint8_t>(232 + noise);
        if (Dust(x, y)) cell[0] = cell[1] = cell[2] = 50;
        if (content == SheetContent::Line && TextAt(x, y)) cell[0] = cell[1] = cell[2] = 20;
        if (content == SheetContent::Signature && SignatureAt(x, y)) {
            cell[0] = 40;  // blue ink
            cell[1] = 50;
            cell[2] = 150;
        }
    }
}

}  // namespace sim

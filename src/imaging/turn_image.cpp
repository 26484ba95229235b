// Quarter turns of an image. A turn by 90 or 270 degrees reads the source
// down its columns, which touches a new cache line for every pixel; the
// image is therefore walked in square tiles small enough that the tile's
// source rows and target rows both stay in the first-level cache, so each
// line fetched is used whole before it leaves. Inside a tile, grey and
// colour pixels move in square blocks (8 grey pixels as one word, 16 colour
// pixels as 48 bytes), each block read and written a row at a time, so a
// pixel costs a fraction of a load and a store. Where the processor has
// SSSE3, colour blocks are transposed by byte shuffles instead, in bands of
// target rows staged in the cache and streamed out a cache line at a time
// (see TurnColourSsse3). 180 degrees reverses rows and reads them in order,
// needing no tiles.
#include "imaging/turn_image.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VOREL_TURN_SSSE3 1
#include <immintrin.h>
#endif

namespace {

// Tile edge in pixels: 64 rows of 64 colour pixels are 12 KB each way.
constexpr std::uint32_t kTile = 64;

int Quarters(int quarterTurns) { return (quarterTurns % 4 + 4) % 4; }

// Where target pixel (x, y) comes from in the source, for a clockwise turn
// of `quarters` of a width x height source:
//   1: (y, height - 1 - x)   2: (width - 1 - x, height - 1 - y)   3: (width - 1 - y, x)
struct SourceOf {
    std::uint32_t width, height;
    int quarters;
    void At(std::uint32_t x, std::uint32_t y, std::uint32_t* sx, std::uint32_t* sy) const {
        switch (quarters) {
        case 1: *sx = y; *sy = height - 1 - x; break;
        case 2: *sx = width - 1 - x; *sy = height - 1 - y; break;
        case 3: *sx = width - 1 - y; *sy = x; break;
        default: *sx = x; *sy = y; break;
        }
    }
};

// One pixel of a quarter turn: target (x, y) from source column y (90) or
// width - 1 - y (270).
template <std::size_t kBytes>
void TurnPixel(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
               int quarters, std::uint8_t* target, std::ptrdiff_t targetStride, std::uint32_t x, std::uint32_t y) {
    const std::uint32_t sx = quarters == 1 ? y : width - 1 - y;
    const std::uint32_t sy = quarters == 1 ? height - 1 - x : x;
    std::memcpy(target + std::ptrdiff_t(y) * targetStride + std::size_t{x} * kBytes,
                source + std::ptrdiff_t(sy) * sourceStride + std::size_t{sx} * kBytes, kBytes);
}

// The pixels of a quarter turn outside the blocks, which fill target rows
// [0, blockHeight) up to column blockWidth. The rows below the blocks go
// column by column, since a target column's pixels lie side by side in one
// source row; the columns right of the blocks row by row, for the same
// reason.
template <std::size_t kBytes>
void TurnEdges(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
               int quarters, std::uint8_t* target, std::ptrdiff_t targetStride, std::uint32_t blockWidth,
               std::uint32_t blockHeight) {
    // The target is height wide and width high.
    for (std::uint32_t x = 0; x < height; ++x) {
        for (std::uint32_t y = blockHeight; y < width; ++y) {
            TurnPixel<kBytes>(source, sourceStride, width, height, quarters, target, targetStride, x, y);
        }
    }
    for (std::uint32_t y = 0; y < blockHeight; ++y) {
        for (std::uint32_t x = blockWidth; x < height; ++x) {
            TurnPixel<kBytes>(source, sourceStride, width, height, quarters, target, targetStride, x, y);
        }
    }
}

// The edge a block of kBlock x kBlock pixels is moved by at once: 8 grey
// pixels are one 64-bit word, 16 colour pixels 48 bytes.
template <std::size_t kBytes>
constexpr std::uint32_t kBlock = kBytes == 1 ? 8 : 16;

// Transposes the 8 x 8 bytes of rows[0..7] (byte j of rows[k] becomes byte
// k of rows[j]) in three rounds, swapping 1-, 2- and then 4-byte squares.
void Transpose8x8(std::uint64_t rows[8]) {
    for (int k = 0; k < 8; k += 2) {
        const std::uint64_t t = ((rows[k] >> 8) ^ rows[k + 1]) & 0x00FF00FF00FF00FFull;
        rows[k + 1] ^= t;
        rows[k] ^= t << 8;
    }
    for (int k : {0, 1, 4, 5}) {
        const std::uint64_t t = ((rows[k] >> 16) ^ rows[k + 2]) & 0x0000FFFF0000FFFFull;
        rows[k + 2] ^= t;
        rows[k] ^= t << 16;
    }
    for (int k = 0; k < 4; ++k) {
        const std::uint64_t t = ((rows[k] >> 32) ^ rows[k + 4]) & 0x00000000FFFFFFFFull;
        rows[k + 4] ^= t;
        rows[k] ^= t << 32;
    }
}

// One block of a quarter turn whose target corner is (x, y): the block's
// source rows are read kBlock pixels at a time (the target rows' pixels lie
// side by side in one source row) and its target rows written so. The
// machine's byte order is taken as little-endian, as on every Windows
// target and the native build.
template <std::size_t kBytes>
void TurnBlock(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
               int quarters, std::uint8_t* target, std::ptrdiff_t targetStride, std::uint32_t x, std::uint32_t y) {
    constexpr std::uint32_t n = kBlock<kBytes>;
    // Source row of target column x + k, and the first source column: for
    // 270 the block's source columns run the other way, so the rows read
    // come out in reverse and are put back by `flip`.
    const std::uint32_t column = quarters == 1 ? y : width - n - y;
    const bool flip = quarters != 1;
    // A spare byte after each row lets a colour pixel move as one 4-byte
    // word, the next pixel's move overwriting the byte it carried along.
    std::uint8_t in[n][n * kBytes + 1];
    for (std::uint32_t k = 0; k < n; ++k) {
        in[k][n * kBytes] = 0;
        const std::uint32_t sy = quarters == 1 ? height - 1 - (x + k) : x + k;
        std::memcpy(in[k], source + std::ptrdiff_t(sy) * sourceStride + std::size_t{column} * kBytes, n * kBytes);
    }
    if constexpr (kBytes == 1) {
        std::uint64_t rows[8];
        for (std::uint32_t k = 0; k < 8; ++k) std::memcpy(&rows[k], in[k], 8);
        Transpose8x8(rows);
        for (std::uint32_t j = 0; j < 8; ++j) {
            std::memcpy(target + std::ptrdiff_t(y + (flip ? 7 - j : j)) * targetStride + x, &rows[j], 8);
        }
    } else {
        for (std::uint32_t j = 0; j < n; ++j) {
            std::uint8_t out[n * kBytes + 1];
            for (std::uint32_t k = 0; k < n; ++k) std::memcpy(out + k * kBytes, in[k] + j * kBytes, 4);
            std::memcpy(target + std::ptrdiff_t(y + (flip ? n - 1 - j : j)) * targetStride + std::size_t{x} * kBytes,
                        out, n * kBytes);
        }
    }
}

// Whole-byte pixels (8 or 24 bits) by 90 or 270 degrees: tile by tile, each
// tile in blocks; the pixels beyond the last whole block of a row or column
// one by one.
template <std::size_t kBytes>
void TurnBytesQuarter(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width,
                      std::uint32_t height, int quarters, std::uint8_t* target, std::ptrdiff_t targetStride) {
    constexpr std::uint32_t n = kBlock<kBytes>;
    // The target is height wide and width high.
    const std::uint32_t targetWidth = height, targetHeight = width;
    const std::uint32_t blockWidth = targetWidth / n * n, blockHeight = targetHeight / n * n;
    for (std::uint32_t ty = 0; ty < blockHeight; ty += kTile) {
        const std::uint32_t yEnd = std::min(ty + kTile, blockHeight);
        for (std::uint32_t tx = 0; tx < blockWidth; tx += kTile) {
            const std::uint32_t xEnd = std::min(tx + kTile, blockWidth);
            for (std::uint32_t y = ty; y < yEnd; y += n) {
                for (std::uint32_t x = tx; x < xEnd; x += n) {
                    TurnBlock<kBytes>(source, sourceStride, width, height, quarters, target, targetStride, x, y);
                }
            }
        }
    }
    TurnEdges<kBytes>(source, sourceStride, width, height, quarters, target, targetStride, blockWidth, blockHeight);
}

#ifdef VOREL_TURN_SSSE3
// 16 x 16 colour pixels with SSSE3 byte shuffles. Source row k of the block
// is s + k * ss (its 16 pixels the block's target column k); target row j
// is rows[j] + at (source column j). Four target rows at a time: from each
// group of four source rows, their four pixels of those columns are spread
// to one 4-byte word each, the 4 x 4 words transposed, and the four
// resulting pieces of a target row packed back to 48 bytes. Every load and
// store stays inside the block's 48 bytes of a row.
__attribute__((target("ssse3"))) void TurnColourBlockSsse3(const std::uint8_t* s, std::ptrdiff_t ss,
                                                            std::uint8_t* const* rows, std::size_t at) {
    const __m128i spread0 = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i spread4 = _mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    // A row's four pieces p0..p3 (4 spread pixels each) into its 48 bytes:
    // bytes 0-15 from p0 and p1, 16-31 from p1 and p2, 32-47 from p2 and p3.
    const __m128i a = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i b = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4);
    const __m128i c = _mm_setr_epi8(5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i d = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9);
    const __m128i e = _mm_setr_epi8(10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i f = _mm_setr_epi8(-1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14);
    for (int g = 0; g < 4; ++g) {
        // Columns 4g to 4g + 3: bytes 12g on, read as the 16 bytes from 12g
        // (from 32 for the last four, which end the row's 48).
        const std::uint8_t* column = s + (g < 3 ? 12 * g : 32);
        const __m128i spread = g < 3 ? spread0 : spread4;
        __m128i piece[4][4];  // [group of source rows][target row]
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t* row = column + std::ptrdiff_t(4 * k) * ss;
            const __m128i r0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)), spread);
            const __m128i r1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + ss)), spread);
            const __m128i r2 =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * ss)), spread);
            const __m128i r3 =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * ss)), spread);
            const __m128i t01lo = _mm_unpacklo_epi32(r0, r1), t23lo = _mm_unpacklo_epi32(r2, r3);
            const __m128i t01hi = _mm_unpackhi_epi32(r0, r1), t23hi = _mm_unpackhi_epi32(r2, r3);
            piece[k][0] = _mm_unpacklo_epi64(t01lo, t23lo);
            piece[k][1] = _mm_unpackhi_epi64(t01lo, t23lo);
            piece[k][2] = _mm_unpacklo_epi64(t01hi, t23hi);
            piece[k][3] = _mm_unpackhi_epi64(t01hi, t23hi);
        }
        for (int j = 0; j < 4; ++j) {
            std::uint8_t* out = rows[4 * g + j] + at;
            const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(piece[0][j], a), _mm_shuffle_epi8(piece[1][j], b));
            const __m128i o1 = _mm_or_si128(_mm_shuffle_epi8(piece[1][j], c), _mm_shuffle_epi8(piece[2][j], d));
            const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(piece[2][j], e), _mm_shuffle_epi8(piece[3][j], f));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), o0);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), o1);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), o2);
        }
    }
}

// The colour turn's walk: bands of kBand target rows, each built kChunk
// target pixels (kChunk source rows) at a time into a staging block of
// kBand rows, from which whole cache lines go to the target by streaming
// stores that bypass the caches (the page is far larger than they are, and
// a line written whole need not be read first). A band's source rows are
// 3 * kBand bytes, so each row's page is looked up once for 256 pixels.
constexpr std::uint32_t kBand = 256;
constexpr std::uint32_t kChunk = 128;
// A staged row: the chunk's bytes after up to 63 bytes of the previous
// chunk's last, unfinished cache line.
constexpr std::size_t kStagedRow = 3 * kChunk + 64;

// Writes target bytes [from, to) of `row` from `staged` (which holds them
// from `from` on): up to the first 64-byte line boundary and after the last
// 16-byte one by plain stores, the rest by streaming stores.
__attribute__((target("ssse3"))) void StreamOut(std::uint8_t* row, std::size_t from, std::size_t to,
                                                const std::uint8_t* staged) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(row);
    std::size_t q = std::min(to, std::size_t(((address + from + 63) & ~std::uintptr_t{63}) - address));
    std::memcpy(row + from, staged, q - from);
    for (; q + 16 <= to; q += 16) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(row + q),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(staged + (q - from))));
    }
    std::memcpy(row + q, staged + (q - from), to - q);
}

// Colour pixels by 90 or 270 degrees in 16 x 16 blocks, band by band; the
// pixels beyond the last whole block of a row or column one by one.
// `staging` holds kBand * kStagedRow bytes. (A 32-bit Windows caller may
// hand over a stack aligned to 4 bytes only; the SSE code's spills need 16.)
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
__attribute__((target("ssse3"))) void
TurnColourSsse3(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
                int quarters, std::uint8_t* target, std::ptrdiff_t targetStride, std::uint8_t* staging) {
    const std::uint32_t blockWidth = height / 16 * 16, blockHeight = width / 16 * 16;
    // 90: source row height - 1 - x is target column x, source column y
    // target row y. 270: source row x, and source column width - 1 - y.
    const std::ptrdiff_t ss = quarters == 1 ? -sourceStride : sourceStride;
    std::uint8_t* blockRows[kBand];  // where each block writes, staged row minus its row's written bytes
    std::size_t written[kBand];      // target bytes of each band row written so far
    for (std::uint32_t ty = 0; ty < blockHeight; ty += kBand) {
        const std::uint32_t rows = std::min(kBand, blockHeight - ty);
        std::fill(written, written + rows, std::size_t{0});
        for (std::uint32_t tx = 0; tx < blockWidth; tx += kChunk) {
            const std::uint32_t xEnd = std::min(tx + kChunk, blockWidth);
            // A block's row j is band row j for 90; for 270 its source
            // columns run the other way, so its rows are the 16 reversed.
            for (std::uint32_t j = 0; j < rows; ++j) {
                const std::uint32_t r = quarters == 1 ? j : (j & ~15u) + 15 - (j & 15);
                blockRows[j] = staging + std::size_t{r} * kStagedRow - written[r];
            }
            for (std::uint32_t y = 0; y < rows; y += 16) {
                const std::uint32_t column = quarters == 1 ? ty + y : width - 16 - (ty + y);
                for (std::uint32_t x = tx; x < xEnd; x += 16) {
                    const std::uint32_t sy = quarters == 1 ? height - 1 - x : x;
                    const std::uint8_t* s = source + std::ptrdiff_t(sy) * sourceStride + std::size_t{column} * 3;
                    // The next chunk's source rows of these columns, fetched
                    // while this chunk is turned (and not kept once used).
                    if (x + kChunk + 16 <= blockWidth) {
                        const std::uint8_t* ahead = s + std::ptrdiff_t(kChunk) * ss;
                        for (int k = 0; k < 16; ++k, ahead += ss) {
                            _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_NTA);
                            _mm_prefetch(reinterpret_cast<const char*>(ahead + 47), _MM_HINT_NTA);
                        }
                    }
                    TurnColourBlockSsse3(s, ss, blockRows + y, std::size_t{x} * 3);
                }
            }
            // Each band row out up to its last whole cache line (to its end
            // with the last chunk); the rest stays staged for the next.
            const std::size_t end = std::size_t{xEnd} * 3;
            for (std::uint32_t r = 0; r < rows; ++r) {
                std::uint8_t* row = target + std::ptrdiff_t(ty + r) * targetStride;
                std::uint8_t* staged = staging + std::size_t{r} * kStagedRow;
                const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(row);
                const std::uintptr_t lineEnd = (address + end) & ~std::uintptr_t{63};
                std::size_t to = lineEnd > address + written[r] ? std::size_t(lineEnd - address) : written[r];
                if (xEnd == blockWidth) to = end;
                StreamOut(row, written[r], to, staged);
                std::memmove(staged, staged + (to - written[r]), end - to);
                written[r] = to;
            }
        }
    }
    _mm_sfence();
    TurnEdges<3>(source, sourceStride, width, height, quarters, target, targetStride, blockWidth, blockHeight);
}
#endif

template <std::size_t kBytes>
void TurnBytesHalf(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width,
                   std::uint32_t height, std::uint8_t* target, std::ptrdiff_t targetStride) {
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = source + std::ptrdiff_t(height - 1 - y) * sourceStride + std::size_t{width} * kBytes;
        std::uint8_t* out = target + std::ptrdiff_t(y) * targetStride;
        for (std::uint32_t x = 0; x < width; ++x, out += kBytes) {
            in -= kBytes;
            std::memcpy(out, in, kBytes);
        }
    }
}

bool Bit(const std::uint8_t* row, std::uint32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Transposes an 8 x 8 bit matrix held a row to a byte, the first row in
// the top byte and each row's first bit its highest.
std::uint64_t TransposeBits8x8(std::uint64_t x) {
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    return x ^ t ^ (t << 28);
}

// 1-bit pixels by 90 or 270 degrees, eight target rows by one target byte
// at a time: the block's eight source bytes (one from each of eight source
// rows, cut from two where the columns do not start on a byte) transposed
// as a bit matrix. The pixels beyond the whole blocks are left to TurnBits.
void TurnBitBlocks(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width,
                   std::uint32_t height, int quarters, std::uint8_t* target, std::ptrdiff_t targetStride) {
    const std::uint32_t blockWidth = height / 8 * 8, blockHeight = width / 8 * 8;
    for (std::uint32_t ty = 0; ty < blockHeight; ty += kTile) {
        const std::uint32_t yEnd = std::min(ty + kTile, blockHeight);
        for (std::uint32_t tx = 0; tx < blockWidth; tx += 8 * kTile) {
            const std::uint32_t xEnd = std::min(tx + 8 * kTile, blockWidth);
            for (std::uint32_t y = ty; y < yEnd; y += 8) {
                // The source columns of target rows y to y + 7: y on for 90,
                // width - 8 - y on (last target row first) for 270.
                const std::uint32_t column = quarters == 1 ? y : width - 8 - y;
                const std::uint32_t at = column / 8, shift = column % 8;
                for (std::uint32_t x = tx; x < xEnd; x += 8) {
                    std::uint64_t matrix = 0;
                    for (std::uint32_t k = 0; k < 8; ++k) {
                        const std::uint32_t sy = quarters == 1 ? height - 1 - (x + k) : x + k;
                        const std::uint8_t* row = source + std::ptrdiff_t(sy) * sourceStride;
                        const unsigned bits =
                            shift == 0 ? row[at] : static_cast<unsigned>((row[at] << 8 | row[at + 1]) >> (8 - shift));
                        matrix = matrix << 8 | (bits & 0xFF);
                    }
                    matrix = TransposeBits8x8(matrix);
                    for (std::uint32_t j = 0; j < 8; ++j) {
                        const std::uint32_t ty2 = quarters == 1 ? y + j : y + 7 - j;
                        target[std::ptrdiff_t(ty2) * targetStride + x / 8] = static_cast<std::uint8_t>(matrix >> (56 - 8 * j));
                    }
                }
            }
        }
    }
}

// 1-bit pixels, any turn: each target byte gathered from its eight source
// pixels, tile by tile so that the source rows a tile reads stay cached.
// For a quarter turn, the target bytes TurnBitBlocks wrote whole are
// skipped.
void TurnBits(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
              int quarters, std::uint8_t* target, std::ptrdiff_t targetStride) {
    std::uint32_t targetWidth = 0, targetHeight = 0;
    TurnedSize(width, height, quarters, &targetWidth, &targetHeight);
    const SourceOf from{width, height, quarters};
    const std::uint32_t tileBits = kTile * 8;
    const bool blocks = quarters % 2 == 1;
    if (blocks) TurnBitBlocks(source, sourceStride, width, height, quarters, target, targetStride);
    const std::uint32_t blockWidth = blocks ? targetWidth / 8 * 8 : 0;
    const std::uint32_t blockHeight = blocks ? targetHeight / 8 * 8 : 0;
    for (std::uint32_t ty = 0; ty < targetHeight; ty += kTile) {
        const std::uint32_t yEnd = std::min(ty + kTile, targetHeight);
        for (std::uint32_t tx = 0; tx < targetWidth; tx += tileBits) {
            const std::uint32_t xEnd = std::min(tx + tileBits, targetWidth);
            for (std::uint32_t y = ty; y < yEnd; ++y) {
                std::uint8_t* out = target + std::ptrdiff_t(y) * targetStride;
                for (std::uint32_t x = y < blockHeight ? std::max(tx, blockWidth) : tx; x < xEnd; x += 8) {
                    std::uint8_t byte = 0;
                    const std::uint32_t last = std::min(x + 8, xEnd);
                    for (std::uint32_t bit = x; bit < last; ++bit) {
                        std::uint32_t sx = 0, sy = 0;
                        from.At(bit, y, &sx, &sy);
                        if (Bit(source + std::ptrdiff_t(sy) * sourceStride, sx)) byte |= 0x80 >> (bit - x);
                    }
                    out[x >> 3] = byte;
                }
            }
        }
    }
}

// Colour pixels by 90 or 270 degrees: with SSSE3 where the processor has
// it (and the staging block could be had), else in portable blocks.
void TurnColourQuarter(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width,
                       std::uint32_t height, int quarters, std::uint8_t* target, std::ptrdiff_t targetStride) {
#ifdef VOREL_TURN_SSSE3
    if (__builtin_cpu_supports("ssse3")) {
        std::unique_ptr<std::uint8_t[]> staging(new (std::nothrow) std::uint8_t[kBand * kStagedRow]);
        if (staging) {
            TurnColourSsse3(source, sourceStride, width, height, quarters, target, targetStride, staging.get());
            return;
        }
    }
#endif
    TurnBytesQuarter<3>(source, sourceStride, width, height, quarters, target, targetStride);
}

}  // namespace

void TurnedSize(std::uint32_t width, std::uint32_t height, int quarterTurns, std::uint32_t* turnedWidth,
                std::uint32_t* turnedHeight) {
    const bool swap = Quarters(quarterTurns) % 2 == 1;
    *turnedWidth = swap ? height : width;
    *turnedHeight = swap ? width : height;
}

bool TurnImage(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint32_t width, std::uint32_t height,
               std::uint32_t bitsPerPixel, int quarterTurns, std::uint8_t* target, std::ptrdiff_t targetStride) {
    if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24) return false;
    const int quarters = Quarters(quarterTurns);
    std::uint32_t targetWidth = 0, targetHeight = 0;
    TurnedSize(width, height, quarters, &targetWidth, &targetHeight);
    const std::size_t rowBytes = PackedRowBytes(targetWidth, bitsPerPixel);
    const std::size_t targetRow = static_cast<std::size_t>(targetStride < 0 ? -targetStride : targetStride);
    const std::size_t sourceRow = static_cast<std::size_t>(sourceStride < 0 ? -sourceStride : sourceStride);
    if (targetRow < rowBytes || sourceRow < PackedRowBytes(width, bitsPerPixel)) return false;
    if (width == 0 || height == 0) return true;

    // The padding first, so the pixels' rows need no tail of their own.
    if (targetRow > rowBytes) {
        for (std::uint32_t y = 0; y < targetHeight; ++y) {
            std::memset(target + std::ptrdiff_t(y) * targetStride + rowBytes, 0, targetRow - rowBytes);
        }
    }
    if (bitsPerPixel == 1) {
        TurnBits(source, sourceStride, width, height, quarters, target, targetStride);
        return true;
    }
    if (quarters == 0) {
        for (std::uint32_t y = 0; y < height; ++y) {
            std::memcpy(target + std::ptrdiff_t(y) * targetStride, source + std::ptrdiff_t(y) * sourceStride, rowBytes);
        }
    } else if (quarters == 2) {
        if (bitsPerPixel == 8) TurnBytesHalf<1>(source, sourceStride, width, height, target, targetStride);
        else TurnBytesHalf<3>(source, sourceStride, width, height, target, targetStride);
    } else {
        if (bitsPerPixel == 8) TurnBytesQuarter<1>(source, sourceStride, width, height, quarters, target, targetStride);
        else TurnColourQuarter(source, sourceStride, width, height, quarters, target, targetStride);
    }
    return true;
}

// Unit conversions for the layout triplet. The factors are kept as the
// source has always used them (a single-precision 1/300 for inches, double
// factors elsewhere), since applications compare the frames they read back
// with what they set.
#include "imaging/units.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "capabilities/capability_table.h"

namespace {

constexpr double kOneThreeHundredth = 0.0033333333333333335;

// Truncation toward zero that cannot overflow: out-of-range values stop at
// the ends of the 32-bit range and NaN gives 0.
std::int32_t Truncate(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

// A length in 1/300 inch from a real count: truncated toward zero, except
// that a count within a hundredth of a whole count is that count. A frame
// read in another unit comes back through TW_FIX32's fraction and single
// precision a hair short of the count it was, and plain truncation would
// drop a whole count every time it is set back.
std::int32_t ToCount(double value) {
    const double nearest = std::round(value);
    return Truncate(std::fabs(nearest - value) < 0.01 ? nearest : value);
}

std::int32_t Saturate(std::int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

// The ICAP_UNITS record, or null while the table does not hold it.
const Capability* UnitsRecord() {
    const Capability& units = capabilityTable.Find(ICAP_UNITS);
    return units.id == ICAP_UNITS ? &units : nullptr;
}

}  // namespace

float InternalToUnits(std::int32_t length) {
    const Capability* units = UnitsRecord();
    if (units == nullptr) return 0.0f;
    const double v = length;
    switch (units->current) {
        case TWUN_INCHES:
            return static_cast<float>(length) * 0.0033333334f;
        case TWUN_CENTIMETERS:
            return static_cast<float>(v * 2.54 * kOneThreeHundredth);
        case TWUN_PICAS:
            return static_cast<float>(v * 6 * kOneThreeHundredth);
        case TWUN_POINTS:
            return static_cast<float>(v * 72 * kOneThreeHundredth);
        default:  // twips, pixels and anything else are 1/300-inch counts
            return static_cast<float>(length);
    }
}

std::int32_t UnitsToInternal(float value) {
    const Capability* units = UnitsRecord();
    if (units == nullptr) return 0;
    const double x = value;
    switch (units->current) {
        case TWUN_INCHES:
            return ToCount(x * 300);
        case TWUN_CENTIMETERS:
            return ToCount(x * 0.39370078740157477 * 300);
        case TWUN_PICAS:
            return ToCount(x * 0.16666666666666666 * 300);
        case TWUN_POINTS:
            return ToCount(x * 0.013888888888888888 * 300);
        case TWUN_PIXELS: {
            const std::int32_t n = ToCount(x);
            return n > 12 ? n : Saturate(std::int64_t(n) * 300);
        }
        default:
            return ToCount(x);
    }
}

// The value goes through its six-decimal text, so Whole is exactly the
// integer a reader of that text would see (7.9999999 is 8, not 7).
TW_FIX32 ToFix32(float value) {
    TW_FIX32 fix{0, 0};
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) return fix;  // the text did not fit
    // The whole part's low 16 bits, digit by digit, so that no length of
    // text can overflow.
    const bool negative = text[0] == '-';
    const char* at = negative ? text + 1 : text;
    std::uint32_t low = 0;
    for (; *at >= '0' && *at <= '9'; ++at) low = (low * 10 + std::uint32_t(*at - '0')) & 0xFFFF;
    if (negative) low = (0x10000 - low) & 0xFFFF;
    fix.Whole = static_cast<TW_INT16>(static_cast<std::uint16_t>(low));
    if (negative || *at != '.') return fix;
    long micros = 0;
    for (int i = 1; i <= 6 && at[i] >= '0' && at[i] <= '9'; ++i) micros = micros * 10 + (at[i] - '0');
    const long frac = std::lround(static_cast<double>(micros) * 65536.0 / 1000000.0);
    fix.Frac = static_cast<TW_UINT16>(frac > 65535 ? 65535 : frac);
    return fix;
}

float FromFix32(TW_FIX32 value) { return static_cast<float>(value.Whole) + static_cast<float>(value.Frac) / 65536.0f; }

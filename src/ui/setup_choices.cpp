// The choices of the dialog's setting controls.
#include "ui/setup_choices.h"

#include <algorithm>

#include "twain/twain.h"

namespace {

constexpr int kCommonResolutions[] = {75, 100, 150, 200, 300, 600, 1200, 2400};
constexpr int kQuarterTurns[] = {0, 90, 180, 270};

int StepOf(const NumberSetting& setting) { return setting.step > 1 ? setting.step : 1; }

}  // namespace

bool SettingAllows(const NumberSetting& setting, int value) {
    if (!setting.present || value < setting.minimum || value > setting.maximum) return false;
    return (value - setting.minimum) % StepOf(setting) == 0;
}

int NearestAllowed(const NumberSetting& setting, int value) {
    if (setting.maximum < setting.minimum) return setting.current;
    const int clamped = std::clamp(value, setting.minimum, setting.maximum);
    const long step = StepOf(setting);
    const long offset = clamped - setting.minimum;
    long steps = (offset + step / 2) / step;
    if (setting.minimum + steps * step > setting.maximum) --steps;
    return static_cast<int>(setting.minimum + steps * step);
}

std::vector<int> ResolutionChoices(const NumberSetting& x, const NumberSetting& y) {
    std::vector<int> choices;
    for (int dpi : kCommonResolutions) {
        if (SettingAllows(x, dpi) && SettingAllows(y, dpi)) choices.push_back(dpi);
    }
    if (SettingAllows(x, x.current) && std::find(choices.begin(), choices.end(), x.current) == choices.end()) {
        choices.insert(std::upper_bound(choices.begin(), choices.end(), x.current), x.current);
    }
    return choices;
}

namespace {
int Quarters(int degrees) { return ((degrees / 90) % 4 + 4) % 4; }
}  // namespace

std::vector<int> RotationChoices(const NumberSetting& rotation, int orientationTurns) {
    std::vector<int> choices;
    for (int degrees : kQuarterTurns) {
        const int needed = Quarters(degrees - 90 * orientationTurns) * 90;
        if (SettingAllows(rotation, needed)) choices.push_back(degrees);
    }
    return choices;
}

int ShownTurn(const NumberSetting& rotation, int orientationTurns) {
    return Quarters(rotation.current + 90 * orientationTurns) * 90;
}

std::string PageSizeName(std::uint16_t code) {
    switch (code) {
        case TWSS_A4: return "A4";
        case TWSS_JISB5: return "JIS B5";
        case TWSS_USLETTER: return "US Letter";
        case TWSS_USLEGAL: return "US Legal";
        case TWSS_A5: return "A5";
        case TWSS_ISOB6: return "ISO B6";
        case TWSS_USEXECUTIVE: return "US Executive";
        case TWSS_A6: return "A6";
        case TWSS_C5: return "C5 envelope";
        case TWSS_C6: return "C6 envelope";
        default: return {};
    }
}

std::string ResolutionText(int dpi) { return std::to_string(dpi) + " dpi"; }
std::string RotationText(int degrees) { return std::to_string(degrees) + "\xB0"; }

std::vector<PageEntry> PageEntries(const ShownSettings& settings, const Rect32& region, const Rect32& bed) {
    std::vector<PageEntry> entries;
    if (settings.anyRegion) entries.push_back({PageEntry::WholeBed, {}, "Whole bed"});
    for (const PageSizeChoice& page : settings.pageSizes) {
        std::string name = PageSizeName(page.code);
        if (!name.empty()) entries.push_back({PageEntry::Page, page, name});
    }
    if (PageEntryShowing(entries, settings.pageSize, region, bed) < 0) {
        entries.push_back({PageEntry::Drawn, {}, "Region drawn"});
    }
    return entries;
}

int PageEntryShowing(const std::vector<PageEntry>& entries, std::uint16_t pageSize, const Rect32& region,
                     const Rect32& bed) {
    const bool wholeBed = region.IsEmpty() || region == bed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PageEntry& entry = entries[i];
        const bool fits = entry.kind == PageEntry::Page   ? entry.page.code == pageSize && entry.page.frame == region
                          : entry.kind == PageEntry::WholeBed ? pageSize == TWSS_NONE && wholeBed
                                                              : true;  // whatever else is shown
        if (fits) return static_cast<int>(i);
    }
    return -1;
}

// What the dialog's setting controls offer, worked out from the settings
// the application negotiated (ShownSettings): the resolutions of the
// resolution list, the slider positions of a tone control, the entries of
// the page size list and of the rotation list. Plain logic, no window.
#pragma once

#include <string>
#include <vector>

#include "acquisition/shown_settings.h"

// Whether the application allows `value`: within the bounds and on a step
// from the lower one.
bool SettingAllows(const NumberSetting& setting, int value);
// The allowed value nearest to `value` (a slider's position); ties go up.
int NearestAllowed(const NumberSetting& setting, int value);

// The common resolutions (75 to 2400 dpi) both axes allow, in rising
// order, with the current X resolution among them when the application set
// another one.
std::vector<int> ResolutionChoices(const NumberSetting& x, const NumberSetting& y);
// The page's turns (0, 90, 180, 270 degrees clockwise) the rotation
// allows, given the orientation's quarter turns on top of it; and the turn
// shown now.
std::vector<int> RotationChoices(const NumberSetting& rotation, int orientationTurns);
int ShownTurn(const NumberSetting& rotation, int orientationTurns);

// An entry of the page size list: a page size, the whole bed, or the
// region the user drew (no fixed size).
struct PageEntry {
    enum Kind { WholeBed, Page, Drawn } kind = WholeBed;
    PageSizeChoice page;  // for Page
    std::string text;
};
// The entries: the whole bed (when the application allows a frame of no
// fixed size), the page sizes it allows, and "Region drawn" while
// `region` (the frame shown, empty for none) is neither.
std::vector<PageEntry> PageEntries(const ShownSettings& settings, const Rect32& region, const Rect32& bed);
// The entry showing `region` under the current page size `pageSize`: a
// page whose frame it is, the whole bed for none, else the drawn region;
// -1 when none of the entries fits.
int PageEntryShowing(const std::vector<PageEntry>& entries, std::uint16_t pageSize, const Rect32& region,
                     const Rect32& bed);

// The name of a TWSS_* size ("A4", "US Letter"); empty for one without.
std::string PageSizeName(std::uint16_t code);
// "150 dpi", "90°"-style texts of the lists.
std::string ResolutionText(int dpi);
std::string RotationText(int degrees);

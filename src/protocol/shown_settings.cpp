// The window's scan settings on the capability records: what a control may
// offer is read from the record's bounds, and a choice is written as an
// application's MSG_SET of a one value would be, held to those bounds.
#include "protocol/shown_settings.h"

#include "acquisition/current_session.h"
#include "acquisition/scan_session.h"
#include "acquisition/session_window.h"
#include "capabilities/capability_table.h"
#include "capabilities/page_sizes.h"
#include "capabilities/page_turn.h"
#include "protocol/source_globals.h"

namespace {

NumberSetting NumberOf(TW_UINT16 id) {
    NumberSetting setting;
    const Capability* record = capabilityTable.Lookup(id);
    if (record == nullptr) return setting;
    setting.present = true;
    setting.current = record->current;
    setting.minimum = record->minimum;
    setting.maximum = record->maximum;
    setting.step = record->step > 1 ? record->step : 1;
    return setting;
}

bool Allows(const Capability& record, int value) {
    if (value < record.minimum || value > record.maximum) return false;
    return record.step <= 1 || (value - record.minimum) % record.step == 0;
}

int CurrentOf(TW_UINT16 id, int fallback) {
    const Capability* record = capabilityTable.Lookup(id);
    return record != nullptr ? record->current : fallback;
}

bool TakeNumber(TW_UINT16 id, int value) {
    Capability* record = capabilityTable.Lookup(id);
    if (record == nullptr || !Allows(*record, value)) return false;
    record->current = static_cast<TW_INT16>(value);
    return true;
}

bool TakeResolution(int dpi) {
    Capability* x = capabilityTable.Lookup(ICAP_XRESOLUTION);
    Capability* y = capabilityTable.Lookup(ICAP_YRESOLUTION);
    if (x == nullptr || y == nullptr || !Allows(*x, dpi) || !Allows(*y, dpi)) return false;
    x->current = y->current = static_cast<TW_INT16>(dpi);
    if (ScanSession* session = CurrentSession()) {
        session->SetResolution(static_cast<std::uint32_t>(dpi), static_cast<std::uint32_t>(dpi));
    }
    return true;
}

bool TakeTone(TW_UINT16 id, int value) {
    if (!TakeNumber(id, value)) return false;
    if (ScanSession* session = CurrentSession()) session->SetToneControls(NegotiatedToneControls());
    return true;
}

// The frame is the window's to set: it shows it at once, and the user may
// still drag it afterwards.
bool TakePageSize(int code) {
    Capability* sizes = capabilityTable.Lookup(ICAP_SUPPORTEDSIZES);
    if (sizes == nullptr || code < 0 || code > 31) return false;
    if (((sizes->supportedMask & sizes->allowedMask) >> code & 1) == 0) return false;
    sizes->current = static_cast<TW_INT16>(code);
    return true;
}

// The page's whole turn in degrees: ICAP_ROTATION takes what the
// orientation does not already turn, and only a value its step allows.
bool TakeTurn(int degrees) {
    const Capability* rotation = capabilityTable.Lookup(ICAP_ROTATION);
    const Capability* orientation = capabilityTable.Lookup(ICAP_ORIENTATION);
    if (rotation == nullptr || degrees % 90 != 0) return false;
    const int fromOrientation = orientation != nullptr ? orientation->current % 4 : 0;
    const int needed = ((degrees / 90 - fromOrientation) % 4 + 4) % 4 * 90;
    if (!Allows(*rotation, needed) || !SetQuarterTurns(capabilityTable, degrees / 90)) return false;
    if (ScanSession* session = CurrentSession()) session->SetQuarterTurns(QuarterTurns(capabilityTable));
    return true;
}

}  // namespace

ToneControls NegotiatedToneControls() {
    ToneControls tone;
    tone.brightness = CurrentOf(ICAP_BRIGHTNESS, tone.brightness);
    tone.contrast = CurrentOf(ICAP_CONTRAST, tone.contrast);
    tone.gammaHundredths = CurrentOf(ICAP_GAMMA, tone.gammaHundredths);
    tone.shadow = CurrentOf(ICAP_SHADOW, tone.shadow);
    tone.highlight = CurrentOf(ICAP_HIGHLIGHT, tone.highlight);
    return tone;
}

ShownSettings NegotiatedShownSettings() {
    ShownSettings settings;
    settings.xResolution = NumberOf(ICAP_XRESOLUTION);
    settings.yResolution = NumberOf(ICAP_YRESOLUTION);
    settings.brightness = NumberOf(ICAP_BRIGHTNESS);
    settings.contrast = NumberOf(ICAP_CONTRAST);
    settings.rotation = NumberOf(ICAP_ROTATION);
    if (const Capability* orientation = capabilityTable.Lookup(ICAP_ORIENTATION)) {
        settings.orientationTurns = ((orientation->current % 4) + 4) % 4;
    }
    const Capability* sizes = capabilityTable.Lookup(ICAP_SUPPORTEDSIZES);
    if (sizes == nullptr) return settings;
    settings.pageSize = static_cast<std::uint16_t>(sizes->current);
    const TW_UINT32 allowed = sizes->supportedMask & sizes->allowedMask;
    settings.anyRegion = (allowed & 1u << TWSS_NONE) != 0;
    std::int32_t bedWidth = 0, bedHeight = 0;
    const bool bedKnown = ScannerBed(capabilityTable, &bedWidth, &bedHeight);
    for (unsigned code = 1; code < 32; ++code) {
        PageFrame frame{};
        if ((allowed >> code & 1) == 0 || !FrameOfPageSize(static_cast<TW_UINT16>(code), &frame)) continue;
        if (bedKnown && (frame.width > bedWidth || frame.height > bedHeight)) continue;
        settings.pageSizes.push_back({static_cast<std::uint16_t>(code), Rect32{0, 0, frame.width, frame.height}});
    }
    return settings;
}

bool TakeShownSetting(ShownSetting setting, int value) {
    if (!capabilityTable.IsBuilt() || sourceState != 500) return false;
    switch (setting) {
        case ShownSetting::Resolution: return TakeResolution(value);
        case ShownSetting::Brightness: return TakeTone(ICAP_BRIGHTNESS, value);
        case ShownSetting::Contrast: return TakeTone(ICAP_CONTRAST, value);
        case ShownSetting::PageSize: return TakePageSize(value);
        case ShownSetting::Rotation: return TakeTurn(value);
    }
    return false;
}

void RestoreShownSettings(const ShownSettings& kept) {
    if (!capabilityTable.IsBuilt()) return;
    Capability* x = capabilityTable.Lookup(ICAP_XRESOLUTION);
    Capability* y = capabilityTable.Lookup(ICAP_YRESOLUTION);
    if (x != nullptr && y != nullptr && Allows(*x, kept.xResolution.current) && Allows(*y, kept.yResolution.current)) {
        x->current = static_cast<TW_INT16>(kept.xResolution.current);
        y->current = static_cast<TW_INT16>(kept.yResolution.current);
        if (ScanSession* session = CurrentSession()) {
            session->SetResolution(static_cast<std::uint32_t>(x->current), static_cast<std::uint32_t>(y->current));
        }
    }
    if (kept.brightness.present) TakeTone(ICAP_BRIGHTNESS, kept.brightness.current);
    if (kept.contrast.present) TakeTone(ICAP_CONTRAST, kept.contrast.current);
    if (kept.rotation.present && TakeNumber(ICAP_ROTATION, kept.rotation.current)) {
        if (ScanSession* session = CurrentSession()) session->SetQuarterTurns(QuarterTurns(capabilityTable));
    }
    TakePageSize(kept.pageSize);
}

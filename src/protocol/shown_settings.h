// The scan settings the source's window shows beside the image type, read
// from the capability records at each enabling and written back to them
// (and to the scan session) when the user changes one in the window: what
// MSG_GETCURRENT answers is always what the window shows.
#pragma once

#include "acquisition/shown_settings.h"
#include "imaging/tone_map.h"

// The settings as the application negotiated them: each current value with
// the bounds it left, and the page sizes it allows that the bed holds.
ShownSettings NegotiatedShownSettings();

// The user chose `value` (dots per inch, a tone step, a TWSS_* code,
// degrees): it becomes the capability's current value (the resolution both
// axes'), and the session scans with it. False, with nothing changed, for a
// value the application does not allow or while images are pending.
bool TakeShownSetting(ShownSetting setting, int value);

// Puts back the current values `kept` holds (a set-up the user left
// without accepting), whatever the state.
void RestoreShownSettings(const ShownSettings& kept);

// The tone capabilities as the tone map takes them.
ToneControls NegotiatedToneControls();

// The scanner's error boxes: the string with its id appended as "  [%d]",
// OK button only.
#pragma once

int ShowErrorMessage(unsigned stringId);

// Whether the boxes may be shown. An application that allows the source no
// window (no dialog, no progress) gets none: the failure reaches it as a
// condition code instead. Allowed until told otherwise.
void AllowErrorBoxes(bool allow);
bool ErrorBoxesAllowed();

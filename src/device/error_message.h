// The scanner's error boxes: the string with its id appended as "  [%d]",
// OK button only.
#pragma once

int ShowErrorMessage(unsigned stringId);

// Looking at the source's windows from the test: finding the dialog,
// counting windows, clicking buttons and capturing the dialog as a picture.
#pragma once

#include <windows.h>

#include <string>

// The source's dialog ("Vorel Scanner Source") of this process, or null.
HWND FindSourceDialog();
// Top-level windows of this process with that caption.
int CountSourceDialogs();
// Sends BM_CLICK to the dialog's control `id`; the click runs the button's
// command before this returns.
void ClickButton(HWND dialog, int id);
// The control's rectangle in the dialog's client coordinates.
RECT ControlRect(HWND dialog, int id);
// The rectangle given in dialog units, in pixels.
RECT DialogUnits(HWND dialog, int left, int top, int width, int height);
// Writes the dialog window as it is on screen into a 24-bit BMP file.
bool CaptureWindow(HWND window, const std::string& path);
// The folder test outputs go to (created), with a trailing separator.
std::string OutputFolder();

// The image type list's operations, as the dialog uses them: a sorted
// drop-down list of names. A real combo box on Windows, a headless list in
// the native build.
#pragma once

#include <string>

class ImageTypeList {
public:
    virtual ~ImageTypeList() = default;
    virtual int GetCount() const = 0;
    // -1 when nothing is selected.
    virtual int GetCurSel() const = 0;
    // -1 clears the selection.
    virtual void SetCurSel(int index) = 0;
    // Inserts in sorted place; returns the position.
    virtual int AddString(const char* text) = 0;
    virtual void DeleteString(int index) = 0;
    virtual std::string GetText(int index) const = 0;
    // Selects the first entry after `startAfter` (wrapping to the top) that
    // begins with `prefix`, letter case ignored; returns it, or -1 with the
    // selection kept.
    virtual int SelectString(int startAfter, const char* prefix) = 0;
};

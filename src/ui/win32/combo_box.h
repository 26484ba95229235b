// The image type list over a real drop-down combo box.
#pragma once

#include <windows.h>

#include <string>

#include "ui/image_type_list.h"

class ComboBox : public ImageTypeList {
public:
    void Attach(HWND window) { hwnd = window; }
    HWND Handle() const { return hwnd; }

    int GetCount() const override { return Send(CB_GETCOUNT, 0, 0); }
    int GetCurSel() const override { return Send(CB_GETCURSEL, 0, 0); }
    void SetCurSel(int index) override { Send(CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    int AddString(const char* text) override { return Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); }
    void DeleteString(int index) override { Send(CB_DELETESTRING, static_cast<WPARAM>(index), 0); }
    std::string GetText(int index) const override;
    int SelectString(int startAfter, const char* prefix) override {
        return Send(CB_SELECTSTRING, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(prefix));
    }

private:
    int Send(UINT message, WPARAM wParam, LPARAM lParam) const {
        return hwnd ? static_cast<int>(::SendMessageA(hwnd, message, wParam, lParam)) : -1;
    }

    HWND hwnd = nullptr;
};

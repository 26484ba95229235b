// The image type list of the native build: a sorted list of names with the
// selection and prefix search a drop-down list box has.
#pragma once

#include <string>
#include <vector>

#include "ui/image_type_list.h"

class HeadlessList : public ImageTypeList {
public:
    int GetCount() const override { return static_cast<int>(items_.size()); }
    int GetCurSel() const override { return selected_; }
    void SetCurSel(int index) override;
    int AddString(const char* text) override;
    void DeleteString(int index) override;
    std::string GetText(int index) const override;
    int SelectString(int startAfter, const char* prefix) override;

private:
    std::vector<std::string> items_;
    int selected_ = -1;
};

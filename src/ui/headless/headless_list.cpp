// A sorted list with a drop-down list box's selection rules: deleting the
// selected entry clears the selection, deleting one above it moves it up.
#include "ui/headless/headless_list.h"

#include <strings.h>

#include <algorithm>

void HeadlessList::SetCurSel(int index) { selected_ = (index >= 0 && index < GetCount()) ? index : -1; }

int HeadlessList::AddString(const char* text) {
    std::string item = text ? text : "";
    auto at = std::upper_bound(items_.begin(), items_.end(), item, [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    int position = static_cast<int>(at - items_.begin());
    items_.insert(at, item);
    if (selected_ >= position) ++selected_;
    return position;
}

void HeadlessList::DeleteString(int index) {
    if (index < 0 || index >= GetCount()) return;
    items_.erase(items_.begin() + index);
    if (selected_ == index) {
        selected_ = -1;
    } else if (selected_ > index) {
        --selected_;
    }
}

std::string HeadlessList::GetText(int index) const {
    return (index >= 0 && index < GetCount()) ? items_[index] : std::string();
}

int HeadlessList::SelectString(int startAfter, const char* prefix) {
    int count = GetCount();
    if (count == 0 || prefix == nullptr) return -1;
    std::size_t length = std::char_traits<char>::length(prefix);
    for (int step = 1; step <= count; ++step) {
        int i = ((startAfter < 0 ? -1 : startAfter) + step) % count;
        if (items_[i].size() >= length && strncasecmp(items_[i].c_str(), prefix, length) == 0) {
            selected_ = i;
            return i;
        }
    }
    return -1;
}

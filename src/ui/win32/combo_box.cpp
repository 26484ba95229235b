// Reading an entry's text with its length asked first, so that no entry can
// overrun the buffer.
#include "ui/win32/combo_box.h"

#include <vector>

std::string ComboBox::GetText(int index) const {
    int length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    return std::string(text.data());
}

// UTF-8 and UTF-16 through the system's converters.
#include "wide_text.h"

#include <windows.h>

#include <cwchar>

std::wstring WideFromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string Utf8FromWide(const wchar_t* text) {
    const int wideLength = static_cast<int>(std::wcslen(text));
    if (wideLength == 0) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    std::string narrow(length > 0 ? length : 0, '\0');
    if (length > 0) ::WideCharToMultiByte(CP_UTF8, 0, text, wideLength, &narrow[0], length, nullptr, nullptr);
    return narrow;
}

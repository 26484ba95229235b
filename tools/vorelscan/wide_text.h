// Conversions between the UTF-8 the tool keeps its text in and the UTF-16
// of the wide Windows calls, so that file names in any language survive.
#pragma once

#include <string>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const wchar_t* text);

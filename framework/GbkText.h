// The program's 8-bit texts are GBK on every system, whatever its code page:
// they reach the platform as UTF-16, converted with code page 936.
#pragma once

#include <string>

constexpr unsigned kGbkCodePage = 936;

std::wstring GbkToWide(const std::string& Text);
std::string WideToGbk(const std::wstring& Text);

#include "framework/GbkText.h"

#include <windows.h>

std::wstring GbkToWide(const std::string& Text) {
  if (Text.empty()) return {};
  int Length = MultiByteToWideChar(kGbkCodePage, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Wide(static_cast<size_t>(Length), L'\0');
  MultiByteToWideChar(kGbkCodePage, 0, Text.data(), static_cast<int>(Text.size()), &Wide[0], Length);
  return Wide;
}

std::string WideToGbk(const std::wstring& Text) {
  if (Text.empty()) return {};
  int Size = WideCharToMultiByte(kGbkCodePage, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr,
                                 nullptr);
  std::string Gbk(static_cast<size_t>(Size), '\0');
  WideCharToMultiByte(kGbkCodePage, 0, Text.data(), static_cast<int>(Text.size()), &Gbk[0], Size, nullptr, nullptr);
  return Gbk;
}

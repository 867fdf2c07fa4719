// Code page 936 conversions made by the platform on the whole text at once: the reference that
// the project's own conversions, and the decoders built on them, must equal.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace test_common {

inline std::wstring PlatformWiden(const std::string& gbk) {
  if (gbk.empty()) return std::wstring();
  const int n = static_cast<int>(gbk.size());
  const int units = ::MultiByteToWideChar(936, 0, gbk.data(), n, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(936, 0, gbk.data(), n, out.data(), units);
  return out;
}

// Up to the first zero byte, as a text keeps it.
inline std::string PlatformNarrow(const wchar_t* units, std::size_t count, DWORD flags) {
  if (count == 0) return std::string();
  const int n = static_cast<int>(count);
  const int size = ::WideCharToMultiByte(936, flags, units, n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(936, flags, units, n, out.data(), size, nullptr, nullptr);
  return out.substr(0, out.find('\0'));
}

inline std::string PlatformNarrow(const std::wstring& wide, DWORD flags) {
  return PlatformNarrow(wide.data(), wide.size(), flags);
}

}  // namespace test_common

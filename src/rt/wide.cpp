#include "rt/wide.h"

#include <windows.h>

namespace rt {

std::wstring WidenGbk(const Text& s) {
  if (s.empty()) return std::wstring();
  const int units = ::MultiByteToWideChar(936, 0, s.c_str(), s.size(), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0) ::MultiByteToWideChar(936, 0, s.c_str(), s.size(), out.data(), units);
  return out;
}

Text NarrowToGbk(const wchar_t* s, int units) {
  if (s == nullptr) return Text();
  if (units < 0) units = static_cast<int>(wcslen(s));
  if (units == 0) return Text();
  const int bytes = ::WideCharToMultiByte(936, 0, s, units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) ::WideCharToMultiByte(936, 0, s, units, out.data(), bytes, nullptr, nullptr);
  return Text(std::move(out));
}

}  // namespace rt

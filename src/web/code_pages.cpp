#include "web/code_pages.h"

#include "rt/dll_commands.h"

namespace web {
namespace {

constexpr int kGbk = 936;

// Units before the first zero unit, never past the end of the set (an odd byte is ignored).
int UnitsBeforeZero(const rt::ByteSet& wide) {
  const int units = wide.size() / 2;
  const auto* data = reinterpret_cast<const wchar_t*>(wide.data());
  for (int i = 0; i < units; ++i) {
    if (data[i] == L'\0') return i;
  }
  return units;
}

// Converts exactly `units` units; the size is measured in the code page of the conversion.
rt::Text ConvertWide(const rt::ByteSet& wide, int units, int codePage, DWORD flags) {
  if (units <= 0) return rt::Text();
  const auto* data = reinterpret_cast<const wchar_t*>(wide.data());
  const int size =
      rt::dll::WideCharToMultiByte(codePage, flags, data, units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return rt::Text();
  rt::ByteSet buffer = rt::BlankBytes(size);
  rt::dll::WideCharToMultiByte(codePage, flags, data, units, reinterpret_cast<char*>(buffer.data()),
                               size, nullptr, nullptr);
  return rt::ReadTextData(buffer);
}

rt::ByteSet ConvertMultiByte(const rt::Text& source, int codePage) {
  if (source.empty()) return rt::ByteSet();
  const int units = rt::dll::MultiByteToWideChar(codePage, 0, source.c_str(), -1, nullptr, 0);
  if (units <= 0) return rt::ByteSet();
  rt::ByteSet buffer = rt::BlankBytes(units * 2);
  rt::dll::MultiByteToWideChar(codePage, 0, source.c_str(), -1,
                               reinterpret_cast<wchar_t*>(buffer.data()), units);
  return buffer;
}

}  // namespace

rt::ByteSet MultiByteToWide(const rt::Text& source, std::optional<int> codePage) {
  return ConvertMultiByte(source, codePage.value_or(65001));
}

rt::Text WideToMultiByte(const rt::ByteSet& source, std::optional<int> codePage) {
  // A set without a zero unit is converted up to its end, never beyond it.
  return ConvertWide(source, UnitsBeforeZero(source), codePage.value_or(kGbk), 0);
}

rt::Text GbkToUtf8(const rt::Text& source) {
  return WideToMultiByte(MultiByteToWide(source, kGbk), 65001);
}

rt::ByteSet AnsiToWide(const rt::Text& source, bool dropTerminator) {
  rt::ByteSet wide = ConvertMultiByte(source, kGbk);
  if (dropTerminator && wide.size() >= 2) wide = rt::BytesLeft(wide, wide.size() - 2);
  return wide;
}

rt::Text WideToAnsi(const rt::ByteSet& source) {
  return ConvertWide(source, source.size() / 2, kGbk, WC_COMPOSITECHECK);
}

}  // namespace web

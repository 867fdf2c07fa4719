#include "web/code_pages.h"

#include "rt/dll_commands.h"
#include "rt/wide.h"

namespace web {
namespace {

constexpr UINT kUtf8 = 65001;

// The runtime's one conversion, with the platform reached through the external-function table.
int WINAPI TableToWide(UINT codePage, DWORD flags, LPCCH source, int length, LPWSTR out, int room) {
  return rt::dll::MultiByteToWideChar(codePage, flags, source, length, out, room);
}

int WINAPI TableToMultiByte(UINT codePage, DWORD flags, LPCWCH source, int length, LPSTR out,
                            int room, LPCCH defaultChar, LPBOOL usedDefault) {
  return rt::dll::WideCharToMultiByte(codePage, flags, source, length, out, room, defaultChar,
                                      usedDefault);
}

// The wide form of source, with a terminating zero unit when asked. Empty for an empty source or
// one the platform refuses; a conversion that fails after the count leaves its zero units.
rt::ByteSet ConvertMultiByte(const rt::Text& source, UINT codePage, bool terminator) {
  if (source.empty()) return rt::ByteSet();
  rt::ByteSet wide;
  rt::Widen([&](rt::Widening& w) { w.Append(source.str()); },
            [&](std::size_t units) {
              wide = rt::BlankBytes(static_cast<int>((units + (terminator ? 1 : 0)) * 2));
              return reinterpret_cast<wchar_t*>(wide.data());
            },
            codePage, &TableToWide);
  return wide;
}

rt::Text ConvertWide(const rt::ByteSet& wide, UINT codePage, DWORD flags) {
  const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
  return rt::Text(rt::Narrow(units, static_cast<std::size_t>(wide.size() / 2), codePage, flags,
                             &TableToMultiByte));
}

}  // namespace

rt::ByteSet MultiByteToWide(const rt::Text& source, std::optional<int> codePage) {
  return ConvertMultiByte(source, static_cast<UINT>(codePage.value_or(kUtf8)), true);
}

rt::Text WideToMultiByte(const rt::ByteSet& source, std::optional<int> codePage) {
  // A set without a zero unit is converted up to its end, never beyond it.
  return ConvertWide(source, static_cast<UINT>(codePage.value_or(rt::kGbkCodePage)), 0);
}

rt::Text GbkToUtf8(const rt::Text& source) {
  return WideToMultiByte(MultiByteToWide(source, rt::kGbkCodePage), kUtf8);
}

rt::ByteSet AnsiToWide(const rt::Text& source, bool dropTerminator) {
  return ConvertMultiByte(source, rt::kGbkCodePage, !dropTerminator);
}

std::wstring AnsiToWideString(const rt::Text& source) {
  return rt::WidenToString(source, rt::kGbkCodePage, &TableToWide);
}

rt::Text WideToAnsi(const rt::ByteSet& source) {
  return ConvertWide(source, rt::kGbkCodePage, WC_COMPOSITECHECK);
}

}  // namespace web

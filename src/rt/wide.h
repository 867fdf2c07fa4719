// The one conversion between program texts (code page 936) and UTF-16, both ways, for the
// runtime's calls into the system and for the web routines' code page 936 conversions. ASCII maps
// to itself in code page 936 both ways, so runs of it are widened and narrowed here as they stand;
// the platform converts the rest, run by run, cut only where the platform's conversion of the whole
// text has a character boundary too, so every result is the platform's own. The caller names the
// platform functions: the runtime calls the system's directly (it needs them to bind the
// external-function table and to report that binding failed), the web routines call the table's
// entries.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "rt/text.h"

namespace rt {

using ToWideFunction = decltype(&::MultiByteToWideChar);
using ToMultiByteFunction = decltype(&::WideCharToMultiByte);

inline constexpr UINT kGbkCodePage = 936;

// Widens one text that arrives in pieces, in order, as if it had come whole. Into `out`, which
// holds `room` units, or, with `out` null, only counting the units. Code pages other than 936
// go to the platform whole.
class Widening {
public:
  Widening(wchar_t* out, std::size_t room, UINT codePage, ToWideFunction convert);
  void Append(std::string_view piece);
  // The units of the whole text; -1 when the platform refused a part of it (as it would have
  // refused the whole).
  std::ptrdiff_t Finish();

private:
  void Ascii(const char* bytes, std::size_t n);
  void Run(const char* bytes, std::size_t n);

  wchar_t* out_;
  std::size_t room_;
  UINT codePage_;
  ToWideFunction convert_;
  std::size_t units_ = 0;
  bool refused_ = false;
  // A run that reached the end of a piece: the platform gets it whole once it ends.
  std::string held_;
};

// Widens the text that `pieces(Widening&)` hands over, twice: once to count its units, then into
// the storage for that many that `allocate(units)` gives (null when it cannot). False when the
// platform refused the text or no storage came.
template <typename Pieces, typename Allocate>
bool Widen(const Pieces& pieces, const Allocate& allocate, UINT codePage = kGbkCodePage,
           ToWideFunction convert = &::MultiByteToWideChar) {
  Widening count(nullptr, 0, codePage, convert);
  pieces(count);
  const std::ptrdiff_t units = count.Finish();
  if (units < 0) return false;
  wchar_t* out = allocate(static_cast<std::size_t>(units));
  if (out == nullptr) return false;
  Widening write(out, static_cast<std::size_t>(units), codePage, convert);
  pieces(write);
  return write.Finish() == units;
}

// The text in codePage of the units before the first zero unit among the first `units` (all of
// them when none is zero), as the platform converts them with `flags`; empty when it refuses.
std::string Narrow(const wchar_t* s, std::size_t units, UINT codePage, DWORD flags,
                   ToMultiByteFunction convert = &::WideCharToMultiByte);

// The whole text widened by `convert`; empty when the platform refuses it.
std::wstring WidenToString(const Text& s, UINT codePage = kGbkCodePage,
                           ToWideFunction convert = &::MultiByteToWideChar);

// The runtime's own conversions for the calls it makes into the system: explicit 936, whatever
// the system locale.
inline std::wstring WidenGbk(const Text& s) { return WidenToString(s); }
Text NarrowToGbk(const wchar_t* s, int units = -1);

}  // namespace rt

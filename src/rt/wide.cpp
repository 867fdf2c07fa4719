#include "rt/wide.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "rt/byte_scan.h"

namespace rt {
namespace {

using byte_scan::IsHigh;

std::size_t HighBytesEnd(const char* p, std::size_t i, std::size_t n) {
  while (i < n && IsHigh(p[i])) ++i;
  return i;
}

bool IsAsciiUnit(wchar_t u) { return u != 0 && u < 0x80; }

// Index of the first unit at or after i that is zero or from 0x80 up, or n; four at a time.
std::size_t AsciiUnitsEnd(const wchar_t* s, std::size_t i, std::size_t n) {
  static_assert(sizeof(wchar_t) == 2, "UTF-16 units");
  for (; i + 4 <= n; i += 4) {
    std::uint64_t word;
    std::memcpy(&word, s + i, 8);
    const bool high = (word & 0xFF80FF80FF80FF80u) != 0;
    const bool zero = ((word - 0x0001000100010001u) & ~word & 0x8000800080008000u) != 0;
    if (high || zero) break;
  }
  while (i < n && IsAsciiUnit(s[i])) ++i;
  return i;
}

int ClampToInt(std::size_t n) {
  return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// Hands the units before the first zero unit to `ascii` and `run`, in order: ASCII as it
// stands, the rest in runs for the platform. A run ends at an ASCII unit: no character of the
// code page spans one. Composing, the ASCII unit before a run goes with it, as the base letter
// that a mark opening the run may combine with.
template <typename Ascii, typename Run>
void ForEachNarrowPiece(const wchar_t* s, std::size_t n, bool composing, Ascii ascii, Run run) {
  std::size_t i = 0;
  while (i < n) {
    const std::size_t high = AsciiUnitsEnd(s, i, n);
    if (high == n || s[high] == 0) {
      ascii(s + i, high - i);
      return;
    }
    const std::size_t start = composing && high > i ? high - 1 : high;
    ascii(s + i, start - i);
    std::size_t end = high + 1;
    while (end < n && s[end] >= 0x80) ++end;
    run(s + start, end - start);
    i = end;
  }
}

std::size_t UnitsBeforeZero(const wchar_t* s, std::size_t n) {
  std::size_t i = 0;
  while (i < n && s[i] != 0) ++i;
  return i;
}

}  // namespace

Widening::Widening(wchar_t* out, std::size_t room, UINT codePage, ToWideFunction convert)
    : out_(out), room_(room), codePage_(codePage), convert_(convert) {}

// A run of bytes from 0x80 up ends with the byte after it, which may be the trail byte of its
// last character. Whatever that byte is, the byte that follows it begins a character: an ASCII
// byte is never a lead byte. So the run and the ASCII after it convert apart as they do together.
void Widening::Append(std::string_view piece) {
  const char* p = piece.data();
  const std::size_t n = piece.size();
  if (codePage_ != kGbkCodePage) {
    held_.append(p, n);
    return;
  }
  std::size_t i = 0;
  if (!held_.empty()) {
    const std::size_t end = HighBytesEnd(p, 0, n);
    if (end == n) {
      held_.append(p, n);
      return;
    }
    held_.append(p, end + 1);
    Run(held_.data(), held_.size());
    held_.clear();
    i = end + 1;
  }
  while (i < n) {
    const std::size_t high = byte_scan::FindHighByte(p, i, n);
    Ascii(p + i, high - i);
    if (high == n) return;
    const std::size_t end = HighBytesEnd(p, high, n);
    if (end == n) {
      held_.assign(p + high, n - high);
      return;
    }
    Run(p + high, end + 1 - high);
    i = end + 1;
  }
}

std::ptrdiff_t Widening::Finish() {
  if (!held_.empty()) {
    Run(held_.data(), held_.size());
    held_.clear();
  }
  return refused_ ? -1 : static_cast<std::ptrdiff_t>(units_);
}

void Widening::Ascii(const char* bytes, std::size_t n) {
  if (out_ != nullptr) {
    if (n > room_ - units_) {
      refused_ = true;
      return;
    }
    wchar_t* to = out_ + units_;
    for (std::size_t k = 0; k < n; ++k) to[k] = static_cast<unsigned char>(bytes[k]);
  }
  units_ += n;
}

void Widening::Run(const char* bytes, std::size_t n) {
  if (refused_ || n == 0) return;
  const int length = ClampToInt(n);
  const int got = out_ == nullptr ? convert_(codePage_, 0, bytes, length, nullptr, 0)
                                  : convert_(codePage_, 0, bytes, length, out_ + units_,
                                             ClampToInt(room_ - units_));
  if (got <= 0) {
    refused_ = true;
    return;
  }
  units_ += static_cast<std::size_t>(got);
}

std::string Narrow(const wchar_t* s, std::size_t units, UINT codePage, DWORD flags,
                   ToMultiByteFunction convert) {
  if (s == nullptr) return std::string();
  if (codePage != kGbkCodePage) {
    const int n = ClampToInt(UnitsBeforeZero(s, units));
    if (n == 0) return std::string();
    const int size = convert(codePage, flags, s, n, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<std::size_t>(size), '\0');
    if (convert(codePage, flags, s, n, out.data(), size, nullptr, nullptr) <= 0)
      return std::string();
    return out;
  }
  const bool composing = (flags & WC_COMPOSITECHECK) != 0;
  std::size_t size = 0;
  bool refused = false;
  ForEachNarrowPiece(
      s, units, composing, [&](const wchar_t*, std::size_t n) { size += n; },
      [&](const wchar_t* run, std::size_t n) {
        const int got = convert(codePage, flags, run, ClampToInt(n), nullptr, 0, nullptr, nullptr);
        if (got <= 0) refused = true;
        size += got > 0 ? static_cast<std::size_t>(got) : 0;
      });
  if (refused || size == 0) return std::string();
  std::string out(size, '\0');
  std::size_t at = 0;
  ForEachNarrowPiece(
      s, units, composing,
      [&](const wchar_t* ascii, std::size_t n) {
        char* to = &out[at];
        for (std::size_t k = 0; k < n; ++k) to[k] = static_cast<char>(ascii[k]);
        at += n;
      },
      [&](const wchar_t* run, std::size_t n) {
        if (refused) return;
        const int got = convert(codePage, flags, run, ClampToInt(n), &out[at],
                                ClampToInt(size - at), nullptr, nullptr);
        if (got <= 0) refused = true;
        at += got > 0 ? static_cast<std::size_t>(got) : 0;
      });
  if (refused || at != size) return std::string();
  return out;
}

std::wstring WidenToString(const Text& s, UINT codePage, ToWideFunction convert) {
  std::wstring out;
  const bool widened = Widen([&](Widening& w) { w.Append(s.str()); },
                             [&](std::size_t units) {
                               out.resize(units);
                               return out.data();
                             },
                             codePage, convert);
  if (!widened) out.clear();
  return out;
}

Text NarrowToGbk(const wchar_t* s, int units) {
  if (s == nullptr) return Text();
  const std::size_t n = units < 0 ? std::wcslen(s) : static_cast<std::size_t>(units);
  return Text(Narrow(s, n, kGbkCodePage, 0));
}

}  // namespace rt

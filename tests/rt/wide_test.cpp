#include "rt/wide.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/platform_conversions.h"

namespace rt {
namespace {

using test_common::PlatformNarrow;
using test_common::PlatformWiden;

// The text widened as the given pieces, in order.
std::wstring WidenPieces(const std::vector<std::string>& pieces) {
  std::wstring out;
  const bool widened = Widen(
      [&](Widening& w) {
        for (const std::string& piece : pieces) w.Append(piece);
      },
      [&](std::size_t units) {
        out.assign(units, L'\0');
        return out.data();
      });
  EXPECT_TRUE(widened);
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
    out += ' ';
  }
  return out;
}

std::string HexUnits(const std::wstring& units) {
  std::string out;
  for (wchar_t u : units) out += Hex(std::string{static_cast<char>(u >> 8), static_cast<char>(u)});
  return out;
}

// Invalid and unusual GBK where the platform's reading of a byte depends on its neighbours:
// 80 and FF are single bytes, a lead byte takes the byte after it, whatever that is.
const char* const kGbkCases[] = {
    "",
    "plain ASCII, longer than one word of eight bytes",
    "中文",
    "a中b文c, and ASCII after it",
    "\x80",
    "\x80"
    "A",
    "\xFF"
    "ABCDEFGHIJ",
    "\x80\x81"
    "ABCDEFGH",  // a single byte, then a lead byte whose trail is A
    "\x81\x40",  // a trail byte in the ASCII range
    "\x81\x30"
    "0123456789",
    "\x81\x7F"
    "A",
    "\x81\n"
    "line",
    "\x81'",
    "abcdefgh\x81",  // a lone lead byte at the end
    "\x81",
    "\xA1\xA1\xA1",
    "\xFE\xFE\xFF\xFF\x80\x80",
};

TEST(Widen, EqualsThePlatformOnTheWholeText) {
  for (const char* text : kGbkCases) {
    EXPECT_EQ(HexUnits(WidenGbk(Text(text))), HexUnits(PlatformWiden(text))) << Hex(text);
  }
}

// A run that a piece boundary cuts is converted as if it had come whole.
TEST(Widen, PiecesCutAnywhereGiveTheWholeText) {
  std::mt19937 random(936);
  const char bytes[] = {'a',    'A',    '0',    '\'',   '\n',   ' ',    '\x80', '\x81',
                        '\xA1', '\xAF', '\xD6', '\xD0', '\xFE', '\xFF', '\x40', '\x7F'};
  std::vector<std::string> texts(std::begin(kGbkCases), std::end(kGbkCases));
  for (int t = 0; t < 300; ++t) {
    std::string text(random() % 40, '\0');
    for (char& c : text) c = bytes[random() % sizeof bytes];
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const std::string whole = HexUnits(PlatformWiden(text));
    EXPECT_EQ(HexUnits(WidenPieces({text})), whole) << Hex(text);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      EXPECT_EQ(HexUnits(WidenPieces({text.substr(0, cut), text.substr(cut)})), whole)
          << Hex(text) << " cut at " << cut;
    }
    std::vector<std::string> single;
    for (char c : text) single.push_back(std::string(1, c));
    EXPECT_EQ(HexUnits(WidenPieces(single)), whole) << Hex(text) << " byte by byte";
  }
}

// Characters code page 936 lacks, unpaired surrogates, marks that compose with the letter
// before them, and zero units, which end the text.
const std::wstring kWideCases[] = {
    L"",
    L"plain ASCII, longer than four units",
    L"\u4E2D\u6587",
    L"a\u4E2Db\u6587c and ASCII after it",
    L"\u0080\u00A9\u00E9\u00FF",
    L"\u20AC\uF8F5 euro and a private-use unit",
    L"\u0E01\u0E02 Thai",
    L"\xD83D\xDE00 a pair",
    L"\xD800 lone high",
    L"lone low \xDC00",
    L"\xDC00\xD800 reversed",
    L"e\u0301 composes",
    L"\u0301 a mark first",
    L"\u4E2D\u0301",
    std::wstring(L"abc\0def", 7),
    std::wstring(L"\u4E2D\0\u6587", 3),
};

TEST(Narrow, EqualsThePlatformUpToTheFirstZeroUnit) {
  std::mt19937 random(65001);
  const wchar_t units[] = {L'a',   L'Z',   L' ',   0,      0x80,   0xA9,   0xE9,   0x301, 0x4E2D,
                           0xD800, 0xDC00, 0xD83D, 0xDE00, 0xFF10, 0x0E01, 0xF8F5, 0x20AC};
  std::vector<std::wstring> texts(std::begin(kWideCases), std::end(kWideCases));
  for (int t = 0; t < 300; ++t) {
    std::wstring text(random() % 24, L'\0');
    for (wchar_t& u : text) u = units[random() % (sizeof units / sizeof units[0])];
    texts.push_back(text);
  }
  for (const std::wstring& text : texts) {
    for (const DWORD flags : {DWORD{0}, DWORD{WC_COMPOSITECHECK}}) {
      EXPECT_EQ(Hex(Narrow(text.data(), text.size(), 936, flags)), Hex(PlatformNarrow(text, flags)))
          << HexUnits(text) << " flags " << flags;
    }
    EXPECT_EQ(Hex(NarrowToGbk(text.data(), static_cast<int>(text.size())).str()),
              Hex(PlatformNarrow(text, 0)))
        << HexUnits(text);
  }
}

}  // namespace
}  // namespace rt

#include "web/url_encode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "rt/dll_commands.h"

namespace web {
namespace {

struct UrlCase {
  const char* source;
  bool keepUnreserved;
  bool utf8;
  const char* encoded;
};

const UrlCase kUrlCases[] = {
    {"中文", true, true, "%E4%B8%AD%E6%96%87"},
    {"中文", true, false, "%D6%D0%CE%C4"},
    {"中文", false, true, "%E4%B8%AD%E6%96%87"},
    {"a b_c~d.e-f", true, false, "a%20b%5Fc%7Ed.e-f"},
    {"Az09", false, false, "%41%7A%30%39"},
    {"*/+=&", true, true, "%2A%2F%2B%3D%26"},
    {"\r\n", true, false, "%0D%0A"},
    {"\x01\x7F", true, false, "%01%7F"},
    {"", false, false, ""},
    {"", true, true, ""},
};

TEST(UrlEncode, EncodesTheWorkedExamples) {
  for (const UrlCase& c : kUrlCases) {
    EXPECT_EQ(UrlEncode(c.source, c.keepUnreserved, c.utf8).str(), c.encoded)
        << "source: " << c.source << " keepUnreserved: " << c.keepUnreserved << " utf8: " << c.utf8;
  }
}

TEST(UrlEncode, OptionsDefaultToFalse) { EXPECT_EQ(UrlEncode("a.").str(), "%61%2E"); }

TEST(UrlEncode, OnlyLettersDigitsHyphenAndFullStopPass) {
  int passed = 0;
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string encoded = UrlEncode(rt::Text(one), true).str();
    if (encoded == one) {
      ++passed;
      EXPECT_TRUE((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                  b == '-' || b == '.')
          << "byte " << b;
    } else {
      char expected[4];
      std::snprintf(expected, sizeof expected, "%%%02X", static_cast<unsigned>(b));
      EXPECT_EQ(encoded, expected) << "byte " << b;
    }
  }
  EXPECT_EQ(passed, 64);
}

int WINAPI FailingWideCharToMultiByte(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) {
  return 0;
}

TEST(UrlEncode, FailedUtf8ConversionGivesTheEmptyText) {
  rt::OverrideDllCommand(rt::kWideCharToMultiByte,
                         reinterpret_cast<void*>(&FailingWideCharToMultiByte));
  const rt::Text encoded = UrlEncode("abc", true, true);
  rt::OverrideDllCommand(rt::kWideCharToMultiByte,
                         rt::BindExport(rt::kDllCommandTable[rt::kWideCharToMultiByte]));
  EXPECT_EQ(encoded.str(), "");
  EXPECT_EQ(UrlEncode("abc", true, true).str(), "abc");
}

}  // namespace
}  // namespace web

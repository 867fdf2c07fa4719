#include "web/code_pages.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "rt/dll_commands.h"

namespace web {
namespace {

rt::ByteSet Bytes(const std::string& bytes) { return rt::ByteSet(bytes); }

TEST(CodePages, LogsTheCodePageItRunsUnder) {
  // The locale reruns compare against this line in the test log.
  std::printf("[ locale ] ANSI code page %u\n", ::GetACP());
  EXPECT_EQ(AnsiToWide("中").str(), std::string("\x2D\x4E\0\0", 4));
}

TEST(CodePages, AnsiToWide) {
  const struct {
    const char* text;
    bool dropTerminator;
    std::string wide;
  } cases[] = {
      {"", false, ""},
      {"", true, ""},
      {"A", false, std::string("A\0\0\0", 4)},
      {"A", true, std::string("A\0", 2)},
      {"中", false, std::string("\x2D\x4E\0\0", 4)},
      {"中", true, "\x2D\x4E"},
      {"a中b", false,
       std::string("a\0\x2D\x4E"
                   "b\0\0\0",
                   8)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AnsiToWide(c.text, c.dropTerminator).str(), c.wide)
        << c.text << " dropTerminator=" << c.dropTerminator;
  }
}

TEST(CodePages, WideToAnsiStopsAtTheFirstZeroUnit) {
  const struct {
    std::string wide;
    const char* text;
  } cases[] = {
      {std::string("\x2D\x4E\0\0", 4), "中"},
      {"\x2D\x4E", "中"},
      {std::string("\x2D\x4E\0", 3), "中"},
      {std::string("A\0\0\0B\0", 6), "A"},
      {std::string("A\0\0\0\0\0\0\0", 8), "A"},
      {"A", ""},
      {"", ""},
      {std::string("\0\0A\0", 4), ""},
      // A base letter and a combining acute accent are written precomposed.
      {std::string("e\0\x01\x03", 4), "\xA8\xA6"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideToAnsi(Bytes(c.wide)).str(), c.text) << c.wide.size() << " bytes";
  }
}

TEST(CodePages, GbkToUtf8) {
  EXPECT_EQ(GbkToUtf8("中文").str(), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(GbkToUtf8("").str(), "");
  EXPECT_EQ(GbkToUtf8("a b~").str(), "a b~");
  // Every double-byte character takes three bytes; the result is never cut short.
  std::string gbk;
  for (int i = 0; i < 200000; ++i) gbk += "中";
  EXPECT_EQ(GbkToUtf8(rt::Text(std::move(gbk))).size(), 600000);
}

TEST(CodePages, MultiByteToWideSizesInTheCodePageItConverts) {
  EXPECT_EQ(MultiByteToWide("").str(), "");
  EXPECT_EQ(MultiByteToWide("中", 936).str(), std::string("\x2D\x4E\0\0", 4));
  // Three UTF-8 bytes are one unit: no extra zero units follow the terminator.
  EXPECT_EQ(MultiByteToWide("\xE4\xB8\xAD").str(), std::string("\x2D\x4E\0\0", 4));
  EXPECT_EQ(MultiByteToWide("\xE4\xB8\xAD", 65001).str(), std::string("\x2D\x4E\0\0", 4));
}

TEST(CodePages, WideToMultiByte) {
  EXPECT_EQ(WideToMultiByte(rt::ByteSet()).str(), "");
  EXPECT_EQ(WideToMultiByte(Bytes(std::string("\x2D\x4E\0\0", 4))).str(), "中");
  EXPECT_EQ(WideToMultiByte(Bytes(std::string("\x2D\x4E\0\0", 4)), 65001).str(), "\xE4\xB8\xAD");
  // Without a zero unit the set is read up to its end and no further.
  EXPECT_EQ(WideToMultiByte(Bytes("\x2D\x4E")).str(), "中");
  EXPECT_EQ(WideToMultiByte(Bytes("\x2D\x4E\x2D")).str(), "中");
  EXPECT_EQ(WideToMultiByte(Bytes(std::string("A\0\0\0B\0\0\0", 8))).str(), "A");
  // Thai letters are one byte each where GBK lacks them but three in UTF-8.
  std::string thai, utf8;
  for (int i = 0; i < 10; ++i) {
    thai += "\x01\x0E";
    utf8 += "\xE0\xB8\x81";
  }
  thai += std::string(2, '\0');
  EXPECT_EQ(WideToMultiByte(Bytes(thai), 65001).str(), utf8);
}

// Records the code page of every conversion call and forwards it to the system.
class CodePagesRecorded : public ::testing::Test {
protected:
  void SetUp() override {
    pages.clear();
    refuse = false;
    realMultiByte =
        reinterpret_cast<decltype(realMultiByte)>(rt::BindDllCommand(rt::kMultiByteToWideChar));
    realWide = reinterpret_cast<decltype(realWide)>(rt::BindDllCommand(rt::kWideCharToMultiByte));
    rt::OverrideDllCommand(rt::kMultiByteToWideChar, reinterpret_cast<void*>(&RecordMultiByte));
    rt::OverrideDllCommand(rt::kWideCharToMultiByte, reinterpret_cast<void*>(&RecordWide));
  }
  void TearDown() override {
    rt::OverrideDllCommand(rt::kMultiByteToWideChar, reinterpret_cast<void*>(realMultiByte));
    rt::OverrideDllCommand(rt::kWideCharToMultiByte, reinterpret_cast<void*>(realWide));
  }

  static int WINAPI RecordMultiByte(UINT page, DWORD flags, LPCCH source, int length, LPWSTR out,
                                    int capacity) {
    pages.push_back("MB" + std::to_string(page));
    if (refuse) return 0;
    return realMultiByte(page, flags, source, length, out, capacity);
  }
  static int WINAPI RecordWide(UINT page, DWORD flags, LPCWCH source, int length, LPSTR out,
                               int capacity, LPCCH defaultChar, LPBOOL usedDefault) {
    pages.push_back("WC" + std::to_string(page));
    if (refuse) return 0;
    return realWide(page, flags, source, length, out, capacity, defaultChar, usedDefault);
  }

  static inline std::vector<std::string> pages;
  static inline bool refuse = false;  // every call fails, as for a code page the system lacks
  static inline decltype(&::MultiByteToWideChar) realMultiByte = nullptr;
  static inline decltype(&::WideCharToMultiByte) realWide = nullptr;
};

TEST_F(CodePagesRecorded, SizeQueryAndConversionUseOneCodePage) {
  using Pages = std::vector<std::string>;
  AnsiToWide("中");
  EXPECT_EQ(pages, (Pages{"MB936", "MB936"}));
  pages.clear();
  WideToAnsi(AnsiToWide("中"));
  EXPECT_EQ(pages, (Pages{"MB936", "MB936", "WC936", "WC936"}));
  pages.clear();
  GbkToUtf8("中");
  EXPECT_EQ(pages, (Pages{"MB936", "MB936", "WC65001", "WC65001"}));
  pages.clear();
  MultiByteToWide("a");
  EXPECT_EQ(pages, (Pages{"MB65001", "MB65001"}));
  pages.clear();
  WideToMultiByte(AnsiToWide("中"));
  EXPECT_EQ(pages, (Pages{"MB936", "MB936", "WC936", "WC936"}));
  pages.clear();
  // An empty text needs no platform call at all, nor does ASCII, which is itself in code
  // page 936 both ways.
  AnsiToWide("");
  WideToAnsi(AnsiToWide("plain ASCII"));
  EXPECT_TRUE(pages.empty());
}

// A part the platform refuses fails the whole conversion, as the whole text would have failed:
// the ASCII around it does not come back on its own.
TEST_F(CodePagesRecorded, APartRefusedGivesTheEmptyResult) {
  refuse = true;
  EXPECT_EQ(AnsiToWide("ab中cd").str(), "");
  EXPECT_EQ(AnsiToWideString("ab中cd"), L"");
  EXPECT_EQ(WideToAnsi(Bytes(std::string("a\0\x2D\x4E"
                                         "b\0",
                                         6)))
                .str(),
            "");
}

}  // namespace
}  // namespace web

#include "web/regex_matcher.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>

#include "rt/dll_commands.h"

namespace web {
namespace {

TEST(RegexMatcher, LogsTheCodePageItRunsUnder) {
  // The locale reruns compare against this line in the test log.
  std::printf("[ locale ] ANSI code page %u\n", ::GetACP());
  RegexMatcher matcher;
  EXPECT_TRUE(matcher.Execute("中(.)", "x中文"));
  EXPECT_EQ(matcher.MatchText(1).str(), "中文");
}

TEST(RegexMatcher, BeforeAnyRunEveryReadingIsEmpty) {
  RegexMatcher matcher;
  matcher.NoOp();
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.SubMatchCount(), 0);
  EXPECT_EQ(matcher.GetPattern().str(), "");
  EXPECT_EQ(matcher.Replace("x").str(), "");
  int position = 99;
  EXPECT_EQ(matcher.MatchText(1, &position).str(), "");
  // The subject variant still holds the integer 0 and reads as the text "0".
  EXPECT_EQ(position, 0);
}

struct OptionCase {
  const char* pattern;
  const char* subject;
  bool caseSensitive;
  bool multiline;
  bool global;
  int matches;
};

TEST(RegexMatcher, OptionsAndTheirDefaults) {
  const OptionCase cases[] = {
      {"abc", "xABCx", false, true, true, 1},
      {"abc", "xABCx", true, true, true, 0},
      {"^b", "a\nb", false, true, true, 1},
      {"^b", "a\nb", false, false, true, 0},
      {"a", "aaa", false, true, true, 3},
      {"a", "aaa", false, true, false, 1},
      // No single-line mode: the dot stops at a line break.
      {"a.b", "a\nb", false, true, true, 0},
      {"a.b", "axb", false, true, true, 1},
  };
  for (const OptionCase& c : cases) {
    RegexMatcher matcher;
    EXPECT_TRUE(matcher.Execute(c.pattern, c.subject, c.caseSensitive, c.multiline, c.global));
    EXPECT_EQ(matcher.MatchCount(), c.matches)
        << c.pattern << " caseSensitive=" << c.caseSensitive << " multiline=" << c.multiline
        << " global=" << c.global;
  }
}

TEST(RegexMatcher, DefaultsIgnoreCaseAndMatchEveryLine) {
  RegexMatcher matcher;
  EXPECT_TRUE(matcher.Execute("^x", "X1\nx2\nX3"));
  EXPECT_EQ(matcher.MatchCount(), 3);
}

TEST(RegexMatcher, NoMatchStillRuns) {
  RegexMatcher matcher;
  EXPECT_TRUE(matcher.Execute("q", "abc"));
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.MatchText(1).str(), "");
  EXPECT_EQ(matcher.SubMatchCount(), 0);
}

TEST(RegexMatcher, RefusedPatternGivesNoCollection) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("a", "a"));
  EXPECT_FALSE(matcher.Execute("(abc", "abc"));
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.MatchText(1).str(), "");
  EXPECT_EQ(matcher.GetPattern().str(), "(abc");
}

TEST(RegexMatcher, QuoteTokenIsReplacedOnlyWhenAsked) {
  RegexMatcher matcher;
  EXPECT_TRUE(matcher.Execute("id=#引号(\\d+)#引号", "id=\"42\"", false, true, true, true));
  EXPECT_EQ(matcher.SubMatchText(1, 1).str(), "42");
  EXPECT_EQ(matcher.GetPattern().str(), "id=\"(\\d+)\"");

  EXPECT_TRUE(matcher.Execute("id=#引号(\\d+)#引号", "id=\"42\""));
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_TRUE(matcher.Execute("id=#引号(\\d+)#引号", "id=#引号42#引号"));
  EXPECT_EQ(matcher.SubMatchText(1, 1).str(), "42");
  EXPECT_EQ(matcher.GetPattern().str(), "id=#引号(\\d+)#引号");
}

TEST(RegexMatcher, MatchAndGroupNumbersStartAtOne) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("(\\w)=(\\d)", "a=1; b=2"));
  EXPECT_EQ(matcher.MatchCount(), 2);
  EXPECT_EQ(matcher.SubMatchCount(), 2);
  EXPECT_EQ(matcher.MatchText(1).str(), "a=1");
  EXPECT_EQ(matcher.MatchText(2).str(), "b=2");
  EXPECT_EQ(matcher.MatchText(0).str(), "");
  EXPECT_EQ(matcher.MatchText(3).str(), "");
  EXPECT_EQ(matcher.SubMatchText(2, 1).str(), "b");
  EXPECT_EQ(matcher.SubMatchText(2, 2).str(), "2");
  EXPECT_EQ(matcher.SubMatchText(1, 0).str(), "");
  EXPECT_EQ(matcher.SubMatchText(1, 3).str(), "");
  EXPECT_EQ(matcher.SubMatchText(3, 1).str(), "");
}

TEST(RegexMatcher, GroupThatTookNoPartIsEmpty) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("(a)|(b)", "b"));
  EXPECT_EQ(matcher.SubMatchCount(), 2);
  EXPECT_EQ(matcher.SubMatchText(1, 1).str(), "");
  EXPECT_EQ(matcher.SubMatchText(1, 2).str(), "b");
}

TEST(RegexMatcher, FindsTheCharsetOfAMetaTag) {
  const char* const pattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
  const struct {
    const char* body;
    const char* charset;
  } cases[] = {
      {"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">",
       "gb2312"},
      {"<meta content=text/html; charset=utf-8>", "utf-8"},
      {"<META CONTENT=\"text/html\"; CHARSET=UTF-8>", "UTF-8"},
      {"<meta charset=\"big5-hkscs\">", "big5-hkscs"},
      // "charset=" on a later line than "<meta" is not found.
      {"<meta http-equiv=\"Content-Type\"\ncontent=\"text/html; charset=utf-8\">", ""},
      {"<p>no tag</p>", ""},
  };
  for (const auto& c : cases) {
    RegexMatcher matcher;
    EXPECT_TRUE(matcher.Execute(pattern, c.body));
    EXPECT_EQ(matcher.SubMatchText(1, 1).str(), c.charset) << c.body;
  }
}

TEST(RegexMatcher, ReplaceWorksOnTheLastSubject) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("a", "banana"));
  EXPECT_EQ(matcher.Replace("o").str(), "bonono");
  EXPECT_EQ(matcher.Replace().str(), "bnn");
  ASSERT_TRUE(matcher.Execute("(\\w+)@(\\w+)", "me@here", false, true, true));
  EXPECT_EQ(matcher.Replace("$2 at $1").str(), "here at me");
  ASSERT_TRUE(matcher.Execute("A", "banana", false, true, false));
  EXPECT_EQ(matcher.Replace("o").str(), "bonana");
}

struct PositionCase {
  const char* pattern;
  const char* subject;
  bool caseSensitive;
  int matchNumber;
  const char* found;
  int position;
};

TEST(RegexMatcher, PositionSearchStartsAtTheCharacterIndex) {
  const PositionCase cases[] = {
      {"a", "xaxa", true, 1, "a", 1},
      {"a", "xaxa", true, 2, "a", 3},
      // The search begins one byte before the match and finds an earlier 'a'.
      {"a", "aaa", true, 1, "a", 0},
      {"a", "aaa", true, 2, "a", 0},
      {"a", "aaa", true, 3, "a", 1},
      {"A", "aA", true, 1, "A", 1},
      // Ignoring case, the search finds the 'a' before the 'A'.
      {"A", "aA", false, 2, "A", 0},
      // One double-byte character before the match: the search starts on its trail byte,
      // reads it with the lead byte of the next character as one character, and still
      // arrives at 'a'.
      {"a", "中a", true, 1, "a", 2},
      // Two: the start falls on a trail byte, the second lead byte swallows the 'a', and
      // nothing is found.
      {"a", "中中a", true, 1, "a", -2},
      // ... or a later occurrence is found instead.
      {"a", "中中aa", true, 1, "a", 5},
      {"a", "中中aa", true, 2, "a", 4},
      // Out of range: an empty found text, found at once in a non-empty subject.
      {"a", "xa", true, 2, "", 0},
      {"a", "", true, 1, "", -2},
  };
  for (const PositionCase& c : cases) {
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Execute(c.pattern, c.subject, c.caseSensitive));
    int position = 99;
    EXPECT_EQ(matcher.MatchText(c.matchNumber, &position).str(), c.found);
    EXPECT_EQ(position, c.position)
        << c.pattern << " in " << c.subject << " match " << c.matchNumber;
  }
}

TEST(RegexMatcher, GroupPositionSearchesFromTheWholeMatch) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Execute("a(b)", "ab ab"));
  int position = 99;
  EXPECT_EQ(matcher.SubMatchText(2, 1, &position).str(), "b");
  EXPECT_EQ(position, 4);
  // The group's text occurs before the match, at or after the match's index.
  ASSERT_TRUE(matcher.Execute("x(b)", "bbxb"));
  EXPECT_EQ(matcher.SubMatchText(1, 1, &position).str(), "b");
  EXPECT_EQ(position, 1);
  ASSERT_TRUE(matcher.Execute("x(y)?", "abx"));
  EXPECT_EQ(matcher.SubMatchText(1, 1, &position).str(), "");
  EXPECT_EQ(position, 0);
}

TEST(RegexMatcher, CopySharesObjectsAndKeepsItsOwnSubject) {
  RegexMatcher original;
  ASSERT_TRUE(original.Execute("a", "aaa"));
  auto copy = std::make_unique<RegexMatcher>(original);
  ASSERT_TRUE(original.Execute("b", "bcd"));
  EXPECT_EQ(copy->MatchCount(), 3);
  EXPECT_EQ(copy->GetPattern().str(), "a");
  EXPECT_EQ(copy->Replace("x").str(), "xxx");

  RegexMatcher second(original);
  copy.reset();
  { const RegexMatcher gone(second); }
  EXPECT_EQ(second.MatchText(1).str(), "b");
  EXPECT_EQ(original.Replace("x").str(), "xcd");
}

// Counts the initialisations that reach the external-function table, forwarding them.
class RegexMatcherComInit : public ::testing::Test {
protected:
  void SetUp() override {
    inits = 0;
    uninits = 0;
    realInit = reinterpret_cast<decltype(realInit)>(rt::BindDllCommand(rt::kCoInitialize));
    realUninit = reinterpret_cast<decltype(realUninit)>(rt::BindDllCommand(rt::kCoUninitialize));
    rt::OverrideDllCommand(rt::kCoInitialize, reinterpret_cast<void*>(&CountInit));
    rt::OverrideDllCommand(rt::kCoUninitialize, reinterpret_cast<void*>(&CountUninit));
  }
  void TearDown() override {
    rt::OverrideDllCommand(rt::kCoInitialize, reinterpret_cast<void*>(realInit));
    rt::OverrideDllCommand(rt::kCoUninitialize, reinterpret_cast<void*>(realUninit));
  }

  static HRESULT WINAPI CountInit(LPVOID reserved) {
    ++inits;
    return realInit(reserved);
  }
  static void WINAPI CountUninit() {
    ++uninits;
    realUninit();
  }

  static inline int inits = 0;
  static inline int uninits = 0;
  static inline decltype(&::CoInitialize) realInit = nullptr;
  static inline decltype(&::CoUninitialize) realUninit = nullptr;
};

TEST_F(RegexMatcherComInit, EveryInstanceBracketsItsLifeWithOnePair) {
  {
    RegexMatcher matcher;
    EXPECT_EQ(inits, 1);
    EXPECT_EQ(uninits, 0);
    matcher.Execute("a", "a");
    const RegexMatcher copy(matcher);
    EXPECT_EQ(inits, 2);
  }
  EXPECT_EQ(inits, 2);
  EXPECT_EQ(uninits, 2);
}

}  // namespace
}  // namespace web

#include "web/cookies.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace web {
namespace {

struct MergeCase {
  const char* oldCookies;
  const char* newCookies;
  const char* merged;    // returned, and left in oldCookies
  const char* received;  // left in newCookies
};

TEST(MergeCookies, WritesBothVariablesAndReturnsTheMerge) {
  const MergeCase cases[] = {
      {"", "", "", ""},
      {"a=1; b=2", "b=3; c=deleted", "b=3; a=1", "b=3;c=deleted"},
      // Of several stored items with one name only the first joins.
      {"a=1; b=2; a=5", "c=3", "c=3; a=1; b=2", "c=3"},
      // Received items are not merged among themselves.
      {"a=1", "a=2; a=3", "a=2; a=3", "a=2;a=3"},
      {"", "x=1; x=1; y=2", "x=1; y=2", "x=1;x=1;y=2"},
      // A received deletion marker deletes the stored cookie; a stored one goes too.
      {"k=v", "k=deleted", "", "k=deleted"},
      {"k=deleted; j=1", "", "j=1", ""},
      {"=deleted", "", "", ""},
      {"deleted", "", "deleted", ""},
      {"k=DELETED", "", "k=DELETED", ""},
      {"k = deleted; j=1", "", "j=1", ""},
      // Names compare with case.
      {"a=2", "A=1", "A=1; a=2", "A=1"},
      {"a = 1 ; b=x y", "", "a=1; b=xy", ""},
      {"a=\xA1\xA1"
       "1; b=\t2",
       "", "a=1; b=\t2", ""},
      {"", " n = 1 ;\xA1\xA1m=2", "n=1; m=2", "n=1;m=2"},
      // An empty item inside remains once; a trailing one does not.
      {"a=1;;b=2", "", "a=1; ; b=2", ""},
      {"a=1;", "", "a=1", ""},
      {"a=1;;", "", "a=1", ""},
      {"a=1;;b=2;;c=3", "", "a=1; ; b=2; c=3", ""},
      // An item without "=" is its own name.
      {"flag; a=1", "flag", "flag; a=1", "flag"},
      {"=x; a=1", "=y", "=y; a=1", "=y"},
      {"名=值; a=1", "名=新", "名=新; a=1", "名=新"},
  };
  for (const MergeCase& c : cases) {
    rt::Text oldCookies = c.oldCookies;
    rt::Text newCookies = c.newCookies;
    const rt::Text merged = MergeCookies(oldCookies, newCookies);
    EXPECT_EQ(merged.str(), c.merged)
        << "old '" << c.oldCookies << "' new '" << c.newCookies << "'";
    EXPECT_EQ(oldCookies.str(), c.merged) << c.oldCookies;
    EXPECT_EQ(newCookies.str(), c.received) << c.newCookies;
  }
}

TEST(MergeCookies, OneVariableForBoth) {
  rt::Text cookies = "a=1; b=2; a=1";
  EXPECT_EQ(MergeCookies(cookies, cookies).str(), "a=1; b=2");
  EXPECT_EQ(cookies.str(), "a=1; b=2");
}

TEST(MergeCookies, ThousandsOfItemsMergeQuickly) {
  std::string stored, received;
  for (int i = 0; i < 5000; ++i) {
    stored += "s" + std::to_string(i) + "=v" + std::to_string(i) + "; ";
    received += "s" + std::to_string(i * 2) + "=n; ";
  }
  rt::Text oldCookies(std::move(stored));
  rt::Text newCookies(std::move(received));
  const auto began = std::chrono::steady_clock::now();
  const rt::Text merged = MergeCookies(oldCookies, newCookies);
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_LT(took, std::chrono::seconds(2));
  // Every received item, then the stored items with odd numbers.
  EXPECT_EQ(rt::SplitText(merged, "; ").Count(), 7500);
  EXPECT_EQ(rt::LeftText(merged, 12).str(), "s0=n; s2=n; ");
  EXPECT_EQ(rt::RightText(merged, 24).str(), "s4997=v4997; s4999=v4999");
}

TEST(CookieName, TextBeforeTheFirstEqualsSignTrimmed) {
  const struct {
    const char* item;
    const char* name;
  } cases[] = {
      {"a=1", "a"},
      {" a =1=2", "a"},
      {"=1", ""},
      {"flag", "flag"},
      {" flag ", "flag"},
      {"\xA1\xA1"
       "a\xA1\xA1=1",
       "a"},
      {"\ta=1", "\ta"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CookieName(c.item).str(), c.name) << c.item;
}

TEST(CookieListHasName, ComparesTheNamesOfTheElements) {
  const rt::TextArray items({"a=1", " B =2", "c"});
  EXPECT_TRUE(CookieListHasName(items, "a"));
  EXPECT_TRUE(CookieListHasName(items, "B"));
  EXPECT_TRUE(CookieListHasName(items, "c"));
  EXPECT_FALSE(CookieListHasName(items, "b"));
  EXPECT_FALSE(CookieListHasName(items, "a=1"));
  EXPECT_FALSE(CookieListHasName(rt::TextArray(), ""));
  EXPECT_TRUE(CookieListHasName(rt::TextArray({"=x"}), ""));
}

TEST(FindTextInArray, NumberOfTheFirstEqualElement) {
  const rt::TextArray items({"p", "q", "", "p"});
  EXPECT_EQ(FindTextInArray(items, "p"), 1);
  EXPECT_EQ(FindTextInArray(items, "q"), 2);
  EXPECT_EQ(FindTextInArray(items, ""), 3);
  EXPECT_EQ(FindTextInArray(items, "P"), -1);
  EXPECT_EQ(FindTextInArray(rt::TextArray(), ""), -1);
}

TEST(DedupeDelimitedList, KeepsTheFirstOfEqualPieces) {
  EXPECT_EQ(DedupeDelimitedList("p; q; p", "; ").str(), "p; q");
  EXPECT_EQ(DedupeDelimitedList("", "; ").str(), "");
  EXPECT_EQ(DedupeDelimitedList("p;q;P;q", ";").str(), "p;q;P");
  EXPECT_EQ(DedupeDelimitedList("p; ; q; ", "; ").str(), "p; ; q");
  EXPECT_EQ(DedupeDelimitedList("pq", "").str(), "pq");
}

}  // namespace
}  // namespace web

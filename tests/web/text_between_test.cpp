#include "web/text_between.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

namespace web {
namespace {

struct BetweenCase {
  const char* text;
  const char* left;
  const char* right;
  std::optional<int> start;
  bool ignoreCase;
  const char* result;
};

TEST(TextBetween, Cases) {
  const BetweenCase cases[] = {
      {"a[x]b[y]", "[", "]", std::nullopt, false, "x"},
      {"a[x]b[y]", "[", "]", 4, false, "y"},
      {"a[x]b[y]", "[", "]", 9, false, ""},
      {"a[x]b[y]", "[", "]", 0, false, "x"},
      {"a[x]b[y]", "[", "]", -5, false, "x"},
      {"a[]b", "[", "]", std::nullopt, false, ""},
      {"a[x", "[", "]", std::nullopt, false, ""},
      {"ab]", "[", "]", std::nullopt, false, ""},
      {"a[", "[", "]", std::nullopt, false, ""},
      {"", "[", "]", std::nullopt, false, ""},
      // The right marker is sought after the left one, never inside it.
      {"<<a>>", "<<", ">>", std::nullopt, false, "a"},
      {"xabay", "ab", "ba", std::nullopt, false, ""},
      {"id=\"42\"", "id=#引号", "#引号", std::nullopt, false, "42"},
      {"id=#引号42#引号", "id=#引号", "#引号", std::nullopt, false, ""},
      {"set-cookie: a=1; path=/", "Set-Cookie:", ";", std::nullopt, true, " a=1"},
      {"set-cookie: a=1; path=/", "Set-Cookie:", ";", std::nullopt, false, ""},
      {"A=1;B", "a=", "b", std::nullopt, true, "1;"},
      // An empty left marker is found at position 1 whatever the start.
      {"ab]cd]", "", "]", std::nullopt, false, "ab"},
      {"ab]cd]", "", "]", 4, false, "ab"},
      {"ab]cd]", "", "]", 7, false, ""},
      {"a[x]", "[", "", std::nullopt, false, ""},
      {"a[x]", "", "", std::nullopt, false, ""},
      // Markers begin only on character boundaries: here "[" is the trail byte of D6 5B.
      {"\xD6[\xD0x]", "[", "]", std::nullopt, false, ""},
      {"中文[值]", "[", "]", std::nullopt, false, "值"},
  };
  for (const BetweenCase& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.ignoreCase).str(), c.result)
        << "'" << c.text << "' between '" << c.left << "' and '" << c.right << "'";
  }
}

TEST(TextBetween, LeavesItsArgumentsUnchanged) {
  const rt::Text text = "k=\"v\"";
  const rt::Text left = "k=#引号";
  const rt::Text right = "#引号";
  EXPECT_EQ(TextBetween(text, left, right).str(), "v");
  EXPECT_EQ(left.str(), "k=#引号");
  EXPECT_EQ(right.str(), "#引号");
}

TEST(TextBetween, CutsAValueOutOfAMultiMegabyteText) {
  std::string reply = "{\"ret\":0,\"data\":{\"speech\":\"";
  reply.append(8 * 1024 * 1024, 'Q');
  reply += "\",\"md5sum\":\"x\"}}";
  const rt::Text text(std::move(reply));
  for (const bool ignoreCase : {false, true}) {
    const auto began = std::chrono::steady_clock::now();
    const rt::Text speech =
        TextBetween(text, "speech#引号:#引号", "#引号", std::nullopt, ignoreCase);
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_LT(took, std::chrono::seconds(3)) << "ignoreCase=" << ignoreCase;
    EXPECT_EQ(speech.size(), 8 * 1024 * 1024);
  }
}

}  // namespace
}  // namespace web

#include "rt/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace rt {
namespace {

// GBK bytes used below: "中" D6 D0, "啊" B0 A1 (its trail byte is half of a full-width
// space), the full-width space A1 A1, full-width digits A3 B0..A3 B9.
constexpr char kZhong[] = "\xD6\xD0";
constexpr char kFullSpace[] = "\xA1\xA1";

std::vector<std::string> Pieces(const TextArray& array) {
  std::vector<std::string> out;
  for (const Text& piece : array) out.push_back(piece.str());
  return out;
}

ByteSet Bytes(const char* data, std::size_t length) { return ByteSet(data, length); }

TEST(TextCutting, CountsBytesAndClipsAtTheEnds) {
  const Text s("abcde");
  EXPECT_EQ(TextLength(s), 5);
  EXPECT_EQ(TextLength(Text(kZhong)), 2);
  EXPECT_EQ(TextLength(Text()), 0);

  struct Case {
    int n;
    const char* left;
    const char* right;
  };
  for (const Case& c : {Case{2, "ab", "de"}, Case{5, "abcde", "abcde"}, Case{9, "abcde", "abcde"},
                        Case{0, "", ""}, Case{-3, "", ""}}) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(LeftText(s, c.n), Text(c.left));
    EXPECT_EQ(RightText(s, c.n), Text(c.right));
  }
  // Cutting by count may split a double-byte character.
  EXPECT_EQ(LeftText(Text("\xD6\xD0\xB0\xA1"), 3), Text("\xD6\xD0\xB0"));
  EXPECT_EQ(RightText(Text("\xD6\xD0\xB0\xA1"), 3), Text("\xD0\xB0\xA1"));
}

TEST(TextCutting, MiddleTextClipsAndRejectsOutOfRangeStarts) {
  struct Case {
    int start, n;
    const char* expected;
  };
  const Text s("abcde");
  for (const Case& c : {Case{2, 3, "bcd"}, Case{4, 10, "de"}, Case{5, 1, "e"}, Case{6, 1, ""},
                        Case{0, 2, ""}, Case{-1, 2, ""}, Case{2, 0, ""}, Case{2, -1, ""}}) {
    SCOPED_TRACE(testing::Message() << c.start << "," << c.n);
    EXPECT_EQ(MiddleText(s, c.start, c.n), Text(c.expected));
  }
  EXPECT_EQ(MiddleText(Text(), 1, 1), Text());
}

TEST(TextCutting, ExcerptEndsOnACharacterAndMarksACut) {
  struct Case {
    const char* text;
    int limit;
    const char* expected;
  };
  for (const Case& c :
       {Case{"abcd", 4, "abcd"}, Case{"abcde", 4, "abcd..."}, Case{"ab\xD6\xD0", 4, "ab\xD6\xD0"},
        Case{"abc\xD6\xD0", 4, "abc..."}, Case{"", 4, ""}, Case{"a", 0, "..."}}) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Excerpt(Text(c.text), c.limit), Text(c.expected));
  }
}

TEST(FindText, NeverMatchesAtATrailByte) {
  // "中" is D6 D0; seeking D0 41 must not match inside the character.
  const Text s("\xD6\xD0\x41\xD0\x41");
  EXPECT_EQ(FindText(s, Text("\xD0\x41")), 4);
  // The trail byte equals the first byte sought and nothing else matches.
  EXPECT_EQ(FindText(Text("\xD6\xD0\x41"), Text("\xD0")), -1);
  EXPECT_EQ(FindText(Text("\xD6\xD0\x41"), Text("\xD0\x41"), 1, true), -1);
}

TEST(FindText, PositionsStartsCaseAndEmptySought) {
  struct Case {
    const char* s;
    const char* sought;
    int start;
    bool ignoreCase;
    int expected;
  };
  const Case cases[] = {
      {"abcabc", "bc", 1, false, 2},
      {"abcabc", "bc", 3, false, 5},
      {"abcabc", "bc", 0, false, 2},  // below 1 counts as 1
      {"abcabc", "bc", -5, false, 2},
      {"abcabc", "bc", 6, false, -1},
      {"abcabc", "bc", 7, false, -1},
      {"abcabc", "x", 1, false, -1},
      {"abc", "abcd", 1, false, -1},
      {"xABC", "abc", 1, false, -1},
      {"xABC", "abc", 1, true, 2},
      {"x\xD6\xD0"
       "A",
       "a", 1, true, 4},
      // Other bytes compare exactly even when ignoring case: 0xC1 is not a letter.
      {"\xC1", "\xE1", 1, true, -1},
      // A start on a trail byte reads that byte as the beginning of a character.
      {"\xD6\xD0\x41", "\xD0\x41", 2, false, 2},
      {"\xD6\xD0\x41", "A", 2, false, -1},
      {"\xD6\xD0\x41", "A", 3, false, 3},
      // An empty sought gives 1 whenever the searched span is non-empty.
      {"abc", "", 1, false, 1},
      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << '"' << c.s << "\" / \"" << c.sought << "\" from " << c.start);
    EXPECT_EQ(FindText(Text(c.s), Text(c.sought), c.start, c.ignoreCase), c.expected);
  }
}

// Long texts, where the search and the boundary walk skip whole words of ASCII: a match is
// found where a byte-by-byte walk of the characters finds it, whatever the alignment.
TEST(FindText, AgreesWithACharacterWalkOnLongTexts) {
  const auto walk = [](const std::string& s, const std::string& sought, int start) {
    for (std::size_t i = static_cast<std::size_t>(start - 1); i + sought.size() <= s.size();
         i += static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size() ? 2 : 1) {
      if (s.compare(i, sought.size(), sought) == 0) return static_cast<int>(i) + 1;
    }
    return -1;
  };
  std::mt19937 random(20);
  const char bytes[] = {'a', 'b', 'A', '\xD6', '\xD0', '\x80'};
  const char* const sought[] = {"A", "bA",
                                "\xD6"
                                "A",
                                "\xD0", "aaaaaaaaab"};
  for (int t = 0; t < 2000; ++t) {
    // Mostly one letter, so that the rare bytes fall at every distance from a match.
    std::string s(random() % 48, 'a');
    for (char& c : s)
      if (random() % 6 == 0) c = bytes[random() % sizeof bytes];
    const std::string what = sought[random() % 5];
    const int start = 1 + static_cast<int>(random() % 4);
    if (start > static_cast<int>(s.size())) continue;
    EXPECT_EQ(FindText(Text(s), Text(what), start), walk(s, what, start))
        << testing::PrintToString(s) << " / " << testing::PrintToString(what) << " from " << start;
  }
}

// Ignoring case folds ASCII letters; the trail byte of a double-byte character compares
// exactly even where its value is a letter's (81 41 and 81 61 are two characters).
TEST(FindText, IgnoringCaseLeavesTrailBytesExact) {
  struct Case {
    const char* s;
    const char* sought;
    int found;
    const char* replaced;  // every occurrence replaced by "-"
  };
  const Case cases[] = {
      {"\x81\x41", "\x81\x61", -1, "\x81\x41"},
      {"\x81\x61", "\x81\x41", -1, "\x81\x61"},
      {"x\x81\x41", "\x81\x41", 2, "x-"},
      {"\xD6\xD0"
       "Ab",
       "\xD6\xD0"
       "aB",
       1, "-"},  // letters after a character still fold
      {"\x81\x41"
       "A\x81\x41"
       "a",
       "\x81\x41"
       "a",
       1, "--"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.s << "\" / \"" << c.sought << '"');
    EXPECT_EQ(FindText(Text(c.s), Text(c.sought), 1, true), c.found);
    EXPECT_EQ(ReplaceText(Text(c.s), Text(c.sought), Text("-"), 1, -1, false), Text(c.replaced));
  }
}

TEST(FindText, DefaultsAreStartOneAndExactCase) { EXPECT_EQ(FindText(Text("aAa"), Text("A")), 2); }

TEST(ReplaceText, CaseFlagNotGivenIgnoresCase) {
  const Text headers("Set-Cookie: a=1\r\nset-cookie: b=2\r\n");
  EXPECT_EQ(ReplaceText(headers, Text("Set-Cookie"), Text("C")), Text("C: a=1\r\nC: b=2\r\n"));
  EXPECT_EQ(ReplaceText(headers, Text("Set-Cookie"), Text("C"), 1, -1, true),
            Text("C: a=1\r\nset-cookie: b=2\r\n"));
}

TEST(ReplaceText, StartCountAndUnchangedCases) {
  struct Case {
    const char* s;
    const char* sought;
    const char* repl;
    int start, count;
    const char* expected;
  };
  const Case cases[] = {
      {"aaaa", "a", "b", 1, -1, "bbbb"},
      {"aaaa", "a", "b", 3, -1, "aabb"},  // the bytes before start are kept
      {"aaaa", "a", "b", 2, 2, "abba"},
      {"aaaa", "a", "b", 0, 1, "baaa"},
      {"aaaa", "a", "", 1, -1, ""},
      {"aaaa", "aa", "a", 1, -1, "aa"},  // replacements are not searched again
      {"abab", "ab", "abab", 1, -1, "abababab"},
      {"aaaa", "a", "b", 1, 0, "aaaa"},   // count 0
      {"aaaa", "a", "b", 5, -1, "aaaa"},  // start beyond the end
      {"aaaa", "", "b", 1, -1, "aaaa"},   // empty sought
      {"", "a", "b", 1, -1, ""},
      {"\xD6\xD0\x41\xD0\x41", "\xD0\x41", "-", 1, -1, "\xD6\xD0\x41-"},  // character boundaries
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.s << "\" " << c.start << "," << c.count);
    EXPECT_EQ(ReplaceText(Text(c.s), Text(c.sought), Text(c.repl), c.start, c.count, true),
              Text(c.expected));
  }
  EXPECT_EQ(ReplaceText(Text("abc"), Text("b")), Text("ac"));  // repl defaults to empty
}

TEST(SplitText, PiecesMaxAndTrailingPiece) {
  struct Case {
    const char* s;
    const char* delimiter;
    int max;  // below -100: not given
    std::vector<std::string> expected;
  };
  constexpr int kNone = -1000;
  const Case cases[] = {
      {"a;;b;", ";", kNone, {"a", "", "b"}},
      {"a;;b", ";", kNone, {"a", "", "b"}},
      {";a", ";", kNone, {"", "a"}},
      {";", ";", kNone, {""}},
      {"abc", ";", kNone, {"abc"}},
      {"a<>b<>c", "<>", kNone, {"a", "b", "c"}},
      {"a;b;c", ";", 2, {"a", "b"}},
      {"a;b;c", ";", 3, {"a", "b", "c"}},
      {"a;b;c", ";", 9, {"a", "b", "c"}},
      {"a;b;c", ";", 0, {}},
      {"a;b;c", ";", -1, {}},
      {"", ";", kNone, {}},
      {"a;b", "", kNone, {"a;b"}},
      // The delimiter D0 inside "中" is a trail byte, not a delimiter.
      {"\xD6\xD0x\xD0y", "\xD0", kNone, {"\xD6\xD0x", "y"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.s << "\" max " << c.max);
    const TextArray pieces = c.max < -100 ? SplitText(Text(c.s), Text(c.delimiter))
                                          : SplitText(Text(c.s), Text(c.delimiter), c.max);
    EXPECT_EQ(Pieces(pieces), c.expected);
  }
  EXPECT_EQ(Pieces(SplitText(Text("x,y"))), (std::vector<std::string>{"x", "y"}));
}

TEST(TextArray, NumbersElementsFromOne) {
  TextArray array = SplitText(Text("p,q"));
  EXPECT_EQ(array.Count(), 2);
  EXPECT_EQ(array.At(1), Text("p"));
  EXPECT_EQ(array.At(2), Text("q"));
  array.At(2) = Text("r");
  EXPECT_EQ(array.At(2), Text("r"));
}

TEST(Blanks, TrimAndRemoveOnlySpacesAndFullWidthSpaces) {
  struct Case {
    std::string s, trimmed, removed;
  };
  const std::string fw = kFullSpace;
  const Case cases[] = {
      {"  ab c  ", "ab c", "abc"},
      {fw + "x" + fw + "y" + fw, "x" + fw + "y", "xy"},
      {"\tx\r", "\tx\r", "\tx\r"},
      {" \tx\r\n ", "\tx\r\n", "\tx\r\n"},
      // The trail byte of "啊" (B0 A1) and the next A1 are not a full-width space.
      {"\xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1"},
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1", "\xB0\xA1\xA1"},
      {fw + fw + " ", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(TrimSpaces(Text(c.s)), Text(c.trimmed));
    EXPECT_EQ(RemoveAllSpaces(Text(c.s)), Text(c.removed));
  }
}

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareText, OrdersBytesWithOptionalCaseFolding) {
  struct Case {
    const char* a;
    const char* b;
    bool caseSensitive;
    int sign;
  };
  const Case cases[] = {
      {"abc", "abc", true, 0},
      {"abc", "ABC", false, 0},
      {"abc", "ABC", true, 1},
      {"ab", "abc", false, -1},
      {"abd", "abc", false, 1},
      {"", "", true, 0},
      {"", "a", true, -1},
      {"\xB0\xA1", "z", true, 1},  // bytes compare unsigned
      {"\xD6\xD0", "\xD6\xD0", false, 0},
      // The trail bytes 41 and 61 are not letters: no folding inside a character.
      {"\x81\x41", "\x81\x61", false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.a << "\" vs \"" << c.b << '"');
    EXPECT_EQ(Sign(CompareText(Text(c.a), Text(c.b), c.caseSensitive)), c.sign);
  }
}

TEST(ToLowerCase, LowersAsciiLettersOnly) {
  EXPECT_EQ(ToLowerCase(Text("AbZ@[\x81\x41Q")), Text("abz@[\x81\x41q"));
  EXPECT_EQ(ToLowerCase(Text()), Text());
}

TEST(CharacterCodes, FromAndAtSigned) {
  EXPECT_EQ(CharFromCode('A'), Text("A"));
  EXPECT_EQ(CharFromCode(0xB0), Text("\xB0"));
  EXPECT_EQ(CharFromCode(0), Text());

  struct Case {
    int pos, expected;
  };
  const Text s("A\xB0\xFF\x80");
  for (const Case& c : {Case{1, 65}, Case{2, -80}, Case{3, -1}, Case{4, -128}, Case{5, 0},
                        Case{0, 0}, Case{-1, 0}}) {
    SCOPED_TRACE(c.pos);
    EXPECT_EQ(CharCodeAt(s, c.pos), c.expected);
  }
  EXPECT_EQ(CharCodeAt(s), 65);
  EXPECT_EQ(CharCodeAt(Text()), 0);
}

TEST(RepeatedTexts, SpacesAndRepeats) {
  EXPECT_EQ(SpaceText(3), Text("   "));
  EXPECT_EQ(SpaceText(0), Text());
  EXPECT_EQ(SpaceText(-2), Text());
  EXPECT_EQ(RepeatText(3, Text("ab")), Text("ababab"));
  EXPECT_EQ(RepeatText(0, Text("ab")), Text());
  EXPECT_EQ(RepeatText(-1, Text("ab")), Text());
  EXPECT_EQ(RepeatText(4, Text()), Text());
}

TEST(ToText, FormatsEachKindOfValue) {
  struct Case {
    Text actual;
    const char* expected;
  };
  const Case cases[] = {
      {ToText(0), "0"},
      {ToText(-42), "-42"},
      {ToText(INT_MIN), "-2147483648"},
      {ToText(static_cast<unsigned char>(200)), "200"},
      {ToText(std::int64_t{-9007199254740993}), "-9007199254740993"},
      {ToText(3.14159265f), "3.14159"},
      {ToText(1e10f), "1e+10"},
      {ToText(0.5f), "0.5"},
      {ToText(1234567890.0), "1234567890"},  // ten digits: no exponent, no point
      {ToText(4294967295.0), "4294967295"},
      {ToText(1.0 / 3.0), "0.3333333333333"},
      {ToText(0.1), "0.1"},
      {ToText(-2.5), "-2.5"},
      {ToText(1e15), "1e+15"},
      {ToText(true), "真"},
      {ToText(false), "假"},
      {ToText(Text("文字")), "文字"},
      {ToText(Bytes("ab\0cd", 5)), "ab"},  // stops at the first zero byte
      {ToText(ByteSet()), ""},
      {ToHexText(255), "FF"},
      {ToHexText(0), "0"},
      {ToHexText(-1), "FFFFFFFF"},
      {ToHexText(0x0ABC), "ABC"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, Text(c.expected));
}

TEST(ToInteger, TruncatesAndReadsTheLeadingNumber) {
  struct Case {
    int actual, expected;
  };
  const Case cases[] = {
      {ToInteger(3.9), 3},
      {ToInteger(-3.9), -3},
      {ToInteger(true), 1},
      {ToInteger(false), 0},
      {ToInteger(Text("123abc")), 123},
      {ToInteger(Text("-42")), -42},
      {ToInteger(Text("0a")), 0},
      {ToInteger(Text("0x1F")), 0},
      {ToInteger(Text("abc")), 0},
      {ToInteger(Text()), 0},
      {ToInteger(Text("12.9")), 12},
      {ToInteger(Text("\xA3\xB1\xA3\xB2\xA3\xB3")), 123},  // full-width 123
      {ToInteger(Text("\xA3\xAD\xA3\xB5"
                      "0")),
       -50},  // full-width minus and 5, then 0
      {ToInteger(Text("\xD6\xD0"
                      "5")),
       0},  // a leading non-digit character
      {ToByte(300), 44},
      {ToByte(-1), 255},
      {ToByte(Text("257")), 1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cases[i].actual, cases[i].expected);
  }
}

TEST(ByteSets, ConversionsAreLittleEndianAndKeepZeroBytes) {
  EXPECT_EQ(ToBytes(std::int32_t{0x01020304}), Bytes("\x04\x03\x02\x01", 4));
  EXPECT_EQ(ToBytes(std::int32_t{-2}), Bytes("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(ToBytes(std::int64_t{0x0102030405060708}),
            Bytes("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
  EXPECT_EQ(ToBytes(1.0), Bytes("\0\0\0\0\0\0\xF0\x3F", 8));
  EXPECT_EQ(ToBytes(Text("ab")), Bytes("ab", 2));  // no terminator
  EXPECT_EQ(ToBytes(Text()), ByteSet());
  const ByteSet zeros = Bytes("\0a\0", 3);
  EXPECT_EQ(ToBytes(zeros), zeros);
  EXPECT_EQ(BytesLength(zeros), 3);
  EXPECT_EQ(BytesLength(ByteSet()), 0);
  EXPECT_EQ(BlankBytes(3), Bytes("\0\0\0", 3));
  EXPECT_EQ(BlankBytes(0), ByteSet());
  EXPECT_EQ(BlankBytes(-4), ByteSet());
  EXPECT_EQ(RepeatBytes(2, zeros), Bytes("\0a\0\0a\0", 6));
  EXPECT_EQ(RepeatBytes(0, zeros), ByteSet());
  EXPECT_EQ(RepeatBytes(-1, zeros), ByteSet());
}

TEST(ByteSets, LeftAndRightClipAndNegativeCountsGiveEmpty) {
  const ByteSet b = Bytes("a\0c", 3);
  struct Case {
    int n;
    ByteSet left, right;
  };
  for (const Case& c : {Case{2, Bytes("a\0", 2), Bytes("\0c", 2)}, Case{3, b, b}, Case{7, b, b},
                        Case{0, ByteSet(), ByteSet()}, Case{-1, ByteSet(), ByteSet()}}) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(BytesLeft(b, c.n), c.left);
    EXPECT_EQ(BytesRight(b, c.n), c.right);
  }
}

TEST(ByteSets, ReplaceComparesExactBytesZeroIncluded) {
  struct Case {
    ByteSet b, sought, repl;
    int start, count;
    ByteSet expected;
  };
  const ByteSet zero = Bytes("\0", 1);
  const ByteSet b = Bytes("a\0b\0c", 5);
  const Case cases[] = {
      {b, zero, ByteSet(), 1, -1, Bytes("abc", 3)},
      {b, zero, Bytes("\0\0", 2), 1, -1, Bytes("a\0\0b\0\0c", 7)},
      {b, zero, Bytes("-", 1), 3, -1, Bytes("a\0b-c", 5)},
      {b, zero, Bytes("-", 1), 1, 1, Bytes("a-b\0c", 5)},
      {b, zero, Bytes("-", 1), 1, 0, b},
      {b, zero, Bytes("-", 1), 6, -1, b},
      {b, ByteSet(), Bytes("-", 1), 1, -1, b},
      {Bytes("aA", 2), Bytes("a", 1), Bytes("-", 1), 1, -1, Bytes("-A", 2)},  // exact case
      // No character boundaries in byte sets: D0 inside D6 D0 matches.
      {Bytes("\xD6\xD0", 2), Bytes("\xD0", 1), Bytes("-", 1), 1, -1, Bytes("\xD6-", 2)},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const Case& c = cases[i];
    EXPECT_EQ(ReplaceBytes(c.b, c.sought, c.repl, c.start, c.count), c.expected);
  }
  EXPECT_EQ(ReplaceBytes(b, zero), Bytes("abc", 3));
}

TEST(ByteSets, ReadBytesDataReadsEachTypeAtAPosition) {
  const ByteSet b = Bytes("\xFF\xFE\xFF\xFF\xFF\x00\x00\x80\x3F", 9);
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kByte).integer, 255);
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kByte, 2).integer, 254);
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kShort).integer, -257);
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kInt, 2).integer, -2);
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kFloat, 6).number, 1.0);
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kInt64, 2).integer, 0x3F800000FFFFFFFE);
  EXPECT_EQ(ReadBytesData(ToBytes(-0.25), BytesDataType::kDouble).number, -0.25);
  // Too few bytes left for the type, or a position outside the set: 0.
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kInt, 7).integer, 0);
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kByte, 10).integer, 0);
  EXPECT_EQ(ReadBytesData(b, BytesDataType::kByte, 0).integer, 0);

  const ByteSet texts = Bytes("xab\0cd", 6);
  EXPECT_EQ(ReadBytesData(texts, BytesDataType::kText, 2).text, Text("ab"));
  EXPECT_EQ(ReadBytesData(texts, BytesDataType::kText, 5).text, Text("cd"));  // up to the end
  EXPECT_EQ(ReadBytesData(texts, BytesDataType::kText, 4).text, Text());
  EXPECT_EQ(ReadTextData(texts), Text("xab"));
  EXPECT_EQ(ReadTextData(texts, 7), Text());
}

TEST(ByteSets, PointerToBytesCopiesMemory) {
  const std::int32_t value = 0x11223344;
  const ByteSet copy = PointerToBytes(&value, 4);
  EXPECT_EQ(copy, ToBytes(value));
  EXPECT_NE(static_cast<const void*>(copy.data()), static_cast<const void*>(&value));
  EXPECT_EQ(PointerToBytes(&value, 0), ByteSet());
  EXPECT_EQ(PointerToBytes(nullptr, 4), ByteSet());
}

TEST(Numbers, BitsShiftsAndDivisions) {
  EXPECT_EQ(BitAnd(0x0F0F, 0x00FF), 0x000F);
  EXPECT_EQ(BitOr(0x0F00, 0x00F0), 0x0FF0);
  struct Shift {
    int v, n, expected;
  };
  for (const Shift& c :
       {Shift{256, 1, 128}, Shift{-8, 1, -4}, Shift{-1, 31, -1}, Shift{INT_MIN, 31, -1},
        Shift{256, 33, 128}, Shift{5, 32, 5}, Shift{-8, 0, -8}}) {
    SCOPED_TRACE(testing::Message() << c.v << " >> " << c.n);
    EXPECT_EQ(ShiftRight(c.v, c.n), c.expected);
  }
  EXPECT_EQ(Power(2, 10), 1024);
  EXPECT_EQ(Power(9, 0.5), 3);
  struct Division {
    int a, b, expected;
  };
  for (const Division& c :
       {Division{7, 2, 3}, Division{-7, 2, -3}, Division{7, -2, -3}, Division{-7, -2, 3},
        Division{1, 3, 0}, Division{INT_MIN, -1, INT_MIN}}) {
    SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
    EXPECT_EQ(IntegerDivide(c.a, c.b), c.expected);
  }
  EXPECT_EQ(Remainder(7.5, 2), 1.5);
  EXPECT_EQ(Remainder(-7.5, 2), -1.5);
}

TEST(TextValue, KeepsTheBytesBeforeAZeroByte) {
  EXPECT_EQ(Text(std::string_view("ab\0c", 4)), Text("ab"));
  EXPECT_EQ(Text(std::string("ab\0c", 4)), Text("ab"));
  // Every place in and across words of eight bytes, a high byte beside it.
  for (std::size_t zero = 0; zero < 20; ++zero) {
    std::string bytes(20, '\x80');
    bytes[zero] = '\0';
    EXPECT_EQ(Text(std::string(bytes)).size(), static_cast<int>(zero));
    EXPECT_EQ(Text(std::string_view(bytes)).size(), static_cast<int>(zero));
  }
  EXPECT_EQ(Text(std::string(20, '\x80')).size(), 20);
  EXPECT_EQ(Text(static_cast<const char*>(nullptr)), Text());
}

}  // namespace
}  // namespace rt

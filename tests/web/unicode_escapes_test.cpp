#include "web/unicode_escapes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace web {
namespace {

struct EscapeCase {
  const char* name;
  const char* input;
  const char* decoded;
};

// Both paths agree on these: the script path through the automation object, and the
// local decoder when a trailing odd backslash leaves the script literal unterminated.
const EscapeCase kBothPaths[] = {
    {"escapes to GBK", "\\u53c2\\u6570", "参数"},
    {"upper and lower hex", "\\u4e2d\\u4E2D", "中中"},
    {"CR LF comes back", "a\r\nb", "a\r\nb"},
    {"the protected form comes back as CR LF", "a{$}b", "a\r\nb"},
    {"apostrophe", "it's", "it's"},
    {"right single quote becomes an apostrophe", "’x", "'x"},
    {"escaped right single quote", "\\u2019x", "'x"},
    {"two-digit escape", "%41%42", "AB"},
    {"percent at the end", "100%", "100%"},
    {"ascii passes", "{\"speech\": \"QUJD\"}", "{\"speech\": \"QUJD\"}"},
    {"a backslash that trails a double-byte character starts no escape", "\x81\x5cu4e2d",
     "\x81\x5cu4e2d"},
    {"every protection at once", "\r'\\u4e2d\r\n'", "'中\r\n'"},
};

TEST(DecodeUnicodeEscapes, ScriptPath) {
  for (const EscapeCase& c : kBothPaths) {
    EXPECT_EQ(DecodeUnicodeEscapes(c.input).str(), c.decoded) << c.name;
  }
}

TEST(DecodeUnicodeEscapes, LocalPathWhenTheScriptLiteralBreaks) {
  for (const EscapeCase& c : kBothPaths) {
    EXPECT_EQ(DecodeUnicodeEscapes(rt::Text(c.input) + "\\").str(), std::string(c.decoded) + "\\")
        << c.name;
  }
}

TEST(DecodeUnicodeEscapes, LineBreakRules) {
  EXPECT_EQ(DecodeUnicodeEscapes("\rabc").str(), "abc");
  EXPECT_EQ(DecodeUnicodeEscapes("\r\nabc").str(), "\r\nabc");
  EXPECT_EQ(DecodeUnicodeEscapes("").str(), "");
}

TEST(DecodeUnicodeEscapes, BackslashesDifferBetweenPaths) {
  // The script resolves the literal's own escapes; the local decoder leaves them.
  EXPECT_EQ(DecodeUnicodeEscapes("a\\/b").str(), "a/b");
  EXPECT_EQ(DecodeUnicodeEscapes("a\\/b\\").str(), "a\\/b\\");
}

TEST(DecodeUnicodeEscapes, LargeReplyStaysFast) {
  const std::string base64(8 * 1024 * 1024, 'Q');
  const rt::Text reply(std::string("{\"data\": {\"speech\": \"") + base64 + "\"}}");
  const auto start = std::chrono::steady_clock::now();
  const rt::Text decoded = DecodeUnicodeEscapes(reply);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(decoded, reply);
  EXPECT_LT(seconds, 20.0) << "8 MB reply";
  std::printf("DecodeUnicodeEscapes: 8 MB in %.0f ms\n", seconds * 1000);
}

struct UnescapeCase {
  const char* input;
  const char* decoded;
};

TEST(PercentUnescape, EscapeForms) {
  const UnescapeCase cases[] = {
      {"%41%42", "AB"},
      {"%u4e2d", "中"},
      {"%u4E2D!", "中!"},
      {"%u0041", "A"},
      {"%uff0c", "，"},        // accepted: four hex digits, not 0
      {"%u0000x", "%u0000x"},  // refused: the "%" stays, the rest passes through
      {"%uzzzzx", "%uzzzzx"},
      {"%u41", "%u41"},  // too short for four digits; "u" is no digit
      {"%4", "%4"},
      {"%", "%"},
      {"中%41文", "中A文"},
      {"", ""},
      // Two bytes are a code only when both are hexadecimal digits.
      {"100% sure", "100% sure"},
      {"%中", "%中"},
      {"%4g%g4", "%4g%g4"},
      {"%%41", "%A"},
  };
  for (const UnescapeCase& c : cases) {
    EXPECT_EQ(PercentUnescape(c.input).str(), c.decoded) << c.input;
  }
}

TEST(HexToInt64, DigitRule) {
  const struct {
    const char* digits;
    std::int64_t value;
  } cases[] = {
      {"", 0},
      {"ff", 255},
      {"FF", 255},
      {"4e2d", 0x4E2D},
      {"7fffffffffffffff", INT64_MAX},
      {"ffffffffffffffff", -1},
      {"8000000000000000", INT64_MIN},
      {"123456789abcdef01234", 0x56789ABCDEF01234},
      {"g", 16},
  };
  for (const auto& c : cases) EXPECT_EQ(HexToInt64(c.digits), c.value) << c.digits;
}

}  // namespace
}  // namespace web

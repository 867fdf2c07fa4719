#include "web/base64.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iostream>
#include <random>
#include <string>

#include "common/bytes.h"
#include "rt/events.h"

namespace web {
namespace {

using test_common::Base64Encode;

struct DecodeCase {
  const char* name;
  std::string encoded;
  std::string bytes;
  std::string cleaned;
};

const DecodeCase kDecodeCases[] = {
    {"empty", "", "", ""},
    {"blanks and line breaks only", " \r\n  \r\n", "", ""},
    {"full group", "TWFu", "Man", "TWFu"},
    {"one pad", "TWE=", "Ma", "TWE="},
    {"two pads", "TQ==", "M", "TQ=="},
    {"several groups", "TWFuIGlzIGRp", "Man is di", "TWFuIGlzIGRp"},
    {"blanks and CR LF anywhere", " TW Fu\r\nTW\r\nE= ", "ManMa", "TWFuTWE="},
    {"full-width blank",
     "TW\xA1\xA1"
     "Fu",
     "Man", "TWFu"},
    {"CR LF made by removing a blank", "TW\r \nFu", "Man", "TWFu"},
    {"four characters 4m+3", "TWE", std::string("Ma\0", 3), "TWE"},
    {"four characters 4m+2", "TQ", std::string("M\0\0", 3), "TQ"},
    {"4m+1: the last character and three A", "TWFuT", std::string("ManL\0\0", 6), "TWFuT"},
    // Outside the alphabet mid-text: the group still yields three bytes, made of the
    // character's own value and what the entries held, and the next group starts four on.
    {"lone LF mid-text", "TW\nFuTWFu", std::string("\x4D\x62\x80\xB9\x35\x85\xB8\0\0", 9),
     "TW\nFuTWFu"},
    {"tab mid-text", "TW\tFTWFu", "\x4D\x62\x40Man", "TW\tFTWFu"},
    {"entries carry over from the previous group", "TWFuQ=AAAAAA",
     std::string("Man\x43\xD1\x6E\0\0\0", 9), "TWFuQ=AAAAAA"},
    {"padded group before the last", "TWE=TWFu", "Ma=Man", "TWE=TWFu"},
    {"URL-safe underscore", "T_FuTWFu", std::string("\x4D\xF0\0Man", 6), "T_FuTWFu"},
    {"URL-safe hyphen ends the last group", "TW-u", "M", "TW-u"},
    {"high bytes are outside", "TW\xB0\xA1", "M", "TW\xB0\xA1"},
    {"lone CR stays", "TWFu\r", "Man", "TWFu\r"},
    // A last group that ends at its first character yields nothing and keeps what the
    // groups before it gave.
    {"four pads after a full group", "TWFu====", "Man", "TWFu===="},
    {"one pad after a full group", "TWFu=", "Man", "TWFu="},
    {"lone LF after a full group", "TWFu\n", "Man", "TWFu\n"},
    {"only pads", "====", "", "===="},
};

TEST(Base64Decode, DecodesAndStoresTheCleanedText) {
  for (const DecodeCase& c : kDecodeCases) {
    rt::Text encoded(c.encoded);
    const rt::ByteSet bytes = Base64Decode(encoded);
    EXPECT_EQ(bytes.str(), c.bytes) << c.name;
    EXPECT_EQ(encoded.str(), c.cleaned) << c.name;
  }
}

struct TrimCase {
  std::string encoded;
  std::string bytes;
};

TEST(Base64Decode, TrimZerosRemovesEveryTrailingZeroByte) {
  const TrimCase cases[] = {
      {"TQ", "M"},
      {"TWE", "Ma"},
      {"QQAA", "A"},                    // zero bytes of the data go too
      {"AAAA", ""},                     // only zero bytes
      {"AEEA", std::string("\0A", 2)},  // leading zero bytes stay
      {"TWFu", "Man"},                  // nothing to trim
  };
  for (const TrimCase& c : cases) {
    rt::Text encoded(c.encoded);
    EXPECT_EQ(Base64Decode(encoded, true).str(), c.bytes) << c.encoded;
  }
  rt::Text unpadded("TQ");
  EXPECT_EQ(Base64Decode(unpadded, false).str(), std::string("M\0\0", 3));
}

TEST(Base64Decode, PumpsMessagesAfterEveryGroup) {
  const struct {
    const char* encoded;
    long long groups;
  } cases[] = {{"", 0}, {"TWFu", 1}, {"TWFuTWE=", 2}, {"TWFuT", 2}, {"TWFu\r\nTWFu TWFu", 3}};
  for (const auto& c : cases) {
    rt::Text encoded(c.encoded);
    const long long before = rt::ProcessEventsCallCount();
    Base64Decode(encoded);
    EXPECT_EQ(rt::ProcessEventsCallCount() - before, c.groups) << c.encoded;
  }
}

TEST(Base64Decode, RoundTripsRandomBytesOfManyLengths) {
  std::mt19937 random(20240607);
  for (std::size_t length = 0; length < 300; ++length) {
    std::string bytes(length, '\0');
    for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
    for (const std::size_t lineLength : {std::size_t{0}, std::size_t{76}}) {
      rt::Text encoded(Base64Encode(bytes, lineLength));
      EXPECT_EQ(Base64Decode(encoded).str(), bytes)
          << "length " << length << " line length " << lineLength;
    }
  }
}

TEST(Base64Decode, DecodesTenMegabytesInLinearTime) {
  std::mt19937 random(7);
  std::string bytes(7500000, '\0');
  for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
  const std::string text = Base64Encode(bytes, 76) + "\r\n";
  rt::Text encoded(text);
  const auto start = std::chrono::steady_clock::now();
  const rt::ByteSet decoded = Base64Decode(encoded);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "Base64Decode: " << text.size() / 1e6 << " MB in " << seconds << " s ("
            << text.size() / 1e6 / seconds << " MB/s)\n";
  EXPECT_TRUE(decoded.str() == bytes);
  // Anything quadratic takes minutes on this size.
  EXPECT_LT(seconds, 5.0);
}

TEST(IsWellFormedBase64, AcceptsWhatAnEncoderWritesAndNothingElse) {
  const struct {
    std::string text;
    bool wellFormed;
  } cases[] = {
      {"", true},
      {"TWFu", true},
      {"TWE=", true},
      {"TQ==", true},
      {"TWFuTWFuTQ==", true},
      {" TW Fu\r\nTQ\r\n== ", true},  // blanks and CR LF anywhere, even among the pads
      {"TW\xA1\xA1\x46u", true},
      {"TW\r \nFu", true},  // the blank goes first, and then the CR LF it stood in
      {"TWF", false},       // cut inside a group
      {"TWFuT", false},
      {"T===", false},      // three pads
      {"TQ==TWFu", false},  // data after the pads
      {"TW=u", false},
      {"TW\nFu", false},  // a lone LF
      {"TW\rFu", false},  // a lone CR
      {"TWFu\r", false},
      {"TW\tFu", false},
      {"T_Fu", false},  // the URL-safe alphabet
      {"T-Fu", false},
      {"TW\xA1\x46u", false},  // half a full-width blank
      {"TW\xB0\xA1", false},
      {"====", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWellFormedBase64(rt::Text(c.text)), c.wellFormed) << c.text;
  }
  // The common shape, megabytes of the alphabet and two pads, and one byte wrong in it.
  std::string large(3 * 1024 * 1024 + 2, 'Q');
  large += "==";
  EXPECT_TRUE(IsWellFormedBase64(rt::Text(large)));
  large[large.size() / 2] = '=';
  EXPECT_FALSE(IsWellFormedBase64(rt::Text(large)));
}

TEST(TrimTrailingZeroBytes, RemovesOnlyTheZeroBytesAtTheEnd) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {std::string("\x41\0\0", 3), "\x41"},
      {std::string("\0\x41", 2), std::string("\0\x41", 2)},
      {std::string("\0\0\0", 3), ""},
      {std::string("a\0b\0", 4), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    const rt::ByteSet in(c.in);
    EXPECT_EQ(TrimTrailingZeroBytes(in).str(), c.out);
    EXPECT_EQ(in.str(), c.in);
  }
}

}  // namespace
}  // namespace web

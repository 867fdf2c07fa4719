#include "web/digest.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <wincrypt.h>

#include <string>

namespace web {
namespace {

struct Md5Vector {
  const char* input;
  const char* digest;
};

// RFC 1321, appendix A.5.
const Md5Vector kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
     "0",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Hex, MatchesTheRfcVectors) {
  for (const Md5Vector& v : kRfc1321) {
    EXPECT_EQ(Md5Hex(rt::ToBytes(rt::Text(v.input))).str(), v.digest) << "input: " << v.input;
  }
}

TEST(Md5Hex, CaseAndShortForms) {
  const rt::ByteSet abc = rt::ToBytes(rt::Text("abc"));
  EXPECT_EQ(Md5Hex(abc, true).str(), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Md5Hex(abc, false, true).str(), "3cd24fb0d6963f7d");
  EXPECT_EQ(Md5Hex(abc, true, true).str(), "3CD24FB0D6963F7D");
}

TEST(Md5Hex, HashesBinaryBytesUnaltered) {
  // Zero bytes are data; no terminator is added and no conversion is made.
  const rt::ByteSet bytes(std::string("a\0b", 3));
  EXPECT_EQ(Md5Hex(bytes).str(), "70350f6027bce3713f6b76473084309b");
  EXPECT_EQ(Md5Hex(rt::ToBytes(rt::Text("中"))).str(), Md5Hex(rt::ByteSet("\xD6\xD0", 2)).str());
}

TEST(Md5Hex, HashesAMultiMegabyteInput) {
  const rt::ByteSet million(std::string(1000000, 'a'));
  EXPECT_EQ(Md5Hex(million).str(), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(CryptHashHex, DigestBufferSize) {
  const rt::ByteSet abc = rt::ToBytes(rt::Text("abc"));
  EXPECT_EQ(CryptHashHex(abc, CALG_MD5, 20).str(), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(CryptHashHex(abc, CALG_MD5, 8).str(), "");
  EXPECT_EQ(CryptHashHex(abc, CALG_SHA1, 20).str(), "A9993E364706816ABA3E25717850C26C9CD0D89D");
}

}  // namespace
}  // namespace web

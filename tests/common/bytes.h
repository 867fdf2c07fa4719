// Bytes that tests compare against or send, made without the code under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "rt/text.h"
#include "rt/wide.h"

namespace test_common {

// Every byte but letters, digits, "-" and "." as "%" and two upper-case hexadecimal digits:
// the client's text field as it travels, and a query value that any server decodes.
inline std::string PercentEncode(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    const bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      c == '-' || c == '.';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// Standard padded base64 (RFC 4648), broken into CR LF lines of lineLength characters when one
// is given.
inline std::string Base64Encode(const std::string& bytes, std::size_t lineLength = 0) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    std::uint32_t word = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (left > 1) word |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (left > 2) word |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[word >> 18 & 63];
    out += kAlphabet[word >> 12 & 63];
    out += left > 1 ? kAlphabet[word >> 6 & 63] : '=';
    out += left > 2 ? kAlphabet[word & 63] : '=';
    if (lineLength != 0 && (i / 3 + 1) * 4 % lineLength == 0) out += "\r\n";
  }
  return out;
}

// The whole content of the file at a GBK path; empty when it cannot be read.
inline std::string ReadAll(const rt::Text& path) {
  std::ifstream in(rt::WidenGbk(path).c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace test_common

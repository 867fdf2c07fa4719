// Bytes that tests compare against or send, made without the code under test.
#pragma once

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

// The whole content of the file at a GBK path; empty when it cannot be read.
inline std::string ReadAll(const rt::Text& path) {
  std::ifstream in(rt::WidenGbk(path).c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace test_common

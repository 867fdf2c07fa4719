#include "web/url_encode.h"

#include <string>

#include "web/code_pages.h"

namespace web {
namespace {

// Hyphen, full stop, digits and ASCII letters: the only bytes that may pass unencoded.
bool IsUnreserved(unsigned char b) {
  return (b >= 0x2D && b <= 0x2E) || (b >= 0x30 && b <= 0x39) || (b >= 0x41 && b <= 0x5A) ||
         (b >= 0x61 && b <= 0x7A);
}

}  // namespace

rt::Text UrlEncode(const rt::Text& source, bool keepUnreserved, bool utf8) {
  if (source.empty()) return rt::Text();
  const rt::Text bytes = utf8 ? GbkToUtf8(source) : source;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.str().size() * 3);
  for (const char ch : bytes.str()) {
    const auto b = static_cast<unsigned char>(ch);
    if (keepUnreserved && IsUnreserved(b)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return rt::Text(std::move(out));
}

}  // namespace web

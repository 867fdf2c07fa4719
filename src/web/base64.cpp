#include "web/base64.h"

#include <array>
#include <cstdint>
#include <string>

#include "rt/events.h"

namespace web {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kOutside = 0xFF;

// The value of every byte in the alphabet, kOutside for the rest.
constexpr std::array<std::uint8_t, 256> MakeValues() {
  std::array<std::uint8_t, 256> values{};
  for (auto& v : values) v = kOutside;
  for (int i = 0; i < 64; ++i)
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  return values;
}
constexpr std::array<std::uint8_t, 256> kValues = MakeValues();

// What each byte is to the scans: in the alphabet, the pad, a byte that makes the clean-up
// take something out (a blank, CR, the lead byte of a full-width blank), or anything else.
enum : std::uint8_t { kInAlphabet = 1, kPad = 2, kRemovable = 4, kOther = 8 };

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) classes[c] = kValues[c] == kOutside ? kOther : kInAlphabet;
  classes['='] = kPad;
  classes[' '] = classes['\r'] = classes[0xA1] = kRemovable;
  return classes;
}
constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

// The classes of the first n bytes of s, or-ed together.
std::uint8_t ClassesIn(const std::string& s, std::size_t n) {
  std::uint8_t seen = 0;
  for (std::size_t i = 0; i < n; ++i) seen |= kClasses[static_cast<unsigned char>(s[i])];
  return seen;
}

// The text as the decoder reads it: without blanks (ASCII and full-width), then without CR LF
// pairs. Only a blank, a full-width blank or a CR can change it, so a clean text is not copied.
bool NeedsCleaning(const std::string& s) { return ClassesIn(s, s.size()) & kRemovable; }
rt::Text Cleaned(const rt::Text& encoded) {
  return rt::ReplaceText(rt::RemoveAllSpaces(encoded), "\r\n", rt::Text(), 1, -1, true);
}

}  // namespace

void CleanBase64(rt::Text& encoded) {
  if (NeedsCleaning(encoded.str())) encoded = Cleaned(encoded);
}

rt::ByteSet Base64Decode(rt::Text& encoded, bool trimZeros) {
  CleanBase64(encoded);

  const auto* text = reinterpret_cast<const unsigned char*>(encoded.str().data());
  const std::size_t n = encoded.str().size();
  const std::size_t groups = (n + 3) / 4;
  std::string out(groups * 3, '\0');
  auto* o = reinterpret_cast<unsigned char*>(&out[0]);
  // The entries carry over between groups: an early end leaves the later ones as they were.
  unsigned e[4] = {0, 0, 0, 0};
  int lastEnd = 0;  // where the last group ended early (1 to 4), 0 when it was complete
  for (std::size_t g = 0; g < groups;) {
    // Whole groups in the alphabet, four characters at a time.
    const std::size_t first = g;
    for (; g * 4 + 4 <= n; ++g, o += 3) {
      const unsigned char* q = text + g * 4;
      const std::uint32_t a = kValues[q[0]], b = kValues[q[1]], c = kValues[q[2]],
                          d = kValues[q[3]];
      if ((a | b | c | d) & 0x80) break;
      const std::uint32_t v = a << 18 | b << 12 | c << 6 | d;
      o[0] = static_cast<unsigned char>(v >> 16);
      o[1] = static_cast<unsigned char>(v >> 8);
      o[2] = static_cast<unsigned char>(v);
      rt::ProcessEvents();
    }
    lastEnd = 0;
    if (g > first) {
      for (int k = 0; k < 4; ++k) e[k] = kValues[text[(g - 1) * 4 + static_cast<std::size_t>(k)]];
    }
    if (g == groups) break;
    // A group with a character outside the alphabet, or the last one, short of characters.
    for (std::size_t k = 0; k < 4; ++k) {
      // A position past the end of the text counts as "A".
      const unsigned c = g * 4 + k < n ? text[g * 4 + k] : 'A';
      if (kValues[c] == kOutside) {
        e[k] = c;
        lastEnd = static_cast<int>(k) + 1;
        break;
      }
      e[k] = kValues[c];
    }
    o[0] = static_cast<unsigned char>(e[0] << 2 | e[1] >> 4);
    o[1] = static_cast<unsigned char>(e[1] << 4 | e[2] >> 2);
    o[2] = static_cast<unsigned char>(e[2] << 6 | e[3]);
    rt::ProcessEvents();
    ++g;
    o += 3;
  }
  // An early end keeps k - 2 bytes of the last group; ending at its first character keeps
  // none of it and takes nothing from the groups before.
  if (lastEnd != 0) {
    const std::size_t cut = lastEnd == 1 ? 3 : static_cast<std::size_t>(5 - lastEnd);
    out.resize(out.size() - cut);
  }
  rt::ByteSet result(std::move(out));
  if (trimZeros) return TrimTrailingZeroBytes(result);
  return result;
}

rt::ByteSet TrimTrailingZeroBytes(const rt::ByteSet& bytes) {
  const std::string& s = bytes.str();
  const std::size_t last = s.find_last_not_of('\0');
  return rt::ByteSet(last == std::string::npos ? std::string() : s.substr(0, last + 1));
}

bool IsWellFormedBase64(const rt::Text& text) {
  // Judged as the decoder will read it, so what its clean-up takes out may stand anywhere.
  const bool cleaning = NeedsCleaning(text.str());
  const rt::Text cleaned = cleaning ? Cleaned(text) : rt::Text();
  const std::string& s = cleaning ? cleaned.str() : text.str();
  std::size_t body = s.size();
  while (body > 0 && s[body - 1] == '=') --body;
  return s.size() - body <= 2 && (ClassesIn(s, body) & ~kInAlphabet) == 0 && s.size() % 4 == 0;
}

}  // namespace web

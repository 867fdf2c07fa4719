#include "web/base64.h"

#include <array>
#include <string>

#include "rt/events.h"

namespace web {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kOutside = -1;

// The value of every byte in the alphabet, kOutside for the rest. Byte 0 stands for a
// position past the end of the text, which counts as "A".
constexpr std::array<int, 256> MakeValues() {
  std::array<int, 256> values{};
  for (int& v : values) v = kOutside;
  for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(kAlphabet[i])] = i;
  values[0] = 0;
  return values;
}
constexpr std::array<int, 256> kValues = MakeValues();

}  // namespace

rt::ByteSet Base64Decode(rt::Text& encoded, bool trimZeros) {
  // Only a blank, a full-width blank (A1 A1) or a CR can change the text: skip the copies of
  // megabytes of clean text.
  if (encoded.str().find_first_of(" \r\xA1") != std::string::npos) {
    encoded = rt::RemoveAllSpaces(encoded);
    encoded = rt::ReplaceText(encoded, "\r\n", rt::Text(), 1, -1, true);
  }

  const std::string& text = encoded.str();
  const std::size_t n = text.size();
  const std::size_t groups = (n + 3) / 4;
  std::string out(groups * 3, '\0');
  // The entries carry over between groups: an early end leaves the later ones as they were.
  int e[4] = {0, 0, 0, 0};
  int lastEnd = 0;  // where the last group ended early (1 to 4), 0 when it was complete
  for (std::size_t g = 0; g < groups; ++g) {
    lastEnd = 0;
    for (int k = 0; k < 4; ++k) {
      const std::size_t at = g * 4 + static_cast<std::size_t>(k);
      const unsigned char c = at < n ? static_cast<unsigned char>(text[at]) : 0;
      const int value = kValues[c];
      if (value == kOutside) {
        e[k] = c;
        lastEnd = k + 1;
        break;
      }
      e[k] = value;
    }
    out[g * 3] = static_cast<char>((e[0] << 2 | e[1] >> 4) & 0xFF);
    out[g * 3 + 1] = static_cast<char>((e[1] << 4 | e[2] >> 2) & 0xFF);
    out[g * 3 + 2] = static_cast<char>((e[2] << 6 | e[3]) & 0xFF);
    rt::ProcessEvents();
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

}  // namespace web

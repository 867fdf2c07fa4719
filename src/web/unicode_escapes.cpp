#include "web/unicode_escapes.h"

#include <cstdint>
#include <string>

#include "rt/com_object.h"
#include "web/code_pages.h"
#include "web/regex_matcher.h"

namespace web {
namespace {

// Stand-ins for what a one-line apostrophe-delimited script literal cannot hold.
constexpr char kLineBreak[] = "\r\n";
constexpr char kLineBreakForm[] = "{$}";
constexpr char kApostrophe[] = "'";
constexpr char kApostropheForm[] = "’";

// Replaces in place; a text without the sought bytes is left alone rather than copied, which
// matters for a reply of megabytes.
void ReplaceEvery(rt::Text& s, const char* sought, const char* repl) {
  if (s.str().find(sought) != std::string::npos) s = rt::ReplaceText(s, sought, repl, 1, -1, true);
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A %u group is a code when it is four hexadecimal digits of a value other than 0.
bool IsCodeGroup(const std::string& s, std::size_t at) {
  bool nonZero = false;
  for (std::size_t k = at; k < at + 4; ++k) {
    if (!IsHexDigit(s[k])) return false;
    nonZero = nonZero || s[k] != '0';
  }
  return nonZero;
}

// The code page 936 form of the character with code v (the empty text for 0).
rt::Text CharacterFor(std::int64_t v) { return WideToAnsi(rt::ToBytes(v)); }

rt::Text RunScriptUnescape(const rt::Text& protectedText) {
  rt::ComObject script;
  rt::CreateComObject(script, "ScriptControl");
  rt::ComSetProperty(script, "Language", "JScript");
  static const char head[] = "function xx(){var x='";
  static const char tail[] = "';return unescape(x);}";
  std::string statement;
  statement.reserve(sizeof head + protectedText.str().size() + sizeof tail);
  statement.append(head).append(protectedText.str()).append(tail);
  rt::ComCallNumberMethod(script, "ExecuteStatement", {rt::Text(std::move(statement))});
  // Some script hosts refuse Run with the procedure name alone; every host takes the
  // name followed by an empty parameter array.
  rt::ComVariant noParameters;
  rt::VariantSetEmptyArray(noParameters);
  rt::Text r = rt::ComCallTextMethod(script, "Run", {"xx", noParameters});
  rt::ObjectClear(script);
  return r;
}

}  // namespace

rt::Text DecodeUnicodeEscapes(const rt::Text& s) {
  rt::Text t = s;
  ReplaceEvery(t, kLineBreak, kLineBreakForm);
  if (!t.empty() && t.str()[0] == '\r') t = rt::Text(std::string_view(t.str()).substr(1));
  ReplaceEvery(t, "\\u", "%u");
  ReplaceEvery(t, kApostrophe, kApostropheForm);

  ComInit();
  rt::Text r = RunScriptUnescape(t);
  if (rt::TextLength(r) == 0) r = PercentUnescape(t);
  ComUninit();

  ReplaceEvery(r, kApostropheForm, kApostrophe);
  ReplaceEvery(r, kLineBreakForm, kLineBreak);
  return r;
}

rt::Text PercentUnescape(const rt::Text& s) {
  const std::string& src = s.str();
  const std::size_t n = src.size();
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (src[i] != '%') {
      out += src[i];
      continue;
    }
    if (i + 1 < n && src[i + 1] == 'u' && i + 5 < n) {
      if (IsCodeGroup(src, i + 2)) {
        out += CharacterFor(HexToInt64(rt::Text(src.substr(i + 2, 4)))).str();
        i += 5;
      } else {
        out += '%';
      }
    } else if (i + 2 < n) {
      out += CharacterFor(HexToInt64(rt::Text(src.substr(i + 1, 2)))).str();
      i += 2;
    } else {
      out += '%';
    }
  }
  return rt::Text(std::move(out));
}

std::int64_t HexToInt64(const rt::Text& digits) {
  const std::string padded = std::string(16, '0') + digits.str();
  const std::string last16 = padded.substr(padded.size() - 16);
  // No validation: any byte counts with the value that its range gives it, modulo 2^32.
  const auto digit = [](char ch) {
    const auto x = static_cast<unsigned char>(ch);
    return static_cast<std::uint32_t>(x >= 0x61 ? x - 87 : x >= 0x41 ? x - 55 : x - 48);
  };
  std::uint32_t high = 0;
  std::uint32_t low = 0;
  for (int k = 0; k < 8; ++k) high = high * 16u + digit(last16[static_cast<std::size_t>(k)]);
  for (int k = 8; k < 16; ++k) low = low * 16u + digit(last16[static_cast<std::size_t>(k)]);
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(high) << 32 | low);
}

}  // namespace web

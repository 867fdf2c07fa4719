#include "web/unicode_escapes.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "rt/byte_scan.h"
#include "rt/com_object.h"
#include "rt/handle_owners.h"
#include "web/code_pages.h"

namespace web {
namespace {

// Stand-ins for what a one-line apostrophe-delimited script literal cannot hold.
constexpr char kLineBreak[] = "\r\n";
constexpr char kLineBreakForm[] = "{$}";
constexpr char kApostrophe[] = "'";
constexpr char kApostropheForm[] = "’";

// Replaces every occurrence; a text without the sought bytes is left alone rather than copied,
// which matters for a reply of megabytes.
void ReplaceEvery(rt::Text& s, const char* sought, const char* repl) {
  if (s.str().find(sought) != std::string::npos) s = rt::ReplaceText(s, sought, repl, 1, -1, true);
}

// Bytes at which the protective walk must look: CR, backslash, apostrophe and every byte from
// 0x80 up (a double-byte character, stepped over whole). Eight bytes at a time: true when the
// word holds one.
bool HoldsStop(std::uint64_t word) {
  using namespace rt::byte_scan;
  return (word & kHighs) != 0 || HoldsByte(word, '\r') || HoldsByte(word, '\\') ||
         HoldsByte(word, '\'');
}

std::size_t NextStop(const std::string& s, std::size_t i) {
  const std::size_t n = s.size();
  while (i + 8 <= n && !HoldsStop(rt::byte_scan::WordAt(s.data() + i))) i += 8;
  for (; i < n; ++i) {
    const char c = s[i];
    if (c == '\r' || c == '\\' || c == kApostrophe[0] || static_cast<unsigned char>(c) >= 0x80)
      break;
  }
  return i;
}

// Hands the protected form of s to `emit` piece by piece: CR LF as "{$}", a CR that is the
// very first byte dropped, "\u" as "%u" and "'" as "’". One walk over the characters makes
// the same text as the four rewrites one after another: none of them makes or breaks a match
// of another, and each keeps the character boundaries of the rest.
template <typename Emit>
void ForEachProtectedPiece(const std::string& s, Emit emit) {
  const std::size_t n = s.size();
  std::size_t plain = 0;  // start of the bytes not yet handed over
  std::size_t i = 0;
  const auto replace = [&](std::size_t length, const char* form, std::size_t formLength) {
    emit(s.data() + plain, i - plain);
    emit(form, formLength);
    i += length;
    plain = i;
  };
  while ((i = NextStop(s, i)) < n) {
    const char c = s[i];
    if (c == '\r' && i + 1 < n && s[i + 1] == '\n') {
      replace(2, kLineBreakForm, sizeof kLineBreakForm - 1);
    } else if (c == '\r' && i == 0) {
      replace(1, "", 0);
    } else if (c == '\\' && i + 1 < n && s[i + 1] == 'u') {
      replace(2, "%u", 2);
    } else if (c == kApostrophe[0]) {
      replace(1, kApostropheForm, sizeof kApostropheForm - 1);
    } else {
      i += static_cast<unsigned char>(c) >= 0x80 && i + 1 < n ? 2 : 1;
    }
  }
  emit(s.data() + plain, n - plain);
}

// The protected form of s, in one allocation of the exact size: the local decoder's input.
std::string Protected(const std::string& s) {
  std::size_t size = 0;
  ForEachProtectedPiece(s, [&](const char*, std::size_t length) { size += length; });
  std::string out;
  out.reserve(size);
  ForEachProtectedPiece(s,
                        [&](const char* piece, std::size_t length) { out.append(piece, length); });
  return out;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A %u group is a code when it is four hexadecimal digits of a value other than 0; a %XY
// group when both are hexadecimal digits. Anything else leaves the "%" as it stands, as in
// "100% sure" or a "%" before a Chinese character.
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

// unescape() of the protected s through the script object; the empty text when it fails.
rt::Text RunScriptUnescape(const rt::Text& s) {
  rt::ComObject script;
  rt::CreateComObject(script, "ScriptControl");
  rt::ComSetProperty(script, "Language", "JScript");
  // The statement lives for this call only: it is gone before the engine makes its result.
  rt::ComCallNumberMethod(script, "ExecuteStatement", {ScriptStatement(s)});
  // Some script hosts refuse Run with the procedure name alone; every host takes the
  // name followed by an empty parameter array.
  rt::ComVariant noParameters;
  rt::VariantSetEmptyArray(noParameters);
  const rt::ComVariant result = rt::ComCallVariantMethod(script, "Run", {"xx", noParameters});
  // The engine's copies of the script go with the object, before the result is converted.
  rt::ObjectClear(script);
  return rt::VariantToText(result);
}

}  // namespace

// The protected text goes straight into the string that the engine receives: it is never made
// whole in GBK.
rt::ComVariant ScriptStatement(const rt::Text& s) {
  return rt::StringVariant([&](rt::Widening& statement) {
    statement.Append("function xx(){var x='");
    ForEachProtectedPiece(s.str(), [&](const char* piece, std::size_t length) {
      statement.Append(std::string_view(piece, length));
    });
    statement.Append("';return unescape(x);}");
  });
}

rt::Text DecodeUnicodeEscapes(const rt::Text& s) {
  rt::Text r;
  {
    const rt::ScopedComInit com;
    r = RunScriptUnescape(s);
    if (rt::TextLength(r) == 0) r = PercentUnescape(rt::Text(Protected(s.str())));
  }

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
    } else if (i + 2 < n && IsHexDigit(src[i + 1]) && IsHexDigit(src[i + 2])) {
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

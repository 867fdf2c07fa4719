// The floors of reply decoding: each step written plainly with the least work it can do here,
// so that a benchmark prints what the step could reach beside what it takes. The script
// engine's own work (ExecuteStatement and Run) is fixed by the routine's design and is timed
// alone; around it come one pass into the statement's UTF-16, one pass back to GBK, a fused
// scan for the member, table scans for base64 and a table-driven decoder that still pumps
// messages once per group. The results are the routine's, byte for byte, on every reply the
// benchmarks make (they say so when they run).
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <oleauto.h>

#include <array>
#include <cstdint>
#include <string>

#include "bench_common.h"
#include "rt/com_object.h"
#include "rt/events.h"
#include "rt/handle_owners.h"

namespace floors {

// Appends the UTF-16 form of a run of GBK double-byte characters.
inline wchar_t* WidenRun(const char* run, std::size_t length, wchar_t* out) {
  if (length == 0) return out;
  const int units =
      ::MultiByteToWideChar(936, 0, run, static_cast<int>(length), out, static_cast<int>(length));
  return out + (units > 0 ? units : 0);
}

// Bytes that the statement pass cannot copy as they are.
constexpr std::array<bool, 256> MakeStatementStops() {
  std::array<bool, 256> stop{};
  for (int c = 0x80; c < 256; ++c) stop[c] = true;
  stop['\r'] = stop['\\'] = stop['\''] = true;
  return stop;
}
inline constexpr std::array<bool, 256> kStatementStops = MakeStatementStops();

// The end of the run of double-byte characters that starts at i (a lead byte at the very end
// stands alone).
inline std::size_t RunEnd(const unsigned char* in, std::size_t i, std::size_t n) {
  std::size_t end = i;
  while (end + 1 < n && in[end] >= 0x80) end += 2;
  return end == i ? n : end;
}

// The statement's protected form of s in UTF-16, written by `put` unit by unit and run by run:
// ASCII bytes widen as they are, runs of double-byte characters go through the code page, and
// the protective rewrites (CR LF as "{$}", a leading CR dropped, "\u" as "%u", "'" as "’")
// happen on the way.
template <typename Unit, typename Run>
void ForEachStatementPiece(const std::string& s, Unit unit, Run run) {
  const std::size_t n = s.size();
  const auto* in = reinterpret_cast<const unsigned char*>(s.data());
  for (std::size_t i = 0; i < n;) {
    while (i < n && !kStatementStops[in[i]]) unit(static_cast<wchar_t>(in[i++]));
    if (i >= n) break;
    const unsigned char c = in[i];
    if (c >= 0x80) {
      const std::size_t end = RunEnd(in, i, n);
      run(s.data() + i, end - i);
      i = end;
    } else if (c == '\r' && i + 1 < n && in[i + 1] == '\n') {
      unit(L'{');
      unit(L'$');
      unit(L'}');
      i += 2;
    } else if (c == '\r' && i == 0) {
      i += 1;
    } else if (c == '\\' && i + 1 < n && in[i + 1] == 'u') {
      unit(L'%');
      unit(L'u');
      i += 2;
    } else {
      unit(c == '\'' ? L'\x2019' : static_cast<wchar_t>(c));
      i += 1;
    }
  }
}

// The statement the routine hands the engine, written in one pass straight into a BSTR of the
// exact size, which a read-only walk counts first: fresh memory is what a large text costs
// most here, so nothing is allocated twice.
inline rt::ComVariant StatementVariant(const std::string& s) {
  static const wchar_t head[] = L"function xx(){var x='";
  static const wchar_t tail[] = L"';return unescape(x);}";
  const std::size_t headLength = sizeof head / sizeof head[0] - 1;
  const std::size_t tailLength = sizeof tail / sizeof tail[0] - 1;
  std::size_t units = headLength + tailLength;
  ForEachStatementPiece(
      s, [&](wchar_t) { ++units; },
      [&](const char* run, std::size_t length) {
        units += static_cast<std::size_t>(
            ::MultiByteToWideChar(936, 0, run, static_cast<int>(length), nullptr, 0));
      });
  rt::ComVariant statement;
  BSTR text = ::SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (text == nullptr) return statement;
  VARIANT* raw = statement.put();
  raw->vt = VT_BSTR;
  raw->bstrVal = text;
  wchar_t* out = text;
  for (std::size_t k = 0; k < headLength; ++k) *out++ = head[k];
  ForEachStatementPiece(
      s, [&](wchar_t u) { *out++ = u; },
      [&](const char* run, std::size_t length) { out = WidenRun(run, length, out); });
  for (std::size_t k = 0; k < tailLength; ++k) *out++ = tail[k];
  return statement;
}

// The engine's result back in GBK, written by `put` byte by byte and run by run, up to its
// first zero unit as a text keeps it, with the protective rewrites undone on the way ("’" to
// "'", "{$}" to CR LF).
template <typename Byte, typename Run>
void ForEachResultPiece(const wchar_t* w, std::size_t n, Byte byte, Run run) {
  std::size_t i = 0;
  while (i < n) {
    while (i < n && w[i] > 0 && w[i] < 0x80 && w[i] != L'{') byte(static_cast<char>(w[i++]));
    if (i >= n || w[i] == 0) break;
    const wchar_t c = w[i];
    if (c == L'{') {
      const bool lineBreak = i + 2 < n && w[i + 1] == L'$' && w[i + 2] == L'}';
      if (lineBreak) {
        byte('\r');
        byte('\n');
      } else {
        byte('{');
      }
      i += lineBreak ? 3 : 1;
    } else if (c == L'\x2019') {
      byte('\'');
      ++i;
    } else {
      std::size_t end = i;
      while (end < n && w[end] >= 0x80 && w[end] != L'\x2019') ++end;
      run(w + i, end - i);
      i = end;
    }
  }
}

// The result in GBK, in one pass into a text of the exact size that a read-only walk counts.
inline std::string ResultToGbk(const wchar_t* w, std::size_t n) {
  const auto narrow = [](const wchar_t* run, std::size_t length, char* out, int room) {
    return ::WideCharToMultiByte(936, 0, run, static_cast<int>(length), out, room, nullptr,
                                 nullptr);
  };
  std::size_t size = 0;
  ForEachResultPiece(
      w, n, [&](char) { ++size; },
      [&](const wchar_t* run, std::size_t length) {
        size += static_cast<std::size_t>(narrow(run, length, nullptr, 0));
      });
  std::string out(size, '\0');
  char* o = &out[0];
  ForEachResultPiece(
      w, n, [&](char b) { *o++ = b; },
      [&](const wchar_t* run, std::size_t length) {
        o += narrow(run, length, o, static_cast<int>(length * 2));
      });
  return out;
}

// Times of the unescaping floor's parts, in ms.
struct UnescapeTimes {
  double setUp = 0;      // COM, the script object and its language: the engine's own
  double statement = 0;  // one pass into the BSTR
  double execute = 0;    // ExecuteStatement: the engine parses the literal
  double run = 0;        // Run: unescape() and its BSTR, in the engine
  double release = 0;    // the object and COM let go
  double result = 0;     // one pass back to GBK
  double engine() const { return setUp + execute + run + release; }
};

// The unescaping with the same engine calls as the routine and the least work around them.
inline std::string Unescape(const std::string& reply, UnescapeTimes& times) {
  double t = bench::NowMs();
  const auto lap = [&t](double& into) {
    const double now = bench::NowMs();
    into += now - t;
    t = now;
  };
  rt::ComInit();
  rt::ComObject script;
  rt::CreateComObject(script, "ScriptControl");
  rt::ComSetProperty(script, "Language", "JScript");
  lap(times.setUp);
  rt::ComVariant statement = StatementVariant(reply);
  lap(times.statement);
  rt::ComCallNumberMethod(script, "ExecuteStatement", {std::move(statement)});
  lap(times.execute);
  rt::ComVariant none;
  rt::VariantSetEmptyArray(none);
  rt::ComVariant result = rt::ComCallVariantMethod(script, "Run", {"xx", none});
  lap(times.run);
  script.reset();
  rt::ComUninit();
  lap(times.release);
  const VARIANT& value = *result.get();
  std::string text = value.vt == VT_BSTR ? ResultToGbk(value.bstrVal, ::SysStringLen(value.bstrVal))
                                         : std::string();
  result.put();
  lap(times.result);
  return text;
}

// Cuts the part between `left` and the next `right` byte out of s in place, in one scan that
// steps over double-byte characters as it goes; false when there is none.
inline bool CutBetween(std::string& s, const std::string& left, char right) {
  const std::size_t n = s.size();
  std::size_t from = std::string::npos;
  for (std::size_t i = 0; i + left.size() <= n;) {
    if (s.compare(i, left.size(), left) == 0) {
      from = i + left.size();
      break;
    }
    i += static_cast<unsigned char>(s[i]) >= 0x80 ? 2 : 1;
  }
  if (from == std::string::npos) return false;
  std::size_t to = from;
  while (to < n && s[to] != right) to += static_cast<unsigned char>(s[to]) >= 0x80 ? 2 : 1;
  if (to >= n || to == from) return false;
  s.erase(to);
  s.erase(0, from);
  return true;
}

enum : std::uint8_t { kAlphabet = 1, kPad = 2, kSkippable = 4, kOther = 8 };

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (auto& c : classes) c = kOther;
  for (int c = 'A'; c <= 'Z'; ++c) classes[c] = kAlphabet;
  for (int c = 'a'; c <= 'z'; ++c) classes[c] = kAlphabet;
  for (int c = '0'; c <= '9'; ++c) classes[c] = kAlphabet;
  classes['+'] = classes['/'] = kAlphabet;
  classes['='] = kPad;
  classes[' '] = classes['\r'] = classes[0xA1] = kSkippable;
  return classes;
}
inline constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

// The client's well-formedness check at its least, for a text that needs no clean-up: one
// table scan, the alphabet and then at most two pads in whole groups of four.
inline bool IsCleanWellFormedBase64(const std::string& s) {
  std::size_t body = s.size();
  while (body > 0 && s[body - 1] == '=') --body;
  std::uint8_t seen = 0;
  for (std::size_t i = 0; i < body; ++i) seen |= kClasses[static_cast<unsigned char>(s[i])];
  return seen == (body ? kAlphabet : 0) && s.size() - body <= 2 && s.size() % 4 == 0;
}

constexpr std::array<std::uint8_t, 256> MakeValues() {
  std::array<std::uint8_t, 256> values{};
  for (auto& v : values) v = 0xFF;
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i)
    values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
  return values;
}
inline constexpr std::array<std::uint8_t, 256> kValues = MakeValues();

// The decoder for clean, well-formed text (the table pre-scan found no blank, CR or A1; the
// check above passed): four characters at a time from the table, one ProcessEvents per group
// as the routine pumps; the padded last group keeps the bytes its characters carry.
inline std::string Base64Decode(const std::string& text) {
  const std::size_t n = text.size();
  std::string out((n + 3) / 4 * 3, '\0');
  std::size_t o = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const std::uint32_t a = kValues[in[i]], b = kValues[in[i + 1]], c = kValues[in[i + 2]],
                        d = kValues[in[i + 3]];
    if ((a | b | c | d) & 0x80) break;
    const std::uint32_t v = a << 18 | b << 12 | c << 6 | d;
    out[o++] = static_cast<char>(v >> 16);
    out[o++] = static_cast<char>(v >> 8);
    out[o++] = static_cast<char>(v);
    rt::ProcessEvents();
  }
  // The last group: as many whole bytes as its characters in the alphabet carry.
  std::uint32_t v = 0;
  int k = 0;
  for (; i + static_cast<std::size_t>(k) < n && k < 4 && kValues[in[i + k]] != 0xFF; ++k)
    v = v << 6 | kValues[in[i + k]];
  if (k >= 2) {
    v <<= 6 * (4 - k);
    out[o++] = static_cast<char>(v >> 16);
    if (k >= 3) out[o++] = static_cast<char>(v >> 8);
    if (k == 4) out[o++] = static_cast<char>(v);
  }
  if (i < n) rt::ProcessEvents();
  out.resize(o);
  return out;
}

// The scan that tells whether the decoder may skip the clean-up of blanks and CR LF.
inline bool NeedsCleanUp(const std::string& s) {
  std::uint8_t seen = 0;
  for (unsigned char c : s) seen |= kClasses[c];
  return (seen & kSkippable) != 0;
}

}  // namespace floors

// A service reply decoded as the speech request does it (unescaping, the speech member cut out,
// its base64 checked and decoded), beside the same decoding written plainly here, step by step
// and character by character, with the platform converting whole texts. Large random replies
// with everything that the fast paths must get right give byte-identical results.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types they use.
#include <ole2.h>
#include <oleauto.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/platform_conversions.h"
#include "rt/com_object.h"
#include "rt/handle_owners.h"
#include "web/base64.h"
#include "web/text_between.h"
#include "web/unicode_escapes.h"

namespace web {
namespace {

// --- The plain path ---

std::size_t CharLength(const std::string& s, std::size_t i) {
  return static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size() ? 2 : 1;
}

// Every occurrence that begins on a character boundary, left to right, exact bytes.
std::string Replaced(const std::string& s, const std::string& sought, const std::string& repl) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    if (s.compare(i, sought.size(), sought) == 0) {
      out += repl;
      i += sought.size();
    } else {
      out.append(s, i, CharLength(s, i));
      i += CharLength(s, i);
    }
  }
  return out;
}

// 0-based position of the first occurrence on a boundary at or after `from`, or npos.
std::size_t Found(const std::string& s, const std::string& sought, std::size_t from) {
  for (std::size_t i = from; i + sought.size() <= s.size(); i += CharLength(s, i)) {
    if (s.compare(i, sought.size(), sought) == 0) return i;
  }
  return std::string::npos;
}

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD kind, std::vector<VARIANT> args,
               VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return E_FAIL;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), kind == DISPATCH_PROPERTYPUT ? &put : nullptr,
                    static_cast<UINT>(reversed.size()), kind == DISPATCH_PROPERTYPUT ? 1u : 0u};
  EXCEPINFO exception{};
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &exception, nullptr);
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  return hr;
}

// A string variant that owns its copy of the units.
rt::ComVariant String(const std::wstring& units) {
  rt::ComVariant v;
  v.get()->vt = VT_BSTR;
  v.get()->bstrVal = ::SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
  return v;
}

// Run "xx" after the statement, through the script object; empty when anything fails.
std::string RunScript(const std::string& statement) {
  CLSID clsid;
  if (FAILED(::CLSIDFromProgID(L"ScriptControl", &clsid))) return std::string();
  IDispatch* created = nullptr;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IDispatch, reinterpret_cast<void**>(&created))))
    return std::string();
  const rt::ComObject script(created);
  const rt::ComVariant language = String(L"JScript");
  Invoke(script.get(), L"Language", DISPATCH_PROPERTYPUT, {*language.get()}, nullptr);
  const rt::ComVariant source = String(test_common::PlatformWiden(statement));
  rt::ComVariant ignored;
  Invoke(script.get(), L"ExecuteStatement", DISPATCH_METHOD, {*source.get()}, ignored.put());
  const rt::ComVariant name = String(L"xx");
  rt::ComVariant none;
  none.get()->vt = VT_ARRAY | VT_VARIANT;
  none.get()->parray = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
  rt::ComVariant result;
  Invoke(script.get(), L"Run", DISPATCH_METHOD, {*name.get(), *none.get()}, result.put());
  const VARIANT& answer = *result.get();
  return answer.vt == VT_BSTR
             ? test_common::PlatformNarrow(answer.bstrVal, ::SysStringLen(answer.bstrVal), 0)
             : std::string();
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The character of a code: its UTF-16 unit and three zero units, narrowed as WideToAnsi does.
std::string CharacterOf(unsigned long code) {
  const wchar_t units[4] = {static_cast<wchar_t>(code), 0, 0, 0};
  return test_common::PlatformNarrow(units, 4, WC_COMPOSITECHECK);
}

// The local decoder: %u and four hexadecimal digits of a value other than 0, %XY of two.
std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const std::string rest = s.substr(i, 6);
    if (s[i] == '%' && i + 5 < s.size() && s[i + 1] == 'u') {
      const std::string digits = rest.substr(2, 4);
      const bool code = IsHex(digits[0]) && IsHex(digits[1]) && IsHex(digits[2]) &&
                        IsHex(digits[3]) && digits != "0000";
      out += code ? CharacterOf(std::strtoul(digits.c_str(), nullptr, 16)) : "%";
      if (code) i += 5;
    } else if (s[i] == '%' && i + 2 < s.size() && IsHex(s[i + 1]) && IsHex(s[i + 2])) {
      out += CharacterOf(std::strtoul(rest.substr(1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

struct Plain {
  std::string decoded;
  bool scriptPath = false;
  std::string member;
  bool wellFormed = false;
  std::string cleaned;
  std::string bytes;
};

std::string Unescaped(const std::string& s, bool& scriptPath) {
  std::string t = Replaced(s, "\r\n", "{$}");
  if (!t.empty() && t[0] == '\r') t.erase(0, 1);
  t = Replaced(t, "\\u", "%u");
  t = Replaced(t, "'", "’");
  std::string r;
  {
    const rt::ScopedComInit com;
    r = RunScript("function xx(){var x='" + t + "';return unescape(x);}");
  }
  scriptPath = !r.empty();
  if (r.empty()) r = PercentDecoded(t);
  r = Replaced(r, "’", "'");
  return Replaced(r, "{$}", "\r\n");
}

std::string Between(const std::string& s, const std::string& left, const std::string& right) {
  const std::size_t from = Found(s, left, 0);
  if (from == std::string::npos) return std::string();
  const std::size_t to = Found(s, right, from + left.size());
  return to == std::string::npos ? std::string()
                                 : s.substr(from + left.size(), to - from - left.size());
}

// The text as the decoder reads it: blanks out, then CR LF pairs out.
std::string Cleaned(const std::string& encoded) {
  std::string blankless;
  for (std::size_t i = 0; i < encoded.size();) {
    const std::size_t length = CharLength(encoded, i);
    const bool blank = encoded[i] == ' ' || encoded.compare(i, 2, "\xA1\xA1") == 0;
    if (!blank) blankless.append(encoded, i, length);
    i += length;
  }
  return Replaced(blankless, "\r\n", "");
}

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Once cleaned: the alphabet, then at most two pads, in whole groups of four.
bool WellFormed(const std::string& member) {
  const std::string cleaned = Cleaned(member);
  const std::size_t pads = cleaned.find_first_not_of(kAlphabet);
  if (pads == std::string::npos) return cleaned.size() % 4 == 0;
  return cleaned.find_first_not_of('=', pads) == std::string::npos && cleaned.size() - pads <= 2 &&
         cleaned.size() % 4 == 0;
}

std::string Decoded(std::string& encoded) {
  encoded = Cleaned(encoded);
  const std::size_t groups = (encoded.size() + 3) / 4;
  unsigned e[4] = {0, 0, 0, 0};
  int endedAt = 0;
  std::string bytes;
  for (std::size_t g = 0; g < groups; ++g) {
    endedAt = 0;
    for (int k = 0; k < 4; ++k) {
      const std::size_t at = g * 4 + static_cast<std::size_t>(k);
      const unsigned char c = at < encoded.size() ? static_cast<unsigned char>(encoded[at]) : 0;
      const std::size_t p = c == 0 ? 0 : kAlphabet.find(static_cast<char>(c));
      e[k] = p == std::string::npos ? c : static_cast<unsigned>(p);
      if (p == std::string::npos) {
        endedAt = k + 1;
        break;
      }
    }
    bytes += static_cast<char>(e[0] * 4 | e[1] / 16);
    bytes += static_cast<char>(e[1] * 16 | e[2] / 4);
    bytes += static_cast<char>(e[2] * 64 | e[3]);
  }
  // A group ended at its first character gives up its own three bytes and no more.
  if (endedAt != 0) bytes.resize(bytes.size() - (endedAt == 1 ? 3 : 5 - endedAt));
  return bytes;
}

Plain DecodedPlainly(const std::string& reply) {
  Plain plain;
  plain.decoded = Unescaped(reply, plain.scriptPath);
  plain.member = Between(plain.decoded, "speech\": \"", "\"");
  if (plain.member.empty()) plain.member = Between(plain.decoded, "speech\":\"", "\"");
  plain.wellFormed = WellFormed(plain.member);
  plain.cleaned = plain.member;
  plain.bytes = Decoded(plain.cleaned);
  return plain;
}

// --- The replies ---

std::string RandomBytes(std::mt19937& random, std::size_t n) {
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(random() & 0xFF);
  return out;
}

// Standard base64 in lines of 76 characters ended by CR LF, with blanks and full-width blanks.
std::string Base64Lines(std::mt19937& random, const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (left > 1) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (left > 2) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[v >> 12 & 63];
    out += left > 1 ? kAlphabet[v >> 6 & 63] : '=';
    out += left > 2 ? kAlphabet[v & 63] : '=';
    if ((i / 3 + 1) % 19 == 0) out += "\r\n";
    if (random() % 4000 == 0) out += random() % 2 ? " " : "\xA1\xA1";
  }
  return out;
}

// Pieces of text around the member: escapes of every kind, the protected forms standing in the
// input, apostrophes, line breaks, GBK characters and bytes that are not valid GBK.
const char* const kPieces[] = {
    "word",           " ",        ", ",       "0123",     "\\u4e2d",
    "\\u53c2\\u6570", "\\u4E2D",  "\\u2019",  "\\u0027",  "\\u007b\\u0024\\u007d",
    "\\u000d\\u000a", "\\u00e9",  "\\uff0c",  "\\u0041",  "\\ud800",
    "\\ud83d\\ude00", "\\u20ac",  "e\\u0301", "\\u0e01",  "\\uzz12",
    "\\u12",          "%41",      "%u4e2d",   "%",        "%zz",
    "100%",           "%e9",      "'",        "’",        "it's",
    "\r\n",           "{$}",      "{$",       "$}",       "中文",
    "参数",           "，",       "\x80\x41", "\xFF\x42", "\x81\x41",
    "\x81\\u4e2d",    "\xA1\xAF", "\\\"",     "\\\\",     "\\/",
    "\r\n\r\n"};
// Bytes that break the script literal, so that the local decoder takes over: a lone CR or LF,
// and lead bytes that may be read apart from the byte after them.
const char* const kLocalPieces[] = {"\r",   "\n",    "\x80",   "\xFF",   "\x81",
                                    "\xA1", "\x81'", "\x81\n", "\\u0000"};
// Escapes of the zero character end the script's result; they stand after the member.
const char* const kTailPieces[] = {"\\u0000", "%00", "%u0000 after"};

std::string Junk(std::mt19937& random, std::size_t bytes, bool local) {
  std::string out;
  while (out.size() < bytes) {
    if (local && random() % 8 == 0)
      out += kLocalPieces[random() % (sizeof kLocalPieces / sizeof kLocalPieces[0])];
    else
      out += kPieces[random() % (sizeof kPieces / sizeof kPieces[0])];
  }
  return out;
}

struct Reply {
  std::string text;
  std::string audio;
};

Reply RandomReply(std::uint32_t seed, std::size_t audioBytes, bool local) {
  std::mt19937 random(seed);
  Reply reply;
  reply.audio = RandomBytes(random, audioBytes);
  std::string member = Base64Lines(random, reply.audio);
  // A line break alone inside the member: damaged base64 that still decodes.
  if (local) member.insert(member.size() / 2, "\n");
  reply.text = std::string(local ? "\r\n" : "\r") + "{\"code\": \"0\", \"message\": \"" +
               Junk(random, 64 << 10, local) + "\", \"speech\": \"" + member + "\", \"note\": \"" +
               Junk(random, 64 << 10, local) + kTailPieces[random() % 3] +
               Junk(random, 1 << 10, local) + "\"}";
  return reply;
}

TEST(ReplyDecoding, LargeRandomRepliesDecodeAsThePlainPathDoes) {
  const struct {
    const char* name;
    std::uint32_t seed;
    std::size_t audioBytes;
    bool local;
  } cases[] = {
      {"through the script", 20240611, 2 << 20, false},
      {"through the local decoder", 77, 512 << 10, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Reply reply = RandomReply(c.seed, c.audioBytes, c.local);
    const Plain plain = DecodedPlainly(reply.text);
    ASSERT_EQ(plain.scriptPath, !c.local) << "the reply takes the other path";

    const rt::Text decoded = DecodeUnicodeEscapes(rt::Text(reply.text));
    EXPECT_TRUE(decoded.str() == plain.decoded) << "unescaped";
    rt::Text member = decoded;
    if (!CutTextBetween(member, "speech\": \"", "\"") &&
        !CutTextBetween(member, "speech\":\"", "\""))
      member = rt::Text();
    EXPECT_TRUE(member.str() == plain.member) << "member";
    EXPECT_EQ(IsWellFormedBase64(member), plain.wellFormed);
    const rt::ByteSet bytes = Base64Decode(member);
    EXPECT_TRUE(member.str() == plain.cleaned) << "cleaned member";
    EXPECT_TRUE(bytes.str() == plain.bytes) << "bytes";
    if (!c.local) {
      EXPECT_TRUE(plain.wellFormed);
      EXPECT_TRUE(plain.bytes == reply.audio) << "the audio came through";
    }
  }
}

}  // namespace
}  // namespace web

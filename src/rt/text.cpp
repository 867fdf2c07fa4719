#include "rt/text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "rt/byte_scan.h"
#include "rt/fatal_error.h"

namespace rt {
namespace {

using byte_scan::FindByte;

bool IsLeadByte(unsigned char b) { return b >= 0x80; }

// Length of the character that starts at index i: 2 for a lead byte with a byte after it.
std::size_t CharLength(const std::string& s, std::size_t i) {
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

unsigned char FoldAscii(unsigned char b) {
  return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

// `at` is a character boundary of s. Ignoring case folds ASCII letters only: the trail byte of
// a double-byte character compares exactly even where it has a letter's value (81 41 is not
// 81 61). Lead bytes never fold, so while the bytes agree both texts share their boundaries.
bool EqualAt(const std::string& s, std::size_t at, const std::string& sought, bool ignoreCase) {
  if (!ignoreCase) return s.compare(at, sought.size(), sought) == 0;
  for (std::size_t k = 0; k < sought.size();) {
    const std::size_t length = CharLength(s, at + k);
    const unsigned char a = static_cast<unsigned char>(s[at + k]);
    const unsigned char b = static_cast<unsigned char>(sought[k]);
    if (length == 1 ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
    if (length == 2 && k + 1 < sought.size() && s[at + k + 1] != sought[k + 1]) return false;
    k += length;
  }
  return true;
}

// Index of the first exact occurrence of sought (not empty) at or after from, wherever it
// begins; npos when none.
std::size_t FindBytes(const std::string& s, const std::string& sought, std::size_t from) {
  if (sought.size() > s.size()) return std::string::npos;
  const std::size_t end = s.size() - sought.size() + 1;  // one past the last possible start
  for (std::size_t at = from; (at = FindByte(s.data(), at, end, sought[0])) < end; ++at) {
    if (std::memcmp(s.data() + at, sought.data(), sought.size()) == 0) return at;
  }
  return std::string::npos;
}

// The first character boundary at or after target, boundaries being counted from `boundary`.
// Only a byte from 0x80 up can make one differ from a byte position, so the walk goes straight
// to the next such byte and steps over its character.
std::size_t BoundaryFrom(const std::string& s, std::size_t boundary, std::size_t target) {
  while (boundary < target) {
    const std::size_t lead = byte_scan::FindHighByte(s.data(), boundary, target);
    if (lead == target) return target;
    boundary = lead + CharLength(s, lead);
  }
  return boundary;
}

// 0-based index of the first match at or after `from` that begins on a character
// boundary, boundaries being counted from `from`; npos when none. `sought` is not empty.
std::size_t FindFrom(const std::string& s, const std::string& sought, std::size_t from,
                     bool ignoreCase) {
  if (sought.size() > s.size()) return std::string::npos;
  const std::size_t last = s.size() - sought.size();
  std::size_t boundary = from;
  if (!ignoreCase) {
    // Find the candidates by their bytes; walk the character boundaries up to each one.
    std::size_t candidate = from;
    while ((candidate = FindBytes(s, sought, candidate)) != std::string::npos) {
      boundary = BoundaryFrom(s, boundary, candidate);
      if (boundary == candidate) return candidate;
      candidate = boundary;
    }
    return std::string::npos;
  }
  for (; boundary <= last; boundary += CharLength(s, boundary)) {
    if (EqualAt(s, boundary, sought, true)) return boundary;
  }
  return std::string::npos;
}

bool IsBlankAt(const std::string& s, std::size_t i, std::size_t* length) {
  if (s[i] == ' ') {
    *length = 1;
    return true;
  }
  if (static_cast<unsigned char>(s[i]) == 0xA1 && i + 1 < s.size() &&
      static_cast<unsigned char>(s[i + 1]) == 0xA1) {
    *length = 2;
    return true;
  }
  *length = CharLength(s, i);
  return false;
}

template <typename... Args>
Text Formatted(const char* format, Args... args) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return Text(buffer);
}

}  // namespace

Text::Text(std::string_view bytes)
    : bytes_(bytes.substr(0, FindByte(bytes.data(), 0, bytes.size(), '\0'))) {}

Text::Text(std::string&& bytes) : bytes_(std::move(bytes)) {
  const std::size_t zero = FindByte(bytes_.data(), 0, bytes_.size(), '\0');
  if (zero < bytes_.size()) bytes_.resize(zero);
}

const Text& TextArray::At(int number) const {
  if (number < 1)
    FatalRuntimeError(FatalErrorCode::kIndexBelowOne, "数组成员引用下标必须大于等于1");
  if (number > Count())
    FatalRuntimeError(FatalErrorCode::kIndexBeyondCount, "数组成员引用下标超出定义范围");
  return items_[static_cast<std::size_t>(number - 1)];
}

Text& TextArray::At(int number) {
  return const_cast<Text&>(static_cast<const TextArray&>(*this).At(number));
}

int TextLength(const Text& s) { return s.size(); }

Text LeftText(const Text& s, int n) {
  if (n <= 0) return Text();
  return Text(s.str().substr(0, static_cast<std::size_t>(n)));
}

Text RightText(const Text& s, int n) {
  if (n <= 0) return Text();
  const int take = n < s.size() ? n : s.size();
  return Text(s.str().substr(static_cast<std::size_t>(s.size() - take)));
}

Text MiddleText(const Text& s, int start, int n) {
  if (start < 1 || start > s.size() || n <= 0) return Text();
  return Text(s.str().substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(n)));
}

Text MiddleText(Text&& s, int start, int n) {
  if (start < 1 || start > s.size() || n <= 0) return Text();
  std::string bytes = std::move(s).release();
  const std::size_t from = static_cast<std::size_t>(start - 1);
  if (bytes.size() - from > static_cast<std::size_t>(n))
    bytes.resize(from + static_cast<std::size_t>(n));
  bytes.erase(0, from);
  return Text(std::move(bytes));
}

int FindText(const Text& s, const Text& sought, int start, bool ignoreCase) {
  if (start < 1) start = 1;
  if (start > s.size()) return -1;
  if (sought.empty()) return 1;
  const std::size_t at =
      FindFrom(s.str(), sought.str(), static_cast<std::size_t>(start - 1), ignoreCase);
  return at == std::string::npos ? -1 : static_cast<int>(at) + 1;
}

Text ReplaceText(const Text& s, const Text& sought, const Text& repl, int start, int count,
                 bool caseSensitive) {
  if (start < 1) start = 1;
  if (s.empty() || sought.empty() || start > s.size() || count == 0) return s;
  const std::string& src = s.str();
  std::string out(src, 0, static_cast<std::size_t>(start - 1));
  out.reserve(src.size());
  std::size_t from = static_cast<std::size_t>(start - 1);
  int done = 0;
  while (count < 0 || done < count) {
    const std::size_t at = FindFrom(src, sought.str(), from, !caseSensitive);
    if (at == std::string::npos) break;
    out.append(src, from, at - from);
    out += repl.str();
    from = at + sought.str().size();
    ++done;
  }
  out.append(src, from, std::string::npos);
  return Text(std::move(out));
}

TextArray SplitText(const Text& s, const Text& delimiter, std::optional<int> max) {
  TextArray pieces;
  if (s.empty()) return pieces;
  const int limit = max ? (*max < 0 ? 0 : *max) : -1;
  if (limit == 0) return pieces;
  if (delimiter.empty()) {
    pieces.Append(s);
    return pieces;
  }
  const std::string& src = s.str();
  std::size_t from = 0;
  while (limit < 0 || pieces.Count() < limit) {
    const std::size_t at = FindFrom(src, delimiter.str(), from, false);
    if (at == std::string::npos) {
      if (from < src.size()) pieces.Append(Text(src.substr(from)));
      break;
    }
    pieces.Append(Text(src.substr(from, at - from)));
    from = at + delimiter.str().size();
  }
  return pieces;
}

Text TrimSpaces(const Text& s) {
  const std::string& src = s.str();
  std::size_t i = 0, length = 0;
  while (i < src.size() && IsBlankAt(src, i, &length)) i += length;
  const std::size_t first = i;
  std::size_t end = first;
  while (i < src.size()) {
    if (!IsBlankAt(src, i, &length)) end = i + length;
    i += length;
  }
  return Text(src.substr(first, end - first));
}

Text RemoveAllSpaces(const Text& s) {
  const std::string& src = s.str();
  std::string out;
  out.reserve(src.size());
  std::size_t length = 0;
  for (std::size_t i = 0; i < src.size(); i += length) {
    if (!IsBlankAt(src, i, &length)) out.append(src, i, length);
  }
  return Text(std::move(out));
}

int CompareText(const Text& a, const Text& b, bool caseSensitive) {
  const std::string& x = a.str();
  const std::string& y = b.str();
  std::size_t i = 0;
  while (i < x.size() && i < y.size()) {
    const std::size_t length = CharLength(x, i);
    for (std::size_t k = 0; k < length && i + k < y.size(); ++k) {
      unsigned char cx = static_cast<unsigned char>(x[i + k]);
      unsigned char cy = static_cast<unsigned char>(y[i + k]);
      if (!caseSensitive && length == 1) {
        cx = FoldAscii(cx);
        cy = FoldAscii(cy);
      }
      if (cx != cy) return cx < cy ? -1 : 1;
    }
    i += length;
  }
  if (x.size() == y.size()) return 0;
  return x.size() < y.size() ? -1 : 1;
}

Text ToLowerCase(const Text& s) {
  std::string out = s.str();
  for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
    out[i] = static_cast<char>(FoldAscii(static_cast<unsigned char>(out[i])));
  }
  return Text(std::move(out));
}

Text CharFromCode(unsigned char b) { return b == 0 ? Text() : Text(std::string(1, char(b))); }

int CharCodeAt(const Text& s, int pos) {
  if (pos < 1 || pos > s.size()) return 0;
  return static_cast<signed char>(s.str()[static_cast<std::size_t>(pos - 1)]);
}

Text SpaceText(int n) { return n < 1 ? Text() : Text(std::string(std::size_t(n), ' ')); }

Text RepeatText(int count, const Text& s) {
  std::string out;
  if (count <= 0) return Text();
  out.reserve(s.str().size() * static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) out += s.str();
  return Text(std::move(out));
}

Text Excerpt(const Text& s, int limit) {
  const std::string& bytes = s.str();
  std::size_t end = 0;
  // A lead byte counts as two bytes, a lone one at the end too.
  while (end < bytes.size()) {
    const std::size_t next = end + (IsLeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1);
    if (next > static_cast<std::size_t>(limit < 0 ? 0 : limit)) break;
    end = next < bytes.size() ? next : bytes.size();
  }
  if (end == bytes.size()) return s;
  return Text(std::string_view(bytes.data(), end)) + "...";
}

Text ToText(int v) { return Formatted("%d", v); }
Text ToText(unsigned char v) { return Formatted("%u", static_cast<unsigned>(v)); }
Text ToText(std::int64_t v) { return Formatted("%lld", static_cast<long long>(v)); }
Text ToText(float v) { return Formatted("%.6g", static_cast<double>(v)); }
Text ToText(double v) { return Formatted("%.13g", v); }
Text ToText(bool v) { return v ? Text("真") : Text("假"); }
Text ToText(const Text& v) { return v; }
Text ToText(const ByteSet& v) { return Text(std::string_view(v.str())); }
Text ToHexText(int v) { return Formatted("%X", static_cast<unsigned>(v)); }

int ToInteger(double v) { return static_cast<int>(std::trunc(v)); }
int ToInteger(bool v) { return v ? 1 : 0; }

int ToInteger(const Text& v) {
  // Full-width forms (GBK A3 A1..A3 FE, and the full-width space) read as their ASCII letters.
  const std::string& src = v.str();
  std::string folded;
  folded.reserve(src.size());
  for (std::size_t i = 0; i < src.size(); i += CharLength(src, i)) {
    const unsigned char lead = static_cast<unsigned char>(src[i]);
    if (CharLength(src, i) == 2) {
      const unsigned char trail = static_cast<unsigned char>(src[i + 1]);
      if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        folded += static_cast<char>(trail - 0x80);
        continue;
      }
      if (lead == 0xA1 && trail == 0xA1) {
        folded += ' ';
        continue;
      }
      folded.append(src, i, 2);
      continue;
    }
    folded += static_cast<char>(lead);
  }
  std::size_t i = 0;
  while (i < folded.size() && (folded[i] == ' ' || folded[i] == '\t')) ++i;
  bool negative = false;
  if (i < folded.size() && (folded[i] == '-' || folded[i] == '+')) negative = folded[i++] == '-';
  std::uint32_t value = 0;
  for (; i < folded.size() && folded[i] >= '0' && folded[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(folded[i] - '0');
  }
  return static_cast<int>(negative ? 0u - value : value);
}

unsigned char ToByte(int v) { return static_cast<unsigned char>(v & 0xFF); }
unsigned char ToByte(const Text& v) { return ToByte(ToInteger(v)); }

int BytesLength(const ByteSet& b) { return b.size(); }
ByteSet ToBytes(const Text& v) { return ByteSet(v.str()); }
ByteSet ToBytes(const ByteSet& v) { return v; }
ByteSet ToBytes(std::int32_t v) { return ByteSet(&v, sizeof v); }
ByteSet ToBytes(std::int64_t v) { return ByteSet(&v, sizeof v); }
ByteSet ToBytes(double v) { return ByteSet(&v, sizeof v); }

ByteSet BlankBytes(int n) {
  return n <= 0 ? ByteSet() : ByteSet(std::string(std::size_t(n), '\0'));
}

ByteSet BytesLeft(const ByteSet& b, int n) {
  if (n <= 0) return ByteSet();
  return ByteSet(b.str().substr(0, static_cast<std::size_t>(n)));
}

ByteSet BytesRight(const ByteSet& b, int n) {
  if (n <= 0) return ByteSet();
  const int take = n < b.size() ? n : b.size();
  return ByteSet(b.str().substr(static_cast<std::size_t>(b.size() - take)));
}

ByteSet ReplaceBytes(const ByteSet& b, const ByteSet& sought, const ByteSet& repl, int start,
                     int count) {
  if (start < 1) start = 1;
  if (b.empty() || sought.empty() || start > b.size() || count == 0) return b;
  const std::string& src = b.str();
  std::string out(src, 0, static_cast<std::size_t>(start - 1));
  std::size_t from = static_cast<std::size_t>(start - 1);
  for (int done = 0; count < 0 || done < count; ++done) {
    const std::size_t at = src.find(sought.str(), from);
    if (at == std::string::npos) break;
    out.append(src, from, at - from);
    out += repl.str();
    from = at + sought.str().size();
  }
  out.append(src, from, std::string::npos);
  return ByteSet(std::move(out));
}

ByteSet RepeatBytes(int count, const ByteSet& b) {
  std::string out;
  for (int i = 0; i < count; ++i) out += b.str();
  return ByteSet(std::move(out));
}

BytesDataValue ReadBytesData(const ByteSet& b, BytesDataType type, int position) {
  BytesDataValue value;
  if (position < 1 || position > b.size()) return value;
  const std::size_t at = static_cast<std::size_t>(position - 1);
  const std::size_t left = b.str().size() - at;
  const auto read = [&](auto sample) {
    if (left < sizeof sample) return sample;
    std::memcpy(&sample, b.data() + at, sizeof sample);
    return sample;
  };
  switch (type) {
    case BytesDataType::kByte: value.integer = read(std::uint8_t{}); break;
    case BytesDataType::kShort: value.integer = read(std::int16_t{}); break;
    case BytesDataType::kInt: value.integer = read(std::int32_t{}); break;
    case BytesDataType::kInt64: value.integer = read(std::int64_t{}); break;
    case BytesDataType::kFloat: value.number = read(float{}); break;
    case BytesDataType::kDouble: value.number = read(double{}); break;
    case BytesDataType::kText: value.text = ReadTextData(b, position); break;
  }
  return value;
}

Text ReadTextData(const ByteSet& b, int position) {
  if (position < 1 || position > b.size()) return Text();
  return Text(std::string_view(b.str()).substr(static_cast<std::size_t>(position - 1)));
}

ByteSet PointerToBytes(const void* address, int length) {
  if (address == nullptr || length <= 0) return ByteSet();
  return ByteSet(address, static_cast<std::size_t>(length));
}

int BitAnd(int a, int b) { return a & b; }
int BitOr(int a, int b) { return a | b; }
int ShiftRight(int v, int n) { return v >> (n & 31); }
double Power(double base, double exponent) { return std::pow(base, exponent); }

int IntegerDivide(int a, int b) {
  if (b == 0) FatalRuntimeError(FatalErrorCode::kDivideByZero, "被零除");
  // The smallest integer divided by -1 traps in the processor; let it wrap instead.
  if (b == -1) return static_cast<int>(0u - static_cast<unsigned>(a));
  return a / b;
}

double Remainder(double a, double b) {
  if (b == 0) FatalRuntimeError(FatalErrorCode::kDivideByZero, "被零除");
  return std::fmod(a, b);
}

}  // namespace rt

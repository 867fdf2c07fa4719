// Text and byte-set values: GBK texts and counted byte runs, with the byte-counting,
// 1-based operations that every routine of the program uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// A run of GBK bytes without a zero byte; a missing text is the empty text.
// Positions count bytes from 1; a byte with the high bit set leads a double-byte character.
class Text {
public:
  Text() = default;
  Text(const char* s) : bytes_(s ? s : "") {}
  // Keeps the bytes before the first zero byte, as a zero-terminated text would.
  explicit Text(std::string_view bytes);
  explicit Text(std::string&& bytes);

  const std::string& str() const { return bytes_; }
  const char* c_str() const { return bytes_.c_str(); }
  int size() const { return static_cast<int>(bytes_.size()); }
  bool empty() const { return bytes_.empty(); }
  // The bytes moved out, for an operation that reuses the storage of a text it consumes.
  std::string release() && { return std::move(bytes_); }

  Text& operator+=(const Text& other) {
    bytes_ += other.bytes_;
    return *this;
  }
  friend Text operator+(Text a, const Text& b) { return a += b; }
  friend bool operator==(const Text& a, const Text& b) { return a.bytes_ == b.bytes_; }
  friend bool operator!=(const Text& a, const Text& b) { return a.bytes_ != b.bytes_; }

private:
  std::string bytes_;
};

// A counted run of bytes of any value, zero included; missing means empty.
class ByteSet {
public:
  ByteSet() = default;
  explicit ByteSet(std::string bytes) : bytes_(std::move(bytes)) {}
  ByteSet(const void* data, std::size_t length) : bytes_(static_cast<const char*>(data), length) {}

  const std::string& str() const { return bytes_; }
  std::string& str() { return bytes_; }
  const unsigned char* data() const {
    return reinterpret_cast<const unsigned char*>(bytes_.data());
  }
  unsigned char* data() { return reinterpret_cast<unsigned char*>(bytes_.data()); }
  int size() const { return static_cast<int>(bytes_.size()); }
  bool empty() const { return bytes_.empty(); }
  unsigned char operator[](int index) const { return data()[index]; }

  ByteSet& operator+=(const ByteSet& other) {
    bytes_ += other.bytes_;
    return *this;
  }
  friend ByteSet operator+(ByteSet a, const ByteSet& b) { return a += b; }
  friend bool operator==(const ByteSet& a, const ByteSet& b) { return a.bytes_ == b.bytes_; }
  friend bool operator!=(const ByteSet& a, const ByteSet& b) { return a.bytes_ != b.bytes_; }

private:
  std::string bytes_;
};

// A list of texts numbered from 1; an element number out of range is a fatal error.
class TextArray {
public:
  TextArray() = default;
  explicit TextArray(std::vector<Text> items) : items_(std::move(items)) {}

  int Count() const { return static_cast<int>(items_.size()); }
  const Text& At(int number) const;
  Text& At(int number);
  void Append(Text item) { items_.push_back(std::move(item)); }

  std::vector<Text>::const_iterator begin() const { return items_.begin(); }
  std::vector<Text>::const_iterator end() const { return items_.end(); }

private:
  std::vector<Text> items_;
};

// --- Text operations (counts and positions in bytes, positions from 1) ---

int TextLength(const Text& s);
Text LeftText(const Text& s, int n);
Text RightText(const Text& s, int n);
Text MiddleText(const Text& s, int start, int n);
// The same bytes cut out of s's own storage: no copy of a large text.
Text MiddleText(Text&& s, int start, int n);
// Position of the first match at or after start that begins on a character boundary, or -1.
int FindText(const Text& s, const Text& sought, int start = 1, bool ignoreCase = false);
// count < 0 replaces every occurrence; caseSensitive false compares ASCII letters without case.
Text ReplaceText(const Text& s, const Text& sought, const Text& repl = Text(), int start = 1,
                 int count = -1, bool caseSensitive = false);
TextArray SplitText(const Text& s, const Text& delimiter = ",",
                    std::optional<int> max = std::nullopt);
Text TrimSpaces(const Text& s);
Text RemoveAllSpaces(const Text& s);
int CompareText(const Text& a, const Text& b, bool caseSensitive);
Text ToLowerCase(const Text& s);
Text CharFromCode(unsigned char b);
int CharCodeAt(const Text& s, int pos = 1);
Text SpaceText(int n);
Text RepeatText(int count, const Text& s);
// The first bytes of s, at most limit of them and never ending inside a double-byte
// character, followed by "..." when anything was cut: a long text shown in a message.
Text Excerpt(const Text& s, int limit);

Text ToText(int v);
Text ToText(unsigned char v);
Text ToText(std::int64_t v);
Text ToText(float v);
Text ToText(double v);
Text ToText(bool v);
Text ToText(const Text& v);
Text ToText(const ByteSet& v);
Text ToHexText(int v);

int ToInteger(double v);
int ToInteger(bool v);
int ToInteger(const Text& v);
unsigned char ToByte(int v);
unsigned char ToByte(const Text& v);

// --- Byte-set operations ---

int BytesLength(const ByteSet& b);
ByteSet ToBytes(const Text& v);
ByteSet ToBytes(const ByteSet& v);
ByteSet ToBytes(std::int32_t v);
ByteSet ToBytes(std::int64_t v);
ByteSet ToBytes(double v);
ByteSet BlankBytes(int n);
ByteSet BytesLeft(const ByteSet& b, int n);
ByteSet BytesRight(const ByteSet& b, int n);
ByteSet ReplaceBytes(const ByteSet& b, const ByteSet& sought, const ByteSet& repl = ByteSet(),
                     int start = 1, int count = -1);
ByteSet RepeatBytes(int count, const ByteSet& b);

// Value types that ReadBytesData can read; kText reads up to a zero byte or the end.
enum class BytesDataType {
  kByte = 1,
  kShort = 2,
  kInt = 3,
  kInt64 = 4,
  kFloat = 5,
  kDouble = 6,
  kText = 10
};
struct BytesDataValue {
  std::int64_t integer = 0;
  double number = 0;
  Text text;
};
BytesDataValue ReadBytesData(const ByteSet& b, BytesDataType type, int position = 1);
// Text read at a position up to a zero byte or the end of the set.
Text ReadTextData(const ByteSet& b, int position = 1);
ByteSet PointerToBytes(const void* address, int length);

// --- Numbers ---

int BitAnd(int a, int b);
int BitOr(int a, int b);
int ShiftRight(int v, int n);
double Power(double base, double exponent);
int IntegerDivide(int a, int b);
double Remainder(double a, double b);

}  // namespace rt

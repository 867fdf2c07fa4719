// Byte scans eight bytes at a time: the C library's byte search goes byte by byte under Wine,
// and replies run to megabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rt::byte_scan {

inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kHighs = 0x8080808080808080u;

inline bool IsHigh(char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; }

inline bool HoldsZeroByte(std::uint64_t word) { return ((word - kOnes) & ~word & kHighs) != 0; }

// True when one of the word's bytes is c.
inline bool HoldsByte(std::uint64_t word, char c) {
  return HoldsZeroByte(word ^ (kOnes * static_cast<unsigned char>(c)));
}

inline std::uint64_t WordAt(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Index of the first byte c in [from, to), or to.
inline std::size_t FindByte(const char* p, std::size_t from, std::size_t to, char c) {
  std::size_t i = from;
  while (i + 8 <= to && !HoldsByte(WordAt(p + i), c)) i += 8;
  while (i < to && p[i] != c) ++i;
  return i;
}

// Index of the first byte from 0x80 up in [from, to), or to.
inline std::size_t FindHighByte(const char* p, std::size_t from, std::size_t to) {
  std::size_t i = from;
  while (i + 8 <= to && (WordAt(p + i) & kHighs) == 0) i += 8;
  while (i < to && !IsHigh(p[i])) ++i;
  return i;
}

}  // namespace rt::byte_scan

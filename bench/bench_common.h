// Timing, medians and table printing shared by the benchmark programs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "rt/handle_owners.h"

namespace bench {

// Which build the figures come from and what runs it, for every table's heading: "x86_64
// build under 64-bit Wine 8.0", or "... on Windows" where ntdll is not Wine's.
inline std::string BuildNote() {
#ifdef _WIN64
  const std::string build = "x86_64 build";
  const char* bits = "64-bit";
#else
  const std::string build = "i686 build";
  const char* bits = "32-bit";
#endif
  using WineVersion = const char*(CDECL*)();
  const auto version = reinterpret_cast<WineVersion>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
  return version ? build + " under " + bits + " Wine " + version() : build + " on Windows";
}

constexpr double kMiB = 1024.0 * 1024.0;

inline double NowMs() {
  static const double msPerTick = [] {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 / static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * msPerTick;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

inline double MiBPerSecond(double bytes, double ms) {
  return ms > 0 ? bytes / kMiB / (ms / 1000) : 0;
}

// Deterministic bytes of every value, so that the base64 text uses the whole alphabet.
inline std::string PseudoRandomBytes(std::size_t n, std::uint32_t seed) {
  std::string out(n, '\0');
  std::uint32_t x = seed;
  for (char& c : out) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return out;
}

// Appends the standard base64 form of bytes, with padding.
inline void AppendBase64(std::string& out, const std::string& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto at = [&](std::size_t k) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k]));
  };
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const std::uint32_t v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
    out += alphabet[v >> 18];
    out += alphabet[v >> 12 & 63];
    out += alphabet[v >> 6 & 63];
    out += alphabet[v & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const std::uint32_t v = at(i) << 16 | (two ? at(i + 1) << 8 : 0);
    out += alphabet[v >> 18];
    out += alphabet[v >> 12 & 63];
    out += two ? alphabet[v >> 6 & 63] : '=';
    out += '=';
  }
}

// A service reply shaped like the real one: a few members around `speech`, and escapes
// outside it, so that the unescaping has something to decode. Built in place: no copy of
// the large part, so that building it does not set the process's memory peak.
inline std::string ServiceReply(const std::string& audio) {
  static const char head[] =
      "{\"code\": \"0\", \"message\": \"\\u6210\\u529f\", \"session_id\": "
      "\"7f3a9c\", \"speech\": \"";
  static const char tail[] = "\", \"format\": \"mp3\", \"note\": \"\\u8bed\\u97f3\"}";
  std::string reply;
  reply.reserve(sizeof head + (audio.size() + 2) / 3 * 4 + sizeof tail);
  reply += head;
  AppendBase64(reply, audio);
  reply += tail;
  return reply;
}

// A table printed with columns padded to their widest cell.
class Table {
public:
  explicit Table(std::vector<std::string> header) { rows_.push_back(std::move(header)); }
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  void Print(const char* title) const {
    std::vector<std::size_t> widths;
    for (const auto& row : rows_) {
      widths.resize(std::max(widths.size(), row.size()));
      for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    std::printf("\n%s\n", title);
    for (std::size_t r = 0; r < rows_.size(); ++r) {
      std::string line;
      for (std::size_t c = 0; c < rows_[r].size(); ++c) {
        const std::string& cell = rows_[r][c];
        // First column left-aligned (labels), the figures right-aligned.
        const std::string pad(widths[c] - cell.size(), ' ');
        line += c == 0 ? cell + pad : "  " + pad + cell;
      }
      std::printf("%s\n", line.c_str());
      if (r == 0) std::printf("%s\n", std::string(line.size(), '-').c_str());
    }
    std::fflush(stdout);
  }

private:
  std::vector<std::vector<std::string>> rows_;
};

inline std::string Fixed(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

// "met" or "missed", for the goal lines.
inline const char* Verdict(bool met) { return met ? "met" : "missed"; }

// The smallest and largest of values, as "a-b", to show how noisy a figure was.
inline std::string Spread(const std::vector<double>& values, int decimals) {
  if (values.empty()) return "-";
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  return Fixed(*low, decimals) + "-" + Fixed(*high, decimals);
}

// Runs a command line to its end and returns what it wrote to its standard output; empty when
// it could not be started.
inline std::string RunAndCapture(std::wstring commandLine) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  rt::UniqueKernelHandle reader, writer;
  if (!::CreatePipe(reader.put(), writer.put(), &inherit, 0)) return std::string();
  ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writer.get();
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info))
    return std::string();
  rt::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  writer.reset();  // the child holds the only write end now, so the read ends with it
  std::string out;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    out.append(buffer, got);
  ::WaitForSingleObject(process.get(), INFINITE);
  return out;
}

// The directory of this program with a trailing backslash, for the floor programs beside it.
inline std::wstring ProgramDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring directory(path, n);
  return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

}  // namespace bench

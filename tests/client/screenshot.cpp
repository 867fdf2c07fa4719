#include "client/screenshot.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "rt/handle_owners.h"

namespace testing_support {
namespace {

std::uint32_t Crc32(const unsigned char* data, std::size_t n, std::uint32_t crc = 0) {
  static const auto table = [] {
    std::vector<std::uint32_t> t(256);
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBigEndian(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  PutBigEndian(out, Crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}

}  // namespace

Screenshot CaptureWindow(HWND hwnd) {
  Screenshot shot;
  RECT rc;
  if (!::GetWindowRect(hwnd, &rc)) return shot;
  shot.width = rc.right - rc.left;
  shot.height = rc.bottom - rc.top;
  const rt::WindowDc window = rt::WindowDc::WithFrame(hwnd);
  const rt::UniqueMemoryDc memory(::CreateCompatibleDC(window.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const rt::UniqueBitmap bitmap(
      ::CreateDIBSection(window.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap) return Screenshot();
  const rt::ScopedSelection selected(memory.get(), bitmap.get());
  ::BitBlt(memory.get(), 0, 0, shot.width, shot.height, window.get(), 0, 0, SRCCOPY);
  ::GdiFlush();
  const auto* p = static_cast<const std::uint32_t*>(bits);
  shot.pixels.assign(p, p + static_cast<std::size_t>(shot.width) * shot.height);
  for (std::uint32_t& px : shot.pixels) px &= 0xFFFFFF;
  return shot;
}

bool WritePng(const Screenshot& shot, const std::wstring& path) {
  std::string raw;
  raw.reserve(static_cast<std::size_t>(shot.width * 3 + 1) * shot.height);
  for (int y = 0; y < shot.height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < shot.width; ++x) {
      const std::uint32_t px = shot.At(x, y);
      raw.push_back(static_cast<char>((px >> 16) & 0xFF));
      raw.push_back(static_cast<char>((px >> 8) & 0xFF));
      raw.push_back(static_cast<char>(px & 0xFF));
    }
  }
  std::string zlib = "\x78\x01";
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    const bool last = at + n >= raw.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<char>(n & 0xFF));
    zlib.push_back(static_cast<char>(n >> 8));
    zlib.push_back(static_cast<char>(~n & 0xFF));
    zlib.push_back(static_cast<char>((~n >> 8) & 0xFF));
    zlib.append(raw, at, n);
    if (last) break;
  }
  PutBigEndian(zlib, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBigEndian(header, static_cast<std::uint32_t>(shot.width));
  PutBigEndian(header, static_cast<std::uint32_t>(shot.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", std::string());

  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"wb"), &fclose);
  if (!file) return false;
  return fwrite(png.data(), 1, png.size(), file.get()) == png.size();
}

}  // namespace testing_support

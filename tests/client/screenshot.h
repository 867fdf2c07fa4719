// Captures a window's pixels and stores them as PNG, for the window tests' artifacts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB, rows from the top

  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The window as drawn, frame included, read back from its device context.
Screenshot CaptureWindow(HWND hwnd);

// Writes an 8-bit RGB PNG (stored, uncompressed deflate blocks); false when the file fails.
bool WritePng(const Screenshot& shot, const std::wstring& path);

}  // namespace testing_support

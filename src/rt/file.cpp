#include "rt/file.h"

#include <windows.h>

#include "rt/unique_handle.h"
#include "rt/wide.h"

namespace rt {
namespace {

struct FileCloser {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using UniqueFile = UniqueHandle<HANDLE, FileCloser>;

}  // namespace

bool WriteFile(const Text& path, const ByteSet& data) {
  if (path.empty()) return false;
  HANDLE raw = ::CreateFileW(WidenGbk(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  UniqueFile file(raw);
  const unsigned char* next = data.data();
  std::size_t left = data.str().size();
  while (left > 0) {
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!::WriteFile(file.get(), next, chunk, &written, nullptr) || written == 0) return false;
    next += written;
    left -= written;
  }
  return ::CloseHandle(file.release()) != 0;
}

}  // namespace rt

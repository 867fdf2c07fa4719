#include "rt/file.h"

#include <windows.h>

#include "rt/handle_owners.h"
#include "rt/wide.h"

namespace rt {

bool WriteFile(const Text& path, const ByteSet& data) {
  if (path.empty()) return false;
  UniqueKernelHandle file =
      AdoptFile(::CreateFileW(WidenGbk(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const unsigned char* next = data.data();
  std::size_t left = data.str().size();
  while (left > 0) {
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!::WriteFile(file.get(), next, chunk, &written, nullptr) || written == 0) return false;
    next += written;
    left -= written;
  }
  return CloseChecked(file);
}

}  // namespace rt

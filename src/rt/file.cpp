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

bool ReplaceFileAtomically(const Text& path, const ByteSet& data) {
  // How long a replace waits for a file that another program holds: 10 x 50 ms.
  constexpr int kReplaceAttempts = 10;
  constexpr DWORD kReplaceRetryMs = 50;
  if (path.empty()) return false;
  const Text temporary = path + ".tmp";
  const std::wstring wideTemporary = WidenGbk(temporary);
  if (!WriteFile(temporary, data)) {
    ::DeleteFileW(wideTemporary.c_str());
    return false;
  }
  const std::wstring widePath = WidenGbk(path);
  for (int attempt = 1;; ++attempt) {
    if (::MoveFileExW(wideTemporary.c_str(), widePath.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = ::GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
    if (!held || attempt == kReplaceAttempts) break;
    ::Sleep(kReplaceRetryMs);
  }
  ::DeleteFileW(wideTemporary.c_str());
  return false;
}

}  // namespace rt

#include "rt/shell.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <shellapi.h>
#include <shlobj.h>

#include "rt/wide.h"

namespace rt {

Text SpecialFolder(int which) {
  if (which != kDesktopFolder) return Text();
  wchar_t path[MAX_PATH + 1] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE) || !path[0]) {
    return Text();
  }
  Text result = NarrowToGbk(path);
  if (result.str().back() != '\\') result += "\\";
  return result;
}

void OpenWebPage(const Text& address) {
  ::ShellExecuteW(nullptr, L"open", WidenGbk(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace rt

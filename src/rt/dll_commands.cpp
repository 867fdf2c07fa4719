#include "rt/dll_commands.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "rt/fatal_error.h"
#include "rt/wide.h"

namespace rt {

const std::array<DllCommandEntry, kDllCommandCount> kDllCommandTable = {{
    {"kernel32", "GetLocalTime"},
    {"", "MultiByteToWideChar"},
    {"kernel32.dll", "WideCharToMultiByte"},
    {"advapi32.dll", "CryptAcquireContextA"},
    {"advapi32.dll", "CryptCreateHash"},
    {"advapi32.dll", "CryptReleaseContext"},
    {"advapi32.dll", "CryptHashData"},
    {"advapi32.dll", "CryptDestroyHash"},
    {"advapi32.dll", "CryptGetHashParam"},
    {"Winhttp.dll", "WinHttpCheckPlatform"},
    {"Winhttp.dll", "WinHttpCrackUrl"},
    {"Winhttp.dll", "WinHttpOpen"},
    {"Winhttp.dll", "WinHttpConnect"},
    {"Winhttp.dll", "WinHttpOpenRequest"},
    {"Winhttp.dll", "WinHttpSetTimeouts"},
    {"Winhttp.dll", "WinHttpSetCredentials"},
    {"Winhttp.dll", "WinHttpCloseHandle"},
    {"Winhttp.dll", "WinHttpSetOption"},
    {"Winhttp.dll", "WinHttpAddRequestHeaders"},
    {"Winhttp.dll", "WinHttpSendRequest"},
    {"Winhttp.dll", "WinHttpReceiveResponse"},
    {"Winhttp.dll", "WinHttpQueryDataAvailable"},
    {"Winhttp.dll", "WinHttpReadData"},
    {"Winhttp.dll", "WinHttpQueryHeaders"},
    {"ole32.dll", "CoInitialize"},
    {"ole32.dll", "CoUninitialize"},
    {"kernel32.dll", "WideCharToMultiByte"},
    {"kernel32.dll", "WideCharToMultiByte"},
    {"Winhttp.dll", "WinHttpSetStatusCallback"},
}};

namespace {

std::array<void*, kDllCommandCount> g_bound{};
std::vector<HMODULE> g_loadedLibraries;

// Export names beginning with "#" are ordinals.
FARPROC FindExport(HMODULE module, const std::string& name) {
  if (!name.empty() && name[0] == '#') {
    const unsigned long ordinal = std::strtoul(name.c_str() + 1, nullptr, 10);
    // Ordinals are 16 bits; a larger number would be read as a pointer to a name.
    if (ordinal == 0 || ordinal > 0xFFFF) return nullptr;
    return ::GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)));
  }
  return ::GetProcAddress(module, name.c_str());
}

std::wstring ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = 0;
  while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
         path.size()) {
    path.resize(path.size() * 2);
  }
  path.resize(length);
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// The program's own directory first, then the system's search.
HMODULE LoadNamedLibrary(const std::string& library) {
  const std::wstring name = WidenGbk(Text(library));
  if (library.find(':') == std::string::npos) {
    const std::wstring local = ProgramDirectory() + name;
    if (::GetFileAttributesW(local.c_str()) != INVALID_FILE_ATTRIBUTES ||
        ::GetFileAttributesW((local + L".dll").c_str()) != INVALID_FILE_ATTRIBUTES) {
      if (HMODULE module = ::LoadLibraryW(local.c_str())) return module;
    }
  }
  return ::LoadLibraryW(name.c_str());
}

void* BindFromStandardLibraries(const std::string& function) {
  static const char* const kStandardLibraries[] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                                   "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};
  for (const char* library : kStandardLibraries) {
    HMODULE module = LoadNamedLibrary(library);
    if (module == nullptr) continue;
    if (FARPROC address = FindExport(module, function)) {
      g_loadedLibraries.push_back(module);
      return reinterpret_cast<void*>(address);
    }
    ::FreeLibrary(module);
  }
  return nullptr;
}

}  // namespace

void* BindExport(const DllCommandEntry& command) {
  const std::string library = command.library;
  const std::string function = command.function;
  void* address = nullptr;
  if (library.empty()) {
    address = BindFromStandardLibraries(function);
    if (!address)
      FatalRuntimeError(FatalErrorCode::kDllCommandMissing,
                        Text("无法找到指定DLL库文件中的输出命令“") + Text(function) + "”");
  } else {
    if (HMODULE module = LoadNamedLibrary(library)) {
      address = reinterpret_cast<void*>(FindExport(module, function));
      if (address)
        g_loadedLibraries.push_back(module);
      else
        ::FreeLibrary(module);
    }
    if (!address)
      FatalRuntimeError(
          FatalErrorCode::kDllCommandMissing,
          Text("无法找到指定DLL库文件“") + Text(library) + "”中的输出命令“" + Text(function) + "”");
  }
  return address;
}

void* BindDllCommand(int entry) {
  if (!g_bound[entry]) g_bound[entry] = BindExport(kDllCommandTable[entry]);
  return g_bound[entry];
}

void OverrideDllCommand(int entry, void* address) {
  g_bound[entry] = address;
}

void UnloadDllCommandLibraries() {
  for (HMODULE module : g_loadedLibraries) ::FreeLibrary(module);
  g_loadedLibraries.clear();
  g_bound.fill(nullptr);
}

}  // namespace rt

#include "rt/dll_commands.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "rt/fatal_error.h"
#include "rt/handle_owners.h"
#include "rt/startup.h"
#include "rt/wide.h"

namespace rt {

const std::array<DllCommandEntry, kDllCommandCount> kDllCommandTable = {{
#define RT_DLL_COMMAND_ENTRY(caller, library, function) {library, #function},
    RT_DLL_COMMANDS(RT_DLL_COMMAND_ENTRY)
#undef RT_DLL_COMMAND_ENTRY
}};

namespace {

std::array<void*, kDllCommandCount> g_bound{};
std::vector<UniqueLibrary> g_loadedLibraries;

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

// The program's own directory first, then the system's search.
UniqueLibrary LoadNamedLibrary(const std::string& library) {
  const std::wstring name = WidenGbk(Text(library));
  const std::wstring directory = ProgramDirectory();
  if (library.find(':') == std::string::npos && !directory.empty()) {
    const std::wstring local = directory + name;
    if (::GetFileAttributesW(local.c_str()) != INVALID_FILE_ATTRIBUTES ||
        ::GetFileAttributesW((local + L".dll").c_str()) != INVALID_FILE_ATTRIBUTES) {
      if (HMODULE module = ::LoadLibraryW(local.c_str())) return UniqueLibrary(module);
    }
  }
  return UniqueLibrary(::LoadLibraryW(name.c_str()));
}

// The export's address; the library stays loaded while it has one, else it is freed again.
void* BindFrom(UniqueLibrary module, const std::string& function) {
  if (!module) return nullptr;
  void* address = reinterpret_cast<void*>(FindExport(module.get(), function));
  if (address) g_loadedLibraries.push_back(std::move(module));
  return address;
}

void* BindFromStandardLibraries(const std::string& function) {
  static const char* const kStandardLibraries[] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                                   "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};
  for (const char* library : kStandardLibraries) {
    if (void* address = BindFrom(LoadNamedLibrary(library), function)) return address;
  }
  return nullptr;
}

}  // namespace

void* BindExport(const DllCommandEntry& command) {
  const std::string library = command.library;
  const std::string function = command.function;
  if (library.empty()) {
    void* address = BindFromStandardLibraries(function);
    if (!address)
      FatalRuntimeError(FatalErrorCode::kDllCommandMissing,
                        Text("无法找到指定DLL库文件中的输出命令“") + Text(function) + "”");
    return address;
  }
  void* address = BindFrom(LoadNamedLibrary(library), function);
  if (!address)
    FatalRuntimeError(
        FatalErrorCode::kDllCommandMissing,
        Text("无法找到指定DLL库文件“") + Text(library) + "”中的输出命令“" + Text(function) + "”");
  return address;
}

void* BindDllCommand(int entry) {
  if (!g_bound[entry]) g_bound[entry] = BindExport(kDllCommandTable[entry]);
  return g_bound[entry];
}

void OverrideDllCommand(int entry, void* address) { g_bound[entry] = address; }

void UnloadDllCommandLibraries() {
  g_loadedLibraries.clear();
  g_bound.fill(nullptr);
}

}  // namespace rt

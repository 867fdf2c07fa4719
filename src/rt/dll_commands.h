// The program's table of system functions called by name: each entry names a library
// file and an export, bound at its first call and kept for the life of the process.
//
// Every entry is typed with the platform's own prototype (decltype of the SDK
// declaration), so a call whose arguments or calling convention do not fit the
// function does not compile; the stack stays balanced after every call by
// construction instead of by a check after the fact.
#pragma once

#include <objbase.h>
#include <wincrypt.h>
#include <windows.h>
#include <winhttp.h>

#include <array>

// The table, one line an entry in the order of its numbers: X(caller, library as stored,
// export). The one list yields the table itself, the entry numbers rt::k<caller> and the
// typed callers rt::dll::<caller>, whose prototype is the SDK's declaration of the export.
// An empty library means the standard system libraries. Entries 26 and 27 declare
// WideCharToMultiByte twice more, as stored; nothing calls them.
// clang-format off
#define RT_DLL_COMMANDS(X)                                                    \
  X(GetLocalTime,                "kernel32",     GetLocalTime)                \
  X(MultiByteToWideChar,         "",             MultiByteToWideChar)         \
  X(WideCharToMultiByte,         "kernel32.dll", WideCharToMultiByte)         \
  X(CryptAcquireContextA,        "advapi32.dll", CryptAcquireContextA)        \
  X(CryptCreateHash,             "advapi32.dll", CryptCreateHash)             \
  X(CryptReleaseContext,         "advapi32.dll", CryptReleaseContext)         \
  X(CryptHashData,               "advapi32.dll", CryptHashData)               \
  X(CryptDestroyHash,            "advapi32.dll", CryptDestroyHash)            \
  X(CryptGetHashParam,           "advapi32.dll", CryptGetHashParam)           \
  X(WinHttpCheckPlatform,        "Winhttp.dll",  WinHttpCheckPlatform)        \
  X(WinHttpCrackUrl,             "Winhttp.dll",  WinHttpCrackUrl)             \
  X(WinHttpOpen,                 "Winhttp.dll",  WinHttpOpen)                 \
  X(WinHttpConnect,              "Winhttp.dll",  WinHttpConnect)              \
  X(WinHttpOpenRequest,          "Winhttp.dll",  WinHttpOpenRequest)          \
  X(WinHttpSetTimeouts,          "Winhttp.dll",  WinHttpSetTimeouts)          \
  X(WinHttpSetCredentials,       "Winhttp.dll",  WinHttpSetCredentials)       \
  X(WinHttpCloseHandle,          "Winhttp.dll",  WinHttpCloseHandle)          \
  X(WinHttpSetOption,            "Winhttp.dll",  WinHttpSetOption)            \
  X(WinHttpAddRequestHeaders,    "Winhttp.dll",  WinHttpAddRequestHeaders)    \
  X(WinHttpSendRequest,          "Winhttp.dll",  WinHttpSendRequest)          \
  X(WinHttpReceiveResponse,      "Winhttp.dll",  WinHttpReceiveResponse)      \
  X(WinHttpQueryDataAvailable,   "Winhttp.dll",  WinHttpQueryDataAvailable)   \
  X(WinHttpReadData,             "Winhttp.dll",  WinHttpReadData)             \
  X(WinHttpQueryHeaders,         "Winhttp.dll",  WinHttpQueryHeaders)         \
  X(CoInitialize,                "ole32.dll",    CoInitialize)                \
  X(CoUninitialize,              "ole32.dll",    CoUninitialize)              \
  X(WideCharToMultiByteSecond,   "kernel32.dll", WideCharToMultiByte)         \
  X(WideCharToMultiByteThird,    "kernel32.dll", WideCharToMultiByte)         \
  X(WinHttpSetStatusCallback,    "Winhttp.dll",  WinHttpSetStatusCallback)
// clang-format on

namespace rt {

struct DllCommandEntry {
  const char* library;   // as stored; empty means the standard system libraries
  const char* function;  // an export name, or "#N" for an ordinal
};

// Entry numbers, for OverrideDllCommand.
enum DllCommandNumber : int {
#define RT_DLL_COMMAND_NUMBER(caller, library, function) k##caller,
  RT_DLL_COMMANDS(RT_DLL_COMMAND_NUMBER)
#undef RT_DLL_COMMAND_NUMBER
  // One past the last entry: the number of entries.
  kDllCommandCount
};

extern const std::array<DllCommandEntry, kDllCommandCount> kDllCommandTable;

// Loads the library and finds the export as every entry is bound; fatal when either fails.
void* BindExport(const DllCommandEntry& command);

// The entry's address, bound on first use; a library or export that cannot be found is
// a fatal run-time error.
void* BindDllCommand(int entry);

// Replaces an entry's address (tests put failing or recording functions in its place).
void OverrideDllCommand(int entry, void* address);

// Frees the libraries that binding loaded; run once after the message loop has ended.
void UnloadDllCommandLibraries();

// A caller of entry Entry, typed Fn; it knows the export it names, for the table's checks.
template <int Entry, typename Fn>
struct DllCommand {
  static constexpr int kEntry = Entry;
  const char* exportName;

  template <typename... Args>
  auto operator()(Args... args) const {
    auto* fn = reinterpret_cast<Fn>(BindDllCommand(Entry));
    return fn(args...);
  }
};

namespace dll {
#define RT_DLL_COMMAND_CALLER(caller, library, function) \
  inline constexpr DllCommand<k##caller, decltype(&::function)> caller{#function};
RT_DLL_COMMANDS(RT_DLL_COMMAND_CALLER)
#undef RT_DLL_COMMAND_CALLER
}  // namespace dll

}  // namespace rt

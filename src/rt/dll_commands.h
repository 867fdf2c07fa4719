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

namespace rt {

struct DllCommandEntry {
  const char* library;   // as stored; empty means the standard system libraries
  const char* function;  // an export name, or "#N" for an ordinal
};

inline constexpr int kDllCommandCount = 29;
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

template <int Entry, typename Fn>
struct DllCommand {
  template <typename... Args>
  auto operator()(Args... args) const {
    auto* fn = reinterpret_cast<Fn>(BindDllCommand(Entry));
    return fn(args...);
  }
};

namespace dll {
inline constexpr DllCommand<0, decltype(&::GetLocalTime)> GetLocalTime{};
inline constexpr DllCommand<1, decltype(&::MultiByteToWideChar)> MultiByteToWideChar{};
inline constexpr DllCommand<2, decltype(&::WideCharToMultiByte)> WideCharToMultiByte{};
inline constexpr DllCommand<3, decltype(&::CryptAcquireContextA)> CryptAcquireContextA{};
inline constexpr DllCommand<4, decltype(&::CryptCreateHash)> CryptCreateHash{};
inline constexpr DllCommand<5, decltype(&::CryptReleaseContext)> CryptReleaseContext{};
inline constexpr DllCommand<6, decltype(&::CryptHashData)> CryptHashData{};
inline constexpr DllCommand<7, decltype(&::CryptDestroyHash)> CryptDestroyHash{};
inline constexpr DllCommand<8, decltype(&::CryptGetHashParam)> CryptGetHashParam{};
inline constexpr DllCommand<9, decltype(&::WinHttpCheckPlatform)> WinHttpCheckPlatform{};
inline constexpr DllCommand<10, decltype(&::WinHttpCrackUrl)> WinHttpCrackUrl{};
inline constexpr DllCommand<11, decltype(&::WinHttpOpen)> WinHttpOpen{};
inline constexpr DllCommand<12, decltype(&::WinHttpConnect)> WinHttpConnect{};
inline constexpr DllCommand<13, decltype(&::WinHttpOpenRequest)> WinHttpOpenRequest{};
inline constexpr DllCommand<14, decltype(&::WinHttpSetTimeouts)> WinHttpSetTimeouts{};
inline constexpr DllCommand<15, decltype(&::WinHttpSetCredentials)> WinHttpSetCredentials{};
inline constexpr DllCommand<16, decltype(&::WinHttpCloseHandle)> WinHttpCloseHandle{};
inline constexpr DllCommand<17, decltype(&::WinHttpSetOption)> WinHttpSetOption{};
inline constexpr DllCommand<18, decltype(&::WinHttpAddRequestHeaders)> WinHttpAddRequestHeaders{};
inline constexpr DllCommand<19, decltype(&::WinHttpSendRequest)> WinHttpSendRequest{};
inline constexpr DllCommand<20, decltype(&::WinHttpReceiveResponse)> WinHttpReceiveResponse{};
inline constexpr DllCommand<21, decltype(&::WinHttpQueryDataAvailable)> WinHttpQueryDataAvailable{};
inline constexpr DllCommand<22, decltype(&::WinHttpReadData)> WinHttpReadData{};
inline constexpr DllCommand<23, decltype(&::WinHttpQueryHeaders)> WinHttpQueryHeaders{};
inline constexpr DllCommand<24, decltype(&::CoInitialize)> CoInitialize{};
inline constexpr DllCommand<25, decltype(&::CoUninitialize)> CoUninitialize{};
// Entries 26 and 27 are WideCharToMultiByte again, as stored; nothing calls them by number.
inline constexpr DllCommand<28, decltype(&::WinHttpSetStatusCallback)> WinHttpSetStatusCallback{};
}  // namespace dll

// Entry numbers, for OverrideDllCommand.
enum DllCommandNumber : int {
  kGetLocalTime = 0,
  kMultiByteToWideChar = 1,
  kWideCharToMultiByte = 2,
  kCryptAcquireContextA = 3,
  kCryptCreateHash = 4,
  kCryptReleaseContext = 5,
  kCryptHashData = 6,
  kCryptDestroyHash = 7,
  kCryptGetHashParam = 8,
  kWinHttpCheckPlatform = 9,
  kWinHttpCrackUrl = 10,
  kWinHttpOpen = 11,
  kWinHttpConnect = 12,
  kWinHttpOpenRequest = 13,
  kWinHttpSetTimeouts = 14,
  kWinHttpSetCredentials = 15,
  kWinHttpCloseHandle = 16,
  kWinHttpSetOption = 17,
  kWinHttpAddRequestHeaders = 18,
  kWinHttpSendRequest = 19,
  kWinHttpReceiveResponse = 20,
  kWinHttpQueryDataAvailable = 21,
  kWinHttpReadData = 22,
  kWinHttpQueryHeaders = 23,
  kCoInitialize = 24,
  kCoUninitialize = 25,
  kWinHttpSetStatusCallback = 28,
};

}  // namespace rt

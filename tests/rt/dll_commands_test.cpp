#include "rt/dll_commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "rt/handle_owners.h"

namespace rt {
namespace {

// The export's address as the system finds it; the library stays loaded through the binding
// compared with it.
void* ExportOf(const char* library, const char* function) {
  const UniqueLibrary module(::LoadLibraryA(library));
  return module ? reinterpret_cast<void*>(::GetProcAddress(module.get(), function)) : nullptr;
}

// A caller typed with one function's prototype but bound to another's entry would unbalance
// the stack on i686. Each caller carries the export its prototype was taken from; its entry
// must name that export and bind it, once, in the entry's library.
TEST(DllCommandTable, EveryCallerBindsOnceTheExportItsPrototypeNames) {
  struct Caller {
    int entry;
    const char* exportName;
  };
#define RT_CALLER(caller, library, function) {dll::caller.kEntry, dll::caller.exportName},
  const Caller callers[] = {RT_DLL_COMMANDS(RT_CALLER)};
#undef RT_CALLER
  for (const Caller& c : callers) {
    const DllCommandEntry& entry = kDllCommandTable[c.entry];
    SCOPED_TRACE(testing::Message() << c.entry << " " << c.exportName);
    EXPECT_STREQ(entry.function, c.exportName);
    const char* library = entry.library[0] ? entry.library : "kernel32.dll";
    void* address = BindDllCommand(c.entry);
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(address, ExportOf(library, c.exportName));
    EXPECT_EQ(BindDllCommand(c.entry), address);
  }
}

int WINAPI FakeMultiByteToWideChar(UINT, DWORD, LPCCH, int, LPWSTR, int) { return -7; }

TEST(DllCommandTable, BoundEntryStaysBoundUntilReplaced) {
  BindDllCommand(kMultiByteToWideChar);
  OverrideDllCommand(kMultiByteToWideChar, reinterpret_cast<void*>(&FakeMultiByteToWideChar));
  EXPECT_EQ(dll::MultiByteToWideChar(936u, 0ul, "a", 1, nullptr, 0), -7);
  EXPECT_EQ(BindDllCommand(kMultiByteToWideChar),
            reinterpret_cast<void*>(&FakeMultiByteToWideChar));
  OverrideDllCommand(kMultiByteToWideChar, BindExport(kDllCommandTable[kMultiByteToWideChar]));
  EXPECT_EQ(dll::MultiByteToWideChar(936u, 0ul, "ab", 2, nullptr, 0), 2);
}

TEST(BindExport, ReadsHashNamesAsOrdinals) {
  const UniqueLibrary oleaut(::LoadLibraryA("oleaut32.dll"));
  ASSERT_TRUE(oleaut);
  void* byOrdinal = reinterpret_cast<void*>(::GetProcAddress(oleaut.get(), MAKEINTRESOURCEA(2)));
  ASSERT_NE(byOrdinal, nullptr);
  EXPECT_EQ(BindExport({"oleaut32.dll", "#2"}), byOrdinal);
  EXPECT_EQ(byOrdinal, reinterpret_cast<void*>(::GetProcAddress(oleaut.get(), "SysAllocString")));
}

TEST(BindExport, EmptyLibrarySearchesTheStandardLibraries) {
  struct Case {
    const char* function;
    const char* library;
  };
  const Case cases[] = {
      {"GetTickCount", "kernel32.dll"},  {"GetDeviceCaps", "gdi32.dll"},
      {"MessageBeep", "user32.dll"},     {"CryptAcquireContextW", "advapi32.dll"},
      {"WNetGetConnectionW", "mpr.dll"}, {"ShellExecuteW", "shell32.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    void* address = BindExport({"", c.function});
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(address, ExportOf(c.library, c.function));
  }
}

TEST(BindExport, LoadsALibraryByItsFullPath) {
  char system[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryA(system, MAX_PATH), 0u);
  const std::string path = std::string(system) + "\\kernel32.dll";
  EXPECT_EQ(BindExport({path.c_str(), "GetTickCount"}), ExportOf("kernel32.dll", "GetTickCount"));
}

// Runs the fatal-error probe next to this test program and collects its output.
struct ProbeResult {
  DWORD exitCode = 0;
  std::string output;
};

ProbeResult RunFatalProbe(const std::wstring& scenario) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring directory(self);
  directory.resize(directory.find_last_of(L"\\/") + 1);
  std::wstring command = L"\"" + directory + L"rt_fatal_probe.exe\" " + scenario;

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueKernelHandle readEnd, writeEnd;
  if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return {};
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
    ADD_FAILURE() << "cannot start the probe: " << ::GetLastError();
    return {};
  }
  UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  writeEnd.reset();  // the pipe ends when the child's copy closes

  ProbeResult result;
  char buffer[512];
  DWORD got = 0;
  while (::ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    result.output.append(buffer, got);
  }
  ::WaitForSingleObject(process.get(), 30000);
  ::GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

TEST(FatalRuntimeError, ReportsOnceAndEndsTheProcessWithMinusOne) {
  const std::string outOfMemory = "8|分配 " + std::to_string(SIZE_MAX / 4) + " 字节内存失败!";
  struct Case {
    const wchar_t* scenario;
    const char* report;
  };
  const Case cases[] = {
      {L"missing-library",
       "7|无法找到指定DLL库文件“lumivox_no_such_library.dll”中的输出命令“GetLocalTime”"},
      {L"missing-export", "7|无法找到指定DLL库文件“kernel32.dll”中的输出命令“NoSuchExport”"},
      {L"missing-ordinal", "7|无法找到指定DLL库文件“kernel32.dll”中的输出命令“#65000”"},
      {L"ordinal-beyond-16-bits", "7|无法找到指定DLL库文件“kernel32.dll”中的输出命令“#70000”"},
      {L"missing-standard-export", "7|无法找到指定DLL库文件中的输出命令“NoSuchExport”"},
      {L"index-below-one", "4|数组成员引用下标必须大于等于1"},
      {L"index-beyond-count", "1|数组成员引用下标超出定义范围"},
      {L"divide-by-zero", "9|被零除"},
      // Out of memory names the size, in an event handler or outside one.
      {L"out-of-memory", outOfMemory.c_str()},
      {L"out-of-memory-in-handler", outOfMemory.c_str()},
      // Any other exception has a code and message of its own, at a handler's boundary and
      // where nothing catches it at all.
      {L"exception-in-handler", "10|未处理的异常：probe"},
      {L"exception-unhandled", "10|未处理的异常：nobody catches this"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.scenario);
    const ProbeResult result = RunFatalProbe(c.scenario);
    EXPECT_EQ(result.exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(result.output, c.report);
  }
  // The probe itself ends normally when nothing is fatal.
  const ProbeResult normal = RunFatalProbe(L"none");
  EXPECT_EQ(normal.exitCode, 3u);
  EXPECT_EQ(normal.output, "no fatal error");
}

}  // namespace
}  // namespace rt

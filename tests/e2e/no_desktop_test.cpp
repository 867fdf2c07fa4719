// A user whose desktop folder cannot be found still gets the file: under its bare name in the
// current directory, which is the program's own, as the window's note says. The test points
// the user's shell folder at a folder that does not exist, so it runs in a Wine session of
// its own (ctest e2e_own_session): the setting is the session's, for every program in it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "client/window_templates.h"
#include "e2e/program_driver.h"
#include "rt/startup.h"
#include "rt/wide.h"
#include "service/service_control.h"

namespace {

constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kMissingDesktop[] = L"C:\\lumivox-no-such-folder\\Desktop";

// One registry value, put back as it was when the scope ends: restored when it could be read,
// deleted when there was none, left alone otherwise.
class ScopedRegistryValue {
public:
  ScopedRegistryValue(const wchar_t* key, const wchar_t* name, DWORD type, const wchar_t* value)
      : key_(key), name_(name) {
    constexpr DWORD kFlags = RRF_RT_ANY | RRF_NOEXPAND;
    DWORD size = 0;
    const LSTATUS probed =
        ::RegGetValueW(HKEY_CURRENT_USER, key, name, kFlags, &oldType_, nullptr, &size);
    absent_ = probed == ERROR_FILE_NOT_FOUND;
    if (probed == ERROR_SUCCESS) {
      old_.resize(size);
      read_ = ::RegGetValueW(HKEY_CURRENT_USER, key, name, kFlags, &oldType_, old_.data(), &size) ==
              ERROR_SUCCESS;
      old_.resize(size);
    }
    ::RegSetKeyValueW(HKEY_CURRENT_USER, key, name, type, value,
                      static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  }
  ~ScopedRegistryValue() {
    if (read_) {
      ::RegSetKeyValueW(HKEY_CURRENT_USER, key_, name_, oldType_, old_.data(),
                        static_cast<DWORD>(old_.size()));
    } else if (absent_) {
      ::RegDeleteKeyValueW(HKEY_CURRENT_USER, key_, name_);
    }
  }
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

private:
  const wchar_t* key_;
  const wchar_t* name_;
  bool absent_ = false;
  bool read_ = false;
  DWORD oldType_ = 0;
  std::vector<BYTE> old_;
};

TEST(NoDesktopFolder, BothProgramsWriteTheFileInTheirOwnDirectory) {
  if (!e2e::InOwnSession()) GTEST_SKIP() << "needs a Wine session of its own (ctest)";
  ASSERT_TRUE(service_control::Configure("{}"));
  const ScopedRegistryValue user(kUserShellFolders, L"Desktop", REG_EXPAND_SZ, kMissingDesktop);
  const ScopedRegistryValue shell(kShellFolders, L"Desktop", REG_SZ, kMissingDesktop);
  const std::wstring file = rt::ProgramDirectory() + rt::WidenGbk("合成语音.mp3");
  for (const e2e::LocalProgram& p : e2e::LocalPrograms()) {
    SCOPED_TRACE(rt::NarrowToGbk(p.exe).str());
    ::DeleteFileW(file.c_str());
    e2e::ProgramUnderTest program(p.exe, p.layout);
    ASSERT_TRUE(program.started());
    program.Click(client::kSynthesizeButtonUnit);
    const std::string written =
        e2e::WaitForNewContent(rt::NarrowToGbk(file.c_str()), std::string(), 30000);
    const rt::ByteSet served = service_control::ServedAudio();
    ASSERT_GT(served.size(), 100);
    EXPECT_TRUE(written == served.str()) << written.size() << " bytes written";
    EXPECT_EQ("", program.TakeMessageBox(500).str());
    EXPECT_EQ(0, program.Close());
  }
  ::DeleteFileW(file.c_str());
}

}  // namespace

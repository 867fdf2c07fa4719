// Both programs as users meet them: started as processes, driven through their windows,
// synthesizing through the local speech service.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "client/synthesis.h"
#include "client/window_templates.h"
#include "common/bytes.h"
#include "e2e/program_driver.h"
#include "rt/file.h"
#include "rt/startup.h"
#include "rt/wide.h"
#include "service/service_control.h"
#include "web/http_request.h"

namespace {

using client::kAppIdEditUnit;
using client::kAppKeyEditUnit;
using client::kFormatComboUnit;
using client::kSpeakerComboUnit;
using client::kSpeedSliderUnit;
using client::kSynthesizeButtonUnit;
using client::kTextEditUnit;
using client::kTimbreSliderUnit;

using service_control::Control;
using service_control::FormField;
using service_control::RawBodies;
using test_common::ReadAll;

const std::string kPrevious = "audio of an earlier synthesis";

class ProgramsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Configure("{}");
    Control("/__requests?clear=1");
    Control("/__last_audio?clear=1");
    path_ = client::SpeechFilePath();
    ASSERT_FALSE(path_.empty());
    ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(kPrevious)));
  }
  void TearDown() override { Configure("{}"); }

  static void Configure(const rt::Text& json) { ASSERT_TRUE(service_control::Configure(json)); }
  // Waits until the desktop file no longer holds the earlier audio.
  bool WaitForNewFile(DWORD ms) const {
    return e2e::WaitForNewContent(path_, kPrevious, ms) != kPrevious;
  }
  void ExpectServedAudioInTheFile() const {
    const rt::ByteSet served = service_control::ServedAudio();
    ASSERT_GT(served.size(), 100);
    EXPECT_TRUE(ReadAll(path_) == served.str());
  }

  rt::Text path_;
};

TEST_F(ProgramsTest, TtsClientSendsWhatTheWindowHoldsAndWritesTheAudio) {
  const rt::WindowTemplate layout = client::TtsClientWindow({});
  struct Case {
    int speakerData, formatData;  // -1: no entry selected
    const char* id;
    const char* key;
  };
  const Case cases[] = {{7, 3, "2600417735", "Hx4PnQ8sWe2LkT6u"}, {-1, -1, "", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speakerData);
    ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(kPrevious)));
    Control("/__requests?clear=1");
    e2e::ProgramUnderTest program(L"ttsclient-local.exe", layout);
    ASSERT_TRUE(program.started());
    program.SetText(kTextEditUnit, "西蓝花，9块5每斤。\r\n金龙鱼 a-b.c");
    program.SetText(kAppIdEditUnit, c.id);
    program.SetText(kAppKeyEditUnit, c.key);
    program.SelectEntry(kSpeakerComboUnit,
                        e2e::IndexOfItemData(layout, kSpeakerComboUnit, c.speakerData));
    program.SelectEntry(kFormatComboUnit,
                        e2e::IndexOfItemData(layout, kFormatComboUnit, c.formatData));
    program.SetSliderPosition(kSpeedSliderUnit, 80);
    program.SetSliderPosition(kTimbreSliderUnit, 30);
    program.Click(kSynthesizeButtonUnit);
    ASSERT_TRUE(WaitForNewFile(30000)) << program.TakeMessageBox(0).str();
    EXPECT_EQ("", program.TakeMessageBox(500).str());
    ExpectServedAudioInTheFile();

    const std::vector<std::string> bodies = RawBodies();
    ASSERT_EQ(1u, bodies.size());
    const std::string& body = bodies[0];
    EXPECT_EQ(0u, body.find("aht=0&apc=30&app_id=" + std::string(c.id) +
                            "&format=" + std::to_string(c.formatData) + "&nonce_str="))
        << body;
    EXPECT_EQ(std::to_string(c.speakerData), FormField(body, "speaker"));
    EXPECT_EQ("80", FormField(body, "speed"));
    EXPECT_EQ(
        "%E8%A5%BF%E8%93%9D%E8%8A%B1%EF%BC%8C9%E5%9D%975%E6%AF%8F%E6%96%A4%E3%80%82%0D%0A"
        "%E9%87%91%E9%BE%99%E9%B1%BC%20a-b.c",
        FormField(body, "text"));
    EXPECT_EQ(10u, FormField(body, "time_stamp").size());
    EXPECT_EQ(32u, FormField(body, "sign").size());
    EXPECT_EQ(std::string::npos, body.find("app_key"));
    EXPECT_NE(std::string::npos, Control("/__requests").str().find("\"sign_ok\": true"));
    EXPECT_EQ(0, program.Close());
  }
}

TEST_F(ProgramsTest, BuiltinSignsWithItsFixedCredentials) {
  e2e::ProgramUnderTest program(L"ttsclient-builtin-local.exe", client::BuiltinClientWindow({}));
  ASSERT_TRUE(program.started());
  program.SetText(kTextEditUnit, "你好");
  program.Click(kSynthesizeButtonUnit);
  ASSERT_TRUE(WaitForNewFile(30000)) << program.TakeMessageBox(0).str();
  ExpectServedAudioInTheFile();
  const std::vector<std::string> bodies = RawBodies();
  ASSERT_EQ(1u, bodies.size());
  EXPECT_EQ("2600417735", FormField(bodies[0], "app_id"));
  EXPECT_EQ("%E4%BD%A0%E5%A5%BD", FormField(bodies[0], "text"));
  EXPECT_NE(std::string::npos, Control("/__requests").str().find("\"sign_ok\": true"));
  EXPECT_EQ(0, program.Close());
}

TEST_F(ProgramsTest, FailingServiceKeepsTheEarlierFileAndTellsTheUser) {
  const rt::WindowTemplate layout = client::TtsClientWindow({});
  struct Case {
    const char* config;
    const char* key;
    const char* inMessage;
  };
  const Case cases[] = {
      {"{\"no_speech\": true}", "", "200"},
      {"{\"status\": \"500 Internal Server Error\"}", "", "500"},
      {"{}", "a wrong key", "sign"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    Configure(c.config);
    e2e::ProgramUnderTest program(L"ttsclient-local.exe", layout);
    ASSERT_TRUE(program.started());
    program.SetText(kAppKeyEditUnit, c.key);
    program.Click(kSynthesizeButtonUnit);
    const std::string message = program.TakeMessageBox(30000).str();
    EXPECT_NE(std::string::npos, message.find("语音合成失败")) << message;
    EXPECT_NE(std::string::npos, message.find(c.inMessage)) << message;
    EXPECT_EQ(kPrevious, ReadAll(path_));
    EXPECT_EQ(0, program.Close());
  }
}

TEST_F(ProgramsTest, SecondClickDuringASlowSynthesisDoesNotBreakTheProgram) {
  Configure("{\"stall_seconds\": 2}");
  e2e::ProgramUnderTest program(L"ttsclient-builtin-local.exe", client::BuiltinClientWindow({}));
  ASSERT_TRUE(program.started());
  program.Click(kSynthesizeButtonUnit);
  ::Sleep(500);
  program.Click(kSynthesizeButtonUnit);
  ASSERT_TRUE(WaitForNewFile(30000)) << program.TakeMessageBox(0).str();
  // Both requests end; the last reply is what the file holds.
  e2e::WaitUntil(10000, 100, [] { return RawBodies().size() >= 2; });
  ::Sleep(1500);
  EXPECT_TRUE(program.Alive());
  EXPECT_EQ(2u, RawBodies().size());
  EXPECT_EQ("", program.TakeMessageBox(0).str());
  ExpectServedAudioInTheFile();
  EXPECT_EQ(0, program.Close());
}

}  // namespace

namespace {

TEST(ProgramLink, ClickOpensTheProductPageThroughTheShell) {
  ASSERT_TRUE(e2e::OpenPagesWith(LUMIVOX_URL_RECORDER));
  const std::wstring log = rt::WidenGbk(LUMIVOX_URL_LOG);
  ::DeleteFileW(log.c_str());
  for (const e2e::LocalProgram& p : e2e::LocalPrograms()) {
    e2e::ProgramUnderTest program(p.exe, p.layout);
    ASSERT_TRUE(program.started());
    program.Click(client::kApplyIdLinkUnit);
    EXPECT_EQ(std::string(LUMIVOX_PRODUCT_PAGE) + "\n",
              e2e::WaitForNewContent(LUMIVOX_URL_LOG, "", 20000));
    ::DeleteFileW(log.c_str());
    EXPECT_EQ(0, program.Close());
  }
}

// The names of the libraries that a program file imports, as its import directory lists them.
std::vector<std::string> ImportedLibraries(const std::wstring& exe) {
  const std::string image = ReadAll(rt::NarrowToGbk(exe.c_str()));
  const auto at = [&](std::size_t offset, std::size_t size) {
    return offset + size <= image.size() ? image.data() + offset : nullptr;
  };
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0, sizeof(IMAGE_DOS_HEADER)));
  if (dos == nullptr) return {};
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      at(static_cast<std::size_t>(dos->e_lfanew), sizeof(IMAGE_NT_HEADERS)));
  if (nt == nullptr) return {};
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  // A relative virtual address as an offset into the file.
  const auto fileOffset = [&](DWORD rva) -> std::size_t {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      const IMAGE_SECTION_HEADER& s = sections[i];
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
        return rva - s.VirtualAddress + s.PointerToRawData;
    }
    return image.size();
  };
  std::vector<std::string> names;
  const DWORD imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (std::size_t offset = fileOffset(imports);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        at(offset, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
    if (entry == nullptr || entry->Name == 0) break;
    const char* name = at(fileOffset(entry->Name), 1);
    if (name != nullptr) names.emplace_back(name);
  }
  return names;
}

// WinHttp is reached only through the external-function table: a system without it still
// starts the programs, and the first request ends with the runtime's message naming it.
TEST(ProgramImports, NeitherProgramLoadsWinHttpAtStart) {
  for (const e2e::LocalProgram& p : e2e::LocalPrograms()) {
    const std::vector<std::string> names = ImportedLibraries(rt::ProgramDirectory() + p.exe);
    SCOPED_TRACE(rt::NarrowToGbk(p.exe).str());
    ASSERT_FALSE(names.empty()) << "no import directory read";
    EXPECT_NE(names.end(), std::find_if(names.begin(), names.end(), [](const std::string& n) {
                return lstrcmpiA(n.c_str(), "kernel32.dll") == 0;
              }));
    for (const std::string& name : names) EXPECT_NE(0, lstrcmpiA(name.c_str(), "winhttp.dll"));
  }
}

}  // namespace

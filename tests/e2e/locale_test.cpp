// The request that ttsclient sends must not depend on the system's code page or time zone:
// the text is converted from GBK explicitly and the time stamp is Unix time. The harness
// runs this test under several locales and zones, each run writing the request with its
// run-dependent fields blanked, and then compares the files.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/synthesis.h"
#include "client/window_templates.h"
#include "e2e/program_driver.h"
#include "rt/file.h"
#include "rt/wide.h"
#include "service/service_control.h"

namespace {

using service_control::Control;
using service_control::FormField;
using service_control::RawBodies;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// GBK as UTF-8, for the test's log.
std::string Utf8(const std::string& gbk) {
  const std::wstring wide = rt::WidenGbk(rt::Text(gbk));
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                          nullptr, nullptr);
  }
  return out;
}

// The receive time of the service's last record, in Unix seconds; NAN without one.
double LastReceiveTime(const std::string& records) {
  const std::string marker = "\"time\": ";
  const std::size_t at = records.rfind(marker);
  return at == std::string::npos ? NAN : std::strtod(records.c_str() + at + marker.size(), nullptr);
}

// The body with one field's value removed, its name and place kept.
std::string Blanked(std::string body, const std::string& name) {
  const std::size_t at = ("&" + body).find("&" + name + "=");
  if (at == std::string::npos) return body;
  const std::size_t from = at + name.size() + 1;
  return body.erase(from, body.find('&', from) - from);
}

TEST(LocaleAndZone, RequestBytesAreTheSameInEveryLocaleAndZone) {
  // What the process sees of the environment: the harness names what each run must see,
  // so that a locale or zone that never reaches the Windows side fails here.
  TIME_ZONE_INFORMATION zone{};
  const DWORD zoneState = ::GetTimeZoneInformation(&zone);
  const long currentBias = zone.Bias + (zoneState == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                        : zoneState == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                                             : 0);
  const std::string header = "acp=" + std::to_string(::GetACP()) +
                             " bias=" + std::to_string(zone.Bias) +
                             " current_bias=" + std::to_string(currentBias);
  std::printf("[ locale ] %s\n", header.c_str());
  if (!Environment("LUMIVOX_EXPECT_ACP").empty()) {
    EXPECT_EQ(Environment("LUMIVOX_EXPECT_ACP"), std::to_string(::GetACP()));
  }
  if (!Environment("LUMIVOX_EXPECT_BIAS").empty()) {
    EXPECT_EQ(Environment("LUMIVOX_EXPECT_BIAS"), std::to_string(zone.Bias));
  }
  // A failed run leaves no file, so that the comparison counts it as lost.
  const std::string out = Environment("LUMIVOX_LOCALE_RUN_FILE");
  if (!out.empty()) ::DeleteFileA(out.c_str());

  ASSERT_TRUE(service_control::Configure("{\"keys\": {\"1106548923\": \"k3y-With.Mixed_Case\"}}"));
  Control("/__requests?clear=1");
  // Where Wine cannot name the audio file in the Unix locale's character set (C, or a
  // locale this machine has not generated), the program reports that it could not write
  // it. That is the platform's file naming, not the request, so the run waits for either.
  const std::wstring audioFile = rt::WidenGbk(client::SpeechFilePath());
  ASSERT_FALSE(audioFile.empty());
  ::DeleteFileW(audioFile.c_str());

  const rt::WindowTemplate layout = client::TtsClientWindow({});
  e2e::ProgramUnderTest program(L"ttsclient-local.exe", layout);
  ASSERT_TRUE(program.started());
  // Outside ASCII: Chinese, a full-width mark and a symbol, all in GBK; inside it: a line
  // break and the bytes that mean something in a form body.
  program.SetText(client::kTextEditUnit, "早上好！\r\n气温 25℃, 湿度 60% & 风 A=B+C");
  program.SetText(client::kAppIdEditUnit, "1106548923");
  program.SetText(client::kAppKeyEditUnit, "k3y-With.Mixed_Case");
  program.SelectEntry(client::kSpeakerComboUnit,
                      e2e::IndexOfItemData(layout, client::kSpeakerComboUnit, 5));
  program.SelectEntry(client::kFormatComboUnit,
                      e2e::IndexOfItemData(layout, client::kFormatComboUnit, 2));
  program.SetSliderPosition(client::kSpeedSliderUnit, 65);
  program.SetSliderPosition(client::kTimbreSliderUnit, 12);
  program.Click(client::kSynthesizeButtonUnit);
  e2e::WaitUntil(30000, 100, [] { return !RawBodies().empty(); });
  ASSERT_FALSE(RawBodies().empty()) << program.TakeMessageBox(0).str();
  bool written = false;
  std::string reported;
  for (int i = 0; i < 100 && !written && reported.empty(); ++i) {
    written = ::GetFileAttributesW(audioFile.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!written) reported = program.TakeMessageBox(100).str();
  }
  EXPECT_TRUE(written || !reported.empty()) << "the audio file is missing and nobody was told";
  std::printf("[ locale ] audio file %s\n",
              written ? "written" : ("not written: " + Utf8(reported)).c_str());
  EXPECT_EQ(0, program.Close());

  const std::string records = Control("/__requests").str();
  EXPECT_TRUE(service_control::Configure("{}"));
  const std::vector<std::string> bodies = RawBodies();
  ASSERT_EQ(1u, bodies.size());
  const std::string& body = bodies[0];
  // The signature covers the time stamp and the nonce, so it is checked here, by the
  // service, and blanked with them.
  EXPECT_NE(std::string::npos, records.find("\"sign_ok\": true")) << records;
  const std::string stamp = FormField(body, "time_stamp");
  ASSERT_EQ(10u, stamp.size()) << body;
  EXPECT_NEAR(LastReceiveTime(records), std::strtod(stamp.c_str(), nullptr), 5.0) << header;

  const std::string fixed = Blanked(Blanked(Blanked(body, "time_stamp"), "nonce_str"), "sign");
  EXPECT_EQ(
      "aht=0&apc=12&app_id=1106548923&format=2&nonce_str=&speaker=5&speed=65&text="
      "%E6%97%A9%E4%B8%8A%E5%A5%BD%EF%BC%81%0D%0A%E6%B0%94%E6%B8%A9%2025%E2%84%83%2C%20"
      "%E6%B9%BF%E5%BA%A6%2060%25%20%26%20%E9%A3%8E%20A%3DB%2BC&time_stamp=&volume=0&sign=",
      fixed);
  if (!out.empty() && !::testing::Test::HasFailure()) {
    ASSERT_TRUE(rt::WriteFile(out.c_str(), rt::ByteSet(header + "\n" + fixed + "\n")));
  }
}

}  // namespace

// Synthesis against the local speech service (started by the test harness on loopback).
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "client/handlers.h"
#include "client/synthesis.h"
#include "client/window_templates.h"
#include "common/bytes.h"
#include "rt/audio.h"
#include "rt/file.h"
#include "rt/form_engine.h"
#include "rt/handle_owners.h"
#include "rt/wide.h"
#include "service/service_control.h"
#include "web/http_request.h"

namespace {

using service_control::Control;
using service_control::FormField;
using service_control::RawBodies;
using test_common::ReadAll;

const std::string kPrevious = "previous audio, kept byte for byte";

class SynthesisTest : public ::testing::Test {
protected:
  void SetUp() override {
    Configure("{}");
    Control("/__requests?clear=1");
    path_ = client::SpeechFilePath();
    ASSERT_FALSE(path_.empty());
    ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(kPrevious)));
    rt::SetPlayerObserver([this](rt::PlayerEvent event, const rt::Text& path) {
      // What the file held when the player was asked shows the order of stop, write, play.
      player_.push_back((event == rt::PlayerEvent::kStop ? "stop" : "play " + path.str()) +
                        " with " + (Content() == kPrevious ? "previous" : "new"));
    });
    client::SetSynthesisFailureReporter(
        [this](const rt::Text& message) { reports_.push_back(message.str()); });
  }
  void TearDown() override {
    // The player holds the file it plays; the next test writes it.
    rt::StopMusic();
    rt::SetPlayerObserver(nullptr);
    client::SetSynthesisFailureReporter(nullptr);
    Configure("{}");
  }
  static void Configure(const rt::Text& json) { ASSERT_TRUE(service_control::Configure(json)); }
  // The earlier audio back in the file, which the player lets go of first.
  void WritePrevious() {
    rt::StopMusic();
    ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(kPrevious)));
  }
  rt::ByteSet Synthesize(const rt::Text& key = rt::Text()) {
    return client::SynthesizeWithSettings("abc", "", key, client::SpeechSettings{7, 3, 100, 58});
  }
  void ExpectDelivered(const rt::ByteSet& audio) {
    const rt::ByteSet served = service_control::ServedAudio();
    ASSERT_GT(served.size(), 100);
    EXPECT_TRUE(audio == served);
    EXPECT_TRUE(ReadAll(path_) == served.str());
    const std::vector<std::string> expected = {"stop with previous", "stop with new",
                                               "play " + path_.str() + " with new"};
    EXPECT_EQ(expected, player_);
    EXPECT_TRUE(reports_.empty()) << reports_.front();
  }
  void ExpectPreviousKept() {
    EXPECT_EQ(kPrevious, ReadAll(path_));
    for (const std::string& event : player_) EXPECT_EQ(0u, event.rfind("stop", 0)) << event;
    ASSERT_EQ(1u, reports_.size());
  }

  // The desktop file's bytes; a busy machine may still be letting go of it.
  std::string Content() const {
    for (int attempt = 0; attempt < 40; ++attempt) {
      std::ifstream in(rt::WidenGbk(path_).c_str(), std::ios::binary);
      if (in) return std::string(std::istreambuf_iterator<char>(in), {});
      ::Sleep(50);
    }
    return "<unreadable>";
  }

  rt::Text path_;
  std::vector<std::string> player_;
  std::vector<std::string> reports_;
};

TEST_F(SynthesisTest, ServiceAudioReachesTheDesktopFileAndThePlayer) {
  const rt::ByteSet audio = Synthesize();
  ExpectDelivered(audio);
  const std::string records = Control("/__requests").str();
  const std::vector<std::string> bodies = RawBodies();
  ASSERT_EQ(1u, bodies.size());
  const std::string& body = bodies[0];
  EXPECT_EQ(0u, body.find("aht=0&apc=58&app_id=&format=3&nonce_str=")) << body;
  EXPECT_NE(std::string::npos, body.find("&speaker=7&speed=100&text=abc&time_stamp=")) << body;
  EXPECT_EQ(std::string::npos, body.find("app_key"));
  EXPECT_NE(std::string::npos, records.find("\"sign_ok\": true")) << records;
  EXPECT_EQ(0u, reports_.size());
}

TEST_F(SynthesisTest, CompactEscapedAndWrappedRepliesStillGiveTheAudio) {
  for (const char* config : {"{\"compact\": true}", "{\"escape_slashes\": true}",
                             "{\"compact\": true, \"escape_slashes\": true}",
                             "{\"junk_base64\": \" \", \"junk_every\": 64}"}) {
    SCOPED_TRACE(config);
    WritePrevious();
    player_.clear();
    Configure(config);
    ExpectDelivered(Synthesize());
  }
}

TEST_F(SynthesisTest, NoAudioLeavesThePreviousFileAndTellsTheUser) {
  struct Case {
    const char* config;
    const char* key;
    const char* inReport;
  };
  const Case cases[] = {
      {"{\"status\": \"500 Internal Server Error\"}", "", "500"},
      {"{\"no_speech\": true}", "", "\"ret\": 0"},
      {"{\"cut\": 300}", "", "speech"},
      {"{}", "wrong key", "sign"},
      {"{\"junk_base64\": true}", "", "损坏"},
      {"{\"junk_base64\": \"-_\", \"junk_every\": 400}", "", "损坏"},
      {"{\"fault\": \"truncate_base64\"}", "", "损坏"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    player_.clear();
    reports_.clear();
    Configure(c.config);
    EXPECT_TRUE(Synthesize(c.key).empty());
    ExpectPreviousKept();
    EXPECT_TRUE(player_.empty());
    if (!reports_.empty()) {
      EXPECT_NE(std::string::npos, reports_[0].find(c.inReport)) << reports_[0];
    }
  }
}

TEST_F(SynthesisTest, FileHeldByAnotherProgramIsReportedNotPlayedStale) {
  rt::UniqueKernelHandle held = rt::AdoptFile(::CreateFileW(
      rt::WidenGbk(path_).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  const rt::ByteSet audio = Synthesize();
  held.reset();
  EXPECT_FALSE(audio.empty());
  ExpectPreviousKept();
  EXPECT_NE(std::string::npos, reports_[0].find(path_.str())) << reports_[0];
  // No temporary file is left beside the desktop file.
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(rt::WidenGbk(path_ + ".tmp").c_str()));
}

// A viewer that has the file open only for a moment (reading, no delete sharing) delays the
// replace; it does not lose the new audio.
TEST_F(SynthesisTest, FileHeldForAMomentIsReplacedOnceLetGo) {
  rt::UniqueKernelHandle held =
      rt::AdoptFile(::CreateFileW(rt::WidenGbk(path_).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  std::thread viewer;
  rt::SetPlayerObserver([&](rt::PlayerEvent event, const rt::Text&) {
    // The earlier playback stops just before the file is replaced.
    if (event == rt::PlayerEvent::kStop && !viewer.joinable())
      viewer = std::thread([file = std::move(held)]() mutable {
        ::Sleep(150);
        file.reset();
      });
  });
  const rt::ByteSet audio = Synthesize();
  // The observer refers to this body's locals: the stop in TearDown must not reach them.
  rt::SetPlayerObserver(nullptr);
  ASSERT_TRUE(viewer.joinable());
  viewer.join();
  const rt::ByteSet served = service_control::ServedAudio();
  ASSERT_GT(served.size(), 100);
  EXPECT_TRUE(audio == served);
  EXPECT_TRUE(ReadAll(path_) == served.str());
  EXPECT_TRUE(reports_.empty()) << reports_.front();
}

}  // namespace

namespace {

TEST_F(SynthesisTest, TextsAcrossTheGbkRangesTravelAsTheirUtf8) {
  struct Case {
    const char* gbk;         // compiled to GBK
    const char* utf8Source;  // the same characters, kept as UTF-8
  };
  // Symbols, full-width forms, the GB2312 hanzi area, and both extension areas of GBK.
  const Case cases[] = {
      {"、〃【】", u8"、〃【】"}, {"ＡＢ１２", u8"ＡＢ１２"}, {"啊齄", u8"啊齄"},
      {"丂亐", u8"丂亐"},         {"狛狜", u8"狛狜"},         {"鼢齈", u8"鼢齈"},
  };
  for (const Case& c : cases) {
    const std::string utf8(c.utf8Source);
    SCOPED_TRACE(utf8);
    Control("/__requests?clear=1");
    player_.clear();
    client::SynthesizeWithSettings(c.gbk, "", "", client::SpeechSettings{7, 3, 100, 58});
    const std::vector<std::string> bodies = RawBodies();
    ASSERT_EQ(1u, bodies.size());
    EXPECT_EQ(test_common::PercentEncode(utf8), FormField(bodies[0], "text"));
    EXPECT_NE(std::string::npos, Control("/__requests").str().find("\"sign_ok\": true"));
  }
}

TEST_F(SynthesisTest, ExtremeInputsNeverLoseTheEarlierFile) {
  const std::string longId(5000, '7');
  struct Case {
    rt::Text text;
    rt::Text id;
    rt::Text key;
  };
  const Case cases[] = {
      {"", "", ""},
      {"abc", rt::Text(longId), rt::Text(std::string(5000, 'k'))},
  };
  for (const Case& c : cases) {
    WritePrevious();
    reports_.clear();
    const rt::ByteSet audio =
        client::SynthesizeWithSettings(c.text, c.id, c.key, client::SpeechSettings{7, 3, 100, 58});
    // Either the service's audio is in the file, or the earlier file is intact and the
    // user was told.
    if (audio.empty()) {
      EXPECT_EQ(kPrevious, ReadAll(path_));
      EXPECT_EQ(1u, reports_.size());
    } else {
      EXPECT_TRUE(ReadAll(path_) == audio.str());
      EXPECT_TRUE(reports_.empty());
    }
  }
}

}  // namespace

namespace {

// The window closed while the request is under way: the close is handled while the reply is
// read, and whatever the reply brings afterwards, nothing plays and nothing is shown, and the
// message loop ends as soon as the click handler has returned.
TEST_F(SynthesisTest, WindowClosedDuringTheSynthesisPlaysNothingAndEndsTheLoop) {
  struct Case {
    const char* config;
    bool audio;
  };
  for (const Case& c :
       {Case{"{\"stall_seconds\": 1}", true}, Case{"{\"no_speech\": true}", false}}) {
    SCOPED_TRACE(c.config);
    ASSERT_NO_FATAL_FAILURE(WritePrevious());
    Configure(c.config);
    player_.clear();
    reports_.clear();
    HWND window =
        rt::LoadWindow(client::BuiltinClientWindow({&client::OnBuiltinMainWindowCreated, nullptr,
                                                    &client::OnSynthesizeClicked}),
                       SW_SHOWNORMAL, true);
    ASSERT_NE(nullptr, window);
    ::PostMessageW(rt::FindUnit(client::kMainWindowId, client::kSynthesizeButtonUnit), BM_CLICK, 0,
                   0);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    // Should the loop not end, a watchdog ends it with a code of its own.
    const DWORD loopThread = ::GetCurrentThreadId();
    const rt::UniqueKernelHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread watchdog([loopThread, stop = stop.get()] {
      if (::WaitForSingleObject(stop, 60000) == WAIT_TIMEOUT)
        ::PostThreadMessageW(loopThread, WM_QUIT, 99, 0);
    });
    const int code = rt::RunMessageLoop();
    ::SetEvent(stop.get());
    watchdog.join();
    EXPECT_EQ(0, code);
    EXPECT_TRUE(rt::WindowClosed(client::kMainWindowId));
    rt::UnloadWindow(client::kMainWindowId);
    EXPECT_EQ(1u, RawBodies().size());
    for (const std::string& event : player_) EXPECT_EQ(0u, event.rfind("stop", 0)) << event;
    EXPECT_TRUE(reports_.empty()) << reports_.front();
    if (c.audio) {
      const rt::ByteSet served = service_control::ServedAudio();
      EXPECT_TRUE(ReadAll(path_) == served.str()) << "the file is still written";
    } else {
      EXPECT_EQ(kPrevious, ReadAll(path_));
    }
    Control("/__requests?clear=1");
  }
}

TEST_F(SynthesisTest, FiftyMegabyteReplyGivesExactlyItsAudio) {
  // About 37 MB of audio is 50 MB of base64 in the reply.
  Configure("{\"pad_audio_bytes\": 37500000}");
  ExpectDelivered(Synthesize());
}

}  // namespace

// The speech is heard: after a synthesis the system's player plays the desktop file for its
// whole length, then stops. Under Wine this takes its GStreamer plugins and a sound device
// (the scripts give Wine ALSA's null device where the machine has none).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "client/synthesis.h"
#include "rt/audio.h"
#include "service/service_control.h"

namespace {

// How long the last reply's audio plays, as the service made it; 0 when no reply had audio.
double LastAudioSeconds() {
  const std::string records = service_control::Control("/__requests").str();
  const std::string marker = "\"audio_seconds\": ";
  const std::size_t at = records.rfind(marker);
  return at == std::string::npos ? 0 : std::atof(records.c_str() + at + marker.size());
}

struct Format {
  const char* name;
  int data;  // the item data of the format entry
};

class PlaybackTest : public ::testing::TestWithParam<Format> {
protected:
  void TearDown() override {
    rt::StopMusic();
    client::SetSynthesisFailureReporter(nullptr);
  }
};

TEST_P(PlaybackTest, TheFilePlaysForItsLengthThenStops) {
  ASSERT_TRUE(service_control::Configure("{}"));
  service_control::Control("/__requests?clear=1");
  client::SetSynthesisFailureReporter(
      [](const rt::Text& message) { ADD_FAILURE() << message.str(); });
  const rt::ByteSet audio =
      client::SynthesizeWithSettings("西蓝花，9块5每斤。金龙鱼，一桶油。", "", "",
                                     client::SpeechSettings{7, GetParam().data, 100, 58});
  ASSERT_FALSE(audio.empty());
  const double seconds = LastAudioSeconds();
  ASSERT_GT(seconds, 1.0);

  // The player starts before the synthesis returns; it is watched until it leaves "playing",
  // for at most the file's length and a margin.
  const rt::PlayerState started = rt::QueryPlayer();
  ASSERT_EQ("playing", started.mode.str());
  EXPECT_NEAR(seconds * 1000, started.lengthMs, 150) << "the player's length of the file";
  const DWORD playingSince = ::GetTickCount();
  const DWORD limitMs = static_cast<DWORD>(seconds * 1000) + 15000;
  rt::PlayerState now = started;
  while (now.mode.str() == "playing" && ::GetTickCount() - playingSince < limitMs) {
    ::Sleep(10);
    now = rt::QueryPlayer();
  }
  const double playedMs = ::GetTickCount() - playingSince;
  EXPECT_EQ("stopped", now.mode.str()) << "after " << playedMs << " ms";
  EXPECT_GE(playedMs, 0.85 * seconds * 1000) << "stopped early: nothing or part was played";
  // Played once, not looped nor stalled.
  EXPECT_LE(playedMs, 1.5 * seconds * 1000 + 2000);
}

INSTANTIATE_TEST_SUITE_P(Formats, PlaybackTest,
                         ::testing::Values(Format{"Mp3", 3}, Format{"Wav", 2}),
                         [](const ::testing::TestParamInfo<Format>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

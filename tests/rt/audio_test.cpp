#include "rt/audio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class PlayerTest : public ::testing::Test {
protected:
  void SetUp() override {
    rt::SetPlayerObserver([this](rt::PlayerEvent event, const rt::Text& path) {
      log_.push_back(event == rt::PlayerEvent::kStop ? "stop" : "play " + path.str());
    });
  }
  void TearDown() override {
    rt::StopMusic();
    rt::SetPlayerObserver(nullptr);
  }
  std::vector<std::string> log_;
};

TEST_F(PlayerTest, PlayStopsFirstAndReturnsAtOnce) {
  // Without a sound device or a file the open fails; the request order is still seen.
  rt::PlayMusic("C:\\no-such\\a.mp3");
  rt::PlayMusic("C:\\no-such\\b.wav", 1);
  rt::StopMusic();
  const std::vector<std::string> expected = {"stop", "play C:\\no-such\\a.mp3", "stop",
                                             "play C:\\no-such\\b.wav", "stop"};
  EXPECT_EQ(expected, log_);
}

}  // namespace

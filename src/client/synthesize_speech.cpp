// The synthesis button's request: the window's current settings and a text.
#include "client/synthesize_speech.h"

#include "client/credentials.h"
#include "client/speech_request.h"
#include "client/window_templates.h"
#include "rt/form_engine.h"

namespace {

int SelectedItemData(std::uint32_t comboUnit) {
  const int index =
      rt::RtReadProperty(client::kMainWindowId, comboUnit, rt::kPropertySelection).number;
  return rt::ComboItemData(comboUnit, index);
}

int SliderPosition(std::uint32_t sliderUnit) {
  return rt::RtReadProperty(client::kMainWindowId, sliderUnit, rt::kPropertySelection).number;
}

}  // namespace

rt::ByteSet SynthesizeSpeech(const rt::Text& speakText) {
  if (client::ProgramHasCredentialInputs()) {
    client::CurrentAppId =
        rt::RtReadProperty(client::kMainWindowId, client::kAppIdEditUnit, rt::kPropertyContent)
            .text;
    client::CurrentAppKey =
        rt::RtReadProperty(client::kMainWindowId, client::kAppKeyEditUnit, rt::kPropertyContent)
            .text;
  }
  client::SpeechSettings settings;
  settings.speaker = SelectedItemData(client::kSpeakerComboUnit);
  settings.format = SelectedItemData(client::kFormatComboUnit);
  settings.speed = SliderPosition(client::kSpeedSliderUnit);
  settings.apc = SliderPosition(client::kTimbreSliderUnit);
  // Copies: a nested click during the request may replace the globals.
  const rt::Text appId = client::CurrentAppId;
  const rt::Text appKey = client::CurrentAppKey;
  return client::SynthesizeWithSettings(speakText, appId, appKey, settings);
}

#include "client/synthesis.h"

#include <windows.h>

#include "client/credentials.h"
#include "client/window_templates.h"
#include "rt/audio.h"
#include "rt/file.h"
#include "rt/form_engine.h"
#include "rt/random.h"
#include "rt/shell.h"
#include "rt/wide.h"
#include "web/base64.h"
#include "web/digest.h"
#include "web/http_request.h"
#include "web/text_between.h"
#include "web/timestamp.h"
#include "web/unicode_escapes.h"
#include "web/url_encode.h"

namespace client {
namespace {

// Enough of a reply to tell the user what the service said, without flooding the box.
constexpr int kReplyExcerptBytes = 200;

SynthesisFailureReporter& Reporter() {
  static SynthesisFailureReporter reporter;
  return reporter;
}

// A synthesis that ends after the user closed the window is no longer theirs to hear or to
// be told about: the file is still written, nothing plays, no message keeps the program up.
bool UserHasClosedTheWindow() { return rt::WindowClosed(kMainWindowId); }

void ReportFailure(const rt::Text& message) {
  if (UserHasClosedTheWindow()) return;
  if (Reporter()) {
    Reporter()(message);
    return;
  }
  ::MessageBoxW(::GetActiveWindow(), rt::WidenGbk(message).c_str(), rt::WidenGbk("Lumivox").c_str(),
                MB_OK | MB_ICONWARNING);
}

rt::Text FailureMessage(const rt::Text& what, const rt::Text& statusText) {
  return rt::Text("语音合成失败：") + what + "\r\n状态：" + statusText;
}

int SelectedItemData(std::uint32_t comboUnit) {
  const int index = rt::RtReadProperty(kMainWindowId, comboUnit, rt::kPropertySelection).number;
  return rt::ComboItemData(comboUnit, index);
}

int SliderPosition(std::uint32_t sliderUnit) {
  return rt::RtReadProperty(kMainWindowId, sliderUnit, rt::kPropertySelection).number;
}

rt::Text BoxContent(std::uint32_t editUnit) {
  return rt::RtReadProperty(kMainWindowId, editUnit, rt::kPropertyContent).text;
}

}  // namespace

SpeechFields GatherSpeechFields(const rt::Text& speakText, const rt::Text& appId,
                                const SpeechSettings& settings) {
  SpeechFields f;
  f.timeStamp = web::CurrentTimestamp(true);
  f.nonceStr = rt::ToText(rt::RandomNumber(10000, 9999999));
  f.speaker = rt::ToText(settings.speaker);
  f.format = rt::ToText(settings.format);
  f.speed = rt::ToText(settings.speed);
  f.text = web::UrlEncode(speakText, true, true);
  f.apc = rt::ToText(settings.apc);
  f.appId = appId;
  return f;
}

rt::Text SpeechQuery(const SpeechFields& f) {
  return rt::Text("aht=") + f.aht + "&apc=" + f.apc + "&app_id=" + f.appId + "&format=" + f.format +
         "&nonce_str=" + f.nonceStr + "&speaker=" + f.speaker + "&speed=" + f.speed +
         "&text=" + f.text + "&time_stamp=" + f.timeStamp + "&volume=" + f.volume;
}

rt::Text BuildSpeechRequestBody(const SpeechFields& fields, const rt::Text& appKey) {
  const rt::Text query = SpeechQuery(fields);
  const rt::Text signature = web::Md5Hex(rt::ToBytes(query + "&app_key=" + appKey), true);
  return query + "&sign=" + signature;
}

rt::Text SpeechMemberOfReply(const rt::Text& reply) {
  // The member is cut out of the decoded reply itself: the reply is megabytes of it.
  rt::Text member = web::DecodeUnicodeEscapes(reply);
  if (web::CutTextBetween(member, "speech\": \"", "\"") ||
      web::CutTextBetween(member, "speech\":\"", "\""))
    return member;
  return rt::Text();
}

rt::Text SpeechFilePath() {
  // Without a desktop folder the bare name stands, which the system takes in the current
  // directory: the program's own, as the window's note promises.
  return rt::SpecialFolder(rt::kDesktopFolder) + "合成语音.mp3";
}

rt::ByteSet SynthesizeWithSettings(const rt::Text& speakText, const rt::Text& appId,
                                   const rt::Text& appKey, const SpeechSettings& settings) {
  web::HttpRequestOptions options;
  options.method = web::kMethodPost;
  options.body = BuildSpeechRequestBody(GatherSpeechFields(speakText, appId, settings), appKey);
  web::HttpRequestOutputs outputs;
  const rt::Text reply = web::HttpRequest(SpeechServiceUrl(), options, outputs);

  const auto reportNoAudio = [&](rt::Text what) {
    if (!reply.empty()) what += "\r\n回复：" + rt::Excerpt(reply, kReplyExcerptBytes);
    ReportFailure(FailureMessage(what, outputs.statusText));
  };
  rt::Text base64 = SpeechMemberOfReply(reply);
  // Cleaned once here, so that neither the check nor the decoder copies megabytes again.
  web::CleanBase64(base64);
  if (!web::IsWellFormedBase64(base64)) {
    reportNoAudio("回复中的语音数据已损坏");
    return rt::ByteSet();
  }
  const rt::ByteSet audio = web::Base64Decode(base64);
  if (audio.empty()) {
    reportNoAudio("回复中没有语音");
    return audio;
  }

  // The player may hold the earlier file open; it lets go before the file is replaced.
  rt::StopMusic();
  const rt::Text path = SpeechFilePath();
  if (!rt::ReplaceFileAtomically(path, audio)) {
    ReportFailure(FailureMessage("无法写入文件 " + path, outputs.statusText));
    return audio;
  }
  if (!UserHasClosedTheWindow()) rt::PlayMusic(path);
  return audio;
}

rt::ByteSet SynthesizeSpeech(const rt::Text& speakText) {
  // Only ttsclient's window has the credential boxes; ttsclient-builtin's credentials were
  // stored when its window was created.
  if (rt::FindUnit(kMainWindowId, kAppIdEditUnit) != nullptr) {
    CurrentAppId = BoxContent(kAppIdEditUnit);
    CurrentAppKey = BoxContent(kAppKeyEditUnit);
  }
  SpeechSettings settings;
  settings.speaker = SelectedItemData(kSpeakerComboUnit);
  settings.format = SelectedItemData(kFormatComboUnit);
  settings.speed = SliderPosition(kSpeedSliderUnit);
  settings.apc = SliderPosition(kTimbreSliderUnit);
  // Copies: a nested click during the request may replace the globals.
  const rt::Text appId = CurrentAppId;
  const rt::Text appKey = CurrentAppKey;
  return SynthesizeWithSettings(speakText, appId, appKey, settings);
}

void SetSynthesisFailureReporter(SynthesisFailureReporter reporter) {
  Reporter() = std::move(reporter);
}

}  // namespace client

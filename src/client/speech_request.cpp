#include "client/speech_request.h"

#include <windows.h>

#include "rt/audio.h"
#include "rt/file.h"
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

void ReportFailure(const rt::Text& message) {
  if (Reporter()) {
    Reporter()(message);
    return;
  }
  ::MessageBoxW(::GetActiveWindow(), rt::WidenGbk(message).c_str(), rt::WidenGbk("Lumivox").c_str(),
                MB_OK | MB_ICONWARNING);
}

// The first bytes of text, never ending inside a double-byte character.
rt::Text Excerpt(const rt::Text& text, int limit) {
  const std::string& s = text.str();
  std::size_t end = 0;
  while (end < s.size()) {
    const std::size_t step = (static_cast<unsigned char>(s[end]) & 0x80) ? 2 : 1;
    if (end + step > static_cast<std::size_t>(limit)) break;
    end += step;
  }
  rt::Text result(std::string_view(s.data(), end < s.size() ? end : s.size()));
  return end < s.size() ? result + "..." : result;
}

rt::Text FailureMessage(const rt::Text& what, const rt::Text& statusText) {
  return rt::Text("语音合成失败：") + what + "\r\n状态：" + statusText;
}

// Writes beside the target and then replaces it, so a failed write never destroys the
// earlier file.
bool ReplaceFile(const rt::Text& path, const rt::ByteSet& data) {
  const rt::Text temporary = path + ".tmp";
  const std::wstring wideTemporary = rt::WidenGbk(temporary);
  if (!rt::WriteFile(temporary, data)) {
    ::DeleteFileW(wideTemporary.c_str());
    return false;
  }
  if (!::MoveFileExW(wideTemporary.c_str(), rt::WidenGbk(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(wideTemporary.c_str());
    return false;
  }
  return true;
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
  const rt::Text desktop = rt::SpecialFolder(3);
  return desktop.empty() ? rt::Text() : desktop + "合成语音.mp3";
}

rt::ByteSet SynthesizeWithSettings(const rt::Text& speakText, const rt::Text& appId,
                                   const rt::Text& appKey, const SpeechSettings& settings) {
  web::HttpRequestOptions options;
  options.method = 1;
  options.body = BuildSpeechRequestBody(GatherSpeechFields(speakText, appId, settings), appKey);
  web::HttpRequestOutputs outputs;
  const rt::Text reply = web::HttpRequest(SpeechServiceUrl(), options, outputs);

  rt::Text base64 = SpeechMemberOfReply(reply);
  const rt::ByteSet audio = web::Base64Decode(base64);
  if (audio.empty()) {
    rt::Text what = "回复中没有语音";
    if (!reply.empty()) what += "\r\n回复：" + Excerpt(reply, kReplyExcerptBytes);
    ReportFailure(FailureMessage(what, outputs.statusText));
    return audio;
  }

  // The player may hold the earlier file open; it lets go before the file is replaced.
  rt::StopMusic();
  const rt::Text path = SpeechFilePath();
  if (path.empty()) {
    ReportFailure(FailureMessage("找不到桌面目录", outputs.statusText));
    return audio;
  }
  if (!ReplaceFile(path, audio)) {
    ReportFailure(FailureMessage("无法写入文件 " + path, outputs.statusText));
    return audio;
  }
  rt::PlayMusic(path);
  return audio;
}

void SetSynthesisFailureReporter(SynthesisFailureReporter reporter) {
  Reporter() = std::move(reporter);
}

}  // namespace client

// The synthesis of the button 按钮1: the window's settings and a text become a signed
// request, the reply's audio becomes the desktop file, and the player plays it.
#pragma once

#include <functional>

#include "rt/text.h"

namespace client {

// The ten fields as they travel, already encoded; the members are in the order of the
// body, which is the ascending byte order of the field names.
struct SpeechFields {
  rt::Text aht = "0";
  rt::Text apc;
  rt::Text appId;
  rt::Text format;
  rt::Text nonceStr;
  rt::Text speaker;
  rt::Text speed;
  rt::Text text;
  rt::Text timeStamp;
  rt::Text volume = "0";
};

// What the window holds at the click: item data of the chosen entries (-1 for none) and
// the slider positions.
struct SpeechSettings {
  int speaker = -1;
  int format = -1;
  int speed = 0;
  int apc = 0;
};

// The fields of one request: a fresh time stamp and nonce, the text as UTF-8 percent-encoded.
SpeechFields GatherSpeechFields(const rt::Text& speakText, const rt::Text& appId,
                                const SpeechSettings& settings);

// The ten fields joined by "&", each as name=value.
rt::Text SpeechQuery(const SpeechFields& fields);

// The query, then "&sign=" and the upper-case MD5 of the query followed by "&app_key=" and
// the key; the key itself is not in the body.
rt::Text BuildSpeechRequestBody(const SpeechFields& fields, const rt::Text& appKey);

// The base64 "speech" member of a reply (after its \u escapes are decoded), written with
// or without a blank after the colon; the empty text when the reply has none.
rt::Text SpeechMemberOfReply(const rt::Text& reply);

// The desktop file every synthesis replaces; the bare file name, in the current directory,
// when there is no desktop folder.
rt::Text SpeechFilePath();

// Posts the request, decodes the audio, stops the earlier playback, replaces the desktop
// file and plays it. A synthesis without audio or a file that cannot be written leaves the
// earlier file as it was, plays nothing and reports the failure. Once the main window has
// been closed (during the request), nothing plays and nothing is reported. Returns the audio.
rt::ByteSet SynthesizeWithSettings(const rt::Text& speakText, const rt::Text& appId,
                                   const rt::Text& appKey, const SpeechSettings& settings);

// The synthesis of the click: the settings as the main window holds them, and the
// credentials from its boxes 编辑框2 and 编辑框3 where the window has them (ttsclient);
// otherwise those that the program holds (ttsclient-builtin).
rt::ByteSet SynthesizeSpeech(const rt::Text& speakText);

// The service's synthesis address, fixed when the program is built: each program copy links
// the endpoint object made for it (service_endpoint.cpp, one per copy).
rt::Text SpeechServiceUrl();

// Shows a failed synthesis to the user; a message box unless tests put their own in place.
using SynthesisFailureReporter = std::function<void(const rt::Text& message)>;
// An empty reporter restores the message box.
void SetSynthesisFailureReporter(SynthesisFailureReporter reporter);

}  // namespace client

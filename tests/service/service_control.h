// The test side of the local speech service: its control requests and its records.
#pragma once

#include <string>
#include <vector>

#include "web/http_request.h"

namespace service_control {

inline const rt::Text kService = LUMIVOX_TEST_SERVICE_URL;

inline rt::Text Control(const rt::Text& path, int method = web::kMethodGet,
                        const rt::Text& body = rt::Text(), rt::ByteSet* raw = nullptr) {
  web::HttpRequestOptions options;
  options.method = method;
  options.body = body;
  web::HttpRequestOutputs outputs;
  const rt::Text reply = web::HttpRequest(kService + path, options, outputs);
  if (raw) *raw = outputs.responseBytes;
  return reply;
}

// Changes the service's behaviour for the requests that follow ("{}": the normal service).
inline bool Configure(const rt::Text& json) {
  return Control("/__config", web::kMethodPost, json).str().find("compact") != std::string::npos;
}

// The raw bodies of the requests the service received, oldest first.
inline std::vector<std::string> RawBodies() {
  const std::string records = Control("/__requests").str();
  const std::string marker = "\"raw_body\": \"";
  std::vector<std::string> bodies;
  for (std::size_t at = records.find(marker); at != std::string::npos;
       at = records.find(marker, at)) {
    at += marker.size();
    bodies.push_back(records.substr(at, records.find('"', at) - at));
  }
  return bodies;
}

// The value of one field of a form-encoded body; "<missing>" when it has none.
inline std::string FormField(const std::string& body, const std::string& name) {
  const std::size_t at = ("&" + body).find("&" + name + "=");
  if (at == std::string::npos) return "<missing>";
  const std::size_t from = at + name.size() + 1;
  return body.substr(from, body.find('&', from) - from);
}

// The audio of the service's last reply that carried some, as sent; the service's error text
// when none has since /__last_audio?clear=1.
inline rt::ByteSet ServedAudio() {
  rt::ByteSet served;
  Control("/__last_audio", web::kMethodGet, rt::Text(), &served);
  return served;
}

}  // namespace service_control

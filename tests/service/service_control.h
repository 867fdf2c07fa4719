// The test side of the local speech service: its control requests and its records.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "rt/wide.h"
#include "web/http_request.h"

namespace service_control {

inline const rt::Text kService = LUMIVOX_TEST_SERVICE_URL;

inline rt::Text Control(const rt::Text& path, int method = 0, const rt::Text& body = rt::Text(),
                        rt::ByteSet* raw = nullptr) {
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
  return Control("/__config", 1, json).str().find("compact") != std::string::npos;
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

// The text field as the client writes it: UTF-8 bytes, each but letters, digits, "-" and "."
// as "%" and two upper-case hexadecimal digits.
inline std::string PercentEncodedUtf8(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : utf8) {
    const bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      c == '-' || c == '.';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

inline std::string ReadAll(const rt::Text& path) {
  std::ifstream in(rt::WidenGbk(path).c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace service_control

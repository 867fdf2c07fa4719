#include "http_test_support.h"

#include <cstdlib>

#include "common/bytes.h"

namespace web::test {

using test_common::PercentEncode;

std::string ServerEnv(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool ServersAvailable() { return !ServerEnv("LUMIVOX_TEST_HTTP_PORT").empty(); }

std::string ServerUrl(const char* portVariable, const std::string& path, const char* scheme,
                      const char* host) {
  return std::string(scheme) + "://" + host + ":" + ServerEnv(portVariable) + path;
}

std::string LocalhostUrl(const char* portVariable, const std::string& path, const char* scheme) {
  return ServerUrl(portVariable, path, scheme, "localhost");
}

std::string TlsUrl(const char* portVariable, const std::string& path) {
  return LocalhostUrl(portVariable, path, "https");
}

std::string HttpUrl(const std::string& path) { return ServerUrl("LUMIVOX_TEST_HTTP_PORT", path); }

std::string ReplyPath(const ScriptedReply& reply) {
  std::string path = "/reply?status=" + PercentEncode(reply.status);
  for (const std::string& header : reply.headers) path += "&h=" + PercentEncode(header);
  if (!reply.body.empty()) path += "&body=" + PercentEncode(test_common::Base64Encode(reply.body));
  return path + reply.extra;
}

std::string ReplyUrl(const ScriptedReply& reply, const char* portVariable, const char* scheme) {
  return ServerUrl(portVariable, ReplyPath(reply), scheme);
}

std::vector<std::string> RecordedRequest::Values(const std::string& name) const {
  std::vector<std::string> values;
  for (const std::string& line : headerLines) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      const std::size_t start = line.find_first_not_of(' ', name.size() + 1);
      values.push_back(start == std::string::npos ? "" : line.substr(start));
    }
  }
  return values;
}

RecordedRequest LastRecordedRequest() {
  HttpRequestOptions options;
  HttpRequestOutputs outputs;
  HttpRequest(rt::Text(HttpUrl("/__requests?last=1&format=raw")), options, outputs);
  const std::string& raw = outputs.responseBytes.str();
  RecordedRequest recorded;
  const std::size_t headEnd = raw.find("\r\n\r\n");
  const std::string head = raw.substr(0, headEnd);
  if (headEnd != std::string::npos) recorded.body = raw.substr(headEnd + 4);
  std::size_t start = 0;
  bool first = true;
  while (start <= head.size()) {
    std::size_t end = head.find("\r\n", start);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(start, end - start);
    if (first)
      recorded.requestLine = line;
    else
      recorded.headerLines.push_back(line);
    first = false;
    start = end + 2;
  }
  return recorded;
}

ScopedDllOverride::ScopedDllOverride(int entry, void* address) : entry_(entry) {
  rt::OverrideDllCommand(entry, address);
}

ScopedDllOverride::~ScopedDllOverride() {
  rt::OverrideDllCommand(entry_, rt::BindExport(rt::kDllCommandTable[entry_]));
}

}  // namespace web::test

// Helpers of the HTTP client's tests: the loopback servers that the harness starts, the
// replies a test scripts through their URLs, and seams in the external-function table.
#pragma once

#include <string>
#include <vector>

#include "rt/dll_commands.h"
#include "rt/text.h"
#include "web/http_request.h"

namespace web::test {

// The value of one of the harness's LUMIVOX_TEST_* variables; empty when not set.
std::string ServerEnv(const char* name);
bool ServersAvailable();
// "http://127.0.0.1:PORT" of the server whose port variable is named, plus path.
std::string ServerUrl(const char* portVariable, const std::string& path = "",
                      const char* scheme = "http", const char* host = "127.0.0.1");
// The same with the host name "localhost", for the TLS servers and for requests through a
// proxy (which the tests name 127.0.0.1:PORT). Wine's certificate check knows only DNS
// names, not IP-address ones; and Wine takes a target whose host name equals the proxy's for
// the proxy itself, so it would neither open a tunnel nor send the full URL.
std::string LocalhostUrl(const char* portVariable, const std::string& path,
                         const char* scheme = "http");
std::string TlsUrl(const char* portVariable, const std::string& path);
std::string HttpUrl(const std::string& path = "");

// A /reply URL: the status line, header lines and body that the server is to send.
struct ScriptedReply {
  ScriptedReply(std::string status, std::vector<std::string> headers = {}, std::string body = "",
                std::string extra = "")
      : status(std::move(status)),
        headers(std::move(headers)),
        body(std::move(body)),
        extra(std::move(extra)) {}
  std::string status;
  std::vector<std::string> headers;
  std::string body;
  std::string extra;  // further query parameters, already encoded ("&mode=cut")
};
std::string ReplyPath(const ScriptedReply& reply);
std::string ReplyUrl(const ScriptedReply& reply,
                     const char* portVariable = "LUMIVOX_TEST_HTTP_PORT",
                     const char* scheme = "http");

// The last request that the HTTP server received, as it arrived.
struct RecordedRequest {
  std::string requestLine;
  std::vector<std::string> headerLines;
  std::string body;
  // The values of the header lines with this name (exact case), in order.
  std::vector<std::string> Values(const std::string& name) const;
};
RecordedRequest LastRecordedRequest();

// Puts a function in place of one entry of the external-function table for a scope.
class ScopedDllOverride {
public:
  ScopedDllOverride(int entry, void* address);
  ~ScopedDllOverride();
  ScopedDllOverride(const ScopedDllOverride&) = delete;
  ScopedDllOverride& operator=(const ScopedDllOverride&) = delete;

private:
  int entry_;
};

// The system's own function of an entry, for fakes that forward to it.
template <typename Fn>
Fn RealDllCommand(int entry) {
  return reinterpret_cast<Fn>(rt::BindExport(rt::kDllCommandTable[entry]));
}

}  // namespace web::test

#define SKIP_WITHOUT_SERVERS()          \
  if (!::web::test::ServersAvailable()) \
  GTEST_SKIP() << "test servers not started (run through ctest)"

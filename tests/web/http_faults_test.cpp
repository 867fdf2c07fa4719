// Servers that misbehave: every request ends, within its time-out, with a status text that
// says what happened, and never hands back more than arrived. A body cut short comes back as
// far as it arrived, under the server's status; the caller's own checks (the audio marker)
// then tell it apart. Redirects stop at WinHttp's own limit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/bytes.h"
#include "http_test_support.h"
#include "web/http_request.h"

namespace {

using test_common::PercentEncode;
using web::HttpRequest;
using web::HttpRequestOptions;
using web::HttpRequestOutputs;
using web::test::HttpUrl;
using web::test::LocalhostUrl;
using web::test::ReplyUrl;

struct FaultCase {
  const char* name;
  std::string url;
  const char* statusPrefix;  // what the status text starts with
  const char* text;          // the reply text, nullptr: not checked
};

TEST(HttpRequestFaults, MisbehavingServersEndWithAStatus) {
  SKIP_WITHOUT_SERVERS();
  const std::string body = "0123456789";
  const FaultCase cases[] = {
      {"reset mid-body", ReplyUrl({"HTTP/1.1 200 OK", {}, body, "&mode=reset"}), "200 OK", "01234"},
      {"length beyond the body, then close",
       ReplyUrl({"HTTP/1.1 200 OK", {"Content-Length: 100"}, body, "&mode=close"}), "200 OK",
       "0123456789"},
      {"length of 3 GB, 10 bytes, then close",
       ReplyUrl({"HTTP/1.1 200 OK", {"Content-Length: 3000000000"}, body, "&mode=close"}), "200 OK",
       "0123456789"},
      {"conflicting lengths",
       ReplyUrl({"HTTP/1.1 200 OK", {"Content-Length: 10", "Content-Length: 4"}, body}), "",
       nullptr},
      {"garbage status line", ReplyUrl({"GARBAGE", {}, body}), "", nullptr},
      {"500 with a page",
       ReplyUrl({"HTTP/1.1 500 Internal Server Error",
                 {"Content-Type: text/html"},
                 "<html><body>oops</body></html>"}),
       "500 Internal Server Error", "<html><body>oops</body></html>"},
      {"gzip sent unasked",
       ReplyUrl({"HTTP/1.1 200 OK",
                 {"Content-Encoding: gzip"},
                 std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x48\xcd\xc9\xc9\x07"
                             "\x00\x86\xa6\x10\x36\x05\x00\x00\x00",
                             25)}),
       "200 OK", nullptr},
      {"invalid UTF-8 and a NUL",
       ReplyUrl({"HTTP/1.1 200 OK",
                 {"Content-Type: text/plain; charset=utf-8"},
                 std::string("ok\xff\xfe\x00tail", 9)}),
       "200 OK", "ok\xff\xfe"},
      {"40 redirects", HttpUrl("/chain?n=40"), "712", ""},
      {"redirect loop", HttpUrl("/loop"), "712", ""},
      {"trickle, one byte each 50 ms",
       ReplyUrl({"HTTP/1.1 200 OK", {}, "abc", "&mode=trickle&interval=0.05"}), "200 OK", "abc"},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    HttpRequestOptions options;
    options.timeoutSeconds = 5;
    HttpRequestOutputs outputs;
    const auto start = std::chrono::steady_clock::now();
    const rt::Text text = HttpRequest(rt::Text(c.url), options, outputs);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ fault ] %-36s %6.2f s  status \"%s\"  %d bytes\n", c.name, seconds,
                outputs.statusText.str().c_str(), outputs.responseBytes.size());
    EXPECT_LT(seconds, 30.0);
    EXPECT_FALSE(outputs.statusText.empty());
    EXPECT_EQ(0u, outputs.statusText.str().rfind(c.statusPrefix, 0)) << outputs.statusText.str();
    if (c.text) {
      EXPECT_EQ(c.text, text.str());
    }
    // Nothing beyond what the server sent: at most the scripted body, and no memory held for
    // more than that, whatever length was announced.
    EXPECT_LE(outputs.responseBytes.size(), 40);
    EXPECT_LT(outputs.responseBytes.str().capacity(), 1000u);
  }
}

// Server credentials belong to the origin they were given for: a redirect within it keeps
// them, one to another host (or port, or scheme) arrives there without them.
TEST(HttpRequestFaults, ServerCredentialsStayWithTheirOrigin) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    const char* name;
    std::string target;
    bool authorized;
  } cases[] = {
      {"same host", HttpUrl("/echo"), true},
      {"other host name", LocalhostUrl("LUMIVOX_TEST_HTTP_PORT", "/echo"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpRequestOptions options;
    options.userName = "alice";
    options.password = "secret";
    options.timeoutSeconds = 5;
    HttpRequestOutputs outputs;
    const std::string echo =
        HttpRequest(rt::Text(HttpUrl("/redirect?to=" + PercentEncode(c.target))), options, outputs)
            .str();
    EXPECT_EQ("200 OK", outputs.statusText.str());
    ASSERT_NE(std::string::npos, echo.find("GET /echo")) << echo;
    EXPECT_EQ(c.authorized, echo.find("Authorization:") != std::string::npos) << echo;
  }
}

}  // namespace

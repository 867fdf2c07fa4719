#include "web/http_request.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <string>
#include <vector>

#include "http_test_support.h"
#include "rt/events.h"
#include "rt/handle_owners.h"
#include "web/charset_conversion.h"

namespace web {
namespace {

using test::HttpUrl;
using test::LastRecordedRequest;
using test::RealDllCommand;
using test::ReplyUrl;
using test::ScopedDllOverride;
using test::ScriptedReply;

const char kDefaultBlock[] =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Encoding: gbk, GB2312\r\n"
    "Accept-Language: zh-cn\r\n"
    "Content-Type: application/x-www-form-urlencoded\r\n"
    "Cache-Control: no-cache\r\n";

struct Call {
  rt::Text text;
  HttpRequestOptions options;
  HttpRequestOutputs outputs;
  long long events = 0;
};

Call Send(const std::string& url, HttpRequestOptions options = {},
          HttpRequestOutputs outputs = {}) {
  Call call;
  call.options = std::move(options);
  call.outputs = std::move(outputs);
  const long long before = rt::ProcessEventsCallCount();
  call.text = HttpRequest(rt::Text(url), call.options, call.outputs);
  call.events = rt::ProcessEventsCallCount() - before;
  return call;
}

int HeaderLineCount(const rt::Text& headers) { return rt::SplitText(headers, "\r\n").Count(); }

// --- What goes on the wire -----------------------------------------------------------------

TEST(HttpRequestWire, MethodNumbersMapToVerbs) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    int method;
    const char* verb;
  } cases[] = {{0, "GET"}, {1, "POST"}, {2, "HEAD"}, {3, "PUT"},
               {4, "GET"}, {-1, "GET"}, {100, "GET"}};
  for (const auto& c : cases) {
    HttpRequestOptions options;
    options.method = c.method;
    const Call call = Send(HttpUrl("/reply?body=b2s"), options);
    EXPECT_EQ(call.outputs.statusText.str(), "200 OK") << c.method;
    EXPECT_EQ(LastRecordedRequest().requestLine, std::string(c.verb) + " /reply?body=b2s HTTP/1.1")
        << c.method;
  }
}

TEST(HttpRequestWire, ObjectNameFromPathAndQuery) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    std::string path;
    const char* target;
  } cases[] = {
      {"", "/"},
      {"/", "/"},
      {"/a/b?x=1&y=%20z", "/a/b?x=1&y=%20z"},
      {"/only/path", "/only/path"},
  };
  for (const auto& c : cases) {
    Send(HttpUrl(c.path));
    EXPECT_EQ(LastRecordedRequest().requestLine, std::string("GET ") + c.target + " HTTP/1.1")
        << c.path;
  }
}

TEST(HttpRequestWire, UserAndPasswordInsideTheUrlAreNotSent) {
  SKIP_WITHOUT_SERVERS();
  const std::string url =
      "http://u:p@127.0.0.1:" + test::ServerEnv("LUMIVOX_TEST_HTTP_PORT") + "/x";
  const Call call = Send(url);
  EXPECT_EQ(call.outputs.statusText.str(), "404 Not Found");
  EXPECT_TRUE(LastRecordedRequest().Values("Authorization").empty());
}

TEST(HttpRequestWire, DefaultHeadersBodyAndCookieLine) {
  SKIP_WITHOUT_SERVERS();
  HttpRequestOptions options;
  options.method = kMethodPost;
  options.body = "a=1&b=\xD6\xD0";  // GBK bytes go out unconverted
  options.sendCookies = rt::Text("k=v; m=n");
  Send(HttpUrl("/echo"), options);
  const test::RecordedRequest sent = LastRecordedRequest();
  EXPECT_EQ(sent.body, "a=1&b=\xD6\xD0");
  EXPECT_EQ(sent.Values("Content-Length"), std::vector<std::string>{"8"});
  EXPECT_EQ(sent.Values("User-Agent"),
            std::vector<std::string>{
                "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)"});
  EXPECT_EQ(sent.Values("Accept-Encoding"), std::vector<std::string>{"gbk, GB2312"});
  EXPECT_EQ(sent.Values("Content-Type"),
            std::vector<std::string>{"application/x-www-form-urlencoded"});
  EXPECT_EQ(sent.Values("Cookie"), std::vector<std::string>{"k=v; m=n"});
}

TEST(HttpRequestWire, EmptyBodyGoesOutWithLengthZero) {
  SKIP_WITHOUT_SERVERS();
  HttpRequestOptions options;
  options.method = kMethodPost;
  Send(HttpUrl("/echo"), options);
  const test::RecordedRequest sent = LastRecordedRequest();
  EXPECT_EQ(sent.body, "");
  EXPECT_EQ(sent.Values("Content-Length"), std::vector<std::string>{"0"});
  // A GET carries the form Content-Type as well.
  Send(HttpUrl("/echo"));
  EXPECT_EQ(LastRecordedRequest().Values("Content-Type"),
            std::vector<std::string>{"application/x-www-form-urlencoded"});
}

// --- Arguments handed to WinHttp, recorded by forwarding fakes ------------------------------

std::wstring g_headerBlock;
BOOL WINAPI RecordHeaders(HINTERNET request, LPCWSTR headers, DWORD length, DWORD modifiers) {
  g_headerBlock.assign(headers, length);
  EXPECT_EQ(modifiers, 0xA0000000u);
  return RealDllCommand<decltype(&::WinHttpAddRequestHeaders)>(rt::kWinHttpAddRequestHeaders)(
      request, headers, length, modifiers);
}

std::string Narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

TEST(HttpRequestArguments, HeaderBlockRules) {
  SKIP_WITHOUT_SERVERS();
  const std::string defaults = kDefaultBlock;
  const std::string withoutUserAgent = defaults.substr(defaults.find("Accept: "));
  const struct {
    const char* extraHeaders;
    std::optional<rt::Text> sendCookies;
    std::string block;
  } cases[] = {
      {"", std::nullopt, defaults},
      {"", rt::Text(""), defaults},
      {"", rt::Text("a=1"), defaults + "Cookie: a=1\r\n"},
      {"X-One: 1\r\nX-Two: 2", std::nullopt, "X-One: 1\r\nX-Two: 2\r\n" + defaults},
      // Lines that already end in CR LF leave an empty line inside the block.
      {"X-One: 1\r\n", std::nullopt, "X-One: 1\r\n\r\n" + defaults},
      {"user-agent: mine", std::nullopt, "user-agent: mine\r\n" + withoutUserAgent},
      // Content-Type is looked for in exact case, and without the blank.
      {"content-type: text/plain", std::nullopt, "content-type: text/plain\r\n" + defaults},
      {"Content-Type:text/plain", std::nullopt,
       "Content-Type:text/plain\r\n" +
           std::string(defaults).replace(
               defaults.find("Content-Type: "),
               sizeof "Content-Type: application/x-www-form-urlencoded\r\n" - 1, "")},
      // Any "Cookie: " keeps the caller's cookies from being sent.
      {"Set-Cookie: z=9", rt::Text("a=1"), "Set-Cookie: z=9\r\n" + defaults},
  };
  ScopedDllOverride seam(rt::kWinHttpAddRequestHeaders, reinterpret_cast<void*>(&RecordHeaders));
  for (const auto& c : cases) {
    HttpRequestOptions options;
    options.extraHeaders = c.extraHeaders;
    options.sendCookies = c.sendCookies;
    options.mergeCookies = false;
    g_headerBlock.clear();
    Send(HttpUrl("/echo"), options);
    EXPECT_EQ(Narrow(g_headerBlock), c.block) << c.extraHeaders;
  }
}

struct SessionOpened {
  DWORD accessType;
  std::string proxyName;
};
std::vector<SessionOpened> g_sessions;
HINTERNET WINAPI RecordOpen(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass,
                            DWORD flags) {
  g_sessions.push_back({accessType, Narrow(proxy ? proxy : L"")});
  return RealDllCommand<decltype(&::WinHttpOpen)>(rt::kWinHttpOpen)(agent, accessType, proxy,
                                                                    bypass, flags);
}

std::string ProxyAddress(const char* portVariable) {
  return "127.0.0.1:" + test::ServerEnv(portVariable);
}

TEST(HttpRequestArguments, ProxyNames) {
  SKIP_WITHOUT_SERVERS();
  const std::string proxy = ProxyAddress("LUMIVOX_TEST_PROXY_PORT");
  const struct {
    std::string url;
    std::string proxy;
    DWORD accessType;
    std::string proxyName;
  } cases[] = {
      {HttpUrl("/x"), "", WINHTTP_ACCESS_TYPE_NO_PROXY, ""},
      {test::LocalhostUrl("LUMIVOX_TEST_HTTP_PORT", "/x"), proxy, WINHTTP_ACCESS_TYPE_NAMED_PROXY,
       "http=" + proxy},
      {test::TlsUrl("LUMIVOX_TEST_HTTPS_PORT", "/x"), proxy, WINHTTP_ACCESS_TYPE_NAMED_PROXY,
       proxy},
  };
  ScopedDllOverride seam(rt::kWinHttpOpen, reinterpret_cast<void*>(&RecordOpen));
  for (const auto& c : cases) {
    HttpRequestOptions options;
    options.proxy = rt::Text(c.proxy);
    g_sessions.clear();
    const Call call = Send(c.url, options);
    EXPECT_EQ(call.outputs.statusText.str(), "404 Not Found") << c.url;
    // The first session is the one the request is specified with; see ProxyFallback.
    ASSERT_FALSE(g_sessions.empty()) << c.url;
    EXPECT_EQ(g_sessions[0].accessType, c.accessType) << c.url;
    EXPECT_EQ(g_sessions[0].proxyName, c.proxyName) << c.url;
  }
}

// The send fails with the given error as many times as asked, then goes to WinHttp.
int g_sendFailures;
DWORD g_sendError;
BOOL WINAPI FailingSend(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID body,
                        DWORD bodyLength, DWORD totalLength, DWORD_PTR context) {
  if (g_sendFailures > 0) {
    --g_sendFailures;
    ::SetLastError(g_sendError);
    return FALSE;
  }
  return RealDllCommand<decltype(&::WinHttpSendRequest)>(rt::kWinHttpSendRequest)(
      request, headers, headersLength, body, bodyLength, totalLength, context);
}

// Where a WinHttp cannot resolve the per-scheme proxy entry, a plain-HTTP request opens its
// session once more with the bare host:port; nothing else is tried again.
TEST(HttpRequestArguments, ProxyFallback) {
  SKIP_WITHOUT_SERVERS();
  const std::string proxy = ProxyAddress("LUMIVOX_TEST_PROXY_PORT");
  const std::string viaProxy = test::LocalhostUrl("LUMIVOX_TEST_HTTP_PORT", "/echo");
  const std::string https = test::TlsUrl("LUMIVOX_TEST_HTTPS_PORT", "/echo");
  const char* const kSendFailed = "711 发送请求失败!";
  const struct {
    std::string url;
    std::string proxy;
    int failures;
    DWORD error;
    std::vector<std::string> proxyNames;
    const char* status;
  } cases[] = {
      // clang-format off
      {viaProxy, proxy, 1, ERROR_WINHTTP_NAME_NOT_RESOLVED, {"http=" + proxy, proxy}, "200 OK"},
      {viaProxy, proxy, 2, ERROR_WINHTTP_NAME_NOT_RESOLVED, {"http=" + proxy, proxy}, kSendFailed},
      {viaProxy, proxy, 1, ERROR_WINHTTP_CANNOT_CONNECT, {"http=" + proxy}, kSendFailed},
      {https, proxy, 1, ERROR_WINHTTP_NAME_NOT_RESOLVED, {proxy}, kSendFailed},
      {HttpUrl("/echo"), "", 1, ERROR_WINHTTP_NAME_NOT_RESOLVED, {""}, kSendFailed},
      // clang-format on
  };
  ScopedDllOverride open(rt::kWinHttpOpen, reinterpret_cast<void*>(&RecordOpen));
  ScopedDllOverride send(rt::kWinHttpSendRequest, reinterpret_cast<void*>(&FailingSend));
  for (const auto& c : cases) {
    HttpRequestOptions options;
    options.proxy = rt::Text(c.proxy);
    g_sessions.clear();
    g_sendFailures = c.failures;
    g_sendError = c.error;
    const Call call = Send(c.url, options);
    std::vector<std::string> proxyNames;
    for (const SessionOpened& session : g_sessions) proxyNames.push_back(session.proxyName);
    EXPECT_EQ(proxyNames, c.proxyNames) << c.url << " " << c.failures << " " << c.error;
    EXPECT_EQ(call.outputs.statusText.str(), c.status) << c.url << " " << c.failures;
    // The stages of the repeated session count once.
    if (c.status == kSendFailed) {
      EXPECT_EQ(call.events, 7) << c.url << " " << c.failures;
    } else {
      EXPECT_NE(call.text.str().find("lumivox-test-proxy"), std::string::npos);
      EXPECT_EQ(call.events, 9 + HeaderLineCount(call.outputs.responseHeaders) + 1);
    }
  }
}

std::vector<DWORD> g_timeouts;
BOOL WINAPI RecordTimeouts(HINTERNET request, int resolve, int connect, int send, int receive) {
  g_timeouts = {static_cast<DWORD>(resolve), static_cast<DWORD>(connect), static_cast<DWORD>(send),
                static_cast<DWORD>(receive)};
  return RealDllCommand<decltype(&::WinHttpSetTimeouts)>(rt::kWinHttpSetTimeouts)(
      request, resolve, connect, send, receive);
}

std::vector<DWORD> g_responseTimeouts;
BOOL WINAPI RecordResponseTimeout(HINTERNET request, DWORD option, LPVOID value, DWORD length) {
  if (option == WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT) {
    EXPECT_EQ(length, 4u);
    g_responseTimeouts.push_back(*static_cast<DWORD*>(value));
  }
  return RealDllCommand<decltype(&::WinHttpSetOption)>(rt::kWinHttpSetOption)(request, option,
                                                                              value, length);
}

TEST(HttpRequestArguments, TimeoutValues) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    int seconds;
    DWORD ms;
  } cases[] = {{0, 30000}, {-4, 30000}, {7, 7000}, {1, 1000}};
  ScopedDllOverride seam(rt::kWinHttpSetTimeouts, reinterpret_cast<void*>(&RecordTimeouts));
  ScopedDllOverride option(rt::kWinHttpSetOption, reinterpret_cast<void*>(&RecordResponseTimeout));
  for (const auto& c : cases) {
    HttpRequestOptions options;
    options.timeoutSeconds = c.seconds;
    g_responseTimeouts.clear();
    Send(HttpUrl("/x"), options);
    EXPECT_EQ(g_timeouts, std::vector<DWORD>(4, c.ms)) << c.seconds;
    // The wait for the reply's head is bounded alike.
    EXPECT_EQ(g_responseTimeouts, std::vector<DWORD>{c.ms}) << c.seconds;
  }
}

std::vector<DWORD> g_credentialTargets;
BOOL WINAPI RecordCredentials(HINTERNET request, DWORD target, DWORD scheme, LPCWSTR user,
                              LPCWSTR password, LPVOID params) {
  g_credentialTargets.push_back(target);
  EXPECT_EQ(scheme, static_cast<DWORD>(WINHTTP_AUTH_SCHEME_BASIC));
  return RealDllCommand<decltype(&::WinHttpSetCredentials)>(rt::kWinHttpSetCredentials)(
      request, target, scheme, user, password, params);
}

TEST(HttpRequestArguments, CredentialsOnlyForCompletePairs) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    const char *user, *password, *proxyUser, *proxyPassword;
    std::vector<DWORD> targets;
  } cases[] = {
      {"", "", "", "", {}},
      {"u", "", "", "pp", {}},
      {"", "p", "pu", "", {}},
      {"u", "p", "", "", {WINHTTP_AUTH_TARGET_SERVER}},
      {"", "", "pu", "pp", {WINHTTP_AUTH_TARGET_PROXY}},
      {"u", "p", "pu", "pp", {WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_TARGET_PROXY}},
  };
  ScopedDllOverride seam(rt::kWinHttpSetCredentials, reinterpret_cast<void*>(&RecordCredentials));
  for (const auto& c : cases) {
    HttpRequestOptions options;
    options.userName = c.user;
    options.password = c.password;
    options.proxyUserName = c.proxyUser;
    options.proxyPassword = c.proxyPassword;
    g_credentialTargets.clear();
    Send(HttpUrl("/x"), options);
    EXPECT_EQ(g_credentialTargets, c.targets) << c.user << c.password << c.proxyUser;
  }
}

std::vector<HINTERNET> g_opened;
std::vector<HINTERNET> g_closed;
BOOL WINAPI RecordClose(HINTERNET handle) {
  g_closed.push_back(handle);
  return RealDllCommand<decltype(&::WinHttpCloseHandle)>(rt::kWinHttpCloseHandle)(handle);
}
HINTERNET WINAPI RecordOpenSession(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass,
                                   DWORD flags) {
  g_opened.push_back(RealDllCommand<decltype(&::WinHttpOpen)>(rt::kWinHttpOpen)(
      agent, accessType, proxy, bypass, flags));
  return g_opened.back();
}
HINTERNET WINAPI RecordConnect(HINTERNET session, LPCWSTR host, INTERNET_PORT port, DWORD zero) {
  g_opened.push_back(
      RealDllCommand<decltype(&::WinHttpConnect)>(rt::kWinHttpConnect)(session, host, port, zero));
  return g_opened.back();
}
HINTERNET WINAPI RecordOpenRequest(HINTERNET connect, LPCWSTR verb, LPCWSTR object, LPCWSTR version,
                                   LPCWSTR referrer, LPCWSTR* types, DWORD flags) {
  g_opened.push_back(RealDllCommand<decltype(&::WinHttpOpenRequest)>(rt::kWinHttpOpenRequest)(
      connect, verb, object, version, referrer, types, flags));
  return g_opened.back();
}

TEST(HttpRequestArguments, HandlesCloseInReverseOrder) {
  SKIP_WITHOUT_SERVERS();
  ScopedDllOverride close(rt::kWinHttpCloseHandle, reinterpret_cast<void*>(&RecordClose));
  ScopedDllOverride open(rt::kWinHttpOpen, reinterpret_cast<void*>(&RecordOpenSession));
  ScopedDllOverride connect(rt::kWinHttpConnect, reinterpret_cast<void*>(&RecordConnect));
  ScopedDllOverride request(rt::kWinHttpOpenRequest, reinterpret_cast<void*>(&RecordOpenRequest));
  g_opened.clear();
  g_closed.clear();
  Send(HttpUrl("/reply?body=b2s"));
  ASSERT_EQ(g_opened.size(), 3u);
  EXPECT_EQ(g_closed, (std::vector<HINTERNET>{g_opened[2], g_opened[1], g_opened[0]}));
}

// --- Failures ------------------------------------------------------------------------------

BOOL WINAPI FailCheckPlatform() { return FALSE; }
HINTERNET WINAPI FailOpen(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) { return nullptr; }
HINTERNET WINAPI FailConnect(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD) { return nullptr; }
HINTERNET WINAPI FailOpenRequest(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD) {
  return nullptr;
}
BOOL WINAPI FailTimeouts(HINTERNET, int, int, int, int) { return FALSE; }
BOOL WINAPI FailCredentials(HINTERNET, DWORD, DWORD, LPCWSTR, LPCWSTR, LPVOID) { return FALSE; }
BOOL WINAPI FailProxyCredentials(HINTERNET request, DWORD target, DWORD scheme, LPCWSTR user,
                                 LPCWSTR password, LPVOID params) {
  if (target == WINHTTP_AUTH_TARGET_PROXY) return FALSE;
  return RealDllCommand<decltype(&::WinHttpSetCredentials)>(rt::kWinHttpSetCredentials)(
      request, target, scheme, user, password, params);
}
BOOL WINAPI FailOptionWhere(HINTERNET request, DWORD option, LPVOID value, DWORD length,
                            DWORD failingOption, DWORD failingValue) {
  if (option == failingOption && *static_cast<DWORD*>(value) == failingValue) return FALSE;
  return RealDllCommand<decltype(&::WinHttpSetOption)>(rt::kWinHttpSetOption)(request, option,
                                                                              value, length);
}
BOOL WINAPI FailResponseTimeoutOption(HINTERNET request, DWORD option, LPVOID value, DWORD length) {
  return FailOptionWhere(request, option, value, length, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
                         *static_cast<DWORD*>(value));
}
BOOL WINAPI FailCookieOption(HINTERNET request, DWORD option, LPVOID value, DWORD length) {
  return FailOptionWhere(request, option, value, length, WINHTTP_OPTION_DISABLE_FEATURE,
                         WINHTTP_DISABLE_COOKIES);
}
BOOL WINAPI FailRedirectOption(HINTERNET request, DWORD option, LPVOID value, DWORD length) {
  return FailOptionWhere(request, option, value, length, WINHTTP_OPTION_DISABLE_FEATURE,
                         WINHTTP_DISABLE_REDIRECTS);
}
BOOL WINAPI FailHeaders(HINTERNET, LPCWSTR, DWORD, DWORD) { return FALSE; }

TEST(HttpRequestFailures, EachStageReportsItsTextAndPumpsPerStageEntered) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    int entry;
    void* fake;
    const char* status;
    int events;
  } cases[] = {
      {rt::kWinHttpCheckPlatform, reinterpret_cast<void*>(&FailCheckPlatform),
       "700 当前系统不支持WinHttp服务!", 0},
      {rt::kWinHttpOpen, reinterpret_cast<void*>(&FailOpen), "702 创建WinHttp会话失败!", 2},
      {rt::kWinHttpConnect, reinterpret_cast<void*>(&FailConnect), "703 创建WinHttp连接失败!", 3},
      {rt::kWinHttpOpenRequest, reinterpret_cast<void*>(&FailOpenRequest),
       "704 创建WinHttp请求失败!", 4},
      {rt::kWinHttpSetTimeouts, reinterpret_cast<void*>(&FailTimeouts), "705 设置超时时间失败!", 5},
      {rt::kWinHttpSetOption, reinterpret_cast<void*>(&FailResponseTimeoutOption),
       "705 设置超时时间失败!", 5},
      // Failures of the credentials and options leave without pumping messages.
      {rt::kWinHttpSetCredentials, reinterpret_cast<void*>(&FailCredentials),
       "707 设置代理凭证失败!", 0},
      {rt::kWinHttpSetCredentials, reinterpret_cast<void*>(&FailProxyCredentials),
       "707 设置代理凭证失败!", 0},
      {rt::kWinHttpSetOption, reinterpret_cast<void*>(&FailCookieOption),
       "708 禁止自动设置Cookies失败!", 0},
      {rt::kWinHttpSetOption, reinterpret_cast<void*>(&FailRedirectOption), "709 重定向设置失败!",
       0},
      {rt::kWinHttpAddRequestHeaders, reinterpret_cast<void*>(&FailHeaders), "710 设置协议头失败!",
       6},
  };
  for (const auto& c : cases) {
    ScopedDllOverride seam(c.entry, c.fake);
    HttpRequestOptions options;
    options.userName = "u";
    options.password = "p";
    options.proxyUserName = "pu";
    options.proxyPassword = "pp";
    options.noRedirect = true;
    HttpRequestOutputs before;
    before.location = "kept";
    before.responseHeaders = "kept";
    before.receivedCookies = "kept";
    before.responseBytes = rt::ByteSet(std::string("kept"));
    const Call call = Send(HttpUrl("/reply?body=b2s"), options, before);
    EXPECT_EQ(call.outputs.statusText.str(), c.status);
    EXPECT_EQ(call.text.str(), "") << c.status;
    EXPECT_EQ(call.events, c.events) << c.status;
    EXPECT_EQ(call.outputs.location.str(), "kept") << c.status;
    EXPECT_EQ(call.outputs.responseHeaders.str(), "kept") << c.status;
    EXPECT_EQ(call.outputs.receivedCookies.str(), "kept") << c.status;
    EXPECT_EQ(call.outputs.responseBytes.str(), "kept") << c.status;
  }
}

TEST(HttpRequestFailures, EveryExitClosesAllThreeHandlesNullOnesIncluded) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    int entry;
    void* fake;
    std::size_t opened;  // handles open when the stage fails: session, connect, request
  } cases[] = {
      {rt::kWinHttpCheckPlatform, reinterpret_cast<void*>(&FailCheckPlatform), 0},
      {rt::kWinHttpOpen, reinterpret_cast<void*>(&FailOpen), 0},
      {rt::kWinHttpConnect, reinterpret_cast<void*>(&FailConnect), 1},
      {rt::kWinHttpOpenRequest, reinterpret_cast<void*>(&FailOpenRequest), 2},
      {rt::kWinHttpSetCredentials, reinterpret_cast<void*>(&FailCredentials), 3},  // immediate
      {rt::kWinHttpAddRequestHeaders, reinterpret_cast<void*>(&FailHeaders), 3},
  };
  for (const auto& c : cases) {
    ScopedDllOverride close(rt::kWinHttpCloseHandle, reinterpret_cast<void*>(&RecordClose));
    ScopedDllOverride open(rt::kWinHttpOpen, reinterpret_cast<void*>(&RecordOpenSession));
    ScopedDllOverride connect(rt::kWinHttpConnect, reinterpret_cast<void*>(&RecordConnect));
    ScopedDllOverride request(rt::kWinHttpOpenRequest, reinterpret_cast<void*>(&RecordOpenRequest));
    ScopedDllOverride failing(c.entry, c.fake);
    g_opened.clear();
    g_closed.clear();
    HttpRequestOptions options;
    options.userName = "u";
    options.password = "p";
    Send(HttpUrl("/reply?body=b2s"), options);
    ASSERT_EQ(g_opened.size(), c.opened) << c.entry;
    std::vector<HINTERNET> expected(3 - c.opened, nullptr);
    expected.insert(expected.end(), g_opened.rbegin(), g_opened.rend());
    EXPECT_EQ(g_closed, expected) << c.entry;
  }
}

TEST(HttpRequestFailures, UnparsableUrls) {
  for (const char* url : {"", "not a url", "ftp://127.0.0.1/x"}) {
    const Call call = Send(url);
    EXPECT_EQ(call.outputs.statusText.str(), "701 解析URL地址失败!") << url;
    EXPECT_EQ(call.text.str(), "");
    EXPECT_EQ(call.events, 1) << url;
  }
}

TEST(HttpRequestFailures, RefusedConnectionFailsTheSend) {
  SKIP_WITHOUT_SERVERS();
  const Call call = Send(test::ServerUrl("LUMIVOX_TEST_CLOSED_PORT", "/x"));
  EXPECT_EQ(call.outputs.statusText.str(), "711 发送请求失败!");
  EXPECT_EQ(call.text.str(), "");
  EXPECT_EQ(call.events, 7);
}

TEST(HttpRequestFailures, StallingServerTimesOut) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    std::string url;
    const char* status;
    int events;
  } cases[] = {
      // The reply's head never comes.
      {HttpUrl("/reply?mode=stall&stall=20"), "712 服务器未响应!", 8},
      // A TLS handshake with the plain HTTP server, which waits for a request head: the
      // handshake never completes.
      {test::ServerUrl("LUMIVOX_TEST_HTTP_PORT", "/x", "https"), "711 发送请求失败!", 7},
  };
  for (const auto& c : cases) {
    HttpRequestOptions options;
    options.timeoutSeconds = 1;
    const auto start = std::chrono::steady_clock::now();
    const Call call = Send(c.url, options);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(call.outputs.statusText.str(), c.status) << c.url;
    EXPECT_EQ(call.text.str(), "");
    EXPECT_EQ(call.events, c.events) << c.url;
    EXPECT_LT(seconds, 10.0) << c.url;
  }
}

TEST(HttpRequestFailures, NotFoundIsAReplyNotAFailure) {
  SKIP_WITHOUT_SERVERS();
  const Call call = Send(ReplyUrl({"HTTP/1.0 404 Not Found", {}, "gone"}));
  EXPECT_EQ(call.outputs.statusText.str(), "404 Not Found");
  EXPECT_EQ(call.text.str(), "gone");
}

// --- The reply -----------------------------------------------------------------------------

TEST(HttpRequestReply, SuccessPumpsPerStageHeaderLineAndCharsetStep) {
  SKIP_WITHOUT_SERVERS();
  const Call call = Send(ReplyUrl({"HTTP/1.1 200 OK", {"X-A: 1", "X-B: 2"}, "hello"}));
  EXPECT_EQ(call.text.str(), "hello");
  EXPECT_EQ(call.outputs.responseBytes.str(), "hello");
  EXPECT_EQ(call.outputs.responseHeaders.str().compare(0, 17, "HTTP/1.1 200 OK\r\n"), 0);
  EXPECT_EQ(call.events, 9 + HeaderLineCount(call.outputs.responseHeaders) + 1);
}

TEST(HttpRequestReply, ReplyWithoutBody) {
  SKIP_WITHOUT_SERVERS();
  HttpRequestOptions head;
  head.method = kMethodHead;
  const Call call =
      Send(ReplyUrl({"HTTP/1.1 200 OK", {"Location: /h", "Set-Cookie: h=1"}, "body"}), head);
  EXPECT_EQ(call.text.str(), "");
  EXPECT_TRUE(call.outputs.responseBytes.empty());
  EXPECT_EQ(call.outputs.statusText.str(), "200 OK");
  EXPECT_EQ(call.outputs.location.str(), "/h");
  EXPECT_EQ(call.outputs.receivedCookies.str(), "h=1");
  const Call noContent = Send(ReplyUrl({"HTTP/1.1 204 No Content", {}, ""}));
  EXPECT_EQ(noContent.outputs.statusText.str(), "204 No Content");
  EXPECT_TRUE(noContent.outputs.responseBytes.empty());
}

TEST(HttpRequestReply, CookieScan) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    std::vector<std::string> headers;
    const char* cookies;
  } cases[] = {
      {{"Set-Cookie: a=1; Path=/", "set-cookie: b=2", "SET-COOKIE: c=3; HttpOnly"},
       "a=1; b=2; c=3"},
      {{"Set-Cookie: a=1; Path=/", "X-Note: Set-Cookie; none"}, "a=1; "},
      {{"X-Set-Cookie-Info: on"}, "X-Set-Cookie-Info: on"},
      {{"X-Other: 1"}, ""},
  };
  for (const auto& c : cases) {
    const Call call = Send(ReplyUrl({"HTTP/1.1 200 OK", c.headers, "x"}));
    EXPECT_EQ(call.outputs.receivedCookies.str(), c.cookies) << c.headers[0];
    const std::string& headers = call.outputs.responseHeaders.str();
    EXPECT_EQ(headers.find("set-cookie"), std::string::npos);
    EXPECT_EQ(headers.find("SET-COOKIE"), std::string::npos);
  }
}

TEST(HttpRequestReply, CookieMerge) {
  SKIP_WITHOUT_SERVERS();
  const std::string url = ReplyUrl({"HTTP/1.1 200 OK", {"Set-Cookie: b=2; Path=/"}, "x"});
  HttpRequestOptions given;
  given.sendCookies = rt::Text("a=1");
  Call call = Send(url, given);
  EXPECT_EQ(call.outputs.receivedCookies.str(), "b=2; a=1");
  EXPECT_EQ(call.options.sendCookies->str(), "b=2; a=1");

  given.mergeCookies = false;
  call = Send(url, given);
  EXPECT_EQ(call.outputs.receivedCookies.str(), "b=2");
  EXPECT_EQ(call.options.sendCookies->str(), "a=1");

  // Given but empty merges too; not given does not.
  HttpRequestOptions empty;
  empty.sendCookies = rt::Text();
  call = Send(url, empty);
  EXPECT_EQ(call.options.sendCookies->str(), "b=2");
  call = Send(url);
  EXPECT_FALSE(call.options.sendCookies.has_value());
  EXPECT_EQ(call.outputs.receivedCookies.str(), "b=2");
}

TEST(HttpRequestReply, LocationRules) {
  SKIP_WITHOUT_SERVERS();
  const struct {
    std::vector<std::string> headers;
    const char* location;
  } cases[] = {
      {{"Location: /next"}, "/next"},
      {{"LOCATION: /x"}, "/x"},
      {{"Location:/y"}, "kept"},
      {{"X-Location: /z"}, "kept"},
      {{"Location: /first", "Location: /second"}, "/second"},
  };
  for (const auto& c : cases) {
    HttpRequestOutputs outputs;
    outputs.location = "kept";
    const Call call = Send(ReplyUrl({"HTTP/1.1 200 OK", c.headers, "x"}), {}, outputs);
    EXPECT_EQ(call.outputs.location.str(), c.location) << c.headers.back();
  }
}

TEST(HttpRequestReply, RedirectsFollowedUnlessSwitchedOff) {
  SKIP_WITHOUT_SERVERS();
  const std::string url = HttpUrl("/chain?n=2");
  Call call = Send(url);
  EXPECT_EQ(call.outputs.statusText.str(), "200 OK");
  EXPECT_EQ(call.text.str(), "end");
  HttpRequestOptions noRedirect;
  noRedirect.noRedirect = true;
  call = Send(url, noRedirect);
  EXPECT_EQ(call.outputs.statusText.str(), "302 Found");
  EXPECT_EQ(call.outputs.location.str(), "/chain?n=1");
}

TEST(HttpRequestReply, ZeroByteEndsTheTextButNotTheBytes) {
  SKIP_WITHOUT_SERVERS();
  std::string body(99, 'a');
  body += '\0';
  body += "tail";
  const Call call = Send(ReplyUrl({"HTTP/1.1 200 OK", {}, body}));
  EXPECT_EQ(call.text.str(), std::string(99, 'a'));
  EXPECT_EQ(call.outputs.responseBytes.str(), body);
}

TEST(HttpRequestReply, ChunkedAndLargeBodies) {
  SKIP_WITHOUT_SERVERS();
  const Call chunked = Send(HttpUrl("/reply?bodygen=300000&mode=chunked&chunk=7000"));
  EXPECT_EQ(chunked.outputs.responseBytes.size(), 300000);
  const Call large = Send(HttpUrl("/reply?bodygen=5000000"));
  ASSERT_EQ(large.outputs.responseBytes.size(), 5000000);
  EXPECT_EQ(large.outputs.responseBytes.str().substr(64 * 1000, 64),
            "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-\n");
}

// Reads fail after a number of good reads.
int g_readsBeforeFailure;
BOOL WINAPI FailingRead(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD read) {
  if (g_readsBeforeFailure-- <= 0) return FALSE;
  // Small pieces, so that the body takes several reads.
  return RealDllCommand<decltype(&::WinHttpReadData)>(rt::kWinHttpReadData)(
      request, buffer, size < 10 ? size : 10, read);
}

TEST(HttpRequestReply, FailedReadKeepsTheChunksBeforeIt) {
  SKIP_WITHOUT_SERVERS();
  ScopedDllOverride seam(rt::kWinHttpReadData, reinterpret_cast<void*>(&FailingRead));
  g_readsBeforeFailure = 2;
  const Call call = Send(ReplyUrl({"HTTP/1.1 201 Created", {}, std::string(100, 'z')}));
  EXPECT_EQ(call.text.str(), std::string(20, 'z'));
  EXPECT_EQ(call.outputs.statusText.str(), "201 Created");
}

TEST(HttpRequestReply, BodyCutOffByTheServer) {
  SKIP_WITHOUT_SERVERS();
  // The server sends half of the announced length and resets the connection: whichever
  // WinHttp call notices, the caller gets a prefix of the body and the server's status.
  for (const char* mode : {"cut", "reset"}) {
    const Call call = Send(HttpUrl(std::string("/reply?bodygen=200000&mode=") + mode));
    const std::string& bytes = call.outputs.responseBytes.str();
    EXPECT_LE(bytes.size(), 100000u) << mode;
    EXPECT_EQ(call.outputs.statusText.str(), "200 OK") << mode;
    EXPECT_EQ(call.text.str(), bytes) << mode;
  }
}

int g_headerQueries;
BOOL WINAPI FailSecondHeaderQuery(HINTERNET request, DWORD level, LPCWSTR name, LPVOID buffer,
                                  LPDWORD length, LPDWORD index) {
  // The raw header block is asked for twice, once for its length; the second time fails.
  if (level == WINHTTP_QUERY_RAW_HEADERS_CRLF && ++g_headerQueries == 2) return FALSE;
  return RealDllCommand<decltype(&::WinHttpQueryHeaders)>(rt::kWinHttpQueryHeaders)(
      request, level, name, buffer, length, index);
}

TEST(HttpRequestReply, FailedHeaderQueryLeavesTheOutputs) {
  SKIP_WITHOUT_SERVERS();
  const std::string url = ReplyUrl({"HTTP/1.1 200 OK", {"Set-Cookie: a=1", "Location: /l"}, "b"});
  ScopedDllOverride headers(rt::kWinHttpQueryHeaders,
                            reinterpret_cast<void*>(&FailSecondHeaderQuery));
  HttpRequestOutputs before;
  before.statusText = "before";
  before.location = "kept";
  g_headerQueries = 0;
  Call call = Send(url, {}, before);
  EXPECT_EQ(call.text.str(), "");
  EXPECT_EQ(call.outputs.statusText.str(), "before");
  EXPECT_EQ(call.outputs.location.str(), "kept");
  EXPECT_TRUE(call.outputs.responseBytes.empty());
  EXPECT_EQ(call.outputs.receivedCookies.str(), "");
  EXPECT_EQ(call.events, 9);

  // After a failed read the 713 text stays.
  ScopedDllOverride read(rt::kWinHttpReadData, reinterpret_cast<void*>(&FailingRead));
  g_readsBeforeFailure = 0;
  g_headerQueries = 0;
  call = Send(url, {}, before);
  EXPECT_EQ(call.outputs.statusText.str(), "713 读取数据失败!");
  EXPECT_EQ(call.text.str(), "");
}

// --- Charsets ------------------------------------------------------------------------------

const char kUtf8Zhongwen[] = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文 in UTF-8
const char kGbkZhongwen[] = "\xD6\xD0\xCE\xC4";           // 中文 in GBK

TEST(HttpRequestCharset, MetaTagSelectsTheConversion) {
  SKIP_WITHOUT_SERVERS();
  const std::string utf8Page =
      std::string("<html><meta content=text/html; charset=utf-8>") + kUtf8Zhongwen + "</html>";
  const std::string gbkPage = std::string("<meta charset=\"gb2312\">") + kGbkZhongwen;
  const std::string farMeta = std::string(1100, ' ') + "<meta charset=utf-8>" + kUtf8Zhongwen;
  const struct {
    std::string body;
    std::string text;
  } cases[] = {
      {utf8Page,
       std::string("<html><meta content=text/html; charset=utf-8>") + kGbkZhongwen + "</html>"},
      {std::string("<META http-equiv=x CHARSET=UTF-8>") + kUtf8Zhongwen,
       std::string("<META http-equiv=x CHARSET=UTF-8>") + kGbkZhongwen},
      {gbkPage, gbkPage},
      {std::string("<meta charset='GBK'>") + kGbkZhongwen,
       std::string("<meta charset='GBK'>") + kGbkZhongwen},
      // Beyond the first 1024 bytes, or split over lines, the tag is not found.
      {farMeta, farMeta},
      {std::string("<meta\ncharset=utf-8>") + kUtf8Zhongwen,
       std::string("<meta\ncharset=utf-8>") + kUtf8Zhongwen},
      {std::string("<meta charset=big5>\xA4\xA4\xA4\xE5"),
       std::string("<meta charset=big5>") + kGbkZhongwen},
      {std::string("<meta charset=Shift_JIS>\x92\x86"),
       std::string("<meta charset=Shift_JIS>") + "\xD6\xD0"},
      {std::string("<meta charset=koi8-r>\xF0\xD2"),
       std::string("<meta charset=koi8-r>\xA7\xB1\xA7\xE2")},
      // A name that no converter knows leaves the body text as it came.
      {std::string("<meta charset=x-unknown>") + kUtf8Zhongwen,
       std::string("<meta charset=x-unknown>") + kUtf8Zhongwen},
  };
  for (const auto& c : cases) {
    const Call call = Send(ReplyUrl({"HTTP/1.1 200 OK", {}, c.body}));
    EXPECT_EQ(call.text.str(), c.text) << c.body.substr(0, 60);
    EXPECT_EQ(call.outputs.responseBytes.str(), c.body);
  }
}

TEST(HttpRequestCharset, CharsetHeaderOfTheReplyIsIgnored) {
  SKIP_WITHOUT_SERVERS();
  const Call call = Send(
      ReplyUrl({"HTTP/1.1 200 OK", {"Content-Type: text/html; charset=utf-8"}, kUtf8Zhongwen}));
  EXPECT_EQ(call.text.str(), kUtf8Zhongwen);
}

TEST(CharsetConversion, CodePagesOfNames) {
  const struct {
    const char* name;
    std::optional<int> codePage;
  } cases[] = {
      {"utf-8", 65001},
      {"UTF-8", 65001},
      {"Big5", 950},
      {"SHIFT_JIS", 932},
      {"euc-jp", 20932},
      {"EUC-KR", 949},
      {"iso-8859-1", 28591},
      {"ISO-8859-15", 28605},
      {"windows-1251", 1251},
      {"Windows-1258", 1258},
      {"koi8-r", 20866},
      {"GB18030", 54936},
      {"x-unknown", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageOfCharset(c.name), c.codePage) << c.name;
}

// --- Nesting -------------------------------------------------------------------------------

struct NestedResult {
  bool ran = false;
  rt::Text text;
  rt::Text status;
};
NestedResult g_nested;
std::string g_nestedUrl;

LRESULT CALLBACK NestingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    HttpRequestOptions options;
    HttpRequestOutputs outputs;
    g_nested.text = HttpRequest(rt::Text(g_nestedUrl), options, outputs);
    g_nested.status = outputs.statusText;
    g_nested.ran = true;
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST(HttpRequestNesting, RequestFromAWindowMessageRunsInsideTheOuterOne) {
  SKIP_WITHOUT_SERVERS();
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &NestingWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LumivoxNestingTest";
  ::RegisterClassW(&windowClass);
  const rt::UniqueWindow window(::CreateWindowW(L"LumivoxNestingTest", L"", 0, 0, 0, 0, 0,
                                                HWND_MESSAGE, nullptr, windowClass.hInstance,
                                                nullptr));
  ASSERT_TRUE(window);
  g_nested = {};
  g_nestedUrl = ReplyUrl({"HTTP/1.1 202 Accepted", {"Set-Cookie: inner=1"}, "inner body"});
  ::Sleep(10);  // past the pump's quiet interval, so the first pump looks at the queue
  ::PostMessageW(window.get(), WM_APP, 0, 0);
  const Call outer = Send(
      ReplyUrl({"HTTP/1.1 200 OK", {"Set-Cookie: outer=1", "X-1: a", "X-2: b"}, "outer body"}));
  ASSERT_TRUE(g_nested.ran);
  EXPECT_EQ(g_nested.text.str(), "inner body");
  EXPECT_EQ(g_nested.status.str(), "202 Accepted");
  EXPECT_EQ(outer.text.str(), "outer body");
  EXPECT_EQ(outer.outputs.statusText.str(), "200 OK");
  EXPECT_EQ(outer.outputs.receivedCookies.str(), "outer=1");
}

// --- Authentication, proxies and TLS -------------------------------------------------------

TEST(HttpRequestRealComponents, ServerBasicAuthentication) {
  SKIP_WITHOUT_SERVERS();
  const std::string url = HttpUrl("/auth?user=alice&pass=s3cret");
  EXPECT_EQ(Send(url).outputs.statusText.str(), "401 Unauthorized");
  HttpRequestOptions options;
  options.userName = "alice";
  options.password = "s3cret";
  const Call call = Send(url, options);
  EXPECT_EQ(call.outputs.statusText.str(), "200 OK");
}

TEST(HttpRequestRealComponents, RequestsThroughTheProxy) {
  SKIP_WITHOUT_SERVERS();
  HttpRequestOptions options;
  options.proxy = rt::Text("127.0.0.1:" + test::ServerEnv("LUMIVOX_TEST_PROXY_PORT"));
  const Call call = Send(test::LocalhostUrl("LUMIVOX_TEST_HTTP_PORT", "/echo"), options);
  EXPECT_EQ(call.outputs.statusText.str(), "200 OK");
  // The echoed request is the one the proxy forwarded.
  EXPECT_NE(call.text.str().find("lumivox-test-proxy"), std::string::npos) << call.text.str();
}

TEST(HttpRequestRealComponents, ProxyBasicAuthentication) {
  SKIP_WITHOUT_SERVERS();
  HttpRequestOptions options;
  options.proxy = rt::Text("127.0.0.1:" + test::ServerEnv("LUMIVOX_TEST_AUTH_PROXY_PORT"));
  EXPECT_EQ(Send(test::LocalhostUrl("LUMIVOX_TEST_HTTP_PORT", "/echo"), options)
                .outputs.statusText.str()
                .substr(0, 3),
            "407");
  options.proxyUserName = rt::Text(test::ServerEnv("LUMIVOX_TEST_AUTH_PROXY_USER"));
  options.proxyPassword = rt::Text(test::ServerEnv("LUMIVOX_TEST_AUTH_PROXY_PASS"));
  const Call call = Send(test::LocalhostUrl("LUMIVOX_TEST_HTTP_PORT", "/echo"), options);
  EXPECT_EQ(call.outputs.statusText.str(), "200 OK");
  EXPECT_NE(call.text.str().find("lumivox-test-auth-proxy"), std::string::npos);
  // A proxy that refuses everything yields its 407 as the status.
  options.proxy = rt::Text("127.0.0.1:" + test::ServerEnv("LUMIVOX_TEST_PROXY407_PORT"));
  EXPECT_EQ(Send(test::LocalhostUrl("LUMIVOX_TEST_HTTP_PORT", "/echo"), options)
                .outputs.statusText.str()
                .substr(0, 3),
            "407");
}

TEST(HttpRequestRealComponents, TrustedTlsServer) {
  SKIP_WITHOUT_SERVERS();
  const Call call = Send(
      test::TlsUrl("LUMIVOX_TEST_HTTPS_PORT", test::ReplyPath({"HTTP/1.1 200 OK", {}, "secure"})));
  EXPECT_EQ(call.outputs.statusText.str(), "200 OK");
  EXPECT_EQ(call.text.str(), "secure");
}

TEST(HttpRequestRealComponents, UntrustedTlsServerFails) {
  SKIP_WITHOUT_SERVERS();
  const Call call = Send(test::TlsUrl("LUMIVOX_TEST_HTTPS_UNTRUSTED_PORT",
                                      test::ReplyPath({"HTTP/1.1 200 OK", {}, "secure"})));
  const std::string& status = call.outputs.statusText.str();
  EXPECT_TRUE(status == "711 发送请求失败!" || status == "712 服务器未响应!") << status;
  EXPECT_EQ(call.text.str(), "");
}

TEST(HttpRequestRealComponents, HttpsThroughTheProxy) {
  SKIP_WITHOUT_SERVERS();
  HttpRequestOptions options;
  options.proxy = rt::Text("127.0.0.1:" + test::ServerEnv("LUMIVOX_TEST_PROXY_PORT"));
  const Call call = Send(
      test::TlsUrl("LUMIVOX_TEST_HTTPS_PORT", test::ReplyPath({"HTTP/1.1 200 OK", {}, "tunnel"})),
      options);
  EXPECT_EQ(call.outputs.statusText.str(), "200 OK");
  EXPECT_EQ(call.text.str(), "tunnel");
}

TEST(HttpRequestShortForm, PostsTheBody) {
  SKIP_WITHOUT_SERVERS();
  const rt::Text text = HttpRequest(rt::Text(HttpUrl("/echo")), kMethodPost, "x=1");
  EXPECT_EQ(text.str().compare(0, 13, "POST /echo HT"), 0);
  EXPECT_EQ(LastRecordedRequest().body, "x=1");
}

}  // namespace
}  // namespace web

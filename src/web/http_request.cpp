#include "web/http_request.h"

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "rt/dll_commands.h"
#include "rt/events.h"
#include "rt/handle_owners.h"
#include "web/code_pages.h"
#include "web/http_reply.h"
#include "web/regex_matcher.h"

namespace web {
namespace {

// What the URL gives the later stages.
struct Target {
  rt::Text hostName;
  std::wstring wideHostName;  // for the connection and the redirect guard, which must not allocate
  std::wstring objectName;
  INTERNET_PORT port = 0;
  bool secure = false;
};

// Every way out closes the request, the connection and the session, in this order, each
// also when it is still null (a stage that failed never opened it). The target outlives the
// request, whose redirect guard reads it.
struct WinHttpHandles {
  WinHttpHandles() = default;
  WinHttpHandles(const WinHttpHandles&) = delete;
  WinHttpHandles& operator=(const WinHttpHandles&) = delete;
  ~WinHttpHandles() {
    for (rt::UniqueWinHttp* handle : {&request, &connect, &session})
      rt::dll::WinHttpCloseHandle(handle->release());
  }

  Target target;
  rt::UniqueWinHttp session;
  rt::UniqueWinHttp connect;
  rt::UniqueWinHttp request;
};

// How a request leaves before its reply stage: the usual way pumps window messages once for
// each stage entered; a refused credential or option returns at once and pumps none.
enum class WayOut { kPumpingPerStage, kAtOnce };

// How far the request got. The stages counted are those the usual way out pumps messages for.
struct Progress {
  int stagesEntered = 0;
  bool replyReceived = false;
  DWORD sendError = 0;            // the error of a failed send, for the proxy's second try
  const char* failure = nullptr;  // the status text of the stage that failed

  WayOut Fail(const char* status, WayOut way = WayOut::kPumpingPerStage) {
    failure = status;
    return way;
  }
};

constexpr DWORD kOptionDisableFeature = WINHTTP_OPTION_DISABLE_FEATURE;  // 63
constexpr DWORD kHeaderModifiers = WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE;

std::wstring Wide(const rt::Text& text) { return AnsiToWideString(text); }

const wchar_t* NullWhenEmpty(const std::wstring& s) { return s.empty() ? nullptr : s.c_str(); }

const char* Verb(int method) {
  switch (method) {
    case kMethodPost: return "POST";
    case kMethodHead: return "HEAD";
    case kMethodPut: return "PUT";
    default: return "GET";
  }
}

struct DefaultHeader {
  const char* key;
  bool ignoreCase;
  const char* line;
};

const DefaultHeader kDefaultHeaders[] = {
    {"User-Agent: ", true,
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)"},
    {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*"},
    {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312"},
    {"Accept-Language: ", true, "Accept-Language: zh-cn"},
    {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded"},
    {"Cache-Control: ", true, "Cache-Control: no-cache"},
};

// The caller's lines first; each default line is added unless its key already stands
// anywhere in the block.
rt::Text BuildHeaderBlock(const rt::Text& extraHeaders, const rt::Text& sendCookies) {
  rt::Text block = extraHeaders.empty() ? rt::Text() : extraHeaders + "\r\n";
  for (const DefaultHeader& row : kDefaultHeaders) {
    if (rt::FindText(block, row.key, 1, row.ignoreCase) < 0) block += rt::Text(row.line) + "\r\n";
  }
  if (!sendCookies.empty() && rt::FindText(block, "Cookie: ", 1, true) < 0)
    block += "Cookie: " + sendCookies + "\r\n";
  return block;
}

bool SetFeatureOff(HINTERNET request, DWORD feature) {
  return rt::dll::WinHttpSetOption(request, kOptionDisableFeature, &feature, sizeof feature) !=
         FALSE;
}

bool SetBasicCredentials(HINTERNET request, DWORD target, const rt::Text& user,
                         const rt::Text& password) {
  const std::wstring wideUser = Wide(user);
  const std::wstring widePassword = Wide(password);
  return rt::dll::WinHttpSetCredentials(request, target, WINHTTP_AUTH_SCHEME_BASIC,
                                        wideUser.c_str(), widePassword.c_str(), nullptr) != FALSE;
}

bool SameOrigin(const Target& origin, const wchar_t* url) noexcept {
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  if (!rt::dll::WinHttpCrackUrl(url, 0, 0, &parts)) return false;
  return ::CompareStringOrdinal(parts.lpszHostName, static_cast<int>(parts.dwHostNameLength),
                                origin.wideHostName.c_str(),
                                static_cast<int>(origin.wideHostName.size()), TRUE) == CSTR_EQUAL &&
         parts.nPort == origin.port && (parts.nScheme == INTERNET_SCHEME_HTTPS) == origin.secure;
}

// WinHttp follows redirects by itself and may send the Basic credentials along to wherever
// they lead: some implementations keep the header made from them, others make it again from
// the stored credentials. Before a redirect leaves the origin both are withdrawn, so another
// host never sees them. It runs inside WinHttp: it neither allocates nor throws.
void CALLBACK WithdrawCredentialsLeavingOrigin(HINTERNET request, DWORD_PTR context, DWORD status,
                                               LPVOID info, DWORD) noexcept {
  if (status != WINHTTP_CALLBACK_STATUS_REDIRECT || context == 0 || info == nullptr) return;
  if (SameOrigin(*reinterpret_cast<const Target*>(context), static_cast<const wchar_t*>(info)))
    return;
  rt::dll::WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC,
                                 nullptr, nullptr, nullptr);
  rt::dll::WinHttpAddRequestHeaders(request, L"Authorization:", static_cast<DWORD>(-1),
                                    WINHTTP_ADDREQ_FLAG_REPLACE);
}

bool GuardCredentialsOnRedirect(HINTERNET request, const Target& origin) {
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&origin);
  return rt::dll::WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context,
                                   sizeof context) &&
         rt::dll::WinHttpSetStatusCallback(request, &WithdrawCredentialsLeavingOrigin,
                                           WINHTTP_CALLBACK_FLAG_REDIRECT,
                                           0) != WINHTTP_INVALID_STATUS_CALLBACK;
}

// Steps from the session to the received reply, for one proxy name.
WayOut OpenAndSend(const Target& target, const std::wstring& proxyName,
                   const HttpRequestOptions& options, WinHttpHandles& handles, Progress& progress) {
  ++progress.stagesEntered;
  handles.session.reset(rt::dll::WinHttpOpen(
      nullptr, proxyName.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
      NullWhenEmpty(proxyName), nullptr, 0));
  if (!handles.session) return progress.Fail(kHttpSessionFailed);

  ++progress.stagesEntered;
  handles.connect.reset(
      rt::dll::WinHttpConnect(handles.session.get(), target.wideHostName.c_str(), target.port, 0));
  if (!handles.connect) return progress.Fail(kHttpConnectFailed);

  ++progress.stagesEntered;
  const std::wstring verb = Wide(Verb(options.method));
  handles.request.reset(rt::dll::WinHttpOpenRequest(
      handles.connect.get(), verb.c_str(), target.objectName.c_str(), nullptr, nullptr, nullptr,
      target.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!handles.request) return progress.Fail(kHttpRequestFailed);
  HINTERNET request = handles.request.get();

  ++progress.stagesEntered;
  const int timeout = options.timeoutSeconds > 0 ? options.timeoutSeconds * 1000 : 30000;
  DWORD responseTimeout = static_cast<DWORD>(timeout);
  // The wait for the reply's header block has a bound of its own, which some WinHttp
  // implementations (Wine's: none by default) do not take from the receive time-out.
  if (!rt::dll::WinHttpSetTimeouts(request, timeout, timeout, timeout, timeout) ||
      !rt::dll::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                                 sizeof responseTimeout))
    return progress.Fail(kHttpTimeoutsFailed);

  if (!options.userName.empty() && !options.password.empty() &&
      (!SetBasicCredentials(request, WINHTTP_AUTH_TARGET_SERVER, options.userName,
                            options.password) ||
       (!options.noRedirect && !GuardCredentialsOnRedirect(request, target))))
    return progress.Fail(kHttpCredentialsFailed, WayOut::kAtOnce);
  if (!options.proxyUserName.empty() && !options.proxyPassword.empty() &&
      !SetBasicCredentials(request, WINHTTP_AUTH_TARGET_PROXY, options.proxyUserName,
                           options.proxyPassword))
    return progress.Fail(kHttpCredentialsFailed, WayOut::kAtOnce);
  // With or without the caller's cookies, WinHttp keeps and sends none of its own: the only
  // cookies that go out are those of the Cookie line.
  if (!SetFeatureOff(request, WINHTTP_DISABLE_COOKIES))
    return progress.Fail(kHttpCookieOptionFailed, WayOut::kAtOnce);
  if (options.noRedirect && !SetFeatureOff(request, WINHTTP_DISABLE_REDIRECTS))
    return progress.Fail(kHttpRedirectOptionFailed, WayOut::kAtOnce);

  ++progress.stagesEntered;
  const std::wstring headers =
      Wide(BuildHeaderBlock(options.extraHeaders, options.sendCookies.value_or(rt::Text())));
  if (!rt::dll::WinHttpAddRequestHeaders(request, headers.c_str(),
                                         static_cast<DWORD>(headers.size()), kHeaderModifiers))
    return progress.Fail(kHttpHeadersFailed);

  ++progress.stagesEntered;
  rt::ByteSet body = rt::ToBytes(options.body);
  void* bodyData = body.empty() ? nullptr : body.data();
  const DWORD bodyLength = static_cast<DWORD>(body.size());
  if (!rt::dll::WinHttpSendRequest(request, nullptr, 0, bodyData, bodyLength, bodyLength, 0)) {
    progress.sendError = ::GetLastError();
    return progress.Fail(kHttpSendFailed);
  }

  ++progress.stagesEntered;
  if (!rt::dll::WinHttpReceiveResponse(request, nullptr)) return progress.Fail(kHttpNoResponse);
  // The reply stage, which follows, counts as one more stage.
  ++progress.stagesEntered;
  progress.replyReceived = true;
  return WayOut::kPumpingPerStage;
}

// Steps from the platform check to the received reply.
WayOut SetUpAndSend(const rt::Text& url, const HttpRequestOptions& options, WinHttpHandles& handles,
                    Progress& progress) {
  if (!rt::dll::WinHttpCheckPlatform()) return progress.Fail(kHttpPlatformMissing);

  ++progress.stagesEntered;
  std::wstring wideUrl = Wide(url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!rt::dll::WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts))
    return progress.Fail(kHttpBadUrl);
  Target& target = handles.target;
  target.hostName = WideToAnsi(
      rt::PointerToBytes(parts.lpszHostName, static_cast<int>(parts.dwHostNameLength) * 2));
  target.wideHostName = Wide(target.hostName);
  target.objectName = L"/";
  if (static_cast<int>(parts.dwUrlPathLength) >= 1) {
    target.objectName.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) target.objectName.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  }
  target.port = parts.nPort;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  // A plain-HTTP request names its proxy for the http scheme only.
  const bool viaProxy = rt::TextLength(options.proxy) > 0;
  const bool schemeProxy = viaProxy && !target.secure;
  const std::wstring proxyName = Wide(!viaProxy     ? rt::Text()
                                      : schemeProxy ? "http=" + options.proxy
                                                    : options.proxy);
  const Progress beforeSession = progress;
  const WayOut way = OpenAndSend(target, proxyName, options, handles, progress);
  if (!schemeProxy || progress.sendError != ERROR_WINHTTP_NAME_NOT_RESOLVED) return way;
  // Wine's WinHttp takes a proxy list entry up to its first colon as the proxy's host, so
  // "http=host:port" makes it look up the name "http=host". For this one plain-HTTP
  // request the bare host:port names the same proxy.
  handles.request.reset();
  handles.connect.reset();
  handles.session.reset();
  progress = beforeSession;
  return OpenAndSend(target, Wide(options.proxy), options, handles, progress);
}

}  // namespace

rt::Text HttpRequest(const rt::Text& url, HttpRequestOptions& options,
                     HttpRequestOutputs& outputs) {
  const bool mergeCookies = options.mergeCookies.value_or(true);
  RegexMatcher charsetMatcher;
  WinHttpHandles handles;
  rt::Text replyText;
  Progress progress;
  const WayOut way = SetUpAndSend(url, options, handles, progress);
  if (progress.failure != nullptr) outputs.statusText = progress.failure;
  if (way == WayOut::kAtOnce) return rt::Text();
  if (progress.replyReceived)
    replyText =
        ReadHttpReply(handles.request.get(), options, mergeCookies, charsetMatcher, outputs);
  for (int i = 0; i < progress.stagesEntered; ++i) rt::ProcessEvents();
  return replyText;
}

rt::Text HttpRequest(const rt::Text& url, int method, const rt::Text& body) {
  HttpRequestOptions options;
  options.method = method;
  options.body = body;
  HttpRequestOutputs outputs;
  return HttpRequest(url, options, outputs);
}

}  // namespace web

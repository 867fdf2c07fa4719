#include "web/http_request.h"

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "rt/dll_commands.h"
#include "rt/events.h"
#include "rt/unique_handle.h"
#include "web/code_pages.h"
#include "web/http_reply.h"
#include "web/regex_matcher.h"

namespace web {
namespace {

struct WinHttpCloser {
  void operator()(HINTERNET handle) const { rt::dll::WinHttpCloseHandle(handle); }
};
using WinHttpHandle = rt::UniqueHandle<HINTERNET, WinHttpCloser>;

// What the URL gives the later stages.
struct Target {
  rt::Text hostName;
  std::wstring wideHostName;  // for the redirect guard, which must not allocate
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
    rt::dll::WinHttpCloseHandle(request.release());
    rt::dll::WinHttpCloseHandle(connect.release());
    rt::dll::WinHttpCloseHandle(session.release());
  }

  Target target;
  WinHttpHandle session;
  WinHttpHandle connect;
  WinHttpHandle request;
};

enum class Exit { kCommon, kImmediate };

constexpr DWORD kOptionDisableFeature = WINHTTP_OPTION_DISABLE_FEATURE;  // 63
constexpr DWORD kHeaderModifiers = WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE;

std::wstring Wide(const rt::Text& text) {
  return AnsiToWideString(text);
}

const wchar_t* NullWhenEmpty(const std::wstring& s) {
  return s.empty() ? nullptr : s.c_str();
}

const char* Verb(int method) {
  switch (method) {
    case 1: return "POST";
    case 2: return "HEAD";
    case 3: return "PUT";
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

// Steps from the session to the received reply, for one proxy name. `stages` counts the
// stages entered that the common exit pumps messages for; `sendError` receives the error of
// a failed send.
Exit OpenAndSend(const Target& target, const std::wstring& proxyName,
                 const HttpRequestOptions& options, WinHttpHandles& handles, int& stages,
                 DWORD& sendError, rt::Text& statusText) {
  ++stages;
  handles.session.reset(rt::dll::WinHttpOpen(
      nullptr, proxyName.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
      NullWhenEmpty(proxyName), nullptr, 0));
  if (!handles.session) {
    statusText = kHttpSessionFailed;
    return Exit::kCommon;
  }

  ++stages;
  const std::wstring wideHost = Wide(target.hostName);
  handles.connect.reset(
      rt::dll::WinHttpConnect(handles.session.get(), wideHost.c_str(), target.port, 0));
  if (!handles.connect) {
    statusText = kHttpConnectFailed;
    return Exit::kCommon;
  }

  ++stages;
  const std::wstring verb = Wide(Verb(options.method));
  handles.request.reset(rt::dll::WinHttpOpenRequest(
      handles.connect.get(), verb.c_str(), target.objectName.c_str(), nullptr, nullptr, nullptr,
      target.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!handles.request) {
    statusText = kHttpRequestFailed;
    return Exit::kCommon;
  }
  HINTERNET request = handles.request.get();

  ++stages;
  const int timeout = options.timeoutSeconds > 0 ? options.timeoutSeconds * 1000 : 30000;
  DWORD responseTimeout = static_cast<DWORD>(timeout);
  // The wait for the reply's header block has a bound of its own, which some WinHttp
  // implementations (Wine's: none by default) do not take from the receive time-out.
  if (!rt::dll::WinHttpSetTimeouts(request, timeout, timeout, timeout, timeout) ||
      !rt::dll::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                                 sizeof responseTimeout)) {
    statusText = kHttpTimeoutsFailed;
    return Exit::kCommon;
  }

  if (!options.userName.empty() && !options.password.empty() &&
      (!SetBasicCredentials(request, WINHTTP_AUTH_TARGET_SERVER, options.userName,
                            options.password) ||
       (!options.noRedirect && !GuardCredentialsOnRedirect(request, target)))) {
    statusText = kHttpCredentialsFailed;
    return Exit::kImmediate;
  }
  if (!options.proxyUserName.empty() && !options.proxyPassword.empty() &&
      !SetBasicCredentials(request, WINHTTP_AUTH_TARGET_PROXY, options.proxyUserName,
                           options.proxyPassword)) {
    statusText = kHttpCredentialsFailed;
    return Exit::kImmediate;
  }
  // With or without the caller's cookies, WinHttp keeps and sends none of its own: the only
  // cookies that go out are those of the Cookie line.
  if (!SetFeatureOff(request, WINHTTP_DISABLE_COOKIES)) {
    statusText = kHttpCookieOptionFailed;
    return Exit::kImmediate;
  }
  if (options.noRedirect && !SetFeatureOff(request, WINHTTP_DISABLE_REDIRECTS)) {
    statusText = kHttpRedirectOptionFailed;
    return Exit::kImmediate;
  }

  ++stages;
  const std::wstring headers =
      Wide(BuildHeaderBlock(options.extraHeaders, options.sendCookies.value_or(rt::Text())));
  if (!rt::dll::WinHttpAddRequestHeaders(request, headers.c_str(),
                                         static_cast<DWORD>(headers.size()), kHeaderModifiers)) {
    statusText = kHttpHeadersFailed;
    return Exit::kCommon;
  }

  ++stages;
  rt::ByteSet body = rt::ToBytes(options.body);
  void* bodyData = body.empty() ? nullptr : body.data();
  const DWORD bodyLength = static_cast<DWORD>(body.size());
  if (!rt::dll::WinHttpSendRequest(request, nullptr, 0, bodyData, bodyLength, bodyLength, 0)) {
    sendError = ::GetLastError();
    statusText = kHttpSendFailed;
    return Exit::kCommon;
  }

  ++stages;
  if (!rt::dll::WinHttpReceiveResponse(request, nullptr)) {
    statusText = kHttpNoResponse;
    return Exit::kCommon;
  }
  ++stages;
  return Exit::kCommon;
}

// Steps from the platform check to the received reply.
Exit SetUpAndSend(const rt::Text& url, const HttpRequestOptions& options, WinHttpHandles& handles,
                  int& stages, rt::Text& statusText) {
  if (!rt::dll::WinHttpCheckPlatform()) {
    statusText = kHttpPlatformMissing;
    return Exit::kCommon;
  }

  ++stages;
  std::wstring wideUrl = Wide(url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!rt::dll::WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts)) {
    statusText = kHttpBadUrl;
    return Exit::kCommon;
  }
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
  const int stagesBeforeSession = stages;
  DWORD sendError = 0;
  Exit exit = OpenAndSend(target, proxyName, options, handles, stages, sendError, statusText);
  if (schemeProxy && sendError == ERROR_WINHTTP_NAME_NOT_RESOLVED) {
    // Wine's WinHttp takes a proxy list entry up to its first colon as the proxy's host, so
    // "http=host:port" makes it look up the name "http=host". For this one plain-HTTP
    // request the bare host:port names the same proxy.
    handles.request.reset();
    handles.connect.reset();
    handles.session.reset();
    stages = stagesBeforeSession;
    sendError = 0;
    exit =
        OpenAndSend(target, Wide(options.proxy), options, handles, stages, sendError, statusText);
  }
  return exit;
}

}  // namespace

rt::Text HttpRequest(const rt::Text& url, HttpRequestOptions& options,
                     HttpRequestOutputs& outputs) {
  const bool mergeCookies = options.mergeCookies.value_or(true);
  RegexMatcher charsetMatcher;
  WinHttpHandles handles;
  rt::Text replyText;
  int stages = 0;
  constexpr int kAllStages = 9;
  if (SetUpAndSend(url, options, handles, stages, outputs.statusText) == Exit::kImmediate)
    return rt::Text();
  if (stages == kAllStages)
    replyText =
        ReadHttpReply(handles.request.get(), options, mergeCookies, charsetMatcher, outputs);
  for (int i = 0; i < stages; ++i) rt::ProcessEvents();
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

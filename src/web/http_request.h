// One complete HTTP or HTTPS request through WinHttp; the reply body comes back as GBK text.
#pragma once

#include <optional>

#include "rt/text.h"

namespace web {

// The methods of HttpRequestOptions::method; any other number is a GET.
inline constexpr int kMethodGet = 0;
inline constexpr int kMethodPost = 1;
inline constexpr int kMethodHead = 2;
inline constexpr int kMethodPut = 3;

// The inputs of a request. Only sendCookies and mergeCookies are looked at for whether
// the caller gave them; the rest read by value.
struct HttpRequestOptions {
  int method = kMethodGet;
  rt::Text body;
  std::optional<rt::Text> sendCookies;
  rt::Text extraHeaders;
  bool noRedirect = false;
  rt::Text userName;
  rt::Text password;
  rt::Text proxy;
  rt::Text proxyUserName;
  rt::Text proxyPassword;
  int timeoutSeconds = 0;  // 0 or less: 30
  std::optional<bool> mergeCookies;
};

// What a request writes back to its caller. A request that fails before its reply was
// received writes only statusText; the rest keep what they held.
struct HttpRequestOutputs {
  rt::Text receivedCookies;
  rt::Text responseHeaders;
  rt::Text location;
  rt::Text statusText;
  rt::ByteSet responseBytes;
};

// sendCookies of options receives the merged cookies when cookies are merged.
rt::Text HttpRequest(const rt::Text& url, HttpRequestOptions& options, HttpRequestOutputs& outputs);
rt::Text HttpRequest(const rt::Text& url, int method = kMethodGet,
                     const rt::Text& body = rt::Text());

}  // namespace web

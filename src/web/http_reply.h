// The reply stage of HttpRequest: body, header block, out-parameters and the reply text.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "web/http_request.h"
#include "web/regex_matcher.h"

namespace web {

// The failure texts of HttpRequest; a failure is reported through statusText only.
inline constexpr const char kHttpPlatformMissing[] = "700 当前系统不支持WinHttp服务!";
inline constexpr const char kHttpBadUrl[] = "701 解析URL地址失败!";
inline constexpr const char kHttpSessionFailed[] = "702 创建WinHttp会话失败!";
inline constexpr const char kHttpConnectFailed[] = "703 创建WinHttp连接失败!";
inline constexpr const char kHttpRequestFailed[] = "704 创建WinHttp请求失败!";
inline constexpr const char kHttpTimeoutsFailed[] = "705 设置超时时间失败!";
inline constexpr const char kHttpCredentialsFailed[] = "707 设置代理凭证失败!";
inline constexpr const char kHttpCookieOptionFailed[] = "708 禁止自动设置Cookies失败!";
inline constexpr const char kHttpRedirectOptionFailed[] = "709 重定向设置失败!";
inline constexpr const char kHttpHeadersFailed[] = "710 设置协议头失败!";
inline constexpr const char kHttpSendFailed[] = "711 发送请求失败!";
inline constexpr const char kHttpNoResponse[] = "712 服务器未响应!";
inline constexpr const char kHttpReadFailed[] = "713 读取数据失败!";

// Reads the received reply of `request` and fills the outputs; returns the reply text
// (empty when the header block cannot be read).
rt::Text ReadHttpReply(HINTERNET request, HttpRequestOptions& options, bool mergeCookies,
                       RegexMatcher& charsetMatcher, HttpRequestOutputs& outputs);

}  // namespace web

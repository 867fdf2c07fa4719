#include "web/http_reply.h"

#include <algorithm>
#include <new>
#include <string>

#include "rt/dll_commands.h"
#include "rt/events.h"
#include "rt/handle_owners.h"
#include "web/charset_conversion.h"
#include "web/code_pages.h"
#include "web/cookies.h"
#include "web/text_between.h"

namespace web {
namespace {

constexpr DWORD kRawHeadersCrLf = WINHTTP_QUERY_RAW_HEADERS_CRLF;  // information level 22
constexpr const char kCharsetPattern[] = "<meta.+?charset=[^\\w]?([-\\w]+)";
constexpr int kCharsetSearchBytes = 1024;
// The most that an announced length reserves ahead; a longer body grows past it as usual.
constexpr DWORD kMaxReservedBodyBytes = 256u << 20;

// The announced Content-Length, as a capacity hint only: the body still ends where the reads
// end.
std::size_t AnnouncedLength(HINTERNET request) {
  DWORD length = 0;
  DWORD size = sizeof length;
  if (!rt::dll::WinHttpQueryHeaders(request,
                                    WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                                    nullptr, &length, &size, nullptr))
    return 0;
  return std::min(length, kMaxReservedBodyBytes);
}

// Reserves room for the announced body when the memory is there. The announcement is the
// server's word: a length that cannot be had must not end the program, so the memory is
// asked for without the fatal path first, and without it the buffer grows as chunks come.
void ReserveAnnounced(std::string& body, std::size_t length) {
  if (length == 0) return;
  void* probe = ::operator new(length + 1, std::nothrow);
  if (probe == nullptr) return;
  ::operator delete(probe);
  body.reserve(length);
}

// Reads the body chunk by chunk into one growing buffer; a failed read keeps what came
// before it and reports 713. The buffer is reserved for the announced length, so that a large
// body is not copied and its memory not touched anew each time the buffer outgrows itself.
rt::ByteSet ReadBody(HINTERNET request, rt::Text& statusText) {
  rt::ByteSet bodyBytes;
  std::string& body = bodyBytes.str();
  ReserveAnnounced(body, AnnouncedLength(request));
  for (;;) {
    DWORD available = 0;
    if (!rt::dll::WinHttpQueryDataAvailable(request, &available) || available < 1) break;
    const std::size_t before = body.size();
    body.resize(before + available);
    DWORD read = 0;
    if (!rt::dll::WinHttpReadData(request, &body[before], available, &read)) {
      body.resize(before);
      statusText = kHttpReadFailed;
      break;
    }
    body.resize(before + (read < available ? read : available));
  }
  // A length announced far beyond the body that came does not stay held with the result.
  if (body.capacity() / 2 > body.size()) body.shrink_to_fit();
  return bodyBytes;
}

// The raw header block as UTF-16LE, asked for twice: once for its length, once for the block.
bool QueryHeaderBlock(HINTERNET request, rt::ByteSet& headerBuffer) {
  DWORD length = 0;
  DWORD index = 0;
  rt::dll::WinHttpQueryHeaders(request, kRawHeadersCrLf, nullptr, nullptr, &length, &index);
  headerBuffer = rt::BlankBytes(static_cast<int>(length));
  index = 0;
  return rt::dll::WinHttpQueryHeaders(request, kRawHeadersCrLf, nullptr, headerBuffer.data(),
                                      &length, &index) != FALSE;
}

// Collects the cookie part of every line naming "Set-Cookie" and the last "Location: "
// value, pumping messages after each line.
void ScanHeaderLines(const rt::Text& responseHeaders, HttpRequestOutputs& outputs) {
  bool appended = false;
  for (const rt::Text& line : rt::SplitText(responseHeaders, "\r\n")) {
    if (rt::FindText(line, "Set-Cookie") > 0) {
      const rt::Text item = rt::FindText(line, ";") > 0
                                ? TextBetween(line, "Set-Cookie:", ";")
                                : rt::ReplaceText(line, "Set-Cookie:", rt::Text(), 1, -1, false);
      outputs.receivedCookies += rt::TrimSpaces(item) + "; ";
      appended = true;
    }
    if (rt::CompareText(rt::LeftText(line, 10), "Location: ", false) == 0)
      outputs.location = rt::MiddleText(line, 11, rt::TextLength(line) - 10);
    rt::ProcessEvents();
  }
  if (appended)
    outputs.receivedCookies =
        rt::LeftText(outputs.receivedCookies, rt::TextLength(outputs.receivedCookies) - 2);
}

// The charset that a meta tag in the first bytes of the text names, converted from; COM is
// initialised around the step and messages are pumped once the matcher has run. The text is
// taken by value and moved back: the caller hands over the only copy of a large body's text.
rt::Text ApplyCharset(const rt::ByteSet& body, rt::Text replyText, RegexMatcher& charsetMatcher) {
  const rt::ScopedComInit com;
  if (charsetMatcher.Execute(kCharsetPattern, rt::LeftText(replyText, kCharsetSearchBytes))) {
    const rt::Text charsetName = charsetMatcher.SubMatchText(1, 1);
    if (!charsetName.empty() && charsetName != "gbk" && charsetName != "gb2312")
      replyText = ConvertCharset(body, charsetName, replyText);
    rt::ProcessEvents();
  }
  return replyText;
}

}  // namespace

rt::Text ReadHttpReply(HINTERNET request, HttpRequestOptions& options, bool mergeCookies,
                       RegexMatcher& charsetMatcher, HttpRequestOutputs& outputs) {
  rt::ByteSet bodyBytes = ReadBody(request, outputs.statusText);

  rt::ByteSet headerBuffer;
  if (!QueryHeaderBlock(request, headerBuffer)) return rt::Text();
  outputs.responseHeaders = WideToAnsi(headerBuffer);

  const int lineEnd = rt::FindText(outputs.responseHeaders, "\r\n", 10);
  outputs.statusText = rt::MiddleText(outputs.responseHeaders, 10, lineEnd - 10);

  // Not a no-op: the search ignores letter case, so "set-cookie" and "SET-COOKIE" are spelled
  // "Set-Cookie" afterwards, for the caller and for the exact search of the line scan.
  outputs.responseHeaders =
      rt::ReplaceText(outputs.responseHeaders, "Set-Cookie", "Set-Cookie", 1, -1, false);
  ScanHeaderLines(outputs.responseHeaders, outputs);

  if (mergeCookies && options.sendCookies)
    outputs.receivedCookies = MergeCookies(*options.sendCookies, outputs.receivedCookies);

  outputs.responseBytes = std::move(bodyBytes);
  return ApplyCharset(outputs.responseBytes, rt::ToText(outputs.responseBytes), charsetMatcher);
}

}  // namespace web

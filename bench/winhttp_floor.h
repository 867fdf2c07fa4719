// The best WinHttp read loop under Wine: ask what is there, read all of it, into a buffer
// sized ahead from the announced length. It calls WinHttp only, so the download floor, which
// links nothing of ours, can use it too.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <string>

namespace bench {

// The body of a request whose response has been received; what arrived before a failed read.
inline std::string ReadWholeBody(HINTERNET request) {
  DWORD announced = 0;
  DWORD size = sizeof announced;
  std::string body;
  if (::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size,
                            WINHTTP_NO_HEADER_INDEX))
    body.reserve(announced);
  for (;;) {
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available) || available == 0) break;
    const std::size_t before = body.size();
    body.resize(before + available);
    DWORD read = 0;
    if (!::WinHttpReadData(request, &body[before], available, &read)) read = 0;
    body.resize(before + read);
    if (read == 0) break;
  }
  return body;
}

}  // namespace bench

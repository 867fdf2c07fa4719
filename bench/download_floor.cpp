// The least a WinHttp program does to download a body: the floor of the body-download
// benchmark. Under Wine the fastest loop is query-then-read (WinHttpQueryDataAvailable never
// reports more than 8 KB; larger plain reads are slower), into one buffer sized from the
// announced length. Nothing of ours is linked in.
//   download_floor HOST PORT PATH   prints "MS BYTES" of one download
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_common.h"
#include "winhttp_floor.h"

namespace {

struct CloseInternetHandle {
  void operator()(HINTERNET handle) const { ::WinHttpCloseHandle(handle); }
};
using InternetHandle = rt::UniqueHandle<HINTERNET, CloseInternetHandle>;

std::wstring Widen(const char* s) { return std::wstring(s, s + std::char_traits<char>::length(s)); }

// The body's bytes; empty when a step failed.
std::string Download(const std::wstring& host, INTERNET_PORT port, const std::wstring& path) {
  InternetHandle session(::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
  InternetHandle connect(session ? ::WinHttpConnect(session.get(), host.c_str(), port, 0)
                                 : nullptr);
  InternetHandle request(connect ? ::WinHttpOpenRequest(connect.get(), L"GET", path.c_str(),
                                                        nullptr, WINHTTP_NO_REFERER,
                                                        WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                 : nullptr);
  if (!request ||
      !::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr))
    return std::string();
  return bench::ReadWholeBody(request.get());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: download_floor HOST PORT PATH\n");
    return 2;
  }
  const double start = bench::NowMs();
  const std::string body =
      Download(Widen(argv[1]), static_cast<INTERNET_PORT>(std::atoi(argv[2])), Widen(argv[3]));
  std::printf("%.3f %zu\n", bench::NowMs() - start, body.size());
  return body.empty() ? 1 : 0;
}

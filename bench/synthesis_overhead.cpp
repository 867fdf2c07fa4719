// The client's own time in one synthesis: SynthesizeWithSettings against the local speech
// service, whose reply is padded to the size given, on a fresh connection and on the pooled
// (keep-alive) one that Wine's WinHttp keeps for the whole process. Beside each: the floor, a
// minimal WinHttp POST of the same body on the same kind of connection plus what decoding
// must cost (floors.h) and writing the file. tools/bench.sh times the same request body with
// curl (the service's share), then has the table printed.
//   synthesis_overhead REPLY_BYTES REPETITIONS
//     prints "fresh|pooled TO_FILE_MS WHOLE_CALL_MS REQUEST_MS FLOOR_POST_MS FLOOR_MS", a line each
//   synthesis_overhead --table SIZE KIND TO_FILE WHOLE_CALL REQUEST FLOOR_POST FLOOR SERVICE
//                              BYTES [...]
//     prints the table of such lines, nine fields each
//   synthesis_overhead --stall REPETITIONS
//     the same request over plain sockets on one kept-alive connection, its header block and
//     body written at once or apart: where the pooled connection's stall comes from
#include <winsock2.h>
// After winsock2.h, which must come before windows.h.
#include <windows.h>
#include <winhttp.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "client/synthesis.h"
#include "floors.h"
#include "rt/audio.h"
#include "service/service_control.h"
#include "web/http_request.h"
#include "winhttp_floor.h"

namespace {

constexpr double kGoalOverheadMs = 50;
constexpr INTERNET_PORT kServicePort = LUMIVOX_BENCH_SERVICE_PORT;
constexpr wchar_t kServicePath[] = L"/fcgi-bin/aai/aai_tts";

// One minimal WinHttp request to the service; the reply body, empty when a step failed.
std::string MinimalRequest(HINTERNET session, const wchar_t* verb, const wchar_t* path,
                           const wchar_t* headers, const std::string& body) {
  rt::UniqueWinHttp connect(::WinHttpConnect(session, L"127.0.0.1", kServicePort, 0));
  rt::UniqueWinHttp request(connect ? ::WinHttpOpenRequest(connect.get(), verb, path, nullptr,
                                                           WINHTTP_NO_REFERER,
                                                           WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                    : nullptr);
  void* data = body.empty() ? nullptr : const_cast<char*>(body.data());
  const DWORD length = static_cast<DWORD>(body.size());
  if (!request ||
      !::WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1), data, length, length,
                            0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr))
    return std::string();
  return bench::ReadWholeBody(request.get());
}

// The next request to the service opens a fresh connection: this one takes the pooled one and
// asks the service to close it after its reply, so that WinHttp cannot hand it out again.
void DropPooledConnection(HINTERNET session) {
  MinimalRequest(session, L"GET", L"/__config", L"Connection: close", std::string());
}

// The floor of the client's work on the reply: decode it with the least work, then write the
// file beside its target and move it into place, as a synthesis must.
bool FloorDecodeAndWrite(const std::string& reply, const std::wstring& target) {
  floors::UnescapeTimes ignored;
  std::string speech = floors::Unescape(reply, ignored);
  if (!floors::CutBetween(speech, "speech\": \"", '"') || !floors::IsCleanWellFormedBase64(speech))
    return false;
  const std::string audio = floors::Base64Decode(speech);
  const std::wstring temporary = target + L".tmp";
  rt::UniqueKernelHandle file = rt::AdoptFile(::CreateFileW(
      temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const bool wrote =
      ::WriteFile(file.get(), audio.data(), static_cast<DWORD>(audio.size()), &written, nullptr) &&
      written == audio.size();
  file.reset();
  return wrote && ::MoveFileExW(temporary.c_str(), target.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

struct Kind {
  const char* name;
  bool fresh;
  std::vector<double> toFile, wholeCall, request, floorPost, floor;
};

int Measure(long replyBytes, int repetitions) {
  // The reply is the audio in base64 inside a short JSON text: 3 bytes of audio per 4.
  const long audioBytes = replyBytes / 4 * 3;
  if (!service_control::Configure(
          rt::Text("{\"pad_audio_bytes\": " + std::to_string(audioBytes) + "}"))) {
    std::fprintf(stderr, "synthesis_overhead: the service at %s does not answer\n",
                 service_control::kService.str().c_str());
    return 1;
  }
  // The player is told to play right after the file is written: that is where the clock
  // stops; opening the player is the system's share and only shows in the whole call.
  double written = 0;
  rt::SetPlayerObserver([&](rt::PlayerEvent event, const rt::Text&) {
    if (event == rt::PlayerEvent::kPlay) written = bench::NowMs();
  });
  std::vector<std::string> failures;
  client::SetSynthesisFailureReporter(
      [&](const rt::Text& message) { failures.push_back(message.str()); });
  const auto synthesize = [] {
    return client::SynthesizeWithSettings("abc", "", "", client::SpeechSettings{7, 3, 100, 58});
  };
  // The first one makes the service's audio and opens the connection.
  std::size_t audioSize = synthesize().size();
  const std::vector<std::string> bodies = service_control::RawBodies();
  if (bodies.empty()) {
    std::fprintf(stderr, "synthesis_overhead: the service kept no request body\n");
    return 1;
  }
  const std::string& body = bodies.back();
  rt::UniqueWinHttp session(::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring floorFile = std::wstring(temp) + L"lumivox-floor.mp3";
  bool floorDecoded = true;

  Kind kinds[] = {{"fresh", true, {}, {}, {}, {}, {}}, {"pooled", false, {}, {}, {}, {}, {}}};
  for (int i = 0; i < repetitions && failures.empty(); ++i) {
    for (Kind& kind : kinds) {
      if (kind.fresh) DropPooledConnection(session.get());
      written = 0;
      double start = bench::NowMs();
      audioSize = synthesize().size();
      const double end = bench::NowMs();
      kind.toFile.push_back(written - start);
      kind.wholeCall.push_back(end - start);

      if (kind.fresh) DropPooledConnection(session.get());
      start = bench::NowMs();
      web::HttpRequest(client::SpeechServiceUrl(), web::kMethodPost, rt::Text(body));
      kind.request.push_back(bench::NowMs() - start);

      if (kind.fresh) DropPooledConnection(session.get());
      start = bench::NowMs();
      const std::string reply =
          MinimalRequest(session.get(), L"POST", kServicePath,
                         L"Content-Type: application/x-www-form-urlencoded", body);
      const double posted = bench::NowMs();
      floorDecoded = FloorDecodeAndWrite(reply, floorFile) && floorDecoded;
      kind.floorPost.push_back(posted - start);
      kind.floor.push_back(bench::NowMs() - start);
    }
  }
  ::DeleteFileW(floorFile.c_str());
  rt::SetPlayerObserver(nullptr);
  client::SetSynthesisFailureReporter(nullptr);
  if (!failures.empty() || audioSize < static_cast<std::size_t>(audioBytes) || !floorDecoded) {
    std::fprintf(stderr, "synthesis_overhead: no audio of %ld bytes: %s\n", audioBytes,
                 !failures.empty() ? failures.front().c_str()
                 : floorDecoded    ? "short reply"
                                   : "the floor did not decode it");
    return 1;
  }
  for (const Kind& kind : kinds) {
    std::printf("%s %.3f %.3f %.3f %.3f %.3f\n", kind.name, bench::Median(kind.toFile),
                bench::Median(kind.wholeCall), bench::Median(kind.request),
                bench::Median(kind.floorPost), bench::Median(kind.floor));
  }
  return 0;
}

int PrintTable(int count, char** rows) {
  bench::Table table({"reply", "connection", "bytes", "to file ms", "floor ms", "ours / floor",
                      "service ms (curl)", "overhead ms", "HttpRequest ms", "minimal POST ms",
                      "whole call ms"});
  double stall = 0;
  std::vector<std::string> goals;
  for (int i = 0; i + 8 < count; i += 9) {
    const double toFile = std::atof(rows[i + 2]);
    const double floor = std::atof(rows[i + 6]);
    const double service = std::atof(rows[i + 7]);
    table.Add({rows[i], rows[i + 1], rows[i + 8], bench::Fixed(toFile, 2), bench::Fixed(floor, 2),
               bench::Fixed(floor > 0 ? toFile / floor : 0, 2), bench::Fixed(service, 2),
               bench::Fixed(toFile - service, 2), bench::Fixed(std::atof(rows[i + 4]), 2),
               bench::Fixed(std::atof(rows[i + 5]), 2), bench::Fixed(std::atof(rows[i + 3]), 2)});
    if (std::string(rows[i]) == "100KB") {
      const double post = std::atof(rows[i + 5]);
      stall += std::string(rows[i + 1]) == "fresh" ? -post : post;
      const double overhead = toFile - service;
      goals.push_back("at 100 KB on a " + std::string(rows[i + 1]) + " connection: overhead " +
                      bench::Fixed(overhead, 2) + " ms   (goal < " +
                      bench::Fixed(kGoalOverheadMs, 0) +
                      " ms: " + bench::Verdict(overhead < kGoalOverheadMs) + ")");
    }
  }
  table.Print(("client overhead of one synthesis (call to file written; " + bench::BuildNote() +
               "; medians, ours and the floor in turns; goal < 50 ms at 100 KB)")
                  .c_str());
  std::printf(
      "floor: a minimal WinHttp POST of the same body on the same kind of connection, the "
      "decoding floors, the file written beside its target and moved into place\n");
  for (const std::string& goal : goals) std::printf("%s\n", goal.c_str());
  std::printf(
      "the pooled connection costs the minimal POST %.1f ms more than a fresh one at 100 KB: "
      "Wine's stall (the plain-socket table below shows it)\n",
      stall);
  return 0;
}

struct CloseSocket {
  void operator()(SOCKET s) const { ::closesocket(s); }
};
using UniqueSocket = rt::UniqueHandle<SOCKET, CloseSocket, INVALID_SOCKET>;

bool SendAll(SOCKET s, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const int n = ::send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads one reply framed by Content-Length; its body's size, or -1.
long ReadReply(SOCKET s) {
  std::string data;
  char buffer[65536];
  std::size_t headEnd = std::string::npos;
  long length = -1;
  for (;;) {
    if (headEnd == std::string::npos) {
      headEnd = data.find("\r\n\r\n");
      if (headEnd != std::string::npos) {
        const std::size_t at = data.find("Content-Length: ");
        if (at == std::string::npos || at > headEnd) return -1;
        length = std::atol(data.c_str() + at + 16);
        headEnd += 4;
      }
    }
    if (headEnd != std::string::npos && data.size() >= headEnd + static_cast<std::size_t>(length))
      return length;
    const int n = ::recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) return -1;
    data.append(buffer, static_cast<std::size_t>(n));
  }
}

// ms of each request after the first on one connection; empty when the connection failed.
std::vector<double> TimeOnOneConnection(const std::string& head, const std::string& body,
                                        bool apart, bool noDelay, int repetitions) {
  UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kServicePort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (!s || ::connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return {};
  const BOOL flag = noDelay;
  ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&flag),
               sizeof flag);
  std::vector<double> times;
  // The first request opens the connection; the kept-alive ones after it are timed.
  for (int i = 0; i <= repetitions; ++i) {
    const double start = bench::NowMs();
    const bool sent =
        apart ? SendAll(s.get(), head) && SendAll(s.get(), body) : SendAll(s.get(), head + body);
    if (!sent || ReadReply(s.get()) < 0) return {};
    if (i > 0) times.push_back(bench::NowMs() - start);
  }
  return times;
}

int MeasureStall(int repetitions) {
  if (!service_control::Configure("{\"pad_audio_bytes\": 76800}")) return 1;
  client::SetSynthesisFailureReporter([](const rt::Text&) {});
  client::SynthesizeWithSettings("abc", "", "", client::SpeechSettings{7, 3, 100, 58});
  client::SetSynthesisFailureReporter(nullptr);
  const std::vector<std::string> bodies = service_control::RawBodies();
  WSADATA wsa;
  if (bodies.empty() || ::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  const std::string& body = bodies.back();
  const std::string head =
      "POST /fcgi-bin/aai/aai_tts HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(kServicePort) +
      "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: " +
      std::to_string(body.size()) + "\r\n\r\n";
  const struct {
    const char* name;
    bool apart, noDelay;
  } ways[] = {{"header block and body in one write", false, false},
              {"header block, then body: two writes (as Wine's WinHttp sends)", true, false},
              {"two writes, TCP_NODELAY set", true, true}};
  bench::Table table({"plain sockets, one kept-alive connection, 100 KB reply", "ms", "min-max"});
  for (const auto& way : ways) {
    const std::vector<double> times =
        TimeOnOneConnection(head, body, way.apart, way.noDelay, repetitions);
    table.Add({way.name, times.empty() ? "failed" : bench::Fixed(bench::Median(times), 2),
               bench::Spread(times, 2)});
  }
  ::WSACleanup();
  table.Print(("where the pooled connection's stall comes from (" + bench::BuildNote() +
               "; medians of " + std::to_string(repetitions) + ")")
                  .c_str());
  std::printf(
      "two small writes without TCP_NODELAY: the body waits (Nagle) until the service "
      "acknowledges the header block, which it delays (~40 ms) on a connection past its first "
      "exchanges; a fresh connection acknowledges at once. Wine's WinHttp writes the two apart "
      "without TCP_NODELAY: the stall is Wine's, not ours, and HttpRequest meets it on every "
      "request that finds a pooled connection.\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--table") return PrintTable(argc - 2, argv + 2);
  if (argc == 3 && std::string(argv[1]) == "--stall") return MeasureStall(std::atoi(argv[2]));
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: synthesis_overhead REPLY_BYTES REPETITIONS | --stall REPETITIONS | "
                 "--table ...\n");
    return 2;
  }
  return Measure(std::atol(argv[1]), std::atoi(argv[2]));
}

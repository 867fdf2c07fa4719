// The client's own time in one synthesis: SynthesizeWithSettings against the local speech
// service, whose reply is padded to the size given. Prints the medians in ms to the file
// written, of the whole call and of HttpRequest alone; tools/bench.sh times the same request body
// with curl and subtracts the service's share, then has the table printed.
//   synthesis_overhead REPLY_BYTES REPETITIONS
//   synthesis_overhead --table LABEL TO_FILE_MS WHOLE_CALL_MS REQUEST_MS SERVICE_MS BYTES [...]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "client/speech_request.h"
#include "rt/audio.h"
#include "service/service_control.h"
#include "web/http_request.h"

namespace {

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
  std::vector<double> toFile;
  std::vector<double> wholeCall;
  for (int i = 0; i < repetitions && failures.empty(); ++i) {
    written = 0;
    const double start = bench::NowMs();
    audioSize = synthesize().size();
    const double end = bench::NowMs();
    toFile.push_back(written - start);
    wholeCall.push_back(end - start);
  }
  rt::SetPlayerObserver(nullptr);
  client::SetSynthesisFailureReporter(nullptr);
  // The HTTP layer's share: the last body again, through HttpRequest alone.
  const std::vector<std::string> bodies = service_control::RawBodies();
  std::vector<double> request;
  for (int i = 0; i < repetitions && !bodies.empty(); ++i) {
    const double start = bench::NowMs();
    web::HttpRequest(client::SpeechServiceUrl(), 1, rt::Text(bodies.back()));
    request.push_back(bench::NowMs() - start);
  }
  if (!failures.empty() || audioSize < static_cast<std::size_t>(audioBytes)) {
    std::fprintf(stderr, "synthesis_overhead: no audio of %ld bytes: %s\n", audioBytes,
                 failures.empty() ? "short reply" : failures.front().c_str());
    return 1;
  }
  std::printf("%.3f %.3f %.3f\n", bench::Median(toFile), bench::Median(wholeCall),
              bench::Median(request));
  return 0;
}

int PrintTable(int count, char** rows) {
  bench::Table table({"reply", "bytes", "to file ms", "service ms (curl)", "overhead ms",
                      "whole call ms", "HttpRequest ms"});
  for (int i = 0; i + 5 < count; i += 6) {
    const double toFile = std::atof(rows[i + 1]);
    const double service = std::atof(rows[i + 4]);
    table.Add({rows[i], rows[i + 5], bench::Fixed(toFile, 2), bench::Fixed(service, 2),
               bench::Fixed(toFile - service, 2), bench::Fixed(std::atof(rows[i + 2]), 2),
               bench::Fixed(std::atof(rows[i + 3]), 2)});
  }
  table.Print(
      "client overhead of one synthesis (call to file written, medians; goal < 50 ms at 100 KB)");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--table") return PrintTable(argc - 2, argv + 2);
  if (argc != 3) {
    std::fprintf(stderr, "usage: synthesis_overhead REPLY_BYTES REPETITIONS\n");
    return 2;
  }
  return Measure(std::atol(argv[1]), std::atoi(argv[2]));
}

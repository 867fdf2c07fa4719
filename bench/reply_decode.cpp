// Decoding a service reply as the speech request does: unescape the whole reply, cut out the
// `speech` member, decode its base64. Prints time and throughput per stage and reply size.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "web/base64.h"
#include "web/text_between.h"
#include "web/unicode_escapes.h"

namespace {

struct Size {
  const char* name;
  std::size_t audioBytes;
  int repetitions;
};

struct StageTimes {
  std::vector<double> unescape, between, base64, total;
};

constexpr double kGoalRatio = 9;
constexpr double kGoalMiBPerSecond = 50;

bool RunOnce(const rt::Text& reply, const std::string& audio, StageTimes& times) {
  const double t0 = bench::NowMs();
  // As the speech request does it: the member is cut out of the decoded reply in place.
  rt::Text speech = web::DecodeUnicodeEscapes(reply);
  const double t1 = bench::NowMs();
  web::CutTextBetween(speech, "speech\": \"", "\"");
  const double t2 = bench::NowMs();
  const rt::ByteSet bytes = web::Base64Decode(speech);
  const double t3 = bench::NowMs();
  times.unescape.push_back(t1 - t0);
  times.between.push_back(t2 - t1);
  times.base64.push_back(t3 - t2);
  times.total.push_back(t3 - t0);
  return bytes.str() == audio;
}

}  // namespace

int main(int argc, char** argv) {
  // An optional argument scales the repetitions (2 doubles them), for quicker or steadier runs.
  const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
  const Size sizes[] = {{"64 KB", 64 << 10, 15}, {"1 MB", 1 << 20, 7}, {"8 MB", 8 << 20, 5}};

  bench::Table table({"audio", "reply bytes", "reps", "unescape ms", "between ms", "base64 ms",
                      "total ms", "unescape MB/s", "between MB/s", "base64 MB/s", "total MB/s"});
  double total1MiB = 0, total8MiB = 0, rate8MiB = 0;
  bool allDecoded = true;
  for (const Size& size : sizes) {
    const std::string audio = bench::PseudoRandomBytes(size.audioBytes, 12345);
    const rt::Text reply(bench::ServiceReply(audio));
    const int reps = std::max(1, static_cast<int>(size.repetitions * scale));
    StageTimes times;
    for (int r = 0; r < reps; ++r) allDecoded = RunOnce(reply, audio, times) && allDecoded;
    const double bytes = reply.size();
    const double unescape = bench::Median(times.unescape), between = bench::Median(times.between),
                 base64 = bench::Median(times.base64), total = bench::Median(times.total);
    table.Add({size.name, std::to_string(reply.size()), std::to_string(reps),
               bench::Fixed(unescape, 2), bench::Fixed(between, 2), bench::Fixed(base64, 2),
               bench::Fixed(total, 2), bench::Fixed(bench::MiBPerSecond(bytes, unescape), 1),
               bench::Fixed(bench::MiBPerSecond(bytes, between), 1),
               bench::Fixed(bench::MiBPerSecond(bytes, base64), 1),
               bench::Fixed(bench::MiBPerSecond(bytes, total), 1)});
    if (size.audioBytes == 1 << 20) total1MiB = total;
    if (size.audioBytes == 8 << 20) {
      total8MiB = total;
      rate8MiB = bench::MiBPerSecond(bytes, total);
    }
  }
  table.Print(
      "Reply decoding (DecodeUnicodeEscapes, TextBetween, Base64Decode; medians; MB = 2^20 "
      "bytes of reply text)");
  const double ratio = total1MiB > 0 ? total8MiB / total1MiB : 0;
  std::printf("ratio t(8 MB)/t(1 MB): %.2f   (goal <= %.0f: %s)\n", ratio, kGoalRatio,
              ratio <= kGoalRatio ? "met" : "missed");
  std::printf("total at 8 MB: %.1f MB/s   (goal >= %.0f MB/s: %s)\n", rate8MiB, kGoalMiBPerSecond,
              rate8MiB >= kGoalMiBPerSecond ? "met" : "missed");
  std::printf("decoded audio equals the original: %s\n", allDecoded ? "yes" : "NO");
  return allDecoded ? 0 : 1;
}

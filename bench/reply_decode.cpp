// Decoding a service reply as the speech request does: unescape the whole reply, cut out the
// `speech` member, decode its base64. Prints time and throughput per stage and reply size,
// then each stage beside its floor (floors.h), the two taken in turns.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "floors.h"
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
  void Add(double t0, double t1, double t2, double t3) {
    unescape.push_back(t1 - t0);
    between.push_back(t2 - t1);
    base64.push_back(t3 - t2);
    total.push_back(t3 - t0);
  }
};

constexpr double kGoalRatio = 9;
constexpr double kGoalMiBPerSecond = 60;

bool RunOnce(const rt::Text& reply, const std::string& audio, StageTimes& times) {
  const double t0 = bench::NowMs();
  // As the speech request does it: the member is cut out of the decoded reply in place.
  rt::Text speech = web::DecodeUnicodeEscapes(reply);
  const double t1 = bench::NowMs();
  web::CutTextBetween(speech, "speech\": \"", "\"");
  const double t2 = bench::NowMs();
  const rt::ByteSet bytes = web::Base64Decode(speech);
  const double t3 = bench::NowMs();
  times.Add(t0, t1, t2, t3);
  return bytes.str() == audio;
}

bool RunFloorOnce(const rt::Text& reply, const std::string& audio, StageTimes& times,
                  std::vector<double>& engine) {
  const double t0 = bench::NowMs();
  floors::UnescapeTimes parts;
  std::string speech = floors::Unescape(reply.str(), parts);
  const double t1 = bench::NowMs();
  floors::CutBetween(speech, "speech\": \"", '"');
  const double t2 = bench::NowMs();
  const bool clean = !floors::NeedsCleanUp(speech);
  const std::string bytes = floors::Base64Decode(speech);
  const double t3 = bench::NowMs();
  times.Add(t0, t1, t2, t3);
  engine.push_back(parts.engine());
  return clean && bytes == audio;
}

struct Medians {
  double unescape, between, base64, total;
  explicit Medians(const StageTimes& t)
      : unescape(bench::Median(t.unescape)),
        between(bench::Median(t.between)),
        base64(bench::Median(t.base64)),
        total(bench::Median(t.total)) {}
};

}  // namespace

int main(int argc, char** argv) {
  // An optional argument scales the repetitions (2 doubles them), for quicker or steadier runs.
  const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
  const Size sizes[] = {{"64 KB", 64 << 10, 15}, {"1 MB", 1 << 20, 7}, {"8 MB", 8 << 20, 5}};

  bench::Table table({"audio", "reply bytes", "reps", "unescape ms", "between ms", "base64 ms",
                      "total ms", "unescape MB/s", "between MB/s", "base64 MB/s", "total MB/s"});
  bench::Table floorTable({"audio", "stage", "ours ms", "floor ms", "ours / floor"});
  double total1MiB = 0, total8MiB = 0, rate8MiB = 0, floorRate8MiB = 0, engine8MiB = 0,
         bytes8MiB = 0;
  bool allDecoded = true, floorsAgree = true;
  for (const Size& size : sizes) {
    const std::string audio = bench::PseudoRandomBytes(size.audioBytes, 12345);
    const rt::Text reply(bench::ServiceReply(audio));
    const int reps = std::max(1, static_cast<int>(size.repetitions * scale));
    StageTimes times, floorTimes;
    std::vector<double> engine;
    for (int r = 0; r < reps; ++r) {
      allDecoded = RunOnce(reply, audio, times) && allDecoded;
      floorsAgree = RunFloorOnce(reply, audio, floorTimes, engine) && floorsAgree;
    }
    const double bytes = reply.size();
    const Medians ours(times), floor(floorTimes);
    table.Add({size.name, std::to_string(reply.size()), std::to_string(reps),
               bench::Fixed(ours.unescape, 2), bench::Fixed(ours.between, 2),
               bench::Fixed(ours.base64, 2), bench::Fixed(ours.total, 2),
               bench::Fixed(bench::MiBPerSecond(bytes, ours.unescape), 1),
               bench::Fixed(bench::MiBPerSecond(bytes, ours.between), 1),
               bench::Fixed(bench::MiBPerSecond(bytes, ours.base64), 1),
               bench::Fixed(bench::MiBPerSecond(bytes, ours.total), 1)});
    const auto row = [&](const char* stage, double o, double f) {
      floorTable.Add({size.name, stage, bench::Fixed(o, 2), bench::Fixed(f, 2),
                      bench::Fixed(f > 0 ? o / f : 0, 2)});
    };
    row("unescape", ours.unescape, floor.unescape);
    row("between", ours.between, floor.between);
    row("base64", ours.base64, floor.base64);
    row("total", ours.total, floor.total);
    if (size.audioBytes == 1 << 20) total1MiB = ours.total;
    if (size.audioBytes == 8 << 20) {
      total8MiB = ours.total;
      rate8MiB = bench::MiBPerSecond(bytes, ours.total);
      floorRate8MiB = bench::MiBPerSecond(bytes, floor.total);
      engine8MiB = bench::Median(engine);
      bytes8MiB = bytes;
    }
  }
  const std::string build = bench::BuildNote();
  table.Print(("Reply decoding (DecodeUnicodeEscapes, TextBetween, Base64Decode; " + build +
               "; medians; MB = 2^20 bytes of reply text)")
                  .c_str());
  const double ratio = total1MiB > 0 ? total8MiB / total1MiB : 0;
  std::printf("ratio t(8 MB)/t(1 MB): %.2f   (goal <= %.0f: %s)\n", ratio, kGoalRatio,
              bench::Verdict(ratio <= kGoalRatio));
  std::printf("total at 8 MB: %.1f MB/s   (goal >= %.0f MB/s: %s)\n", rate8MiB, kGoalMiBPerSecond,
              bench::Verdict(rate8MiB >= kGoalMiBPerSecond));
  std::printf("decoded audio equals the original: %s\n", allDecoded ? "yes" : "NO");

  floorTable.Print(
      ("Reply decoding beside its floor (" + build + "; medians, ours and the floor in turns)")
          .c_str());
  std::printf(
      "floors: unescape = the script engine's own set-up, ExecuteStatement and Run (fixed by "
      "the routine's design) + one pass from GBK into the statement's UTF-16 + one pass back; "
      "between = one scan that steps over double-byte characters + the cut in place; base64 = "
      "a table pre-scan + four characters at a time from a table, one ProcessEvents per "
      "group\n");
  std::printf(
      "at 8 MB: ours %.1f MB/s, floor %.1f MB/s (ours / floor %.2f); the engine alone "
      "%.1f ms, so no decoder through it passes %.1f MB/s\n",
      rate8MiB, floorRate8MiB, floorRate8MiB > 0 ? rate8MiB / floorRate8MiB : 0, engine8MiB,
      bench::MiBPerSecond(bytes8MiB, engine8MiB));
  std::printf("the floor decodes the same audio: %s\n", floorsAgree ? "yes" : "NO");
  return allDecoded ? 0 : 1;
}

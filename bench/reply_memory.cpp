// Peak private memory while the 8 MB reply goes through the decoding pipeline of
// reply_decode, as a multiple of the reply's size, beside the floor: the same engine calls
// with the least held around them (floors.h), sampled alike.
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "floors.h"
#include "web/base64.h"
#include "web/text_between.h"
#include "web/unicode_escapes.h"

namespace {

constexpr std::size_t kAudioBytes = 8 << 20;
constexpr double kGoalMultiple = 10;
constexpr int kRepetitions = 5;

PROCESS_MEMORY_COUNTERS_EX Counters() {
  PROCESS_MEMORY_COUNTERS_EX c{};
  c.cb = sizeof c;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c),
                         sizeof c);
  return c;
}

// Private bytes now. Wine leaves PrivateUsage 0 and fills PagefileUsage with the same figure
// (and PeakPagefileUsage with the current one, not a peak).
SIZE_T PrivateBytes() {
  const PROCESS_MEMORY_COUNTERS_EX c = Counters();
  return c.PrivateUsage != 0 ? c.PrivateUsage : c.PagefileUsage;
}

// Samples the private bytes every millisecond while alive; the counter's own peak only rises over
// the process's life, so the sampled peak is what tells the repetitions apart.
class PeakSampler {
public:
  PeakSampler()
      : thread_([this] {
          while (!stop_) {
            const SIZE_T now = PrivateBytes();
            if (now > peak_) peak_ = now;
            ::Sleep(1);
          }
        }) {}
  ~PeakSampler() { Stop(); }
  SIZE_T Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return peak_;
  }

private:
  std::atomic<bool> stop_{false};
  std::atomic<SIZE_T> peak_{0};
  std::thread thread_;
};

bool Process(const rt::Text& reply, std::size_t audioSize) {
  rt::Text speech = web::DecodeUnicodeEscapes(reply);
  web::CutTextBetween(speech, "speech\": \"", "\"");
  return static_cast<std::size_t>(web::Base64Decode(speech).size()) == audioSize;
}

bool ProcessFloor(const rt::Text& reply, std::size_t audioSize) {
  floors::UnescapeTimes ignored;
  std::string speech = floors::Unescape(reply.str(), ignored);
  floors::CutBetween(speech, "speech\": \"", '"');
  return floors::Base64Decode(speech).size() == audioSize;
}

// The bytes that the pass adds at its sampled peak.
double AddedBytes(bool (*pass)(const rt::Text&, std::size_t), const rt::Text& reply,
                  bool& decoded) {
  const double before = static_cast<double>(PrivateBytes());
  PeakSampler sampler;
  decoded = pass(reply, kAudioBytes) && decoded;
  const double peak = static_cast<double>(sampler.Stop());
  return peak > before ? peak - before : 0;
}

double Mib(double bytes) { return bytes / bench::kMiB; }

}  // namespace

int main() {
  // The audio goes before the measurement starts: only the reply stays, as in the program.
  const rt::Text reply(bench::ServiceReply(bench::PseudoRandomBytes(kAudioBytes, 777)));
  const double replySize = reply.size();
  bool decoded = true;
  std::vector<double> sampledMultiples;
  double baselineFirst = 0, counterPeak = 0, workingSetAdded = 0;
  std::vector<double> floorMultiples;
  bool floorDecoded = true;
  bench::Table table({"rep", "private before MB", "sampled peak MB", "added MB", "added / reply",
                      "floor added / reply"});
  for (int r = 1; r <= kRepetitions; ++r) {
    const double before = static_cast<double>(PrivateBytes());
    const double workingSetBefore = static_cast<double>(Counters().WorkingSetSize);
    PeakSampler sampler;
    decoded = Process(reply, kAudioBytes) && decoded;
    const double peak = static_cast<double>(sampler.Stop());
    if (r == 1) {
      baselineFirst = before;
      counterPeak = static_cast<double>(Counters().PeakPagefileUsage);
      workingSetAdded = static_cast<double>(Counters().PeakWorkingSetSize) - workingSetBefore;
    }
    const double added = peak > before ? peak - before : 0;
    sampledMultiples.push_back(added / replySize);
    floorMultiples.push_back(AddedBytes(&ProcessFloor, reply, floorDecoded) / replySize);
    table.Add({std::to_string(r), bench::Fixed(Mib(before), 1), bench::Fixed(Mib(peak), 1),
               bench::Fixed(Mib(added), 1), bench::Fixed(added / replySize, 2),
               bench::Fixed(floorMultiples.back(), 2)});
  }
  const std::string title = "Memory: private bytes while the 8 MB reply is decoded (reply " +
                            std::to_string(reply.size()) + " bytes; " + bench::BuildNote() +
                            "; MB = 2^20 bytes; ours and the floor in turns)";
  table.Print(title.c_str());
  const double median = bench::Median(sampledMultiples);
  const double counterMultiple = (counterPeak - baselineFirst) / replySize;
  std::printf("median added / reply (sampled every 1 ms): %.2f   (goal <= %.0f: %s)\n", median,
              kGoalMultiple, bench::Verdict(median <= kGoalMultiple));
  const double floorMedian = bench::Median(floorMultiples);
  std::printf(
      "floor: %.2f x reply, what must be held at once: the statement in UTF-16 for the engine, "
      "the engine's own copies (its literal and unescape()'s result), the result in GBK; ours / "
      "floor %.2f\n",
      floorMedian, floorMedian > 0 ? median / floorMedian : 0);
  std::printf(
      "PeakPagefileUsage over the first pass: %.1f MB, %.2f x reply above the %.1f MB "
      "before it\n",
      Mib(counterPeak), counterMultiple, Mib(baselineFirst));
  std::printf(
      "PeakWorkingSetSize over the first pass: %.2f x reply above the working set "
      "before it (the one true peak counter under Wine)\n",
      workingSetAdded / replySize);
  std::printf("decoded audio complete: %s (the floor's: %s)\n", decoded ? "yes" : "NO",
              floorDecoded ? "yes" : "NO");
  return decoded ? 0 : 1;
}

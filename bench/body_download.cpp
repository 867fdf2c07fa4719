// Downloading a large body with HttpRequest from the loopback scripted server, beside the
// rate of curl on the same URL that tools/bench.sh measured and passes in.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "web/http_request.h"

namespace {

constexpr int kBodyBytes = 64 << 20;
constexpr double kGoalShareOfCurl = 0.5;

}  // namespace

// Arguments: HOST:PORT of the scripted server, curl's median MB/s (0 when not measured),
// repetitions.
int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: body_download HOST:PORT [CURL_MBPS] [REPETITIONS]\n");
    return 2;
  }
  const double curlRate = argc > 2 ? std::atof(argv[2]) : 0;
  const int reps = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const std::string url =
      std::string("http://") + argv[1] + "/reply?bodygen=" + std::to_string(kBodyBytes);

  std::vector<double> times;
  bool complete = true;
  for (int r = 0; r < reps; ++r) {
    const double t0 = bench::NowMs();
    const rt::Text body = web::HttpRequest(rt::Text(url));
    times.push_back(bench::NowMs() - t0);
    complete = complete && body.size() == kBodyBytes;
  }
  const double ms = bench::Median(times);
  const double rate = bench::MiBPerSecond(kBodyBytes, ms);

  bench::Table table({"client", "reps", "ms", "MB/s"});
  table.Add({"HttpRequest (WinHttp under Wine)", std::to_string(reps), bench::Fixed(ms, 1),
             bench::Fixed(rate, 1)});
  if (curlRate > 0) {
    table.Add({"curl (Linux)", "", bench::Fixed(kBodyBytes / bench::kMiB / curlRate * 1000, 1),
               bench::Fixed(curlRate, 1)});
  }
  table.Print(
      "Body download: 64 MB from /reply?bodygen=67108864 over loopback (medians; MB = "
      "2^20 bytes)");
  if (curlRate > 0) {
    const double share = rate / curlRate;
    std::printf("HttpRequest / curl: %.2f   (goal >= %.1f: %s)\n", share, kGoalShareOfCurl,
                share >= kGoalShareOfCurl ? "met" : "missed");
  }
  std::printf("every body complete (%d bytes): %s\n", kBodyBytes, complete ? "yes" : "NO");
  return complete ? 0 : 1;
}

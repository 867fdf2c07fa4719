// Downloading a large body with HttpRequest from the loopback scripted server, beside the
// floor: the least WinHttp program (download_floor) on the same URL, the two taken in turns.
// curl's rate, which tools/bench.sh measured and passes in, stays as a second reference: it
// does not go through Wine's WinHttp, so it is no floor for us.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "web/http_request.h"

namespace {

constexpr int kBodyBytes = 64 << 20;
constexpr double kGoalShareOfFloor = 0.8;

// Milliseconds to take n bytes of fresh memory and write them once: the one copy that
// HttpRequest makes beyond the floor, its reply text beside its bytes.
double FreshCopyMs(const std::string& from) {
  const double t0 = bench::NowMs();
  const std::string copy(from);
  const double ms = bench::NowMs() - t0;
  return copy.size() == from.size() ? ms : 0;
}

}  // namespace

// Arguments: HOST:PORT of the scripted server, curl's median MB/s (0 when not measured),
// repetitions.
int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: body_download HOST:PORT [CURL_MBPS] [REPETITIONS]\n");
    return 2;
  }
  const std::string hostPort = argv[1];
  const double curlRate = argc > 2 ? std::atof(argv[2]) : 0;
  const int reps = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const std::string path = "/reply?bodygen=" + std::to_string(kBodyBytes);
  const std::string url = "http://" + hostPort + path;
  const std::string host = hostPort.substr(0, hostPort.find(':'));
  const std::string port = hostPort.substr(hostPort.find(':') + 1);
  const std::wstring floorCommand = L"\"" + bench::ProgramDirectory() + L"download_floor.exe\" " +
                                    std::wstring(host.begin(), host.end()) + L" " +
                                    std::wstring(port.begin(), port.end()) + L" " +
                                    std::wstring(path.begin(), path.end());

  std::vector<double> ours, floor, ratios, copies;
  bool complete = true;
  for (int r = 0; r < reps; ++r) {
    double floorMs = 0;
    long long floorBytes = 0;
    if (std::sscanf(bench::RunAndCapture(floorCommand).c_str(), "%lf %lld", &floorMs,
                    &floorBytes) != 2) {
      std::fprintf(stderr, "body_download: download_floor.exe gave no figure\n");
      return 1;
    }
    const double t0 = bench::NowMs();
    const rt::Text body = web::HttpRequest(rt::Text(url));
    const double ms = bench::NowMs() - t0;
    complete = complete && body.size() == kBodyBytes && floorBytes == kBodyBytes;
    ours.push_back(ms);
    floor.push_back(floorMs);
    ratios.push_back(floorMs / ms);
    copies.push_back(FreshCopyMs(body.str()));
  }
  const auto rates = [](const std::vector<double>& ms) {
    std::vector<double> out;
    for (double m : ms) out.push_back(bench::MiBPerSecond(kBodyBytes, m));
    return out;
  };
  const double oursMs = bench::Median(ours), floorMs = bench::Median(floor);
  const double oursRate = bench::MiBPerSecond(kBodyBytes, oursMs);
  const double floorRate = bench::MiBPerSecond(kBodyBytes, floorMs);

  bench::Table table({"client", "ms", "MB/s", "MB/s min-max"});
  table.Add({"floor: least WinHttp program (query-then-read, buffer sized ahead)",
             bench::Fixed(floorMs, 1), bench::Fixed(floorRate, 1), bench::Spread(rates(floor), 1)});
  table.Add({"HttpRequest", bench::Fixed(oursMs, 1), bench::Fixed(oursRate, 1),
             bench::Spread(rates(ours), 1)});
  if (curlRate > 0) {
    table.Add({"curl (Linux, not through Wine; a second reference)",
               bench::Fixed(kBodyBytes / bench::kMiB / curlRate * 1000, 1),
               bench::Fixed(curlRate, 1), ""});
  }
  table.Print(("Body download: 64 MB from /reply?bodygen=67108864 over loopback (" +
               bench::BuildNote() + "; medians of " + std::to_string(reps) +
               ", the floor and HttpRequest in turns; MB = 2^20 bytes)")
                  .c_str());
  const double share = oursRate / floorRate;
  std::printf("HttpRequest / floor: %.2f, each pair %s   (goal >= %.1f: %s)\n", share,
              bench::Spread(ratios, 2).c_str(), kGoalShareOfFloor,
              bench::Verdict(share >= kGoalShareOfFloor));
  const double copyMs = bench::Median(copies);
  std::printf(
      "beyond the floor HttpRequest must make its reply text beside its bytes: one fresh 64 MB "
      "copy, %.1f ms (the floor with it: %.1f MB/s)\n",
      copyMs, bench::MiBPerSecond(kBodyBytes, floorMs + copyMs));
  std::printf("every body complete (%d bytes): %s\n", kBodyBytes, complete ? "yes" : "NO");
  return complete ? 0 : 1;
}

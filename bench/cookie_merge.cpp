// Merging long cookie strings: the time for 1,000 and 4,000 items shows how it grows.
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "web/cookies.h"

namespace {

// count stored items and count received ones; half of the received names are stored ones,
// and every tenth received item deletes its cookie.
void MakeCookies(int count, std::string& stored, std::string& received) {
  for (int i = 0; i < count; ++i) {
    stored += "name" + std::to_string(i) + "=stored" + std::to_string(i) + "; ";
    const int name = i + count / 2;
    received += "name" + std::to_string(name) +
                (i % 10 == 0 ? std::string("=deleted") : "=new" + std::to_string(i)) + "; ";
  }
}

}  // namespace

int main() {
  const int counts[] = {1000, 4000};
  const int reps = 9;
  bench::Table table({"items per side", "reps", "ms", "merged items"});
  double first = 0, last = 0;
  for (int count : counts) {
    std::string stored, received;
    MakeCookies(count, stored, received);
    std::vector<double> times;
    int mergedItems = 0;
    for (int r = 0; r < reps; ++r) {
      rt::Text oldCookies(stored), newCookies(received);
      const double t0 = bench::NowMs();
      const rt::Text merged = web::MergeCookies(oldCookies, newCookies);
      times.push_back(bench::NowMs() - t0);
      mergedItems = rt::SplitText(merged, "; ").Count();
    }
    const double ms = bench::Median(times);
    if (count == counts[0]) first = ms;
    last = ms;
    table.Add({std::to_string(count), std::to_string(reps), bench::Fixed(ms, 3),
               std::to_string(mergedItems)});
  }
  table.Print("Cookie merge: MergeCookies, stored and received items (medians)");
  std::printf("t(4000)/t(1000): %.2f   (linear growth: 4)\n", first > 0 ? last / first : 0);
  return 0;
}

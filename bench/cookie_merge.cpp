// Merging long cookie strings: the time for 1,000 and 4,000 items shows how it grows, beside
// the floor: the same merge written plainly over views of the two strings, with hash sets.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_set>
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

std::string WithoutBlanks(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != ' ') out += c;
  return out;
}

// The items between semicolons; a final semicolon ends the list without an empty item.
std::vector<std::string_view> Items(std::string_view s) {
  std::vector<std::string_view> items;
  for (std::size_t from = 0; from < s.size();) {
    const std::size_t to = std::min(s.find(';', from), s.size());
    items.push_back(s.substr(from, to - from));
    from = to + 1;
  }
  return items;
}

// The floor: received items first, then each stored one whose name is not taken yet; items
// that delete their cookie left out, repeated items written once.
std::string PlainMerge(const std::string& storedText, const std::string& receivedText) {
  const std::string stored = WithoutBlanks(storedText), received = WithoutBlanks(receivedText);
  std::vector<std::string_view> merged = Items(received);
  std::unordered_set<std::string_view> names;
  const auto name = [](std::string_view item) { return item.substr(0, item.find('=')); };
  for (std::string_view item : merged) names.insert(name(item));
  for (std::string_view item : Items(stored))
    if (names.insert(name(item)).second) merged.push_back(item);
  std::unordered_set<std::string_view> written;
  std::string out;
  constexpr std::string_view kDeleted = "=deleted";
  for (std::string_view item : merged) {
    const bool deletes =
        item.size() >= kDeleted.size() && item.substr(item.size() - kDeleted.size()) == kDeleted;
    if (deletes || !written.insert(item).second) continue;
    out.append(item.data(), item.size());
    out += "; ";
  }
  if (!out.empty()) out.resize(out.size() - 2);
  return out;
}

}  // namespace

int main() {
  const int counts[] = {1000, 4000};
  const int reps = 9;
  bench::Table table({"items per side", "reps", "ms", "floor ms", "ours / floor", "merged items"});
  double first = 0, last = 0;
  bool agree = true;
  for (int count : counts) {
    std::string stored, received;
    MakeCookies(count, stored, received);
    std::vector<double> times, floorTimes;
    int mergedItems = 0;
    for (int r = 0; r < reps; ++r) {
      rt::Text oldCookies(stored), newCookies(received);
      const double t0 = bench::NowMs();
      const rt::Text merged = web::MergeCookies(oldCookies, newCookies);
      const double t1 = bench::NowMs();
      const std::string plain = PlainMerge(stored, received);
      const double t2 = bench::NowMs();
      times.push_back(t1 - t0);
      floorTimes.push_back(t2 - t1);
      agree = agree && plain == merged.str();
      mergedItems = rt::SplitText(merged, "; ").Count();
    }
    const double ms = bench::Median(times), floorMs = bench::Median(floorTimes);
    if (count == counts[0]) first = ms;
    last = ms;
    table.Add({std::to_string(count), std::to_string(reps), bench::Fixed(ms, 3),
               bench::Fixed(floorMs, 3), bench::Fixed(floorMs > 0 ? ms / floorMs : 0, 2),
               std::to_string(mergedItems)});
  }
  table.Print(("Cookie merge: MergeCookies, stored and received items (" + bench::BuildNote() +
               "; medians, ours and the floor in turns)")
                  .c_str());
  std::printf("t(4000)/t(1000): %.2f   (linear growth: 4)\n", first > 0 ? last / first : 0);
  std::printf(
      "floor: the same merge written plainly, views into the two strings and hash sets of names "
      "and items; it gives the same text: %s\n",
      agree ? "yes" : "NO");
  return 0;
}

// Where the time of DecodeUnicodeEscapes goes on a large reply: each step of the script path
// timed on its own, the routine's own statement and result conversion among them, with the
// script engine's share (parsing the literal, unescape()) apart from the work around it, and
// each beside its floor (floors.h).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "floors.h"
#include "rt/com_object.h"
#include "rt/handle_owners.h"
#include "rt/text.h"
#include "web/unicode_escapes.h"

namespace {

struct Step {
  const char* name;
  std::vector<double> ms;
  std::vector<double> floor = {};  // empty: no floor of its own
};

// Milliseconds to take n bytes of fresh memory and write to them once: what every new copy
// of a large text costs before a byte of it is computed.
double FreshMemoryMs(std::size_t n) {
  const double t0 = bench::NowMs();
  std::string fresh(n, '\1');
  const double ms = bench::NowMs() - t0;
  return fresh[n / 2] == '\1' ? ms : 0;
}

// The routine's last step, its protective forms undone, made with the same calls.
rt::Text Restored(rt::Text r) {
  if (r.str().find("’") != std::string::npos) r = rt::ReplaceText(r, "’", "'", 1, -1, true);
  if (r.str().find("{$}") != std::string::npos) r = rt::ReplaceText(r, "{$}", "\r\n", 1, -1, true);
  return r;
}

}  // namespace

int main() {
  const std::string audio = bench::PseudoRandomBytes(8 << 20, 12345);
  const rt::Text reply(bench::ServiceReply(audio));
  const int reps = 3;
  bool floorAgrees = true;
  std::vector<Step> steps = {{"ComInit + create ScriptControl + Language", {}},
                             {"statement: protective rewrites into the engine's UTF-16", {}},
                             {"ExecuteStatement (the engine parses the literal)", {}},
                             {"Run \"xx\" (unescape() and its BSTR, in the engine)", {}},
                             {"release object + ComUninit", {}},
                             {"result BSTR -> GBK text, rewrites undone", {}},
                             {"whole DecodeUnicodeEscapes", {}},
                             {"fresh memory, one reply's size written once", {}}};
  for (int r = 0; r < reps; ++r) {
    double t = bench::NowMs();
    const auto lap = [&](std::size_t k) {
      const double now = bench::NowMs();
      steps[k].ms.push_back(now - t);
      t = now;
    };
    rt::ComInit();
    rt::ComObject script;
    rt::CreateComObject(script, "ScriptControl");
    rt::ComSetProperty(script, "Language", "JScript");
    lap(0);
    rt::ComVariant statement = web::ScriptStatement(reply);
    lap(1);
    rt::ComCallNumberMethod(script, "ExecuteStatement", {std::move(statement)});
    lap(2);
    rt::ComVariant none;
    rt::VariantSetEmptyArray(none);
    rt::ComVariant result = rt::ComCallVariantMethod(script, "Run", {"xx", none});
    lap(3);
    script.reset();
    rt::ComUninit();
    lap(4);
    const rt::Text narrow = Restored(rt::VariantToText(result));
    result.put();
    lap(5);
    const rt::Text whole = web::DecodeUnicodeEscapes(reply);
    lap(6);
    steps[7].ms.push_back(FreshMemoryMs(reply.str().size()));
    if (narrow.size() < reply.size() / 2 || whole != narrow)
      std::printf("(rep %d: the script path gave %d and %d bytes)\n", r, narrow.size(),
                  whole.size());
    floors::UnescapeTimes parts;
    const std::string floorText = floors::Unescape(reply.str(), parts);
    floorAgrees = floorAgrees && floorText == whole.str();
    const double floorParts[] = {parts.setUp, parts.statement, parts.execute,
                                 parts.run,   parts.release,   parts.result};
    double floorTotal = 0;
    for (int k = 0; k < 6; ++k) {
      steps[static_cast<std::size_t>(k)].floor.push_back(floorParts[k]);
      floorTotal += floorParts[k];
    }
    steps[6].floor.push_back(floorTotal);
  }
  bench::Table table({"step", "ms", "MB/s of reply", "floor ms", "ours / floor", "floor is"});
  const char* floorIs[] = {"the same calls",
                           "one pass from GBK, rewrites on the way",
                           "the same call: the engine's own",
                           "the same call: the engine's own",
                           "the same calls",
                           "one pass back, rewrites undone on the way",
                           "their sum",
                           ""};
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const Step& step = steps[k];
    const double ms = bench::Median(step.ms);
    const double floor = step.floor.empty() ? 0 : bench::Median(step.floor);
    table.Add({step.name, bench::Fixed(ms, 1),
               bench::Fixed(bench::MiBPerSecond(reply.size(), ms), 1),
               step.floor.empty() ? "" : bench::Fixed(floor, 1),
               floor > 0 ? bench::Fixed(ms / floor, 2) : "", floorIs[k]});
  }
  const std::string title = "DecodeUnicodeEscapes by step, 8 MB audio (reply " +
                            std::to_string(reply.size()) + " bytes; " + bench::BuildNote() +
                            "; medians of " + std::to_string(reps) +
                            ", ours and the floor in turns)";
  table.Print(title.c_str());
  const double engine = bench::Median(steps[2].ms) + bench::Median(steps[3].ms);
  std::printf("the engine's share (ExecuteStatement + Run): %.1f ms, %.1f MB/s of reply\n", engine,
              bench::MiBPerSecond(reply.size(), engine));
  const double ours = bench::Median(steps[1].ms) + bench::Median(steps[5].ms);
  const double floorOurs = bench::Median(steps[1].floor) + bench::Median(steps[5].floor);
  std::printf(
      "ours around the engine (statement + result): %.1f ms, floor %.1f ms, ours / floor %.2f\n",
      ours, floorOurs, floorOurs > 0 ? ours / floorOurs : 0);
  const double whole = bench::Median(steps[6].ms), floorWhole = bench::Median(steps[6].floor);
  std::printf("whole: ours %.1f ms, floor %.1f ms, ours / floor %.2f\n", whole, floorWhole,
              floorWhole > 0 ? whole / floorWhole : 0);
  std::printf("the floor gives the same text: %s\n", floorAgrees ? "yes" : "NO");
  return 0;
}

// Where the time of DecodeUnicodeEscapes goes on a large reply: each step of the script path
// timed on its own, with the script engine's share (parsing the literal, unescape()) apart
// from the conversions and copies around it, and each beside its floor (floors.h).
#include <windows.h>
// After windows.h, whose types it uses.
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "floors.h"
#include "rt/com_object.h"
#include "rt/wide.h"
#include "web/regex_matcher.h"
#include "web/unicode_escapes.h"

namespace {

struct Step {
  const char* name;
  std::vector<double> ms;
  std::vector<double> floor = {};  // empty: folded into the next step in the floor
};

using floors::BstrArg;
using floors::Call;

// Milliseconds to take n bytes of fresh memory and write to them once: what every new copy
// of a large text costs before a byte of it is computed.
double FreshMemoryMs(std::size_t n) {
  const double t0 = bench::NowMs();
  std::string fresh(n, '\1');
  const double ms = bench::NowMs() - t0;
  return fresh[n / 2] == '\1' ? ms : 0;
}

}  // namespace

int main() {
  const std::string audio = bench::PseudoRandomBytes(8 << 20, 12345);
  const rt::Text reply(bench::ServiceReply(audio));
  const int reps = 3;
  bool floorAgrees = true;
  std::vector<Step> steps = {{"ComInit + create ScriptControl + Language", {}},
                             {"statement made (protective rewrites, GBK)", {}},
                             {"statement as BSTR (GBK -> UTF-16)", {}},
                             {"ExecuteStatement (the engine parses the literal)", {}},
                             {"Run \"xx\" (unescape() and its BSTR, in the engine)", {}},
                             {"release object + ComUninit", {}},
                             {"result BSTR -> GBK text", {}},
                             {"whole DecodeUnicodeEscapes", {}},
                             {"fresh memory, one reply's size written once", {}}};
  for (int r = 0; r < reps; ++r) {
    double t = bench::NowMs();
    const auto lap = [&](std::size_t k) {
      const double now = bench::NowMs();
      steps[k].ms.push_back(now - t);
      t = now;
    };
    web::ComInit();
    rt::ComObject script;
    rt::CreateComObject(script, "ScriptControl");
    rt::ComSetProperty(script, "Language", "JScript");
    lap(0);
    // The same bytes as the routine's statement: the reply has no CR, LF or apostrophe.
    std::string statement = "function xx(){var x='";
    statement.reserve(statement.size() + reply.str().size() + 32);
    statement += rt::ReplaceText(reply, "\\u", "%u", 1, -1, true).str();
    statement += "';return unescape(x);}";
    lap(1);
    const int units = ::MultiByteToWideChar(936, 0, statement.data(),
                                            static_cast<int>(statement.size()), nullptr, 0);
    BSTR source = ::SysAllocStringLen(nullptr, static_cast<UINT>(units));
    ::MultiByteToWideChar(936, 0, statement.data(), static_cast<int>(statement.size()), source,
                          units);
    std::string().swap(statement);
    lap(2);
    VARIANT ignored;
    ::VariantInit(&ignored);
    Call(script.get(), L"ExecuteStatement", {BstrArg(source)}, &ignored);
    ::VariantClear(&ignored);
    ::SysFreeString(source);
    lap(3);
    SAFEARRAY* none = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
    VARIANT noneArg;
    ::VariantInit(&noneArg);
    noneArg.vt = VT_ARRAY | VT_VARIANT;
    noneArg.parray = none;
    BSTR name = ::SysAllocString(L"xx");
    VARIANT result;
    ::VariantInit(&result);
    Call(script.get(), L"Run", {BstrArg(name), noneArg}, &result);
    ::SysFreeString(name);
    ::SafeArrayDestroy(none);
    lap(4);
    script.reset();
    web::ComUninit();
    lap(5);
    const rt::Text narrow = result.vt == VT_BSTR
                                ? rt::NarrowToGbk(result.bstrVal, ::SysStringLen(result.bstrVal))
                                : rt::Text();
    ::VariantClear(&result);
    lap(6);
    const rt::Text whole = web::DecodeUnicodeEscapes(reply);
    lap(7);
    steps[8].ms.push_back(FreshMemoryMs(reply.str().size()));
    if (narrow.size() < reply.size() / 2 || whole.size() != narrow.size())
      std::printf("(rep %d: the script path gave %d and %d bytes)\n", r, narrow.size(),
                  whole.size());
    floors::UnescapeTimes parts;
    const std::string floorText = floors::Unescape(reply.str(), parts);
    floorAgrees = floorAgrees && floorText == whole.str();
    const double floorParts[] = {parts.setUp, parts.statement, parts.execute,
                                 parts.run,   parts.release,   parts.result};
    const int floorStep[] = {0, 2, 3, 4, 5, 6};
    double floorTotal = 0;
    for (int k = 0; k < 6; ++k) {
      steps[floorStep[k]].floor.push_back(floorParts[k]);
      floorTotal += floorParts[k];
    }
    steps[7].floor.push_back(floorTotal);
  }
  bench::Table table({"step", "ms", "MB/s of reply", "floor ms", "floor is"});
  const char* floorIs[] = {"the same calls",
                           "",
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
    table.Add({step.name, bench::Fixed(ms, 1),
               bench::Fixed(bench::MiBPerSecond(reply.size(), ms), 1),
               step.floor.empty() ? (k == 1 ? "in the next" : "")
                                  : bench::Fixed(bench::Median(step.floor), 1),
               floorIs[k]});
  }
  const std::string title = "DecodeUnicodeEscapes by step, 8 MB audio (reply " +
                            std::to_string(reply.size()) + " bytes; " + bench::BuildNote() +
                            "; medians of " + std::to_string(reps) +
                            ", ours and the floor in turns)";
  table.Print(title.c_str());
  const double engine = bench::Median(steps[3].ms) + bench::Median(steps[4].ms);
  std::printf("the engine's share (ExecuteStatement + Run): %.1f ms, %.1f MB/s of reply\n", engine,
              bench::MiBPerSecond(reply.size(), engine));
  const double whole = bench::Median(steps[7].ms), floorWhole = bench::Median(steps[7].floor);
  std::printf("whole: ours %.1f ms, floor %.1f ms, ours / floor %.2f\n", whole, floorWhole,
              floorWhole > 0 ? whole / floorWhole : 0);
  std::printf("the floor gives the same text: %s\n", floorAgrees ? "yes" : "NO");
  return 0;
}

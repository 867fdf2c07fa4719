// Where the time of DecodeUnicodeEscapes goes on a large reply: each step of the script path
// timed on its own, with the script engine's share (parsing the literal, unescape()) apart
// from the conversions and copies around it.
#include <windows.h>
// After windows.h, whose types it uses.
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "rt/com_object.h"
#include "rt/wide.h"
#include "web/regex_matcher.h"
#include "web/unicode_escapes.h"

namespace {

struct Step {
  const char* name;
  std::vector<double> ms;
};

// Calls a member with DISPATCH_METHOD and the given arguments (in call order).
HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO exception{};
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                      &exception, nullptr);
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  return hr;
}

VARIANT BstrArg(BSTR b) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = b;
  return v;
}

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
  }
  bench::Table table({"step", "ms", "MB/s of reply"});
  for (const Step& step : steps) {
    const double ms = bench::Median(step.ms);
    table.Add(
        {step.name, bench::Fixed(ms, 1), bench::Fixed(bench::MiBPerSecond(reply.size(), ms), 1)});
  }
  const std::string title = "DecodeUnicodeEscapes by step, 8 MB audio (reply " +
                            std::to_string(reply.size()) + " bytes; medians of " +
                            std::to_string(reps) + ")";
  table.Print(title.c_str());
  const double engine = bench::Median(steps[3].ms) + bench::Median(steps[4].ms);
  std::printf("the engine's share (ExecuteStatement + Run): %.1f ms, %.1f MB/s of reply\n", engine,
              bench::MiBPerSecond(reply.size(), engine));
  return 0;
}

// What loading each library that ttsclient imports costs a process that has none of them yet:
// the share of the imports in the client's process start.
//   dll_load_times   prints "LIBRARY<TAB>MS" lines, in the order the libraries are loaded
#include <windows.h>

#include <cstdio>

#include "bench_common.h"

int main() {
  // Those the floor needs too first, then those only the client brings in.
  const wchar_t* const libraries[] = {L"user32.dll",   L"gdi32.dll",    L"ole32.dll",
                                      L"comctl32.dll", L"oleaut32.dll", L"shell32.dll",
                                      L"winhttp.dll",  L"winmm.dll"};
  for (const wchar_t* library : libraries) {
    const double start = bench::NowMs();
    const HMODULE module = ::LoadLibraryW(library);
    const double ms = bench::NowMs() - start;
    std::printf("%ls\t%.3f\n", library, module ? ms : -1.0);
  }
  return 0;
}

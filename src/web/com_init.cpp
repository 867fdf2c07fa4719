#include "rt/dll_commands.h"
#include "web/regex_matcher.h"

namespace web {

// Results are not examined: a thread already initialised still pairs each call.
void ComInit() { rt::dll::CoInitialize(nullptr); }
void ComUninit() { rt::dll::CoUninitialize(); }

}  // namespace web

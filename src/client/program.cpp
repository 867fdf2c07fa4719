#include "client/program.h"

#include "client/credentials.h"
#include "rt/exit_routines.h"
#include "rt/startup.h"

namespace client {

int RunClientProgram(rt::WindowTemplate (*makeWindow)(), int showCommand) {
  rt::StartRuntime();
  const rt::WindowTemplate window = makeWindow();
  rt::RegisterExitRoutine(&FreeGlobalTexts);
  const int code = rt::RunMainWindow(window, showCommand);
  return rt::EndRuntime(code);
}

}  // namespace client

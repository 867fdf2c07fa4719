// ttsclient-builtin: fixed id and key, no boxes for them.
#include <windows.h>

#include "client/handlers.h"
#include "client/program.h"
#include "client/window_templates.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  return client::RunClientProgram(
      [] {
        return client::BuiltinClientWindow({&client::OnBuiltinMainWindowCreated,
                                            &client::OnApplyIdLinkClicked,
                                            &client::OnSynthesizeClicked});
      },
      showCommand);
}

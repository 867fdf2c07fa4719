// ttsclient: the window with the id and key boxes.
#include <windows.h>

#include "client/handlers.h"
#include "client/program.h"
#include "client/window_templates.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  return client::RunClientProgram(
      [] {
        return client::TtsClientWindow({&client::OnMainWindowCreated, &client::OnApplyIdLinkClicked,
                                        &client::OnSynthesizeClicked});
      },
      showCommand);
}

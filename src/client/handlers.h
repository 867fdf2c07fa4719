// The handlers that the window templates bind to the window's events.
#pragma once

namespace client {

// Event 0 of the main window in ttsclient: nothing to do.
void OnMainWindowCreated();
// Event 0 of the main window in ttsclient-builtin: stores the program's fixed id and key.
void OnBuiltinMainWindowCreated();
// Click of 超级按钮1: opens the product page in the default browser.
void OnApplyIdLinkClicked();
// Click of 按钮1: synthesizes the content of 编辑框1.
void OnSynthesizeClicked();

}  // namespace client

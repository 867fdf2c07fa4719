#include "client/handlers.h"

#include "client/credentials.h"
#include "rt/shell.h"

#ifndef LUMIVOX_PRODUCT_PAGE
#error "LUMIVOX_PRODUCT_PAGE is a build setting (CMake cache variable)"
#endif

namespace client {

void OnMainWindowCreated() {}

void OnBuiltinMainWindowCreated() {
  CurrentAppId = "2600417735";
  CurrentAppKey = "Hx4PnQ8sWe2LkT6u";
}

void OnApplyIdLinkClicked() {
  rt::OpenWebPage(LUMIVOX_PRODUCT_PAGE);
}

}  // namespace client

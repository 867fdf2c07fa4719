#include "client/handlers.h"

#include "client/credentials.h"
#include "client/synthesis.h"
#include "client/window_templates.h"
#include "rt/form_engine.h"
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

void OnApplyIdLinkClicked() { rt::OpenWebPage(LUMIVOX_PRODUCT_PAGE); }

void OnSynthesizeClicked() {
  const rt::Text text = rt::RtReadProperty(kMainWindowId, kTextEditUnit, rt::kPropertyContent).text;
  // The audio is already written and playing; the handler has no use for the bytes.
  SynthesizeSpeech(text);
}

}  // namespace client

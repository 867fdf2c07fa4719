// Kept apart from the other handlers so that they link without the request.
#include "client/handlers.h"
#include "client/synthesize_speech.h"
#include "client/window_templates.h"
#include "rt/form_engine.h"

namespace client {

void OnSynthesizeClicked() {
  const rt::Text text = rt::RtReadProperty(kMainWindowId, kTextEditUnit, rt::kPropertyContent).text;
  // The audio is already written and playing; the handler has no use for the bytes.
  SynthesizeSpeech(text);
}

}  // namespace client

// Compiled once per program copy, with the service's base URL given by the build.
#include "client/speech_request.h"

#ifndef LUMIVOX_SERVICE_URL
#error "LUMIVOX_SERVICE_URL names the speech service's base URL"
#endif

namespace client {

rt::Text SpeechServiceUrl() {
  return rt::Text(LUMIVOX_SERVICE_URL "/fcgi-bin/aai/aai_tts");
}

}  // namespace client

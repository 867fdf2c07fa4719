// The one piece of the synthesis that differs between program copies, apart so that the rest
// is compiled once: each copy links an endpoint object compiled from this file with the
// service's base URL that the build gives it (the tests build copies aimed at local services).
#include "client/synthesis.h"

#ifndef LUMIVOX_SERVICE_URL
#error "LUMIVOX_SERVICE_URL names the speech service's base URL"
#endif

namespace client {

rt::Text SpeechServiceUrl() { return rt::Text(LUMIVOX_SERVICE_URL "/fcgi-bin/aai/aai_tts"); }

}  // namespace client

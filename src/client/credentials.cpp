#include "client/credentials.h"

namespace client {

rt::Text CurrentAppId;
rt::Text CurrentAppKey;

void FreeGlobalTexts() {
  CurrentAppId = rt::Text();
  CurrentAppKey = rt::Text();
}

}  // namespace client

// The application id and key that sign every request, held for the life of the program.
#pragma once

#include "rt/text.h"

namespace client {

extern rt::Text CurrentAppId;
extern rt::Text CurrentAppKey;

// The exit routine: releases both credentials.
void FreeGlobalTexts();

}  // namespace client

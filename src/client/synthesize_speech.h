// The speech-synthesis request: the window's settings and a text become signed audio.
#pragma once

#include "rt/text.h"

rt::ByteSet SynthesizeSpeech(const rt::Text& speakText);

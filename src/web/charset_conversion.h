// Converting a reply body from the character set that its page names into GBK.
#pragma once

#include <optional>

#include "rt/text.h"

namespace web {

// The Windows code page of a character-set name (any letter case), when one is known.
std::optional<int> CodePageOfCharset(const rt::Text& charsetName);

// The body decoded from charsetName as GBK text, up to its first zero character. Tries the
// "Adodb.Stream" object first, then the platform's converter for the named code page; when
// neither yields the text, the result is undecodedText. COM must be initialised.
rt::Text ConvertCharset(const rt::ByteSet& body, const rt::Text& charsetName,
                        const rt::Text& undecodedText);

}  // namespace web

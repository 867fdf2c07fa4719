// Hex digests computed by the platform's cryptographic service provider.
#pragma once

#include "rt/text.h"

namespace web {

// Upper-case hex of the digest of data; the empty text when the provider fails.
rt::Text CryptHashHex(const rt::ByteSet& data, unsigned algorithmId, int hashLength);

// MD5 as 32 hex digits (lower case unless upperCase), or the middle 16 with short16.
rt::Text Md5Hex(const rt::ByteSet& data, bool upperCase = false, bool short16 = false);

}  // namespace web

#include "web/digest.h"

#include "rt/dll_commands.h"
#include "rt/handle_owners.h"

namespace web {
namespace {

using rt::dll::CryptAcquireContextA;
using rt::dll::CryptCreateHash;
using rt::dll::CryptGetHashParam;
using rt::dll::CryptHashData;

}  // namespace

rt::Text CryptHashHex(const rt::ByteSet& data, unsigned algorithmId, int hashLength) {
  // Declared before the hash, so the hash is destroyed first on every way out.
  rt::UniqueCryptProvider provider;
  char noName[] = "";
  if (!CryptAcquireContextA(provider.put(), noName, noName, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
      !CryptAcquireContextA(provider.put(), noName, noName, PROV_RSA_FULL, 0))
    return rt::Text();

  rt::UniqueCryptHash hash;
  if (!CryptCreateHash(provider.get(), algorithmId, 0, 0, hash.put())) return rt::Text();

  const rt::ByteSet copy = data;
  const int length = rt::BytesLength(copy);
  if (!CryptHashData(hash.get(), length > 0 ? copy.data() : nullptr, static_cast<DWORD>(length), 0))
    return rt::Text();

  rt::ByteSet digest = rt::BlankBytes(hashLength);
  DWORD digestLength = static_cast<DWORD>(hashLength);
  if (!CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &digestLength, 0))
    return rt::Text();

  const rt::ByteSet digits = rt::ToBytes(rt::Text("0123456789ABCDEF"));
  rt::ByteSet hex = rt::BlankBytes(hashLength * 2);
  for (DWORD i = 0; i < digestLength && i < static_cast<DWORD>(hashLength); ++i) {
    const int b = digest[static_cast<int>(i)];
    hex.data()[2 * i] = digits[rt::ShiftRight(b, 4)];
    hex.data()[2 * i + 1] = digits[rt::BitAnd(b, 15)];
  }
  return rt::ToText(hex);
}

rt::Text Md5Hex(const rt::ByteSet& data, bool upperCase, bool short16) {
  rt::Text h = CryptHashHex(data, CALG_MD5, 16);
  if (!upperCase) h = rt::ToLowerCase(h);
  return short16 ? rt::MiddleText(h, 9, 16) : h;
}

}  // namespace web

#!/usr/bin/env bash
# Makes the certificates of the TLS tests in OUTDIR:
#   ca.pem, ca.der, ca.key           test CA (the tests trust it)
#   server.pem, server.key           for 127.0.0.1 and localhost, signed by the CA
#   untrusted.pem, untrusted.key     self-signed, same names: fails only for want of trust
# Files that exist, are valid for another day and still fit together are kept.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
mkdir -p "$out"
umask 077

valid() { # FILE: a certificate that is readable and valid for at least one more day
  [ -s "$1" ] && openssl x509 -in "$1" -noout -checkend 86400 >/dev/null 2>&1
}

# Each file set is made in a scratch directory and moved in at the end, so an interrupted or
# concurrent run never leaves a key that does not belong to its certificate.
scratch=$(mktemp -d "$out/.make.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

leaf_ext() {
  cat <<'EOF'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
subjectKeyIdentifier = hash
EOF
}

if ! valid "$out/ca.pem" || [ ! -s "$out/ca.key" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -keyout "$scratch/ca.key" -out "$scratch/ca.pem" \
    -subj "/O=Lumivox Tests/CN=Lumivox Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -addext "subjectKeyIdentifier=hash" 2>/dev/null
  mv "$scratch/ca.key" "$out/ca.key"
  mv "$scratch/ca.pem" "$out/ca.pem"
  rm -f "$out/ca.der" "$out/server.pem" "$out/server.key"
fi
if [ ! -s "$out/ca.der" ]; then
  openssl x509 -in "$out/ca.pem" -outform DER -out "$scratch/ca.der"
  mv "$scratch/ca.der" "$out/ca.der"
fi

if ! valid "$out/server.pem" || [ ! -s "$out/server.key" ] ||
  ! openssl verify -CAfile "$out/ca.pem" "$out/server.pem" >/dev/null 2>&1; then
  openssl req -new -newkey rsa:2048 -nodes -sha256 \
    -keyout "$scratch/server.key" -out "$scratch/server.csr" \
    -subj "/O=Lumivox Tests/CN=127.0.0.1" 2>/dev/null
  leaf_ext >"$scratch/server.ext"
  echo "authorityKeyIdentifier = keyid, issuer" >>"$scratch/server.ext"
  openssl x509 -req -sha256 -days 825 -in "$scratch/server.csr" \
    -CA "$out/ca.pem" -CAkey "$out/ca.key" -set_serial "0x$(openssl rand -hex 16)" \
    -extfile "$scratch/server.ext" -out "$scratch/server.pem" 2>/dev/null
  mv "$scratch/server.key" "$out/server.key"
  mv "$scratch/server.pem" "$out/server.pem"
fi

if ! valid "$out/untrusted.pem" || [ ! -s "$out/untrusted.key" ]; then
  leaf_ext >"$scratch/untrusted.ext"
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 825 \
    -keyout "$scratch/untrusted.key" -out "$scratch/untrusted.pem" \
    -subj "/O=Lumivox Tests Untrusted/CN=127.0.0.1" \
    -config /dev/null -extensions v3 \
    -addext "basicConstraints=critical,CA:FALSE" \
    -addext "keyUsage=critical,digitalSignature,keyEncipherment" \
    -addext "extendedKeyUsage=serverAuth" \
    -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" 2>/dev/null ||
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 825 \
      -keyout "$scratch/untrusted.key" -out "$scratch/untrusted.pem" \
      -subj "/O=Lumivox Tests Untrusted/CN=127.0.0.1" \
      -addext "basicConstraints=critical,CA:FALSE" \
      -addext "keyUsage=critical,digitalSignature,keyEncipherment" \
      -addext "extendedKeyUsage=serverAuth" \
      -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" 2>/dev/null
  mv "$scratch/untrusted.key" "$out/untrusted.key"
  mv "$scratch/untrusted.pem" "$out/untrusted.pem"
fi
# The certificates are public; only the keys stay private.
chmod 644 "$out/ca.pem" "$out/ca.der" "$out/server.pem" "$out/untrusted.pem"

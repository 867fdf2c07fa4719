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

# Own configuration, so the system's openssl.cnf adds no extensions of its own.
config() { # SECTION-BODY: a request configuration whose certificate extensions are SECTION-BODY
  printf '[req]\ndistinguished_name = dn\nprompt = no\nx509_extensions = ext\n[dn]\n[ext]\n%s\n' "$1"
}
leaf_ext='basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
subjectKeyIdentifier = hash'

if ! valid "$out/ca.pem" || [ ! -s "$out/ca.key" ]; then
  config 'basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash' >"$scratch/ca.cnf"
  openssl req -x509 -config "$scratch/ca.cnf" -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -subj "/O=Lumivox Tests/CN=Lumivox Test CA" \
    -keyout "$scratch/ca.key" -out "$scratch/ca.pem" 2>/dev/null
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
  config "" >"$scratch/req.cnf"
  openssl req -new -config "$scratch/req.cnf" -newkey rsa:2048 -nodes -sha256 \
    -subj "/O=Lumivox Tests/CN=127.0.0.1" \
    -keyout "$scratch/server.key" -out "$scratch/server.csr" 2>/dev/null
  printf '%s\nauthorityKeyIdentifier = keyid, issuer\n' "$leaf_ext" >"$scratch/server.ext"
  openssl x509 -req -sha256 -days 825 -in "$scratch/server.csr" \
    -CA "$out/ca.pem" -CAkey "$out/ca.key" -set_serial "0x$(openssl rand -hex 16)" \
    -extfile "$scratch/server.ext" -out "$scratch/server.pem" 2>/dev/null
  mv "$scratch/server.key" "$out/server.key"
  mv "$scratch/server.pem" "$out/server.pem"
fi

if ! valid "$out/untrusted.pem" || [ ! -s "$out/untrusted.key" ]; then
  config "$leaf_ext" >"$scratch/untrusted.cnf"
  openssl req -x509 -config "$scratch/untrusted.cnf" -newkey rsa:2048 -nodes -sha256 -days 825 \
    -subj "/O=Lumivox Tests Untrusted/CN=127.0.0.1" \
    -keyout "$scratch/untrusted.key" -out "$scratch/untrusted.pem" 2>/dev/null
  mv "$scratch/untrusted.key" "$out/untrusted.key"
  mv "$scratch/untrusted.pem" "$out/untrusted.pem"
fi
# The certificates are public; only the keys stay private.
chmod 644 "$out/ca.pem" "$out/ca.der" "$out/server.pem" "$out/untrusted.pem"

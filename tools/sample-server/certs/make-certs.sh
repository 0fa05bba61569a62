#!/usr/bin/env bash
# Makes the loopback test certificates: a test CA, a server certificate for 127.0.0.1 and
# localhost signed by it, and a self-signed certificate that no test trusts.
set -euo pipefail
cd "$(dirname "$0")"

days=36500
san="subjectAltName=IP:127.0.0.1,DNS:localhost"
tmp=$(mktemp -d)
log="$tmp/openssl.log"
trap 'status=$?; [ $status -eq 0 ] || cat "$log" >&2; rm -rf "$tmp"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days "$days" -sha256 \
  -keyout "$tmp/ca.key" -out ca.pem -subj "/O=Kestrova Test/CN=Kestrova Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>>"$log"

openssl req -newkey rsa:2048 -nodes -sha256 -keyout server.key -out "$tmp/server.csr" \
  -subj "/O=Kestrova Test/CN=127.0.0.1" 2>>"$log"
printf '%s\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' \
  "$san" >"$tmp/server.ext"
openssl x509 -req -in "$tmp/server.csr" -CA ca.pem -CAkey "$tmp/ca.key" -CAcreateserial \
  -CAserial "$tmp/ca.srl" -days "$days" -sha256 -extfile "$tmp/server.ext" -out server.pem 2>>"$log"

openssl req -x509 -newkey rsa:2048 -nodes -days "$days" -sha256 \
  -keyout untrusted.key -out untrusted.pem -subj "/O=Kestrova Untrusted/CN=127.0.0.1" \
  -addext "$san" 2>>"$log"

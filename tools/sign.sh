#!/usr/bin/env bash
# Authenticode-signs Windows binaries and Windows Installer packages (.msi)
# in place with osslsigncode (SHA-256), or says plainly that they stay
# unsigned when no certificate is given.
#   sign.sh FILE...
# The signing identity comes from the environment (`make dist` passes its
# variables of the same names on):
#   SIGN_CERT + SIGN_KEY    certificate (chain) and private key, PEM or DER
#   SIGN_PKCS12             or one PKCS#12 file holding both
#   SIGN_PASSWORD           password of the key or of the PKCS#12 file, if any
#   SIGN_TIMESTAMP_URL      RFC 3161 time-stamping server, if any (contacted
#                           only when given)
set -euo pipefail

cert=${SIGN_CERT:-} key=${SIGN_KEY:-} pkcs12=${SIGN_PKCS12:-}
if [ -z "$cert$key$pkcs12" ]; then
  echo "sign: NOT SIGNED: $*"
  echo "sign: no certificate given (SIGN_CERT and SIGN_KEY, or SIGN_PKCS12): no Authenticode signature"
  exit 0
fi
if [ -n "$pkcs12" ] && [ -n "$cert$key" ]; then
  echo "sign: give either SIGN_PKCS12 or SIGN_CERT with SIGN_KEY, not both" >&2; exit 2
fi
if [ -z "$pkcs12" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
  echo "sign: SIGN_CERT and SIGN_KEY go together" >&2; exit 2
fi
for f in "$pkcs12" "$cert" "$key"; do
  [ -z "$f" ] || [ -r "$f" ] || { echo "sign: cannot read $f" >&2; exit 2; }
done
command -v osslsigncode >/dev/null || { echo "sign: osslsigncode is missing (tools/install-deps.sh)" >&2; exit 2; }

identity=(-certs "$cert" -key "$key")
[ -z "$pkcs12" ] || identity=(-pkcs12 "$pkcs12")
timestamp=()
[ -z "${SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$SIGN_TIMESTAMP_URL")

for file in "$@"; do
  signed="$file.signing"
  rm -f "$signed"
  # The password reaches osslsigncode through a pipe, never its command line.
  if [ -n "${SIGN_PASSWORD:-}" ]; then
    osslsigncode sign "${identity[@]}" -readpass <(printf '%s' "$SIGN_PASSWORD") -h sha256 \
      "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null
  else
    osslsigncode sign "${identity[@]}" -h sha256 "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null
  fi || { rm -f "$signed"; echo "sign: signing $file failed" >&2; exit 1; }
  chmod --reference="$file" "$signed" && mv -f "$signed" "$file"
  echo "sign: signed $file (Authenticode, SHA-256${timestamp:+, time-stamped})"
done

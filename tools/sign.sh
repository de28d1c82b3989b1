#!/usr/bin/env bash
# Authenticode-signs Windows binaries, Windows Installer packages (.msi) and
# MSIX packages in place with osslsigncode (SHA-256), or says plainly that
# they stay unsigned when no certificate is given.
#   sign.sh FILE...
#   sign.sh --signer-certificate OUT   writes the certificate that signs (the
#       one whose key is given) to OUT as PEM, for the package's publisher;
#       without a certificate OUT is not written and the exit code is 3
# The signing identity comes from the environment (`make dist` passes its
# variables of the same names on):
#   SIGN_CERT + SIGN_KEY    certificate (chain) and private key, PEM or DER
#   SIGN_PKCS12             or one PKCS#12 file holding both
#   SIGN_PASSWORD           password of the key or of the PKCS#12 file, if any
#   SIGN_CERT + SIGN_PKCS11_MODULE + SIGN_PKCS11_KEY
#                           or a key that stays on a hardware token or HSM:
#                           the token's PKCS#11 module (a .so path), the key's
#                           PKCS#11 URI ("pkcs11:token=...;object=...", no PIN
#                           in it) and the certificate (chain) as a file, the
#                           signer's certificate first
#   SIGN_PKCS11_PIN         the token's user PIN, if it asks for one
#   SIGN_TIMESTAMP_URL      RFC 3161 time-stamping server, if any (contacted
#                           only when given)
set -euo pipefail

cert=${SIGN_CERT:-} key=${SIGN_KEY:-} pkcs12=${SIGN_PKCS12:-}
module=${SIGN_PKCS11_MODULE:-} token_key=${SIGN_PKCS11_KEY:-}
signer_out=
if [ "${1:-}" = --signer-certificate ]; then
  [ $# -eq 2 ] || { echo "sign: --signer-certificate takes one file" >&2; exit 2; }
  signer_out=$2
  [ -n "$cert$key$pkcs12" ] || { echo "sign: no certificate given: the package gets a placeholder publisher"; exit 3; }
fi
if [ -z "$cert$key$pkcs12" ]; then
  echo "sign: NOT SIGNED: $*"
  echo "sign: no certificate given (SIGN_CERT and SIGN_KEY, or SIGN_PKCS12): no Authenticode signature"
  exit 0
fi
if [ -n "$module$token_key" ]; then
  if [ -z "$module" ] || [ -z "$token_key" ] || [ -z "$cert" ] || [ -n "$key$pkcs12" ]; then
    echo "sign: a token's key takes SIGN_PKCS11_MODULE, SIGN_PKCS11_KEY and SIGN_CERT, and no other key" >&2; exit 2
  fi
  [[ $token_key == pkcs11:* ]] || { echo "sign: SIGN_PKCS11_KEY is no PKCS#11 URI" >&2; exit 2; }
  # The PIN comes from the environment only: a URI is a command-line argument.
  [[ $token_key != *pin-value=* && $token_key != *pin-source=* ]] ||
    { echo "sign: no PIN in SIGN_PKCS11_KEY; give it in SIGN_PKCS11_PIN" >&2; exit 2; }
elif [ -n "$pkcs12" ] && [ -n "$cert$key" ]; then
  echo "sign: give either SIGN_PKCS12 or SIGN_CERT with SIGN_KEY, not both" >&2; exit 2
elif [ -z "$pkcs12" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
  echo "sign: SIGN_CERT and SIGN_KEY go together" >&2; exit 2
fi
for f in "$pkcs12" "$cert" "$key" "$module"; do
  [ -z "$f" ] || [ -r "$f" ] || { echo "sign: cannot read $f" >&2; exit 2; }
done
# The password (or PIN) reaches openssl and osslsigncode through a pipe, never a command line.
password() { printf '%s' "${SIGN_PASSWORD:-}"; }

if [ -n "$signer_out" ]; then
  command -v openssl >/dev/null || { echo "sign: openssl is missing" >&2; exit 2; }
  if [ -n "$module" ]; then
    openssl x509 -in "$cert" -out "$signer_out"  # the chain's first certificate
  elif [ -n "$pkcs12" ]; then
    openssl pkcs12 -in "$pkcs12" -clcerts -nokeys -passin fd:3 3< <(password) | openssl x509 -out "$signer_out"
  else
    # Of a chain, the certificate whose public key belongs to the private key.
    if [ -n "${SIGN_PASSWORD:-}" ]; then want=$(openssl pkey -in "$key" -pubout -passin fd:3 3< <(password))
    else want=$(openssl pkey -in "$key" -pubout); fi
    chain=$(openssl crl2pkcs7 -nocrl -certfile "$cert" | openssl pkcs7 -print_certs)
    [[ $chain == *CERTIFICATE* ]] || chain=$(openssl x509 -in "$cert")  # DER: one certificate
    found=
    while read -r -d '' one; do
      if [ "$(printf '%s\n' "$one" | openssl x509 -noout -pubkey)" = "$want" ]; then
        printf '%s\n' "$one" >"$signer_out"; found=1; break
      fi
    done < <(printf '%s\n' "$chain" | awk '/-BEGIN CERTIFICATE-/ { c = "" } { c = c $0 "\n" }
                                             /-END CERTIFICATE-/ { printf "%s%c", c, 0 }')
    [ -n "$found" ] || { echo "sign: no certificate in $cert belongs to the key $key" >&2; exit 2; }
  fi
  exit 0
fi

command -v osslsigncode >/dev/null || { echo "sign: osslsigncode is missing (tools/install-deps.sh)" >&2; exit 2; }

identity=(-certs "$cert" -key "$key")
[ -z "$pkcs12" ] || identity=(-pkcs12 "$pkcs12")
secret=${SIGN_PASSWORD:-}
if [ -n "$module" ]; then
  # osslsigncode hands the password it reads to the token as its PIN.
  identity=(-pkcs11module "$module" -certs "$cert" -key "$token_key")
  secret=${SIGN_PKCS11_PIN:-}
fi
timestamp=()
[ -z "${SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$SIGN_TIMESTAMP_URL")

for file in "$@"; do
  signed="$file.signing"
  rm -f "$signed"
  if [ -n "$secret" ]; then
    osslsigncode sign "${identity[@]}" -readpass <(printf '%s' "$secret") -h sha256 \
      "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null
  else
    osslsigncode sign "${identity[@]}" -h sha256 "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null
  fi || { rm -f "$signed"; echo "sign: signing $file failed" >&2; exit 1; }
  chmod --reference="$file" "$signed" && mv -f "$signed" "$file"
  echo "sign: signed $file (Authenticode, SHA-256${timestamp:+, time-stamped})"
done

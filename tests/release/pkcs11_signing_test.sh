#!/usr/bin/env bash
# tools/sign.sh with a key that never leaves a PKCS#11 token: a SoftHSM2 token
# made in WORKDIR holds the key, the certificate is a file; copies of the
# binaries, the custom-action DLL, the .msix and the .msi signed through it
# verify. A PIN inside the key's URI is refused, a wrong PIN signs nothing.
#   pkcs11_signing_test.sh WORKDIR FILE...
set -euo pipefail
work=$1; shift
root=$(cd "$(dirname "$0")/../.." && pwd)
sign=$root/tools/sign.sh
module=/usr/lib/softhsm/libsofthsm2.so
unset SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD SIGN_TIMESTAMP_URL
rm -rf "$work" && mkdir -p "$work/tokens" && cp "$@" "$work/" && cd "$work"
fail() { echo "$*"; exit 1; }

printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$work" >softhsm2.conf
export SOFTHSM2_CONF=$work/softhsm2.conf
softhsm2-util --init-token --free --label signer --pin 4711 --so-pin 8150 >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj '/CN=Throwaway Token Signer' \
  -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs8 -topk8 -nocrypt -in key.pem -out key.p8
softhsm2-util --import key.p8 --token signer --label code-signing --id 01 --pin 4711 >/dev/null
rm key.pem key.p8  # from here on the key is on the token only

export SIGN_CERT=cert.pem SIGN_PKCS11_MODULE=$module SIGN_PKCS11_KEY='pkcs11:token=signer;object=code-signing;type=private'
files=(*.exe *.dll *.msix *.msi)
[ ${#files[@]} -eq 5 ] || fail "expected two binaries, the custom-action DLL, the .msix and the .msi: ${files[*]}"
cp Scanmenu.dll wrong-pin.dll
rc=0 && SIGN_PKCS11_PIN=0000 "$sign" wrong-pin.dll >/dev/null 2>&1 || rc=$?
[ $rc -ne 0 ] && cmp -s wrong-pin.dll Scanmenu.dll || fail "a wrong PIN signed"
rc=0 && SIGN_PKCS11_PIN=4711 SIGN_PKCS11_KEY="$SIGN_PKCS11_KEY;pin-value=4711" "$sign" wrong-pin.dll 2>/dev/null || rc=$?
[ $rc -eq 2 ] || fail "a PIN in the key's URI was taken"

SIGN_PKCS11_PIN=4711 "$sign" "${files[@]}"
for f in "${files[@]}"; do
  [[ $(osslsigncode verify -CAfile cert.pem -in "$f") == *"Signature verification: ok"* ]] || fail "$f: not verified"
done
echo "all signed through the token and verified"

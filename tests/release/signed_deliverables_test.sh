#!/usr/bin/env bash
# The deliverables signed by tools/sign.sh, as `make dist` signs them, with a
# throwaway self-signed code-signing certificate: both signatures verify, and
# under Wine the existing end-to-end test programs, copied beside the signed
# binaries (which they then take for theirs), show that Scanmenu.dll still
# registers with regsvr32 and serves its menu and scheduler.exe still
# installs. Also: neither the linker nor widl left the build's time in them.
#   signed_deliverables_test.sh WORKDIR WINE-RUN SCHEDULER DLL PROGRAM...
set -euo pipefail
work=$1 wine_run=$2; shift 2
sign=$(cd "$(dirname "$0")/../.." && pwd)/tools/sign.sh
unset SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD SIGN_TIMESTAMP_URL  # no time-stamping server, ever
rm -rf "$work" && mkdir -p "$work" && cp "$@" "$work/" && cd "$work"

for f in scheduler.exe Scanmenu.dll; do
  pe=$(od -An -tu4 -j60 -N4 $f)
  [ "$(od -An -tu4 -j$((pe + 8)) -N4 $f | tr -d ' ')" = 0 ] || { echo "$f: link time in the PE header"; exit 1; }
done
grep -aq 'Created by WIDL version [0-9.]* at Thu Jan  1 00:00:00 1970' Scanmenu.dll || { echo "build time in the type library"; exit 1; }
[[ $("$sign" scheduler.exe) == *"NOT SIGNED"* ]] || { echo "no plain word on unsigned binaries"; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj '/CN=Throwaway Test Signer' \
  -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -in cert.pem -inkey key.pem -out signer.p12 -passout pass:throwaway
# Both ways in: certificate and key files, and a PKCS#12 file with its password.
SIGN_CERT=cert.pem SIGN_KEY=key.pem "$sign" Scanmenu.dll
SIGN_PKCS12=signer.p12 SIGN_PASSWORD=throwaway "$sign" scheduler.exe
for f in Scanmenu.dll scheduler.exe; do
  [[ $(osslsigncode verify -CAfile cert.pem -in $f) == *"Signature verification: ok"* ]] || { echo "$f: not verified"; exit 1; }
done

"$wine_run" ./scheduler_e2e_tests.exe --gtest_brief=1 \
  --gtest_filter='SchedulerProgramTest.InstallCreatesTheEntryWithItsOwnQuotedPath:SchedulerProgram.*'
"$wine_run" ./scanmenu_shell_host_tests.exe --gtest_brief=1 \
  --gtest_filter='ShellHostTest.QueryContextMenuAddsOneItem*:ScanRequestTest.OneFileWithBlanks*:ShellHostTest.TheDllCarries*'

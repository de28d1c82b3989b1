#!/usr/bin/env bash
# Copies of the deliverables and of the Windows Installer package signed by
# tools/sign.sh with a throwaway self-signed code-signing certificate verify, and under Wine the end-to-end
# programs beside them (which take them for theirs) show that Scanmenu.dll
# still registers with regsvr32 and serves its menu and scheduler.exe still
# installs. Before that: no build time in either binary, and no certificate
# gives a plain NOT SIGNED. The sparse package, packed with the certificate's
# subject as its publisher and signed the same way, verifies too.
#   QC_SPARSE_PACKAGE_DIR=DIR signed_deliverables_test.sh WORKDIR WINE-RUN FILE...
set -euo pipefail
work=$1 wine_run=$2; shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
sign=$root/tools/sign.sh
unset SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD SIGN_TIMESTAMP_URL  # never a time-stamping server
rm -rf "$work" && mkdir -p "$work" && cp "$@" "$work/" && cd "$work"
fail() { echo "$*"; exit 1; }

for f in scheduler.exe Scanmenu.dll; do  # the PE header's TimeDateStamp
  [ "$(od -An -tu4 -j$(($(od -An -tu4 -j60 -N4 $f) + 8)) -N4 $f)" -eq 0 ] || fail "$f: link time in the PE header"
done
grep -aq 'Created by WIDL version [0-9.]* at Thu Jan  1 00:00:00 1970' Scanmenu.dll || fail "time in the type library"
[[ $("$sign" scheduler.exe) == *"NOT SIGNED"* ]] || fail "no NOT SIGNED without a certificate"

rc=0 && "$sign" --signer-certificate signer.pem || rc=$?
[ $rc -eq 3 ] && [ ! -e signer.pem ] || fail "a signer's certificate without a certificate"

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj '/C=DE/ST=Berlin/O=Throwaway, Test/CN=Throwaway Test Signer' \
  -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -in cert.pem -inkey key.pem -out signer.p12 -passout pass:throwaway
SIGN_CERT=cert.pem SIGN_KEY=key.pem "$sign" Scanmenu.dll
SIGN_PKCS12=signer.p12 SIGN_PASSWORD=throwaway "$sign" scheduler.exe ./*.msi
SIGN_PKCS12=signer.p12 SIGN_PASSWORD=throwaway "$sign" --signer-certificate signer.pem
PYTHONPATH=$root python3 -B -m tools.make_msix --source "$QC_SPARSE_PACKAGE_DIR" --output sparse.msix --publisher-cert signer.pem
SIGN_CERT=cert.pem SIGN_KEY=key.pem "$sign" sparse.msix
for f in Scanmenu.dll scheduler.exe ./*.msi sparse.msix; do
  [[ $(osslsigncode verify -CAfile cert.pem -in $f) == *"Signature verification: ok"* ]] || fail "$f: not verified"
done
manifest=$(python3 -c 'import zipfile; print(zipfile.ZipFile("sparse.msix").read("AppxManifest.xml").decode())')
[[ $manifest == *'Publisher="CN=Throwaway Test Signer, O=&quot;Throwaway, Test&quot;, S=Berlin, C=DE"'* ]] || fail "publisher"
# The signed package is still a database whose tables read as before.
tables=$(msiinfo export ./*.msi ServiceInstall)
[[ $tables == *VeltraneScheduler* ]] || fail "signed package: tables unreadable"

# Each program runs the named tests and no fewer (a renamed test would drop out silently).
run() { local out; out=$("$wine_run" "./$1" --gtest_brief=1 --gtest_filter="$3"); echo "$out"
        [[ $out == *"[  PASSED  ] $2 tests."* ]] || fail "$1: not $2 tests passed"; }
run scheduler_e2e_tests.exe 3 'SchedulerProgramTest.InstallCreatesTheEntryWithItsOwnQuotedPath:SchedulerProgram.*'
run scanmenu_shell_host_tests.exe 3 \
  'ShellHostTest.QueryContextMenuAddsOneItem*:ScanRequestTest.OneFileWithBlanks*:ShellHostTest.TheDllCarries*'

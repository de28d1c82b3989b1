#!/bin/sh
# Fails when a Windows binary imports anything but system DLLs: a program or
# shell extension that needs a runtime DLL beside it breaks where that DLL is
# missing and invites DLL planting where it is not. A file named after
# --max-kib N also fails when it is larger than N KiB, and a file named after
# --system32-imports when it imports a DLL that is neither a KnownDLL nor
# resolved from System32 alone (tools/check_dll_search.py); both are listed again
# among the files for their imports. --from FILE takes further arguments from
# FILE, one a line (as the 32-bit build writes them for its binaries).
#   check-imports.sh OBJDUMP [--from FILE]... [--max-kib N FILE]... [--system32-imports FILE]... FILE...
set -u
objdump=$1; shift
expanded=
for argument in "$@"; do
  if [ "${from:-}" = next ]; then
    [ -f "$argument" ] || { echo "missing: $argument"; exit 1; }
    expanded="$expanded $(tr '\n' ' ' < "$argument")"; from=
  elif [ "$argument" = --from ]; then
    from=next
  else
    expanded="$expanded $argument"
  fi
done
set -- $expanded
status=0
files=
shipped=
while [ $# -gt 0 ]; do
  if [ "$1" = --system32-imports ]; then
    shipped="$shipped $2"; shift 2
  elif [ "$1" = --max-kib ]; then
    limit=$2 file=$3; shift 3
    if [ -f "$file" ]; then
      size=$(wc -c < "$file")
      if [ "$size" -gt $((limit * 1024)) ]; then
        echo "$file: $size bytes, more than its limit of $limit KiB"; status=1
      fi
    fi
  else
    files="$files $1"; shift
  fi
done
set -- $files
allowed=' kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll
 wtsapi32.dll userenv.dll psapi.dll msvcrt.dll msi.dll comctl32.dll comdlg32.dll uxtheme.dll version.dll
 secur32.dll ws2_32.dll bcrypt.dll ntdll.dll rpcrt4.dll uuid.dll '
for file in "$@"; do
  if [ ! -f "$file" ]; then echo "missing: $file"; status=1; continue; fi
  dlls=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | tr -d '\r')
  [ -n "$dlls" ] || { echo "$file: no import table found"; status=1; continue; }
  for dll in $dlls; do
    case "$dll" in api-ms-win-crt-*) echo "$file: imports $dll (UCRT runtime)"; status=1; continue ;; esac
    case " $(echo $allowed) " in *" $dll "*) ;; *) echo "$file: imports $dll, which is not a system DLL"; status=1 ;; esac
  done
done
[ $status -eq 0 ] && echo "checked $# binaries: system DLLs only"
if [ -n "$shipped" ]; then
  PYTHONPATH="$(dirname "$0")/.." /usr/bin/python3 -B -m tools.check_dll_search $shipped || status=1
fi
exit $status

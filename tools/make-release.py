#!/usr/bin/env python3
"""Builds the release zip <name>-<version>-windows-x64.zip, reproducibly.

    make-release.py --name N --version V --binaries DIR --source DIR --output-dir DIR

The zip holds one folder <name>-<version>/ with the two binaries, the
32-bit x86/Scanmenu.dll and the sparse package *-sparse.msix when there are
those (from --binaries, signed or not), README.md and the policy templates
policies/*.admx and policies/*/*.adml when there are any (from --source), and
SHA256SUMS over all of them. Only the files' bytes go in: entries in a fixed
order, one fixed time (SOURCE_DATE_EPOCH, else the last commit's time), fixed
permissions and compression, so the same inputs always give the same zip.
The zip is built twice and the two compared before it is written; its own
checksum goes beside it as <zip>.sha256.
"""
import argparse
import hashlib
import io
import os
import subprocess
import sys
import time
import zipfile
from pathlib import Path

BINARIES = ("scheduler.exe", "Scanmenu.dll")
ZIP_EPOCH = 315532800  # 1980-01-01 UTC, the earliest time a zip entry can hold


def release_time(source):
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        try:
            epoch = subprocess.run(["git", "-C", str(source), "log", "-1", "--format=%ct"],
                                   capture_output=True, text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            epoch = None
    seconds = max(int(epoch), ZIP_EPOCH) if epoch else ZIP_EPOCH
    return time.gmtime(seconds)[:6]


def contents(binaries, source):
    """(name in the folder, path) of every file but SHA256SUMS, in zip order."""
    files = [(name, binaries / name) for name in BINARIES]
    files += [(p.name, p) for p in sorted(binaries.glob("*-sparse.msix"))]
    # The 32-bit Scanmenu.dll, in the folder where the package puts it too.
    if (binaries / "x86" / "Scanmenu.dll").is_file():
        files.append(("x86/Scanmenu.dll", binaries / "x86" / "Scanmenu.dll"))
    files.append(("README.md", source / "README.md"))
    policies = sorted(source.glob("policies/*.admx")) + sorted(source.glob("policies/*/*.adml"))
    files += [(p.relative_to(source).as_posix(), p) for p in policies]
    for _, path in files:
        if not path.is_file():
            sys.exit(f"make-release: missing {path}")
    return files


def build_zip(folder, files, date_time):
    data = [(name, path.read_bytes()) for name, path in files]
    sums = "".join(f"{hashlib.sha256(b).hexdigest()}  {name}\n" for name, b in data)
    data.append(("SHA256SUMS", sums.encode("ascii")))
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for name, payload in data:
            entry = zipfile.ZipInfo(f"{folder}/{name}", date_time)
            entry.create_system = 3  # Unix, so that the mode below is read
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, payload, compresslevel=9)
    return out.getvalue()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--name", "--version", "--binaries", "--source", "--output-dir"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    source, binaries = Path(args.source), Path(args.binaries)
    folder = f"{args.name}-{args.version}"
    files = contents(binaries, source)
    date_time = release_time(source)
    first = build_zip(folder, files, date_time)
    if build_zip(folder, contents(binaries, source), date_time) != first:
        sys.exit("make-release: two builds of the zip differ")
    zip_path = Path(args.output_dir) / f"{folder}-windows-x64.zip"
    zip_path.write_bytes(first)
    Path(f"{zip_path}.sha256").write_text(f"{hashlib.sha256(first).hexdigest()}  {zip_path.name}\n")
    print(f"make-release: {zip_path} ({len(files) + 1} files, dated "
          f"{time.strftime('%Y-%m-%d %H:%M:%S', date_time + (0, 0, 0))} UTC)")


if __name__ == "__main__":
    main()

"""Builds the release zip <name>-<version>-windows-x64.zip, reproducibly.

    python3 -m tools.make_release --name N --version V --binaries DIR --source DIR --output-dir DIR

The zip holds one folder <name>-<version>/ with the two binaries, the
32-bit x86/Scanmenu.dll and the sparse package *-sparse.msix when there are
those (from --binaries, signed or not), README.txt (docs/release-readme.txt),
the guides for packagers and administrators and the reference they share as
HTML pages docs/*.html made from their Markdown (tools/docs_html.py) with the
pictures they show, the policy templates policies/*.admx and
policies/*/*.adml when there are any (from --source), and SHA256SUMS over all
of them. Only the files' bytes go in: entries in a fixed
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

from tools import docs_html, make_msi

# The deliverables the package installs from the binaries' folder.
BINARIES = tuple(name for name, origin in make_msi.PACKAGE_FILES if origin == "binaries")
X86_SERVER = f"{make_msi.X86_FOLDER_NAME}/{make_msi.SERVER_FILE}"
# The guides that go with the release, for whoever installs and runs it.
GUIDES = ("docs/packagers.md", "docs/packagers-quick-card.md", "docs/administrators.md", "docs/reference.md")
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


def product_code_line(package):
    """The sentence naming the product code of the package released beside
    the zip, for the quick card; empty without a package."""
    if not package.is_file():
        return ""
    try:
        table = subprocess.run(["msiinfo", "export", str(package), "Property"], capture_output=True, text=True,
                               check=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        sys.exit(f"make_release: cannot read the product code of {package}: {error}")
    code = dict(line.split("\t", 1) for line in table.splitlines() if "\t" in line).get("ProductCode", "").strip()
    if not code:
        sys.exit(f"make_release: {package} has no ProductCode")
    return f"**The package released with this zip**, `{package.name}`, has the product code `{code}`."


def guide_pages(source, package):
    """(name, bytes) of each guide's HTML page and of each picture it shows;
    the quick card names the product code of `package` when there is one."""
    pages, pictures = [], {}
    for guide in GUIDES:
        path = source / guide
        if not path.is_file():
            sys.exit(f"make_release: missing {path}")
        text = path.read_text(encoding="utf-8").replace("<!-- product code -->", product_code_line(package))
        page, shown = docs_html.convert(text)
        name = guide[:-len(".md")] + ".html"
        pages.append((name, page.encode("utf-8")))
        for picture in shown:
            picture_path = (path.parent / picture).resolve()
            pictures[os.path.normpath(Path(name).parent / picture)] = picture_path
    for name, path in sorted(pictures.items()):
        if not path.is_file():
            sys.exit(f"make_release: {name}, shown in a guide, is missing")
        pages.append((name, path.read_bytes()))
    return pages


def contents(binaries, source, folder):
    """(name in the folder, bytes) of every file but SHA256SUMS, in zip order."""
    files = [(name, binaries / name) for name in BINARIES]
    files += [(p.name, p) for p in sorted(binaries.glob("*-sparse.msix"))]
    # The 32-bit Scanmenu.dll, in the folder where the package puts it too.
    if (binaries / X86_SERVER).is_file():
        files.append((X86_SERVER, binaries / X86_SERVER))
    files.append(("README.txt", source / "docs" / "release-readme.txt"))
    policies = sorted(source.glob("policies/*.admx")) + sorted(source.glob("policies/*/*.adml"))
    files += [(p.relative_to(source).as_posix(), p) for p in policies]
    for _, path in files:
        if not path.is_file():
            sys.exit(f"make_release: missing {path}")
    return [(name, path.read_bytes()) for name, path in files] + guide_pages(source, binaries / f"{folder}-x64.msi")


def build_zip(folder, files, date_time):
    data = list(files)
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
    files = contents(binaries, source, folder)
    date_time = release_time(source)
    first = build_zip(folder, files, date_time)
    if build_zip(folder, contents(binaries, source, folder), date_time) != first:
        sys.exit("make_release: two builds of the zip differ")
    zip_path = Path(args.output_dir) / f"{folder}-windows-x64.zip"
    zip_path.write_bytes(first)
    Path(f"{zip_path}.sha256").write_text(f"{hashlib.sha256(first).hexdigest()}  {zip_path.name}\n")
    print(f"make_release: {zip_path} ({len(files) + 1} files, dated "
          f"{time.strftime('%Y-%m-%d %H:%M:%S', date_time + (0, 0, 0))} UTC)")


if __name__ == "__main__":
    main()

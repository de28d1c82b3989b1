"""Builds the Windows test kit <name>-<version>-windows-tests.zip.

    python3 -m tools.make_test_kit --name N --version V --files LIST --source DIR --output-dir DIR

LIST (the build's test-kit/files.txt) names every file of the kit, one path a
line: the deliverables, the Windows test programs, the programs and files
they expect beside them, run-tests.cmd and its report writer. They go flat
into one folder <name>-<version>-windows-tests/ with SHA256SUMS, entries in
the fixed order and with the fixed time of the release zip.
"""
import argparse
import sys
from pathlib import Path

from tools import make_release


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--name", "--version", "--files", "--source", "--output-dir"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    paths = [Path(line) for line in Path(args.files).read_text().splitlines() if line.strip()]
    files = sorted({(p.name, p) for p in paths})
    for _, path in files:
        if not path.is_file():
            sys.exit(f"make_test_kit: missing {path} (build the test-kit target first)")
    folder = f"{args.name}-{args.version}-windows-tests"
    contents = [(name, path.read_bytes()) for name, path in files]
    data = make_release.build_zip(folder, contents, make_release.release_time(Path(args.source)))
    out = Path(args.output_dir)
    out.mkdir(parents=True, exist_ok=True)
    zip_path = out / f"{folder}.zip"
    zip_path.write_bytes(data)
    print(f"make_test_kit: {zip_path} ({len(files)} files)")


if __name__ == "__main__":
    main()

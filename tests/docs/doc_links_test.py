#!/usr/bin/env python3
"""Every relative link and picture of README.md and docs/ leads somewhere:
in the tree, to a file that exists and, for #part, to a heading of that
guide; in the release zip (tools.make_release run over stand-in binaries), from
each HTML page to a file of the zip and an id of its page, and README.txt
names every page the zip holds and no page it lacks.

    doc_links_test.py SOURCE-DIR WORK-DIR
"""
import html.parser
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path, PurePosixPath

from tools import docs_html, make_release

source, work = Path(sys.argv[1]).resolve(), Path(sys.argv[2])

faults = []
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)|<img [^>]*src=\"([^\"]+)\"")


def external(target):
    return re.match(r"^[a-z][a-z0-9+.-]*:", target) is not None


def markdown_ids(path):
    seen = set()
    text = re.sub(r"^```.*?^```", "", path.read_text(encoding="utf-8"), flags=re.M | re.S)
    for line in text.splitlines():
        heading = re.match(r"^#{1,6} (.*)$", line)
        if heading:
            docs_html.slug(heading.group(1).strip(), seen)
    return seen


guides = [source / "README.md"] + sorted((source / "docs").rglob("*.md"))
for guide in guides:
    text = guide.read_text(encoding="utf-8")
    text = re.sub(r"^```.*?^```", "", text, flags=re.M | re.S)  # code blocks hold no links
    text = re.sub(r"`[^`\n]*`", "", text)
    for m in LINK.finditer(text):
        target = m.group(1) or m.group(2)
        if external(target):
            continue
        path, _, anchor = target.partition("#")
        file = (guide.parent / path).resolve() if path else guide
        where = f"{guide.relative_to(source)}: {target}"
        if not file.is_file() or source not in file.parents:
            faults.append(f"{where}: no such file in the tree")
        elif anchor and file.suffix == ".md" and anchor not in markdown_ids(file):
            faults.append(f"{where}: no such heading")


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.targets = set(), []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        for name in ("href", "src"):
            if attrs.get(name):
                self.targets.append(attrs[name])


shutil.rmtree(work, ignore_errors=True)
(work / "bin").mkdir(parents=True)
(work / "out").mkdir()
for binary in make_release.BINARIES:
    (work / "bin" / binary).write_bytes(b"MZ")
made = subprocess.run([sys.executable, "-B", "-m", "tools.make_release", "--name", "Q", "--version", "1",
                       "--binaries", str(work / "bin"), "--source", str(source), "--output-dir", str(work / "out")],
                      capture_output=True, text=True, env={"SOURCE_DATE_EPOCH": "1700000000", "PATH": "/usr/bin:/bin", "PYTHONPATH": str(source)})
if made.returncode != 0:
    faults.append(f"zip: tools.make_release failed: {made.stderr.strip()}")
    for fault in faults:
        print(fault)
    sys.exit(1)
with zipfile.ZipFile(work / "out" / "Q-1-windows-x64.zip") as archive:
    names = {n[len("Q-1/"):]: n for n in archive.namelist()}
    pages = {}
    for name in names:
        if name.endswith(".html"):
            pages[name] = Page()
            pages[name].feed(archive.read(names[name]).decode("utf-8"))
    for name, page in pages.items():
        for target in page.targets:
            if external(target):
                continue
            path, _, anchor = target.partition("#")
            resolved = str(PurePosixPath(name).parent / path) if path else name
            resolved = str(PurePosixPath(*[p for p in PurePosixPath(resolved).parts if p != "."]))
            if resolved not in names:
                faults.append(f"zip {name}: {target}: not in the zip")
            elif anchor and anchor not in pages.get(resolved, Page()).ids:
                faults.append(f"zip {name}: {target}: no such id")
    readme = archive.read(names["README.txt"]).decode("utf-8") if "README.txt" in names else ""
    named = set(re.findall(r"docs[/\\][\w.-]+\.html", readme))
    named = {n.replace("\\", "/") for n in named}
    if not pages:
        faults.append("zip: holds no guide")
    for page in sorted(set(pages) ^ named):
        faults.append(f"zip README.txt: {page} " + ("is not named" if page in pages else "is not in the zip"))

for fault in faults:
    print(fault)
print(f"doc links: {len(guides)} guides and the release zip's pages checked, {len(faults)} broken")
sys.exit(1 if faults else 0)

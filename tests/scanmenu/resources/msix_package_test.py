#!/usr/bin/env python3
# The packed sparse package read back from its bytes alone, without the packer's code:
# zip records, block hashes and sizes, content types. msix_package_test.py DIR WORKDIR
# (tools.make_msix packs it, run as a module from the source root on PYTHONPATH)
import base64, hashlib, os, shutil, struct, subprocess, sys, zlib
import xml.etree.ElementTree as ElementTree
from pathlib import Path

BLOCK, PNG, MAP = 65536, b"\x89PNG\r\n\x1a\n", "{http://schemas.microsoft.com/appx/2010/blockmap}"
TYPES = "{http://schemas.openxmlformats.org/package/2006/content-types}"
ROOT_TYPES = {"{http://schemas.microsoft.com/appx/manifest/foundation/windows10}Package":
              "application/vnd.ms-appx.manifest+xml", MAP + "BlockMap": "application/vnd.ms-appx.blockmap+xml"}


def read_zip(data):
    """{name: (method, stored bytes, content, local header size)}; local headers,
    central directory and its end must agree and cover the file exactly."""
    entries, at = {}, 0
    while data[at:at + 4] == b"PK\x03\x04":
        fields = struct.unpack_from("<HHHHHIIIHH", data, at + 4)
        _, flags, method, _, _, crc, packed, size, name_length, extra = fields
        name, header = data[at + 30:at + 30 + name_length].decode("ascii"), 30 + name_length + extra
        stored = data[at + header:at + header + packed]
        content = zlib.decompress(stored, -15) if method == 8 else stored
        assert flags == 0 and method in (0, 8) and name not in entries and "\\" not in name, name
        assert (len(content), zlib.crc32(content)) == (size, crc), name
        entries[name] = (method, stored, content, header, at, fields[:8])
        at += header + packed
    start = at
    for name, (_, _, _, _, offset, fields) in entries.items():
        central = struct.unpack_from("<IHHHHHHIIIHHHHHII", data, at)
        assert central[0] == 0x02014B50 and central[2:10] == fields and central[16] == offset, name
        assert data[at + 46:at + 46 + central[10]] == name.encode("ascii"), name
        at += 46 + sum(central[10:13])
    end = struct.unpack_from("<IHHHHIIH", data, at)
    assert end[0] == 0x06054B50 and end[3] == end[4] == len(entries) and end[5:7] == (at - start, start)
    assert at + 22 + end[7] == len(data)
    return {name: entry[:4] for name, entry in entries.items()}


def check_package(package, source):
    entries = read_zip(package)
    names = list(entries)
    files = sorted(p.relative_to(source).as_posix() for p in source.rglob("*") if p.is_file())
    assert [names[0]] + names[-2:] == ["AppxManifest.xml", "AppxBlockMap.xml", "[Content_Types].xml"], names
    assert sorted(names[:-2]) == files, names
    blockmap = ElementTree.fromstring(entries["AppxBlockMap.xml"][2])
    assert blockmap.get("HashMethod") == "http://www.w3.org/2001/04/xmlenc#sha256"
    listed = blockmap.findall(MAP + "File")
    assert [f.get("Name") for f in listed] == [n.replace("/", "\\") for n in names[:-2]]
    for element in listed:
        name = element.get("Name").replace("\\", "/")
        method, stored, content, header = entries[name]
        assert (element.get("Size"), element.get("LfhSize")) == (str(len(content)), str(header)), name
        blocks, at = element.findall(MAP + "Block"), 0
        assert len(blocks) == -(-len(content) // BLOCK), name
        for index, block in enumerate(blocks):
            piece = content[index * BLOCK:(index + 1) * BLOCK]
            assert base64.b64decode(block.get("Hash")) == hashlib.sha256(piece).digest(), (name, index)
            size = int(block.get("Size") or 0)  # none when stored; a deflated block inflates on its own
            assert method == 8 and zlib.decompressobj(-15).decompress(stored[at:at + size]) == piece or \
                method == 0 and size == 0, (name, index)
            at += size
        assert method == 0 or at == len(stored), f"{name}: block sizes do not add up"
    types = ElementTree.fromstring(entries["[Content_Types].xml"][2])
    defaults = {d.get("Extension").lower(): d.get("ContentType") for d in types.iter(TYPES + "Default")}
    overrides = {o.get("PartName"): o.get("ContentType") for o in types.iter(TYPES + "Override")}
    assert set(overrides) <= {"/" + n for n in names}, overrides
    for name in names[:-1]:
        content = entries[name][2]
        expected = "image/png" if content[:8] == PNG else ROOT_TYPES[ElementTree.fromstring(content).tag]
        assert overrides.get("/" + name, defaults.get(name.rsplit(".", 1)[-1].lower())) == expected, name


def pack(source, output):
    subprocess.run([sys.executable, "-B", "-m", "tools.make_msix", "--source", str(source), "--output", str(output)], check=True)
    return output.read_bytes()


source, work = Path(sys.argv[1]), Path(sys.argv[2])
shutil.rmtree(work, ignore_errors=True)
shutil.copytree(source, work / "large")
package = pack(source, work / "as-built.msix")
check_package(package, source)
assert b'Publisher="CN=UNSIGNED PLACEHOLDER PUBLISHER"' in read_zip(package)["AppxManifest.xml"][2]
for path in (work / "large").rglob("*"):
    os.utime(path, (1e9, 1e9))
assert pack(work / "large", work / "again.msix") == package, "not reproducible"
manifest, large = work / "large" / "AppxManifest.xml", work / "large" / "Assets" / "Large.png"  # several blocks each
padding = "".join(f"<!-- {hashlib.sha256(bytes([n % 256, n // 256])).hexdigest()} -->\n" for n in range(3000))
manifest.write_text(manifest.read_text().replace("<Properties>", padding + "<Properties>"))
large.write_bytes(PNG + os.urandom(3 * BLOCK))
check_package(pack(work / "large", work / "large.msix"), work / "large")

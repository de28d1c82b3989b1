#!/usr/bin/env python3
"""The sparse package as tools/make-msix.py packs it, read back from its bytes
alone: every zip record, every block hash and every content type is derived
again here, without the packer's code, and the same files pack to the same
bytes whatever their times.

    msix_package_test.py MAKE-MSIX PACKAGE-DIR WORKDIR
"""
import base64
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree
import zlib
from pathlib import Path

BLOCK = 65536
BLOCKMAP = "{http://schemas.microsoft.com/appx/2010/blockmap}"
TYPES = "{http://schemas.openxmlformats.org/package/2006/content-types}"
FOUNDATION = "{http://schemas.microsoft.com/appx/manifest/foundation/windows10}"
FOOTPRINT = ["AppxBlockMap.xml", "[Content_Types].xml"]


def read_zip(data):
    """{name: (method, stored bytes, local header size)} in file order, after
    checking that the local headers, the central directory and its end agree."""
    entries, at = {}, 0
    while data[at:at + 4] == b"PK\x03\x04":
        version, flags, method, _, _, crc, packed, size, name_length, extra_length = \
            struct.unpack_from("<HHHHHIIIHH", data, at + 4)
        name = data[at + 30:at + 30 + name_length].decode("ascii")
        header = 30 + name_length + extra_length
        stored = data[at + header:at + header + packed]
        assert flags == 0, f"{name}: flags {flags:#x} (no data descriptor, no encryption)"
        assert method in (0, 8), f"{name}: method {method}"
        assert name not in entries and "\\" not in name and not name.startswith("/"), name
        content = stored if method == 0 else zlib.decompress(stored, -15)
        assert len(content) == size and zlib.crc32(content) == crc, f"{name}: size or CRC"
        entries[name] = (method, stored, header, at, (version, flags, method, crc, packed, size))
        at += header + packed
    directory_start = at
    for name, (_, _, _, offset, fields) in entries.items():
        assert data[at:at + 4] == b"PK\x01\x02", f"central record of {name}"
        version, flags, method, _, _, crc, packed, size, name_length, extra_length, comment_length = \
            struct.unpack_from("<HHHHHIIIHHH", data, at + 6)
        local_offset, = struct.unpack_from("<I", data, at + 42)
        assert data[at + 46:at + 46 + name_length].decode("ascii") == name
        assert (version, flags, method, crc, packed, size) == fields and local_offset == offset, name
        at += 46 + name_length + extra_length + comment_length
    signature, _, _, count, total, directory_size, directory_offset, comment = struct.unpack_from("<IHHHHIIH", data, at)
    assert signature == 0x06054B50 and count == total == len(entries)
    assert directory_offset == directory_start and directory_size == at - directory_start
    assert at + 22 + comment == len(data), "bytes after the end of the central directory"
    return {name: (method, stored, header) for name, (method, stored, header, _, _) in entries.items()}


def expected_type(name, content):
    """The content type a part's own bytes call for."""
    if content.startswith(b"\x89PNG\r\n\x1a\n"):
        return "image/png"
    root = ElementTree.fromstring(content).tag
    if root == FOUNDATION + "Package":
        return "application/vnd.ms-appx.manifest+xml"
    if root == BLOCKMAP + "BlockMap":
        return "application/vnd.ms-appx.blockmap+xml"
    raise AssertionError(f"{name}: no known content")


class MsixPackageTest(unittest.TestCase):
    def test_the_package_reads_back_block_by_block_and_part_by_part(self):
        # The package as it is, and one whose manifest and a picture span several blocks.
        for package, source in (("one.msix", SOURCE), ("large.msix", WORK / "large")):
            with self.subTest(package=package):
                self.check_package((WORK / package).read_bytes(), source)

    def check_package(self, package, source_dir):
        entries = read_zip(package)
        names = list(entries)
        self.assertEqual(names[-2:], FOOTPRINT, "block map, then content types, last")
        self.assertEqual(names[0], "AppxManifest.xml")
        contents = {n: zlib.decompress(s, -15) if m == 8 else s for n, (m, s, _) in entries.items()}
        source = {p.relative_to(source_dir).as_posix() for p in source_dir.rglob("*") if p.is_file()}
        self.assertEqual(set(names[:-2]), source)

        blockmap = ElementTree.fromstring(contents["AppxBlockMap.xml"])
        self.assertEqual(blockmap.get("HashMethod"), "http://www.w3.org/2001/04/xmlenc#sha256")
        files = blockmap.findall(BLOCKMAP + "File")
        self.assertEqual([f.get("Name") for f in files], [n.replace("/", "\\") for n in names[:-2]])
        for element in files:
            name = element.get("Name").replace("\\", "/")
            method, stored, header = entries[name]
            content = contents[name]
            self.assertEqual((int(element.get("Size")), int(element.get("LfhSize"))), (len(content), header), name)
            blocks = element.findall(BLOCKMAP + "Block")
            self.assertEqual(len(blocks), -(-len(content) // BLOCK), name)
            at = 0
            for index, block in enumerate(blocks):
                piece = content[index * BLOCK:(index + 1) * BLOCK]
                self.assertEqual(base64.b64decode(block.get("Hash")), hashlib.sha256(piece).digest(), name)
                if method == 0:
                    self.assertIsNone(block.get("Size"), f"{name}: a stored block has no Size")
                    continue
                # Each deflated block decompresses on its own to its 64 KiB.
                size = int(block.get("Size"))
                inflater = zlib.decompressobj(-15)
                self.assertEqual(inflater.decompress(stored[at:at + size]), piece, f"{name} block {index}")
                at += size
            if method == 8:
                self.assertEqual(at, len(stored), f"{name}: block sizes add up to the stored bytes")

        types = ElementTree.fromstring(contents["[Content_Types].xml"])
        defaults = {d.get("Extension").lower(): d.get("ContentType") for d in types.findall(TYPES + "Default")}
        overrides = {o.get("PartName"): o.get("ContentType") for o in types.findall(TYPES + "Override")}
        self.assertTrue(set(overrides) <= {"/" + n for n in names}, "an override for a part that is not there")
        for name in names[:-1]:
            kind = overrides.get("/" + name, defaults.get(name.rsplit(".", 1)[-1].lower()))
            self.assertEqual(kind, expected_type(name, contents[name]), name)
        self.assertIn('Publisher="CN=UNSIGNED PLACEHOLDER PUBLISHER"', contents["AppxManifest.xml"].decode())

    def test_the_same_files_pack_to_the_same_bytes(self):
        copy = WORK / "copy"
        shutil.copytree(SOURCE, copy)
        for path in copy.rglob("*"):
            os.utime(path, (1_000_000_000, 1_000_000_000))
        pack(copy, WORK / "two.msix")
        self.assertEqual((WORK / "one.msix").read_bytes(), (WORK / "two.msix").read_bytes())


def pack(source, output):
    subprocess.run([sys.executable, str(PACKER), "--source", str(source), "--output", str(output)], check=True,
                   stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    PACKER, SOURCE, WORK = (Path(a) for a in sys.argv[1:4])
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    pack(SOURCE, WORK / "one.msix")
    large = WORK / "large"
    shutil.copytree(SOURCE, large)
    manifest = (large / "AppxManifest.xml").read_text()
    padding = "".join(f"<!-- {n} {hashlib.sha256(str(n).encode()).hexdigest()} -->\n" for n in range(3000))
    (large / "AppxManifest.xml").write_text(manifest.replace("<Properties>", padding + "<Properties>"))
    (large / "Assets" / "Large.png").write_bytes(b"\x89PNG\r\n\x1a\n" + os.urandom(3 * BLOCK))
    pack(large, WORK / "large.msix")
    unittest.main(argv=sys.argv[:1], verbosity=2)

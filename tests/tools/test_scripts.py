"""The build scripts' own logic: the sparse package's block map, the package
family name, the language checks. Run by ctest as tools.scripts_unit."""
import base64
import hashlib
import io
import random
import struct
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

from tools import languages, make_msi, make_msix

MAP = "{http://schemas.microsoft.com/appx/2010/blockmap}"
MANIFEST = b'<Package><Identity Name="Q" Publisher="CN=old" Version="1.0.0.0"/></Package>'


class SparsePackage(unittest.TestCase):
    def test_block_map_hashes_every_64k_of_the_packed_bytes(self):
        noise = random.Random(37).randbytes
        files = {"AppxManifest.xml": MANIFEST, "Assets/a.png": noise(65536), "big.xml": noise(65536 * 2 + 1)}
        with tempfile.TemporaryDirectory() as folder:
            for name, data in files.items():
                (Path(folder) / name).parent.mkdir(parents=True, exist_ok=True)
                (Path(folder) / name).write_bytes(data)
            package = make_msix.pack(Path(folder), 'CN="A & B", O=<x>')
        archive = zipfile.ZipFile(io.BytesIO(package))
        listed = ElementTree.fromstring(archive.read("AppxBlockMap.xml")).findall(MAP + "File")
        self.assertEqual([f.get("Name") for f in listed], ["AppxManifest.xml", "Assets\\a.png", "big.xml"])
        for element in listed:
            info = archive.getinfo(element.get("Name").replace("\\", "/"))
            data = archive.read(info)  # the manifest as packed, its publisher replaced
            name_length, extra_length = struct.unpack_from("<HH", package, info.header_offset + 26)
            self.assertEqual(element.get("LfhSize"), str(30 + name_length + extra_length))
            self.assertEqual(element.get("Size"), str(len(data)))
            hashes = [base64.b64decode(b.get("Hash")) for b in element.findall(MAP + "Block")]
            blocks = [data[at:at + 65536] for at in range(0, len(data), 65536)]
            self.assertEqual(hashes, [hashlib.sha256(block).digest() for block in blocks])
            sizes = [int(b.get("Size", 0)) for b in element.findall(MAP + "Block")]
            self.assertEqual(sum(sizes), info.compress_size if info.compress_type == zipfile.ZIP_DEFLATED else 0)
        self.assertEqual(len(listed[2].findall(MAP + "Block")), 3)
        # The publisher make_msix writes is the one make_msi reads back.
        with tempfile.TemporaryDirectory() as folder:
            (Path(folder) / "p.msix").write_bytes(package)
            identity = make_msi.sparse_identity(Path(folder) / "p.msix")
        self.assertEqual(identity["Publisher"], 'CN="A & B", O=<x>')


class FamilyName(unittest.TestCase):
    def test_known_publisher_ids(self):
        corporation = "CN=Microsoft Corporation, O=Microsoft Corporation, L=Redmond, S=Washington, C=US"
        windows = "CN=Microsoft Windows, O=Microsoft Corporation, L=Redmond, S=Washington, C=US"
        self.assertEqual(make_msi.family_name("Microsoft.WindowsCalculator", corporation),
                         "Microsoft.WindowsCalculator_8wekyb3d8bbwe")
        self.assertEqual(make_msi.publisher_id(windows), "cw5n1h2txyewy")


class LanguageChecks(unittest.TestCase):
    def test_missing_text_and_lost_placeholder_reported(self):
        english = {"menu.item": "Scan %s with Quenor Clean", "menu.help": "&Scan {count} files"}
        sound = {"menu.item": "%s mit Quenor Clean prüfen", "menu.help": "{count} Dateien &prüfen"}
        self.assertEqual(languages.faults_of({"en-US": (0x0409, english), "de-DE": (0x0407, sound)}), [])
        lost = {"menu.item": "Mit Quenor Clean prüfen"}
        faults = languages.faults_of({"en-US": (0x0409, english), "de-DE": (0x0407, lost)})
        self.assertEqual(len(faults), 2, faults)
        self.assertIn("de-DE: menu.help is missing", faults)
        self.assertTrue(any(f.startswith("de-DE: menu.item has placeholders []") for f in faults), faults)


if __name__ == "__main__":
    unittest.main()

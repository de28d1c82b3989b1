"""The build scripts' own logic: the sparse package's block map, the package
family name, the language checks, and what the guides and scripts restate
from the program's sources. Run by ctest as tools.scripts_unit."""
import base64
import hashlib
import io
import random
import re
import struct
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

from tools import languages, make_msi, make_msix

ROOT = Path(__file__).resolve().parents[2]
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


class RestatedConstants(unittest.TestCase):
    """The guides' event table and recovery, and the names the scripts keep, against their one source."""

    def test_guides_events_are_the_message_table(self):
        levels = {"Informational": "Information", "Warning": "Warning", "Error": "Error"}
        table = (ROOT / "scheduler/events/win32/scheduler_events.mc").read_text()
        messages = {int(i): levels[s] for i, s in re.findall(r"^MessageId=(\d+)\s+Severity=(\w+)", table, re.M)}
        self.assertGreater(len(messages), 30)
        reference = (ROOT / "docs/reference.md").read_text()
        rows = re.findall(r"^\| (\d{3}) \| (Information|Warning|Error) \|", reference, re.M)
        self.assertEqual({int(i): level for i, level in rows}, messages)
        alert = re.search(r"\*\*Errors to alert on:\*\* ([\d, ]+); warnings ([\d, and]+)\.",
                          (ROOT / "docs/administrators.md").read_text())
        for listed, level in ((alert.group(1), "Error"), (alert.group(2), "Warning")):
            self.assertEqual([int(i) for i in re.findall(r"\d+", listed)],
                             sorted(i for i, each in messages.items() if each == level))

    def test_guides_recovery_is_the_service_entry(self):
        actions, delays, reset = make_msi.failure_actions(ROOT)
        actions, delays = actions.split("[~]"), [int(delay) for delay in delays.split("[~]")]
        restarts = [delay for action, delay in zip(actions, delays) if action == "1"]
        # What the guides can say: "after N s, twice, then no more, ... after a day".
        self.assertEqual((actions, len(set(restarts)), reset), (["1"] * len(restarts) + ["0"], 1, 24 * 60 * 60))
        expected = [(restarts[0] / 1000, ("once", "twice", "three times")[len(restarts) - 1])]
        said = re.compile(r"restarts (?:it|a crashed service) after (\d+) s,\s+(\w+(?: times)?), then no more, "
                          r"and forgets the failures after a day")
        for guide in ("docs/packagers.md", "docs/administrators.md"):
            found = [(int(seconds), times) for seconds, times in said.findall((ROOT / guide).read_text())]
            self.assertEqual(found, expected, guide)

    def test_scripts_names_are_the_programs(self):
        self.assertEqual(make_msi.SPARSE_FILE,
                         make_msi.header_string(ROOT, "installer/actions/sparse_package.h", "kSparsePackageFile"))
        for resource, binary in (("scheduler/program/win32/scheduler.rc.in", make_msi.SERVICE_FILE),
                                 ("scanmenu/resources/scanmenu.rc", make_msi.SERVER_FILE)):
            values = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', (ROOT / resource).read_text()))
            self.assertEqual((values["ProductName"], values["CompanyName"], values["OriginalFilename"]),
                             (*make_msi.product_names(ROOT), binary), resource)

    def test_guides_class_ids_and_upgrade_code_are_the_products(self):
        names = make_msi.header_string
        known = {
            names(ROOT, "scanmenu/module/registration_text.h", "kHandlerClassIdText"),
            names(ROOT, "scanmenu/module/registration_text.h", "kExplorerCommandClassIdText"),
            "{%s}" % str(make_msi.UPGRADE_CODE).upper(),
        }
        guid = re.compile(r"\{[0-9A-Fa-f]{8}(?:-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}")
        for guide in ["README.md", *sorted(str(p.relative_to(ROOT)) for p in (ROOT / "docs").glob("*.md"))]:
            printed = set(guid.findall((ROOT / guide).read_text()))
            self.assertLessEqual({g.upper() for g in printed}, {k.upper() for k in known}, guide)


if __name__ == "__main__":
    unittest.main()

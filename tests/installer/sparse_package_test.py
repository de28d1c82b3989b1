#!/usr/bin/env python3
"""The sparse package's custom actions under Wine's own msiexec, in a fresh prefix:
    sparse_package_test.py WINE-ENV PREFIX-TOOL MSI OLDER-MSI FAKE-DLL
FAKE-DLL (fake_package_manager.cc) is registered as the deployment API's
classes and records every call; the prefix reports Windows 11 or 10 through
CurrentBuildNumber, as Windows' own registry does."""
import re
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

from wine_msi import WinePrefix, windows_path

from tools import make_msi

ENV_FILE, PREFIX_TOOL, MSI_PATH, OLDER_MSI_PATH, FAKE = sys.argv[1:6]
MSI, OLDER_MSI = (windows_path(path) for path in (MSI_PATH, OLDER_MSI_PATH))

FOLDER_URI = "file:///C:/Program%20Files/Quenor%20Clean/"
PACKAGE_URI = FOLDER_URI + "QuenorCleanMenu.msix"
CLASSES = ["Windows.Management.Deployment.PackageManager", "Windows.Management.Deployment.StagePackageOptions",
           "Windows.Management.Deployment.AddPackageOptions", "Windows.Foundation.Uri"]
harness = WinePrefix(ENV_FILE, PREFIX_TOOL, echo_output=False)
env, prefix = harness.env, harness.path
fake = prefix / "drive_c" / "fake-deployment"
folder = prefix / "drive_c" / "Program Files" / "Quenor Clean"
wine, msiexec, check = harness.wine, harness.msiexec, harness.check


def reports_build(build):
    key = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"
    for name, value in (("CurrentVersion", "10.0"), ("CurrentBuildNumber", build), ("CurrentBuild", build)):
        wine("reg", "add", key, "/v", name, "/d", value, "/f")


def registry_value(key, name):
    with tempfile.TemporaryFile("w+") as out:
        subprocess.run(["timeout", "-k", "10", "60", env["WINE64"], "reg", "query", key, "/v", name], env=env,
                       stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        out.seek(0)
        found = [line.split(None, 2) for line in out.read().splitlines() if line.strip().startswith(name)]
    return found[0][2].strip() if found and len(found[0]) == 3 else None


def calls():  # what the fake recorded since the last look
    record = fake / "calls.txt"
    lines = record.read_text().splitlines() if record.exists() else []
    record.unlink(missing_ok=True)
    return lines


def installed_identity():
    with zipfile.ZipFile(folder / "QuenorCleanMenu.msix") as archive:
        manifest = archive.read("AppxManifest.xml").decode("utf-8")
    identity = re.search(r"<Identity\b[^>]*>", manifest).group(0)
    return dict(re.findall(r'(\w+)="([^"]*)"', identity))


def main():
    check(make_msi.family_name("Microsoft.WindowsCalculator", "CN=Microsoft Corporation, O=Microsoft Corporation, "
                               "L=Redmond, S=Washington, C=US") == "Microsoft.WindowsCalculator_8wekyb3d8bbwe",
          "the family name of a known package is computed as Windows computes it")
    subprocess.run([PREFIX_TOOL, "create", ENV_FILE], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   timeout=420, check=True)
    fake.mkdir(parents=True)
    (fake / "fake_package_manager.dll").write_bytes(Path(FAKE).read_bytes())
    for name in CLASSES:
        wine("reg", "add", "HKLM\\Software\\Microsoft\\WindowsRuntime\\ActivatableClassId\\" + name, "/v", "DllPath",
             "/d", "C:\\fake-deployment\\fake_package_manager.dll", "/f")
    version = Path(MSI_PATH).name.split("-")[-2] + ".0"

    print("-- Windows 11: the older package, then this one as an upgrade")
    reports_build("22000")
    rc, log = msiexec("/i", OLDER_MSI)
    check(rc == 0, "the older package installs" + ("" if rc == 0 else " (%d):\n%s" % (rc, log[-3000:])))
    identity = installed_identity()
    family = make_msi.family_name(identity["Name"], identity["Publisher"])
    staged = ["stage %s %s" % (PACKAGE_URI, FOLDER_URI), "provision " + family, "add %s %s" % (PACKAGE_URI, FOLDER_URI)]
    check(calls() == staged, "the install folder's package is staged with the folder as its external location, "
          "the manifest's family %s provisioned and the package added for the installing user" % family)
    # Windows Installer's RemoveExistingProducts removes the older product
    # with UPGRADINGPRODUCTCODE set; Wine's runs "msiexec /i {code} REMOVE=ALL"
    # without it. So the upgrade's two halves run here as Windows runs them.
    upgrading = "UPGRADINGPRODUCTCODE={%s}" % make_msi.stable_guid("product", version[:-2])
    check(msiexec("/x", OLDER_MSI, upgrading)[0] == 0 and calls() == [],
          "the older product's removal by an upgrade removes nothing")
    check(msiexec("/i", MSI)[0] == 0, "this package installs")
    upgrade = calls()
    check(upgrade == staged and installed_identity()["Version"] == version,
          "the upgrade stages and provisions version %s%s" % (version, "" if upgrade == staged else ": %s" % upgrade))
    check(registry_value("HKLM\\SOFTWARE\\Veltrane\\Scanmenu", "SparsePackageFamily") == family,
          "the context-menu handler finds the family name where it looks for the package")

    print("-- removal")
    rc, log = msiexec("/x", MSI)
    check(rc == 0, "removal succeeds")
    name, publisher = identity["Name"], identity["Publisher"]
    check(calls() == ["deprovision " + family, "find %s|%s" % (name, publisher)] +
          ["remove %s_%s_x64__fake 524288" % (name, v) for v in ("0.0.1.0", "1.0.0.0")],
          "the family is deprovisioned, then every version found is removed for all users")

    print("-- a package Windows refuses (untrusted root, 0x800B0109)")
    (fake / "fail.txt").write_text("800B0109")
    rc, log = msiexec("/i", MSI)
    check(rc == 0 and (folder / "Scanmenu.dll").exists(), "the install succeeds all the same")
    check("SparsePackage: staging %s with the external location %s: failed with 0x800B0109" % (PACKAGE_URI, FOLDER_URI)
          in log, "the log gives the code")
    check(calls()[:1] == staged[:1], "nothing is provisioned after the failed staging")
    check(msiexec("/x", MSI)[0] == 0, "removal succeeds although every step fails")
    (fake / "fail.txt").unlink()
    calls()

    print("-- Windows 10")
    reports_build("19045")
    rc, log = msiexec("/i", MSI)
    check(rc == 0 and "nothing to do on Windows build 19045" in log, "the install succeeds and says why it stages nothing")
    check(msiexec("/x", MSI)[0] == 0, "removal succeeds")
    check(calls() == [], "no deployment call at install or removal")

    return harness.summary()


if __name__ == "__main__":
    harness.run(main)

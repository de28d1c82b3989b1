#!/usr/bin/env python3
"""The built package's tables against the Windows Installer rules the package
relies on, read with msiinfo; then the package built again from the same
files and from files of one other byte, for its product code:
    package_tables_test.py MSI WORK-DIR MAKE-MSI-BUILD-ARGUMENTS...
(the arguments with which the build made MSI, without --output-dir)."""
import shutil
import subprocess
import sys
from pathlib import Path

MSI, WORK, BUILD = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3:]
failures = []


def check(condition, what):
    print("%s %s" % ("ok  " if condition else "FAIL", what))
    if not condition:
        failures.append(what)


def table(msi, name):
    text = subprocess.run(["msiinfo", "export", str(msi), name], capture_output=True, text=True, check=True).stdout
    lines = text.splitlines()
    return [dict(zip(lines[0].split("\t"), line.split("\t"))) for line in lines[3:] if line]


def properties(msi):
    return {row["Property"]: row["Value"] for row in table(msi, "Property")}


def product_name(path):  # the version resource's ProductName
    data = Path(path).read_bytes()
    at = data.find("ProductName\0".encode("utf-16-le")) + len("ProductName\0") * 2
    return data[at + (-at) % 4:][:256].decode("utf-16-le", "replace").split("\0")[0]


def main():
    prop = properties(MSI)
    version = prop["ProductVersion"]
    at = {row["Action"]: int(row["Sequence"]) for row in table(MSI, "InstallExecuteSequence")}
    actions = {row["Action"]: int(row["Type"]) for row in table(MSI, "CustomAction")}

    print("-- sequence (ICE63) and custom action types (ICE68)")
    between = [a for a, s in at.items() if at["InstallInitialize"] < s < at["RemoveExistingProducts"]]
    check(not between, "nothing between InstallInitialize and RemoveExistingProducts: %s" % between)
    in_script = [a for a, t in actions.items() if t & 0x400 and at.get(a, 10 ** 6) < at["RemoveExistingProducts"]]
    check(not in_script, "no deferred or rollback action before RemoveExistingProducts: %s" % in_script)
    check(actions.get("StartServiceOnRollback", 0) & 0x500 == 0x500 and
          at["RemoveExistingProducts"] < at.get("StartServiceOnRollback", -1) < at["EndAgents"] < at["StopServices"],
          "the rollback action is sequenced before EndAgents, EndAgents before the services stop")
    immediate = [a for a, t in actions.items() if not t & 0x400 and t & 0x800]
    check(not immediate, "no immediate action typed no-impersonate: %s" % immediate)

    print("-- files, service, components (ICE80)")
    files = {row["File"]: row for row in table(MSI, "File")}
    hashed = {row["File_"] for row in table(MSI, "MsiFileHash")}
    four = ".".join((version.split(".") + ["0"] * 4)[:4])
    for name in ("scheduler.exe", "Scanmenu.dll"):
        check((files[name]["Version"], files[name]["Language"]) == (four, "1033"),
              "%s: version %s, language 1033: %s" % (name, four, (files[name]["Version"], files[name]["Language"])))
    check(hashed == {f for f, row in files.items() if not row["Version"]}, "hashes for the unversioned files only")
    check(all(int(row["ErrorControl"]) & 0x8000 for row in table(MSI, "ServiceInstall")), "ServiceInstall is vital")
    parent = {row["Directory"]: row["Directory_Parent"] for row in table(MSI, "Directory")}

    def folders(directory):
        while directory:
            yield directory
            directory = parent.get(directory)
    wrong = [row["Component"] for row in table(MSI, "Component") if not int(row["Attributes"]) & 0x100
             and any(d in ("ProgramFiles64Folder", "System64Folder", "CommonFiles64Folder")
                     for d in folders(row["Directory_"]))]
    check(not wrong, "no 32-bit component in a 64-bit folder: %s" % wrong)

    print("-- upgrades, Restart Manager, product code")
    upgrade = [row for row in table(MSI, "Upgrade") if not int(row["Attributes"]) & 2]
    check([(r["VersionMax"], int(r["Attributes"]) & 0x200) for r in upgrade] == [(version, 0x200)],
          "the upgrade replaces products up to this version inclusive")
    check(not any(r["VersionMin"] == version and int(r["Attributes"]) & 0x100 for r in table(MSI, "Upgrade")),
          "this version is not taken for a newer one")
    check(prop.get("MSIRESTARTMANAGERCONTROL") == "Disable", "Restart Manager disabled")
    args = dict(zip(BUILD[::2], BUILD[1::2]))
    names = {prop["ProductName"]} | {product_name(Path(args["--binaries"], f)) for f in ("scheduler.exe", "Scanmenu.dll")}
    check(len(names) == 1, "one product name in the Add/Remove entry and both version resources: %s" % names)
    shutil.rmtree(WORK, ignore_errors=True)
    changed = WORK / "changed"
    shutil.copytree(args["--binaries"], changed, ignore=shutil.ignore_patterns("*.exe", "*.dll"))
    for name in ("scheduler.exe", "Scanmenu.dll"):
        shutil.copyfile(Path(args["--binaries"], name), changed / name)
    with open(changed / "Scanmenu.dll", "ab") as f:
        f.write(b"\0")  # as a signature appended by someone else would
    built = {}
    for what, binaries in (("same", args["--binaries"]), ("changed", str(changed))):
        rebuilt = dict(args, **{"--binaries": binaries})
        subprocess.run([sys.executable, "-B", "-m", "tools.make_msi", "build", *[x for kv in rebuilt.items() for x in kv],
                        "--output-dir", str(WORK / what)], check=True, stdout=subprocess.DEVNULL)
        built[what] = properties(next((WORK / what).glob("*.msi")))
    check(built["same"]["ProductCode"] == prop["ProductCode"], "the same files give the same product code")
    check(built["changed"]["ProductCode"] != prop["ProductCode"] and built["changed"]["ProductVersion"] == version,
          "one other byte gives another product code of the same version")

    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The Windows Installer package under Wine's own msiexec, in a fresh prefix:
    package_test.py WINE-ENV PREFIX-TOOL MSI OLDER-MSI BIN-DIR X86-BIN-DIR MAKE-MSI-BUILD-ARGUMENTS...
BIN-DIR holds the Scanmenu.dll the package carries, package_probe.exe and
stand_in_scanner.exe; X86-BIN-DIR the 32-bit Scanmenu.dll it carries in x86.
The arguments (those with which the build made MSI) make the same package
from other bytes, as an organisation's re-signed build. Registry states are
compared value by value; keys
without any value are only reported (Wine's msiexec deletes emptied keys up
to the root at removal, also empty ones that were there before, and leaves
the empty keys of a rolled-back value)."""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from wine_msi import WinePrefix, windows_path

from tools import regexport

ENV_FILE, PREFIX_TOOL, MSI, OLDER_MSI, BIN, X86_BIN = sys.argv[1:7]
BUILD = dict(zip(sys.argv[7::2], sys.argv[8::2]))
FOLDER = "C:\\Program Files\\Quenor Clean"
HKLM = "HKEY_LOCAL_MACHINE\\"
UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
REGSVR32_X86 = "C:\\windows\\syswow64\\regsvr32.exe"
# Windows Installer's own bookkeeping comes and goes with every package.
BOOKKEEPING = ("\\currentversion\\installer\\", "\\classes\\installer\\", "\\currentversion\\uninstall\\",
               "\\microsoft\\cryptography\\rng")
harness = WinePrefix(ENV_FILE, PREFIX_TOOL, echo_output=True)
env, prefix = harness.env, harness.path
folder = prefix / "drive_c" / "Program Files" / "Quenor Clean"
probe = os.path.join(BIN, "package_probe.exe")
wine, msiexec, check = harness.wine, harness.msiexec, harness.check


def export(*roots):
    keys = {}
    with tempfile.TemporaryDirectory() as scratch:
        for i, root in enumerate(roots):
            path = os.path.join(scratch, "%d.reg" % i)
            if wine("reg", "export", root, windows_path(path), "/y") != 0:
                sys.exit("reg export %s failed" % root)
            keys.update(regexport.read(path))
    return keys


def snapshot():
    keys = export("HKLM\\Software", "HKLM\\System\\CurrentControlSet\\Services")
    return {k: v for k, v in keys.items() if not any(b in k.lower() + "\\" for b in BOOKKEEPING)}


key = lambda state, path: next((v for k, v in state.items() if k.lower() == (HKLM + path).lower()), {})  # noqa: E731


def same_state(before, after, what):
    changed = {**regexport.diff(before, after)[0], **regexport.diff(after, before)[0]}
    empty = sorted(k for k, v in changed.items() if not v)
    if empty:
        print("     empty keys that differ: " + "; ".join(empty))
    differing = sorted(k for k, v in changed.items() if v)
    check(not differing, what + ("" if not differing else " (differs: %s)" % "; ".join(differing[:4])))


def registration(state, clean):  # beyond `clean`, under the classes and the approved extensions
    return {k: v for k, v in regexport.diff(clean, state)[0].items()
            if "\\classes\\" in k.lower() or k.lower().endswith("\\shell extensions\\approved")}


def versions_listed():
    return sorted(v["DisplayVersion"][1] for v in export("HKLM\\" + UNINSTALL).values()
                  if v.get("DisplayName", ("", ""))[1] == "Quenor Clean Companion")


def resigned_package(scratch):
    """The same package built from the same files but one byte more in
    Scanmenu.dll, as a signature of someone else's would add."""
    binaries = Path(scratch, "binaries")
    binaries.mkdir()
    for name in ("scheduler.exe", "Scanmenu.dll"):
        shutil.copyfile(Path(BUILD["--binaries"], name), binaries / name)
    with open(binaries / "Scanmenu.dll", "ab") as f:
        f.write(b"\0")
    arguments = [x for kv in dict(BUILD, **{"--binaries": str(binaries)}).items() for x in kv]
    subprocess.run([sys.executable, "-B", "-m", "tools.make_msi", "build",
                    *arguments, "--output-dir", scratch], check=True, stdout=subprocess.DEVNULL)
    return windows_path(next(Path(scratch).glob("*.msi")))


def main():
    subprocess.run([PREFIX_TOOL, "create", ENV_FILE], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   timeout=420, check=True)
    clean = snapshot()
    package, older = windows_path(MSI), windows_path(OLDER_MSI)
    version = Path(MSI).name.split("-")[-2]

    print("-- a failed install rolls back: a folder stands where Scanmenu.dll goes, after scheduler.exe")
    (folder / "Scanmenu.dll").mkdir(parents=True)
    rc, log = msiexec("/i", package)
    check(rc == 1603 & 0xFF, "the install fails with 1603")
    # Wine runs the rollback script of a first install (not of a repair, and it
    # does not bring back a product an upgrade removed): the action runs, and
    # finds no service to start.
    check("StartServiceOnRollback: no service to start" in log, "the rollback runs StartServiceOnRollback")
    same_state(clean, snapshot(), "registry and services are as before")
    check(sorted(p.name for p in folder.iterdir()) == ["Scanmenu.dll"], "the folder holds only what was there")
    (folder / "Scanmenu.dll").rmdir()
    folder.rmdir()

    print("-- the older package, then this one over it")
    check(msiexec("/i", older)[0] == 0, "the older package installs")
    check(wine(probe, "agent") == 0, "its service started the agent")
    check(msiexec("/i", package)[0] == 0, "this package installs over it")
    check(versions_listed() == [version], "one Add/Remove entry, of this version: %s" % versions_listed())
    installed = snapshot()
    entry = {k: v[1] for k, v in key(installed, "System\\CurrentControlSet\\Services\\VeltraneScheduler").items()}
    check({k: entry.get(k) for k in ("DisplayName", "Description", "Group", "ObjectName", "Type", "Start",
                                     "ErrorControl")} ==
          {"DisplayName": "Veltrane Scheduler", "Description": "Veltrane Scheduler controls scheduled scans",
           "Group": "PNP_TDI", "ObjectName": "LocalSystem", "Type": 0x10, "Start": 2, "ErrorControl": 1},
          "service entry: own process, automatic, normal errors, PNP_TDI, LocalSystem")
    check(entry.get("ImagePath", "").strip('"').lower() == (FOLDER + "\\scheduler.exe").lower(),
          "service program: %s" % entry.get("ImagePath"))
    check(key(installed, "System\\CurrentControlSet\\Services\\EventLog\\Application\\Veltrane Scheduler") ==
          {"EventMessageFile": ("expand_sz", FOLDER + "\\scheduler.exe"), "TypesSupported": ("dword", 7)},
          "event source in the Application log")
    check(sorted(p.name for p in folder.iterdir()) == ["QuenorCleanMenu.msix", "Scanmenu.dll", "scheduler.exe", "x86"]
          and [p.name for p in (folder / "x86").iterdir()] == ["Scanmenu.dll"],
          "the install folder holds the deliverables, the sparse package and x86\\Scanmenu.dll")
    check(wine(probe, "agent") == 0, "the new service started the agent")
    check(wine(probe, "menu", FOLDER) == 0, "a menu request reaches the scanner with the package's registration")

    print("-- the older package again, this one again, a repair")
    check(msiexec("/i", older)[0] == 1603 & 0xFF, "the older package is refused with 1603")
    check(versions_listed() == [version], "this version stays")
    before = snapshot()
    check(msiexec("/i", package)[0] == 0, "installing the same package again succeeds")
    check(msiexec("/i", package, "REINSTALL=ALL", "REINSTALLMODE=vomus")[0] == 0, "repair succeeds")
    same_state(before, snapshot(), "installing again and repairing change nothing")

    print("-- a re-signed build of the same version over this one, then this one back over it")
    with tempfile.TemporaryDirectory() as scratch:
        resigned = resigned_package(scratch)
        check(msiexec("/i", resigned)[0] == 0, "the re-signed build installs (no 1638)")
        check(versions_listed() == [version], "one Add/Remove entry: %s" % versions_listed())
        check(msiexec("/i", package)[0] == 0, "this package installs back over it")
    check(versions_listed() == [version], "one Add/Remove entry: %s" % versions_listed())
    same_state(before, snapshot(), "the same registration and service as before")

    print("-- removal")
    check(wine(probe, "agent") == 0, "an agent runs")
    rc, log = msiexec("/x", package)
    check(rc == 0, "removal succeeds")
    # Wine runs deferred actions at InstallFinalize, after the services are
    # stopped; only the update event ends an agent.
    ended = [line for line in log.splitlines() if line.startswith("EndAgents:")]
    check(ended == ["EndAgents: 1 scheduler processes ended"], "EndAgents ended the running agent: %s" % ended)
    check(wine(probe, "no-agent") == 0, "no agent is left")
    same_state(clean, snapshot(), "registry and services are as before the install")
    check(not folder.exists(), "the install folder is gone")

    print("-- regsvr32 of the same DLLs at the same places, the 32-bit one by the 32-bit regsvr32")
    (folder / "x86").mkdir(parents=True)
    (folder / "Scanmenu.dll").write_bytes(Path(BIN, "Scanmenu.dll").read_bytes())
    (folder / "x86" / "Scanmenu.dll").write_bytes(Path(X86_BIN, "Scanmenu.dll").read_bytes())
    check(wine("regsvr32", "/s", FOLDER + "\\Scanmenu.dll") == 0, "regsvr32 registers")
    check(wine(REGSVR32_X86, "/s", FOLDER + "\\x86\\Scanmenu.dll") == 0,
          "the 32-bit regsvr32 registers the 32-bit copy")
    by_package, by_regsvr32 = registration(installed, clean), registration(snapshot(), clean)
    differing = sorted(k for k in set(by_package) | set(by_regsvr32) if by_package.get(k) != by_regsvr32.get(k))
    check(by_package and not differing, "the package wrote what regsvr32 writes, key by key and value by value "
          "(%d keys%s)" % (len(by_package), "; differing: %s" % differing[:4] if differing else ""))
    wine("regsvr32", "/s", "/u", FOLDER + "\\Scanmenu.dll")
    wine(REGSVR32_X86, "/s", "/u", FOLDER + "\\x86\\Scanmenu.dll")

    return harness.summary()


if __name__ == "__main__":
    harness.run(main)

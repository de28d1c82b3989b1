#!/usr/bin/env python3
"""The Windows Installer package under Wine's own msiexec, in a fresh prefix:

    package_test.py WINE-ENV PREFIX-TOOL MSI OLDER-MSI BIN-DIR

BIN-DIR holds Scanmenu.dll (the same build the package carries),
package_probe.exe and stand_in_scanner.exe. In order: a failed install rolls
back to the clean state; the older package installs and the newer one
replaces it (one entry, one service, the newer version); the service entry
is the scheduler's, the service starts the agent, and a context-menu request
reaches the stand-in scanner with the package's registration alone; the
older package is refused; installing again and repairing change nothing;
removal ends the agent and leaves registry, services and folder as they
were; and regsvr32 of the same DLL at the same place writes exactly the
registration the package wrote.
"""
import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import regexport  # noqa: E402

ENV_FILE, PREFIX_TOOL, MSI, OLDER_MSI, BIN = sys.argv[1:6]
FOLDER = "C:\\Program Files\\Quenor Clean"
SERVICE_KEY = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VeltraneScheduler"
# Windows Installer's own bookkeeping, which comes and goes with every
# package; everything else in HKLM\Software and in the services is compared.
BOOKKEEPING = ("\\microsoft\\windows\\currentversion\\installer\\", "\\classes\\installer\\",
               "\\microsoft\\windows\\currentversion\\uninstall\\", "\\microsoft\\cryptography\\rng")

env = dict(os.environ)
env.update(dict(line.split("=", 1) for line in subprocess.run(
    ["sh", "-c", '. "$1" && env', "sh", ENV_FILE], capture_output=True, text=True, check=True).stdout.splitlines()
    if "=" in line))
prefix = Path(env["WINEPREFIX"])
failures = []


def wine(*command, timeout=180):
    """Runs a Windows program; its exit code. Output goes through a file:
    Wine's helpers would hold a pipe open."""
    with tempfile.TemporaryFile("w+") as out:
        try:
            rc = subprocess.run(["timeout", "-k", "10", str(timeout), env["WINE64"], *command], env=env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT).returncode
        except OSError as error:
            sys.exit("cannot run wine: %s" % error)
        out.seek(0)
        text = out.read().strip()
    if text and command[0] not in ("reg",):
        print("   ", text.replace("\n", "\n    "))
    return rc


def check(condition, what):
    print("%s %s" % ("ok  " if condition else "FAIL", what))
    if not condition:
        failures.append(what)
    return condition


def msiexec(*args):
    """msiexec's exit code, as Wine hands it to Linux: its low 8 bits (1603
    arrives as 67), and the text of its verbose log."""
    with tempfile.TemporaryDirectory() as scratch:
        log = Path(scratch) / "msiexec.log"
        rc = wine("msiexec", *args, "/qn", "/l*v", "Z:" + str(log).replace("/", "\\"))
        raw = log.read_bytes() if log.exists() else b""
    return rc, raw.decode("utf-16" if raw[:2] == b"\xff\xfe" else "latin-1")


def exit_code(code):
    return code & 0xFF


def snapshot():
    """HKLM\\Software and the services, without the installer's bookkeeping."""
    keys = {}
    with tempfile.TemporaryDirectory() as scratch:
        for i, root in enumerate(("HKLM\\Software", "HKLM\\System\\CurrentControlSet\\Services")):
            path = os.path.join(scratch, "%d.reg" % i)
            if wine("reg", "export", root, "Z:" + path.replace("/", "\\"), "/y") != 0:
                sys.exit("reg export %s failed" % root)
            keys.update(regexport.read(path))
    return {k: v for k, v in keys.items() if not any(b in k.lower() + "\\" for b in BOOKKEEPING)}


def folder_listing():
    root = prefix / "drive_c" / "Program Files" / "Quenor Clean"
    return sorted(str(p.relative_to(root)) for p in root.rglob("*")) if root.exists() else None


def key(state, path):
    return next((values for k, values in state.items() if k.lower() == path.lower()), {})


def same_state(before, after, what):
    """Every value the same, and every key that holds one. Keys without any
    value are only reported: Wine's msiexec deletes an emptied key with its
    empty parents on removal, even one that was there before, and leaves the
    empty keys of a rolled-back value."""
    added, _ = regexport.diff(before, after)
    gone, _ = regexport.diff(after, before)
    differing = sorted(k for k, v in list(added.items()) + list(gone.items()) if v)
    empty = sorted(k for k, v in list(added.items()) + list(gone.items()) if not v)
    if empty:
        print("     empty keys that differ: %s" % "; ".join(empty))
    return check(not differing, what + ("" if not differing else " (differs: %s)" % "; ".join(differing[:4])))


def registration(state, clean):
    """What `state` holds beyond `clean` under the classes roots and the
    approved extensions: the content of a registration."""
    added, _ = regexport.diff(clean, state)
    return {k: v for k, v in added.items()
            if "\\classes\\" in k.lower() or k.lower().endswith("\\shell extensions\\approved")}


def product_entries():
    """DisplayVersion of every Add/Remove entry named Quenor Clean."""
    state = snapshot_uninstall()
    return sorted(v.get("DisplayVersion", ("", ""))[1] for v in state.values()
                  if v.get("DisplayName", ("", ""))[1] == "Quenor Clean")


def snapshot_uninstall():
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "u.reg")
        wine("reg", "export", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
             "Z:" + path.replace("/", "\\"), "/y")
        return regexport.read(path)


def main():
    if subprocess.run([PREFIX_TOOL, "create", ENV_FILE], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                      timeout=420).returncode != 0:
        sys.exit("no Wine prefix")
    clean = snapshot()
    msi_path, older_path = ("Z:" + p.replace("/", "\\") for p in (MSI, OLDER_MSI))
    version = lambda p: Path(p).name.split("-")[-2]  # noqa: E731

    print("-- a failed install rolls back")
    blocker = prefix / "drive_c" / "Program Files" / "Quenor Clean" / "Scanmenu.dll"
    blocker.mkdir(parents=True)  # a folder where the DLL must go: InstallFiles fails after scheduler.exe
    rc, _ = msiexec("/i", msi_path)
    check(rc == exit_code(1603), "the blocked install fails with 1603 (got %d)" % rc)
    same_state(clean, snapshot(), "registry and services are as before the failed install")
    check(folder_listing() == ["Scanmenu.dll"], "the folder holds only what was there: %s" % folder_listing())
    blocker.rmdir()
    blocker.parent.rmdir()

    print("-- install the older package, then upgrade")
    rc, _ = msiexec("/i", older_path)
    check(rc == 0, "older package installs (%d)" % rc)
    probe = os.path.join(BIN, "package_probe.exe")
    check(wine(probe, "agent") == 0, "the older package's service started its agent")
    rc, _ = msiexec("/i", msi_path)
    check(rc == 0, "newer package installs over it (%d)" % rc)
    check(product_entries() == [version(MSI)], "one Add/Remove entry, the newer version: %s" % product_entries())
    installed = snapshot()
    entry = key(installed, SERVICE_KEY)
    expected = {"DisplayName": "Veltrane Scheduler", "Description": "Veltrane Scheduler controls scheduled scans",
                "Group": "PNP_TDI", "ObjectName": "LocalSystem", "Type": 0x10, "Start": 2, "ErrorControl": 1}
    check(all(entry.get(k, (None, None))[1] == v for k, v in expected.items()),
          "service entry: own process, automatic, normal errors, PNP_TDI, LocalSystem")
    image = entry.get("ImagePath", ("", ""))[1]
    check(image.strip('"').lower() == (FOLDER + "\\scheduler.exe").lower(), "service program: %s" % image)
    source = key(installed, "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\EventLog\\Application\\"
                            "Veltrane Scheduler")
    check(source.get("EventMessageFile") == ("expand_sz", FOLDER + "\\scheduler.exe") and
          source.get("TypesSupported") == ("dword", 7), "event source: %s" % source)
    check(wine(probe, "agent") == 0, "the new service started the agent")
    check(wine(probe, "menu", FOLDER) == 0,
          "a context-menu request reaches the scanner through the package's registration")

    print("-- downgrade, install again, repair")
    rc, _ = msiexec("/i", older_path)
    check(rc == exit_code(1603), "the older package is refused with 1603 (%d)" % rc)
    check(product_entries() == [version(MSI)], "the newer version stays: %s" % product_entries())
    before = snapshot()
    rc, _ = msiexec("/i", msi_path)
    check(rc == 0, "installing the same package again succeeds (%d)" % rc)
    rc, _ = msiexec("/i", msi_path, "REINSTALL=ALL", "REINSTALLMODE=vomus")
    check(rc == 0, "repair succeeds (%d)" % rc)
    same_state(before, snapshot(), "installing again and repairing change nothing")

    print("-- removal")
    check(wine(probe, "agent") == 0, "an agent runs before the removal")
    rc, log = msiexec("/x", msi_path)
    check(rc == 0, "removal succeeds (%d)" % rc)
    # Wine runs deferred actions at InstallFinalize, after the services were
    # stopped, but only the update event ends an agent.
    ended = [line for line in log.splitlines() if line.startswith("EndAgents:")]
    check(ended == ["EndAgents: no agent runs"], "EndAgents ended the running agent: %s" % ended)
    check(wine(probe, "no-agent") == 0, "no agent is left")
    same_state(clean, snapshot(), "registry and services are as before the install")
    check(folder_listing() is None, "the install folder is gone: %s" % folder_listing())

    print("-- regsvr32 of the same DLL at the same place")
    target = prefix / "drive_c" / "Program Files" / "Quenor Clean"
    target.mkdir(parents=True)
    (target / "Scanmenu.dll").write_bytes(Path(BIN, "Scanmenu.dll").read_bytes())
    check(wine("regsvr32", "/s", FOLDER + "\\Scanmenu.dll") == 0, "regsvr32 registers")
    by_package, by_regsvr32 = registration(installed, clean), registration(snapshot(), clean)
    differing = sorted(k for k in set(by_package) | set(by_regsvr32) if by_package.get(k) != by_regsvr32.get(k))
    check(by_package and not differing, "the package wrote what regsvr32 writes, key by key and value by value "
          "(%d keys%s)" % (len(by_package), "; differing: %s" % differing[:4] if differing else ""))
    wine("regsvr32", "/s", "/u", FOLDER + "\\Scanmenu.dll")

    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    finally:
        subprocess.run([PREFIX_TOOL, "kill", ENV_FILE], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       timeout=120)

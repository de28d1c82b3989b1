"""What the package tests under Wine share: the prefix's environment, wine
and msiexec bounded by a timeout, the ok/FAIL lines, and the prefix ended
(and removed, when it is a throwaway one) however the test ends."""
import os
import subprocess
import sys
import tempfile
from pathlib import Path


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class WinePrefix:
    def __init__(self, env_file, prefix_tool, echo_output):
        self.env_file, self.prefix_tool, self.echo_output = env_file, prefix_tool, echo_output
        exported = subprocess.run(["sh", "-c", '. "$1" && env', "sh", env_file], capture_output=True, text=True,
                                  check=True).stdout.splitlines()
        self.env = dict(os.environ, **dict(line.split("=", 1) for line in exported if "=" in line))
        self.path = Path(self.env["WINEPREFIX"])
        self.failures = []

    def wine(self, *command):
        """The exit code as Wine hands it to Linux: its low 8 bits (1603 is 67).
        Output goes through a file, since Wine's helpers would hold a pipe open."""
        with tempfile.TemporaryFile("w+") as out:
            rc = subprocess.run(["timeout", "-k", "10", "180", self.env["WINE64"], *command], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT).returncode
            out.seek(0)
            text = out.read().strip()
        if self.echo_output and text and command[0] != "reg":
            print("    " + text.replace("\n", "\n    "))
        return rc

    def msiexec(self, *args):  # the exit code and the verbose log
        with tempfile.TemporaryDirectory() as scratch:
            log = Path(scratch) / "msiexec.log"
            rc = self.wine("msiexec", *args, "/qn", "/l*v", windows_path(log))
            raw = log.read_bytes() if log.exists() else b""
        return rc, raw.decode("utf-16" if raw[:2] == b"\xff\xfe" else "latin-1")

    def check(self, condition, what):
        print("%s %s" % ("ok  " if condition else "FAIL", what))
        if not condition:
            self.failures.append(what)

    def summary(self):
        print("%d failed" % len(self.failures) if self.failures else "all passed")
        return 1 if self.failures else 0

    def run(self, main):
        try:
            sys.exit(main())
        finally:
            subprocess.run([self.prefix_tool, "kill", self.env_file], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, timeout=120)
            if self.path.name == "wineprefix":
                subprocess.run(["rm", "-rf", str(self.path)])

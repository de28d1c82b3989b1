"""The Windows Installer package <name>-<version>-x64.msi, in two steps.

    python3 -m tools.make_msi harvest --wine-env ENV --dll Scanmenu.dll [--x86] --output rows.json
    python3 -m tools.make_msi build --name N --version V --binaries DIR --actions PackageActions.dll
        --harvest rows.json [--x86-binaries DIR --x86-harvest rows32.json]
        --source DIR --output-dir DIR

harvest: what Scanmenu.dll's own DllRegisterServer writes, taken from the
real registration: the library is placed in a fresh Wine prefix where the
package puts it, the prefix's HKLM\\Software is exported before and after
`regsvr32`, and the difference is kept, with the library's path and folder
turned into the package's references. Nothing of the registration is written
down a second time here. With --x86 the library is the 32-bit Scanmenu.dll,
placed in the x86 subfolder and registered by the 32-bit regsvr32 (SysWOW64),
as a 32-bit process registers it.

build: WiX source for wixl, then wixl, then the tables wixl does not author
(MsiServiceConfigFailureActions and its action), imported with msibuild.
The package installs the files of PACKAGE_FILES into Program Files\\Quenor
Clean, the service entry from ServiceInstall and ServiceControl rows (names
read from scheduler/shared/service_entry.h), the harvested registration and
the event source as Registry rows, and runs the EndAgents custom action of
PackageActions.dll before files are replaced or removed. With the 32-bit
Scanmenu.dll and its harvest, the package also installs that copy into the
x86 subfolder with its own registration (X86_FILE_ID), for the file dialogs
of 32-bit programs. Then the rows that Windows Installer's rules want and
wixl does not write (apply_table_rules).
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid
import zipfile
from pathlib import Path
from xml.sax.saxutils import quoteattr, unescape

from tools import regexport

# One UpgradeCode for ever: every version of the package names it.
UPGRADE_CODE = uuid.UUID("8F2C4B71-5E36-4D0A-9A1F-C3B7E0D51A62")
# The product's name and maker (the Add/Remove entry, the package's messages)
# are those of scheduler.exe's version resource (ProductName, CompanyName),
# read by product_names below from VERSION_RESOURCE.
VERSION_RESOURCE = "scheduler/program/win32/scheduler.rc.in"
INSTALL_FOLDER_NAME = "Quenor Clean"
# Where the harvest places the library: the package's default folder.
HARVEST_FOLDER = "C:\\Program Files\\" + INSTALL_FOLDER_NAME

# The files of the install folder: (file name, where it comes from): the two
# deliverables, and the Windows 11 sparse package under one name for every
# version, which an administrator stages and provisions from there.
PACKAGE_FILES = [
    ("scheduler.exe", "binaries"),
    ("Scanmenu.dll", "binaries"),
    ("QuenorCleanMenu.msix", "sparse"),
]
SERVICE_FILE = "scheduler.exe"
SERVER_FILE = "Scanmenu.dll"
# The 32-bit Scanmenu.dll: the same name in the subfolder x86, its own file id.
X86_FOLDER_NAME = "x86"
X86_FILE_ID = "x86.Scanmenu.dll"
# The regsvr32 of each kind of process: the 64-bit one, and the 32-bit one of
# SysWOW64.
REGSVR32 = {False: "regsvr32", True: "C:\\windows\\syswow64\\regsvr32.exe"}

# The event source (scheduler/events/scheduler_events.h) and the service's
# recovery (scheduler/shared/service_entry.h) are read from the program's own
# headers, by event_source and failure_actions below.

# The files compared by their version resources at install (the others by
# their MsiFileHash rows).
VERSIONED_FILES = (SERVICE_FILE, SERVER_FILE, X86_FILE_ID)

# The WiX source, with str.format fields for what is worked out here.
WIX_TEMPLATE = "installer/package.wxs.in"

# The property set by the SetInstallFolderText action (the install folder
# without its trailing backslash, as the type library's HELPDIR holds it) is
# read from installer/actions/folder_text.h by folder_text_property below.


# The sparse package's custom actions (PackageActions.dll): each deferred
# action gets "<install folder>|<name>|<family name>|<publisher>" as its
# CustomActionData from a property of its own name.
SPARSE_FILE = "QuenorCleanMenu.msix"  # kSparsePackageFile of installer/actions/sparse_package.h
SPARSE_DATA = "[INSTALLFOLDER]|[QC_SPARSE_NAME]|[QC_SPARSE_FAMILY]|[QC_SPARSE_PUBLISHER]"
# A first install, an upgrade's new product or a repair stages and provisions
# after InstallFiles (4000) (the installing user also registers it at once,
# unless that is LocalSystem); only a real removal removes, before RemoveFiles
# (3500), not the removal of the old product during an upgrade. The rows are
# added with msibuild after wixl, whose placement of custom actions moves the
# others' when more are added. The properties are set right after
# CostFinalize (1000), in SPARSE_DATA_SEQUENCE and on.
SPARSE_ACTIONS = [
    ("StageSparsePackage", "no", 4010, 'NOT REMOVE~="ALL" AND (NOT Installed OR REINSTALL)'),
    ("AddSparsePackageForUser", "yes", 4011,
     'NOT REMOVE~="ALL" AND (NOT Installed OR REINSTALL) AND UserSID<>"S-1-5-18"'),
    ("RemoveSparsePackage", "no", 3490, 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE'),
]
SPARSE_DATA_SEQUENCE = 1010
# Where the context-menu handler finds the family name: kPackageFamilyKey and
# kPackageFamilyValue, read from this header by package_family_value below.
PACKAGE_FAMILY_HEADER = "scanmenu/menu/win32/packaged_command.h"
# Crockford's base32 alphabet, in which Windows writes a publisher id.
PUBLISHER_ID_ALPHABET = "0123456789abcdefghjkmnpqrstvwxyz"


def run(command, **kwargs):
    # Output through a file, not a pipe: Wine's helper processes inherit the
    # standard handles and would hold a pipe open long after the command.
    with tempfile.TemporaryFile("w+") as out:
        result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, text=True,
                                **kwargs)
        out.seek(0)
        text = out.read()
    if result.returncode != 0:
        sys.exit("make_msi: %s failed (%d):\n%s" % (command[0], result.returncode, text))
    return text


# --- harvest -----------------------------------------------------------------

def wine_environment(env_file):
    out = run(["sh", "-c", '. "$1" && env -0', "sh", env_file])
    return dict(item.split("=", 1) for item in out.split("\0") if "=" in item)


def harvest(args):
    env = wine_environment(args.wine_env)
    prefix = Path(env["WINEPREFIX"])
    prefix_tool = Path(__file__).resolve().parent / "wine-prefix.sh"
    run([str(prefix_tool), "create", args.wine_env])
    try:
        folder = prefix / "drive_c" / "Program Files" / INSTALL_FOLDER_NAME
        server = HARVEST_FOLDER + "\\" + SERVER_FILE
        if args.x86:
            folder, server = folder / X86_FOLDER_NAME, HARVEST_FOLDER + "\\" + X86_FOLDER_NAME + "\\" + SERVER_FILE
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(args.dll, folder / SERVER_FILE)
        with tempfile.TemporaryDirectory() as scratch:
            def export(name):
                path = os.path.join(scratch, name)
                wine(env, ["reg", "export", "HKLM\\Software", "Z:" + path.replace("/", "\\"), "/y"])
                return regexport.read(path)
            before = export("before.reg")
            wine(env, [REGSVR32[args.x86], "/s", server])
            after = export("after.reg")
    finally:
        run([str(prefix_tool), "kill", args.wine_env])
        if prefix.name == "wineprefix":  # throwaway: made for this harvest alone
            shutil.rmtree(prefix, ignore_errors=True)
    added, removed = regexport.diff(before, after)
    if removed:
        sys.exit("make_msi: registration removed registry content: %s" % removed)
    rows = harvest_rows(added)
    if not rows:
        sys.exit("make_msi: the registration wrote nothing")
    Path(args.output).parent.mkdir(parents=True, exist_ok=True)
    Path(args.output).write_text(json.dumps(rows, indent=1, sort_keys=True) + "\n")


def wine(env, command):
    run(["timeout", "-k", "10", "120", env["WINE64"]] + command, env=env)


def harvest_rows(added):
    """Registry rows [view, key under HKLM, value name, type, data] of what the
    registration added. A new key without values is made by its subkeys' rows;
    one without either could not be packaged and stops the harvest."""
    rows = []
    for key, values in sorted(added.items()):
        path = key.split("\\", 1)[1]
        lower = path.lower()
        if lower.startswith("software\\classes\\wow6432node\\"):
            continue  # the same keys again, seen through the 32-bit view's link
        view = 64
        if lower.startswith("software\\wow6432node\\"):
            view, path = 32, "Software\\" + path[len("software\\wow6432node\\"):]
        if not values and not any(k.lower().startswith(key.lower() + "\\") for k in added):
            sys.exit("make_msi: the registration made the empty key %s, which a package cannot hold" % key)
        for name, (kind, data) in sorted(values.items()):
            if isinstance(data, bytes):
                data = data.hex()
            rows.append([view, path, name, kind, data])
    return rows


# --- build -------------------------------------------------------------------

def stable_guid(*parts):
    return str(uuid.uuid5(UPGRADE_CODE, "\0".join(parts))).upper()


def formatted(text, references):
    """`text` as a formatted string of the Registry table: brackets escaped,
    then each (literal, reference) replaced, longest literal first."""
    marks = {}
    for i, (literal, reference) in enumerate(sorted(references, key=lambda r: -len(r[0]))):
        mark = "\x01%d\x02" % i
        text = re.sub(re.escape(literal), mark, text, flags=re.IGNORECASE)
        marks[mark] = reference
    text = text.replace("[", "\x03").replace("]", "[\\]]").replace("\x03", "[\\[]")
    for mark, reference in marks.items():
        text = text.replace(mark, reference)
    return text


def registry_value(kind, data, references):
    """(wixl type, value) giving the Registry table's Value column for a value
    of `kind`. wixl writes a "string" as it is, with a leading "#" doubled,
    and an "integer" behind one "#"; "#%" marks an expandable string, which
    wixl's own "expandable" type leaves unmarked, so it goes as an integer."""
    if kind == "sz":
        return "string", formatted(data, references)
    if kind == "expand_sz":
        return "integer", "%" + formatted(data, references)
    if kind == "dword":
        return "integer", "%d" % data
    sys.exit("make_msi: registry values of type %s cannot be packaged" % kind)


def service_entry(source):
    text = (source / "scheduler/shared/service_entry.h").read_text()
    names = dict(re.findall(r'k(\w+) = u"((?:[^"\\]|\\.)*)"', text))
    return {k: v.replace("\\\\", "\\") for k, v in names.items()}


def header_match(source, header, pattern):
    """The first match of `pattern` in one of the program's headers; a header
    that no longer says it ends the build rather than packaging a guess."""
    match = re.search(pattern, (source / header).read_text(), flags=re.S)
    if not match:
        sys.exit("make_msi: %s no longer matches %r" % (header, pattern))
    return match


def header_string(source, header, name):
    """The text of the string constant `name` (u"..." or L"...") of one of the program's headers."""
    pattern = r'\b%s(?:\[\])? =\s*[uL]"((?:[^"\\]|\\.)*)";' % name
    return header_match(source, header, pattern).group(1).replace("\\\\", "\\")


def product_names(source):
    """The product's name and maker, as (ProductName, CompanyName) of scheduler.exe's version resource."""
    return tuple(header_match(source, VERSION_RESOURCE, r'VALUE "%s", "([^"]+)"' % key).group(1)
                 for key in ("ProductName", "CompanyName"))


def package_family_value(source):
    """The key and value name under HKLM where the handler reads the sparse package's family name."""
    return (header_string(source, PACKAGE_FAMILY_HEADER, "kPackageFamilyKey"),
            header_string(source, PACKAGE_FAMILY_HEADER, "kPackageFamilyValue"))


def event_source(source):
    """The event source's registry key and its TypesSupported, as /install writes them."""
    header = "scheduler/events/scheduler_events.h"
    key = header_string(source, header, "kSourceKeyPath")
    types = int(header_match(source, header, r"kTypesSupported = (\d+);").group(1))
    return key, types


def failure_actions(source):
    """The service's recovery as MsiServiceConfigFailureActions columns: the
    actions (SC_ACTION_RESTART 1, SC_ACTION_NONE 0) and their delays in ms,
    each [~]-separated, and the reset period in seconds."""
    header = "scheduler/shared/service_entry.h"
    rows = re.findall(r"\{(true|false), (\d+)\}", header_match(source, header, r"kRecoveryActions = \{\{(.*?)\}\};").group(1))
    if not rows:
        sys.exit("make_msi: %s lists no recovery action" % header)
    reset = 1
    for factor in header_match(source, header, r"kFailureCountResetSeconds = ([\d *]+);").group(1).split("*"):
        reset *= int(factor)
    return ("[~]".join("1" if restart == "true" else "0" for restart, _ in rows),
            "[~]".join(delay for _, delay in rows), reset)


def folder_text_property(source):
    """The property that SetInstallFolderText sets."""
    return header_string(source, "installer/actions/folder_text.h", "kFolderTextProperty")


def registry_element(key, name, wix_type, value, key_path=False):
    attributes = 'Root="HKLM" Key=%s Type="%s" Value=%s' % (quoteattr(key), wix_type, quoteattr(value))
    if name:
        attributes += " Name=%s" % quoteattr(name)
    if key_path:
        attributes += ' KeyPath="yes"'
    return "<RegistryValue %s/>" % attributes


def harvested_element(row, references, key_path=False):
    _, key, name, kind, data = row
    return registry_element(key, name, *registry_value(kind, data, references), key_path=key_path)


def x86_components(args, rows64, references):
    """The 32-bit Scanmenu.dll in the x86 subfolder, as (components of that
    folder, 32-bit components of no folder): its file, in a 64-bit component
    since the folder is under the 64-bit Program Files (ICE80), with the rows
    it wrote in the 64-bit view (keys both views share, and the type
    library's, which the platform writes in both); and the rows of the 32-bit
    view that its own registration wrote, in a 32-bit component of TARGETDIR. A row that the
    64-bit copy's registration writes too stays with that copy, also where the
    data differ (the type library's HELPDIR, the folder of the copy): Wine's
    regsvr32 of the 32-bit copy after the 64-bit one leaves it as the first
    wrote it, and nothing reads it (the library names no help file)."""
    references = [(HARVEST_FOLDER + "\\" + X86_FOLDER_NAME + "\\" + SERVER_FILE, "[#%s]" % X86_FILE_ID)] + references
    written = {(row[0], row[1].lower(), row[2].lower()) for row in rows64}
    own = [row for row in args.x86_rows if (row[0], row[1].lower(), row[2].lower()) not in written]
    inner = ['<File Id=%s Name=%s Source=%s KeyPath="yes"/>' % (
        quoteattr(X86_FILE_ID), quoteattr(SERVER_FILE), quoteattr(args.x86_source.name))]
    inner += [harvested_element(row, references) for row in own if row[0] == 64]
    view32 = [row for row in own if row[0] == 32]
    registration32 = []
    if view32:
        registration32.append(("x86.Registration32", False,
                               [harvested_element(row, references, key_path=(i == 0)) for i, row in enumerate(view32)]))
    return [(X86_FILE_ID, True, inner)], registration32


def wix_source(args, rows, sources):
    service = service_entry(args.source)
    event_key, event_types = event_source(args.source)
    references = [(HARVEST_FOLDER + "\\" + SERVER_FILE, "[#%s]" % SERVER_FILE),
                  (HARVEST_FOLDER, "[%s]" % folder_text_property(args.source))]
    version = args.version
    digest = hashlib.sha256()
    for name, _ in PACKAGE_FILES:
        digest.update(name.encode() + b"\0" + sources[name].read_bytes())
    digest.update(args.actions.read_bytes())
    x86_files, x86_view32 = [], []
    if args.x86_source:
        digest.update(X86_FILE_ID.encode() + b"\0" + args.x86_source.read_bytes() + json.dumps(args.x86_rows).encode())
        x86_files, x86_view32 = x86_components(args, rows, references)
    # Both codes follow the contents: a package of other bytes (re-signed by
    # an organisation, say) is another product of the same version, which
    # replaces this one as an upgrade does.
    product_code = stable_guid("product", version, digest.hexdigest(), json.dumps(rows))
    package_code = stable_guid("package", version, digest.hexdigest(), json.dumps(rows))

    sparse_elements, family = sparse_package_elements(sources[SPARSE_FILE], version)
    components = []
    for name, _ in PACKAGE_FILES:
        inner = ['<File Id=%s Source=%s KeyPath="yes"/>' % (quoteattr(name), quoteattr(sources[name].name))]
        if name == SERVICE_FILE:
            inner += [
                '<ServiceInstall Id="SchedulerService" Name=%s DisplayName=%s Description=%s Type="ownProcess" '
                'Start="auto" ErrorControl="normal" LoadOrderGroup=%s Vital="yes"/>' % (
                    quoteattr(service["Name"]), quoteattr(service["DisplayName"]),
                    quoteattr(service["Description"]), quoteattr(service["LoadOrderGroup"])),
                '<ServiceControl Id="SchedulerService" Name=%s Start="install" Stop="both" Remove="uninstall" '
                'Wait="yes"/>' % quoteattr(service["Name"]),
                # REG_EXPAND_SZ ("#%", see registry_value) with the program's full path.
                registry_element(event_key, "EventMessageFile", "integer", "%%[#%s]" % SERVICE_FILE),
                registry_element(event_key, "TypesSupported", "integer", "%d" % event_types),
            ]
        if name == SERVER_FILE:
            inner += [harvested_element(row, references) for row in rows if row[0] == 64]
            # For the handler, which adds no item where the package's command serves.
            inner.append(registry_element(*package_family_value(args.source), "string", family))
        components.append((name, True, inner))
    # The 32-bit view's rows: a component of no folder (TARGETDIR), since a
    # 32-bit component may not live in a 64-bit folder.
    view32 = [row for row in rows if row[0] == 32]
    registration32 = []
    if view32:
        inner = [harvested_element(row, references, key_path=(i == 0)) for i, row in enumerate(view32)]
        registration32.append(("Registration32", False, inner))

    registration32 += x86_view32

    def component_lines(entries, indent):
        lines = []
        for cid, win64, inner in entries:
            lines.append(indent + '<Component Id=%s Guid="%s" Win64="%s">' % (
                quoteattr(cid), stable_guid("component", cid), "yes" if win64 else "no"))
            lines += [indent + "  " + line for line in inner]
            lines.append(indent + "</Component>")
        return lines
    component_xml = component_lines(components, "        ")
    if x86_files:
        component_xml.append('        <Directory Id="X86FOLDER" Name=%s>' % quoteattr(X86_FOLDER_NAME))
        component_xml += component_lines(x86_files, "          ")
        component_xml.append("        </Directory>")
    component_xml32 = component_lines(registration32, "      ")
    refs = ["      <ComponentRef Id=%s/>" % quoteattr(cid) for cid, _, _ in components + x86_files + registration32]

    template = (args.source / WIX_TEMPLATE).read_text()
    product_name, manufacturer = product_names(args.source)
    return template.format(product=product_code, package=package_code, name=quoteattr(product_name), version=version,
           maker=quoteattr(manufacturer), upgrade=str(UPGRADE_CODE).upper(), plain=product_name,
           icon=quoteattr(args.icon.name), actions=quoteattr(args.actions.name),
           folder=quoteattr(INSTALL_FOLDER_NAME), components="\n".join(component_xml),
           components32="\n".join(component_xml32), refs="\n".join(refs),
           sparse_elements="\n".join("    " + e for e in sparse_elements)), \
        package_code


def publisher_id(publisher):
    """The 13 characters Windows derives from a package's publisher: the first
    8 bytes of the SHA-256 of its UTF-16LE text, as 65 bits (one zero bit
    appended) in groups of five."""
    bits = int.from_bytes(hashlib.sha256(publisher.encode("utf-16-le")).digest()[:8], "big") << 1
    return "".join(PUBLISHER_ID_ALPHABET[(bits >> shift) & 31] for shift in range(60, -1, -5))


def family_name(name, publisher):
    return "%s_%s" % (name, publisher_id(publisher))


def sparse_identity(msix):
    """Name, Publisher and Version of the package's Identity, from its manifest."""
    with zipfile.ZipFile(msix) as archive:
        manifest = archive.read("AppxManifest.xml").decode("utf-8")
    identity = re.search(r"<Identity\b[^>]*>", manifest)
    if not identity:
        sys.exit("make_msi: %s has no Identity" % msix)
    attributes = dict(re.findall(r'(\w+)="([^"]*)"', identity.group(0)))
    return {k: unescape(attributes.get(k, ""), {"&quot;": '"'}) for k in ("Name", "Publisher", "Version")}


def sparse_package_elements(msix, version):
    """The properties and custom actions that deploy the sparse package (their
    sequence rows: add_sparse_package_sequence). Its version must be the
    product's."""
    identity = sparse_identity(msix)
    expected = ".".join((version.split(".") + ["0"] * 4)[:4])
    if identity["Version"] != expected:
        sys.exit("make_msi: %s has version %s, the product %s" % (msix, identity["Version"], expected))
    properties = {"QC_SPARSE_NAME": identity["Name"], "QC_SPARSE_PUBLISHER": identity["Publisher"],
                  "QC_SPARSE_FAMILY": family_name(identity["Name"], identity["Publisher"])}
    elements = ["<Property Id=%s Value=%s/>" % (quoteattr(k), quoteattr(v)) for k, v in sorted(properties.items())]
    for action, impersonate, _, _ in SPARSE_ACTIONS:
        elements.append('<CustomAction Id="Set%s" Property="%s" Value=%s/>' % (action, action, quoteattr(SPARSE_DATA)))
        elements.append('<CustomAction Id="%s" BinaryKey="PackageActions" DllEntry="%s" Execute="deferred" '
                        'Impersonate="%s" Return="ignore"/>' % (action, action, impersonate))
    return elements, properties["QC_SPARSE_FAMILY"]


def add_sparse_package_sequence(msi, work):
    """The sequence rows of the sparse package's actions."""
    sequence = run(["msiinfo", "export", str(msi), "InstallExecuteSequence"]).splitlines()
    for i, (action, _, number, condition) in enumerate(SPARSE_ACTIONS):
        sequence.append("Set%s\t\t%d" % (action, SPARSE_DATA_SEQUENCE + i))
        sequence.append("%s\t%s\t%d" % (action, condition, number))
    (work / "InstallExecuteSequence.idt").write_text("\r\n".join(sequence) + "\r\n")
    run(["msibuild", str(msi), "-i", str(work / "InstallExecuteSequence.idt")])


def idt(path, columns, types, table_keys, rows):
    lines = ["\t".join(columns), "\t".join(types), "\t".join(table_keys)]
    lines += ["\t".join("" if v is None else str(v) for v in row) for row in rows]
    path.write_text("\r\n".join(lines) + "\r\n")


def add_failure_actions(msi, work, service_name, recovery):
    """MsiServiceConfigFailureActions, applied by MsiConfigureServices at
    install and reinstall (events 1 + 4), between InstallServices and
    StartServices."""
    actions, delays, reset = recovery
    table = work / "MsiServiceConfigFailureActions.idt"
    idt(table, ["MsiServiceConfigFailureActions", "Name", "Event", "ResetPeriod", "RebootMessage", "Command",
                "Actions", "DelayActions", "Component_"],
        ["s72", "l255", "i2", "I4", "L255", "L255", "S255", "S255", "s72"],
        ["MsiServiceConfigFailureActions", "MsiServiceConfigFailureActions"],
        [["SchedulerRecovery", service_name, 5, reset, None, None, actions, delays, SERVICE_FILE]])
    sequence = run(["msiinfo", "export", str(msi), "InstallExecuteSequence"]).splitlines()
    sequence.append("MsiConfigureServices\tVersionNT >= 600\t5850")
    (work / "InstallExecuteSequence.idt").write_text("\r\n".join(sequence) + "\r\n")
    for name in ("MsiServiceConfigFailureActions.idt", "InstallExecuteSequence.idt"):
        run(["msibuild", str(msi), "-i", str(work / name)])


def version_resource(path):
    """(version "a.b.c.d", language id) of a PE file's version resource: the
    fixed file information's file version, and the first Translation."""
    data = path.read_bytes()
    start = data.find("VS_VERSION_INFO".encode("utf-16-le"))
    fixed = data.find(struct.pack("<I", 0xFEEF04BD), start)
    key = data.find("Translation".encode("utf-16-le") + b"\0\0", fixed)
    if start < 0 or fixed < 0 or key < 0:
        sys.exit("make_msi: %s has no version resource with a translation" % path.name)
    ms, ls = struct.unpack_from("<II", data, fixed + 8)
    value = (key + len("Translation") * 2 + 2 + 3) & ~3  # the value starts on a 32-bit boundary
    language, _ = struct.unpack_from("<HH", data, value)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), language


# Custom action type bits (msidbCustomActionType*): a DLL in the Binary table,
# result ignored, rollback only, in the script (deferred), no impersonation.
CA_DLL, CA_IGNORE_RESULT, CA_ROLLBACK, CA_IN_SCRIPT, CA_NO_IMPERSONATE = 0x1, 0x40, 0x100, 0x400, 0x800


def edit_table(msi, work, table, edit):
    """Exports `table`, lets edit(rows) change its rows (lists of column
    texts) and imports the result in its place."""
    lines = run(["msiinfo", "export", str(msi), table]).splitlines()
    header, rows = lines[:3], [line.split("\t") for line in lines[3:] if line]
    rows = edit(rows)
    (work / (table + ".idt")).write_text("\r\n".join(header + ["\t".join(row) for row in rows]) + "\r\n")
    run(["msibuild", str(msi), "-i", str(work / (table + ".idt"))])


def apply_table_rules(msi, work, sources, version):
    """What Windows Installer's rules ask of our tables and wixl does not
    write:
    - RemoveExistingProducts right after InstallInitialize, before any action
      that writes to the script (ICE63): the old version's removal comes
      first in the same transaction, then the rollback action and EndAgents,
      which also ends agents of an old version that could not end its own;
    - an immediate custom action carries no no-impersonate bit (ICE68);
    - the versioned files carry their version and language, and no hash
      (a hash is for unversioned files only);
    - the service's creation is vital: its failure fails the install;
    - the upgrade also replaces a product of the same version (one of other
      contents, hence another product code)."""
    def sequence(rows):
        # wixl resolves chains of After= loosely: each of ours gets its place.
        at = {row[0]: int(row[2]) for row in rows}
        places = {"SetInstallFolderText": ("CostFinalize", 1), "SetEndAgentsData": ("CostFinalize", 2),
                  "RemoveExistingProducts": ("InstallInitialize", 1),
                  "StartServiceOnRollback": ("InstallInitialize", 2), "EndAgents": ("InstallInitialize", 3)}
        for action, (anchor, offset) in places.items():
            if action not in at:
                sys.exit("make_msi: %s is not sequenced" % action)
            next(row for row in rows if row[0] == action)[2] = str(at[anchor] + offset)
        return sorted(rows, key=lambda row: int(row[2]))

    def custom_actions(rows):
        for row in rows:
            if row[0] == "StartServiceOnRollback":  # wixl writes it as an immediate action
                row[1] = str(CA_DLL | CA_IGNORE_RESULT | CA_ROLLBACK | CA_IN_SCRIPT | CA_NO_IMPERSONATE)
            elif not int(row[1]) & CA_IN_SCRIPT:
                row[1] = str(int(row[1]) & ~CA_NO_IMPERSONATE)
        return rows

    def files(rows):
        for row in rows:
            if row[0] in VERSIONED_FILES:
                file_version, language = version_resource(sources[row[0]])
                row[4], row[5] = file_version, str(language)
        return rows

    def vital_service(rows):
        for row in rows:
            row[5] = str(int(row[5]) | 0x8000)  # msidbServiceInstallErrorControlVital
        return rows

    def same_version_upgrade(rows):
        for row in rows:
            if row[2] == version and not int(row[4]) & 2:  # VersionMax, not msidbUpgradeAttributesOnlyDetect
                row[4] = str(int(row[4]) | 0x200)  # msidbUpgradeAttributesVersionMaxInclusive
        return rows

    edit_table(msi, work, "InstallExecuteSequence", sequence)
    edit_table(msi, work, "CustomAction", custom_actions)
    edit_table(msi, work, "File", files)
    edit_table(msi, work, "MsiFileHash", lambda rows: [row for row in rows if row[0] not in VERSIONED_FILES])
    edit_table(msi, work, "ServiceInstall", vital_service)
    edit_table(msi, work, "Upgrade", same_version_upgrade)


def build(args):
    rows = json.loads(Path(args.harvest).read_text())
    folders = {"binaries": args.binaries}
    if args.sparse:
        folders["sparse"] = args.sparse
    sources = {}
    for name, origin in PACKAGE_FILES:
        if origin not in folders or not (folders[origin] / name).is_file():
            sys.exit("make_msi: missing %s (from %s)" % (name, origin))
        sources[name] = (folders[origin] / name).resolve()
    args.actions = args.actions.resolve()
    args.x86_source, args.x86_rows = None, []
    if args.x86_binaries or args.x86_harvest:
        if not (args.x86_binaries and args.x86_harvest):
            sys.exit("make_msi: --x86-binaries and --x86-harvest go together")
        if not (args.x86_binaries / SERVER_FILE).is_file():
            sys.exit("make_msi: missing %s (from x86-binaries)" % SERVER_FILE)
        args.x86_source, args.x86_rows = (args.x86_binaries / SERVER_FILE).resolve(), json.loads(
            Path(args.x86_harvest).read_text())
    args.icon = (args.source / "scanmenu/resources/scanmenu.ico").resolve()
    service_name = service_entry(args.source)["Name"]

    args.output_dir.mkdir(parents=True, exist_ok=True)
    msi = args.output_dir / ("%s-%s-x64.msi" % (args.name, args.version))
    with tempfile.TemporaryDirectory() as scratch:
        work = Path(scratch)
        # Copies with one fixed time: the cabinet takes the files' times.
        epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
        staged = work / "files"
        staged.mkdir()
        for name, path in list(sources.items()) + [("PackageActions.dll", args.actions), ("product.ico", args.icon)]:
            shutil.copyfile(path, staged / name)
            os.utime(staged / name, (epoch, epoch))
            if name in sources:
                sources[name] = staged / name
        if args.x86_source:
            shutil.copyfile(args.x86_source, staged / X86_FILE_ID)
            os.utime(staged / X86_FILE_ID, (epoch, epoch))
            args.x86_source = staged / X86_FILE_ID
        args.actions, args.icon = staged / "PackageActions.dll", staged / "product.ico"
        source, package_code = wix_source(args, rows, sources)
        (work / "package.wxs").write_text(source)
        if args.keep_source:
            shutil.copyfile(work / "package.wxs", args.output_dir / "package.wxs")
        env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
        # wixl takes the files by their names, from the folder it runs in.
        run(["wixl", "-a", "x64", "-o", str(work / "package.msi"), str(work / "package.wxs")], env=env, cwd=staged)
        add_failure_actions(work / "package.msi", work, service_name, failure_actions(args.source))
        versioned = dict(sources, **({X86_FILE_ID: args.x86_source} if args.x86_source else {}))
        apply_table_rules(work / "package.msi", work, versioned, args.version)
        add_sparse_package_sequence(work / "package.msi", work)
        # wixl draws a new package code each run; the package's is derived
        # from its version and contents.
        run(["msibuild", str(work / "package.msi"), "-s", *product_names(args.source), "x64;1033",
             "{%s}" % package_code])
        shutil.copyfile(work / "package.msi", msi)
    print(msi)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    h = sub.add_parser("harvest")
    h.add_argument("--wine-env", required=True)
    h.add_argument("--dll", required=True)
    h.add_argument("--x86", action="store_true", help="the DLL is the 32-bit Scanmenu.dll")
    h.add_argument("--output", required=True)
    b = sub.add_parser("build")
    b.add_argument("--name", required=True)
    b.add_argument("--version", required=True)
    b.add_argument("--binaries", type=Path, required=True)
    b.add_argument("--sparse", type=Path)
    b.add_argument("--actions", type=Path, required=True)
    b.add_argument("--harvest", required=True)
    b.add_argument("--x86-binaries", type=Path, help="folder of the 32-bit Scanmenu.dll")
    b.add_argument("--x86-harvest", help="the 32-bit Scanmenu.dll's harvested registration")
    b.add_argument("--source", type=Path, required=True)
    b.add_argument("--output-dir", type=Path, required=True)
    b.add_argument("--keep-source", action="store_true", help="also write package.wxs beside the package")
    args = parser.parse_args()
    harvest(args) if args.command == "harvest" else build(args)


if __name__ == "__main__":
    main()

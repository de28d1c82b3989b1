"""The texts of Scanmenu.dll, scheduler.exe and the policy templates, in every
language of languages/ (one file per Windows language tag, en-US the source).

  python3 -m tools.languages check POLICY_DIR
      every language complete and sound, and the ADML files in POLICY_DIR
      what the language files give
  python3 -m tools.languages adml POLICY_DIR
      writes POLICY_DIR/<tag>/veltrane.adml
  python3 -m tools.languages rc COMPONENT OUTPUT
      the string tables of scanmenu or scheduler, one LANGUAGE block each,
      and each again under its neutral language (see neutral_tables)
  python3 -m tools.languages manifest-resources
      the <Resource Language> lines of the sparse package's manifest, en-us
      first

Every command first checks the languages: each file has every text of
en-US.toml and no other, none is empty, none lost a product name or gained or
lost a placeholder, and no two files claim one language id. It stops with the
faults listed when any is found.
"""
import argparse
import pathlib
import re
import sys
import tomllib
from xml.sax.saxutils import escape

LANGUAGES_DIR = pathlib.Path(__file__).resolve().parent.parent / "languages"
SOURCE_TAG = "en-US"

# The names no translation may touch.
PRODUCT_NAMES = ("Quenor Clean", "Veltrane")
# printf conversions, format fields, policy references and menu accelerators.
PLACEHOLDER = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z%]|\{[^{}]*\}|\$\([^)]*\)|&")

# The symbolic resource ids of each component's texts (resource_ids.h of each).
RESOURCE_IDS = {
    "scanmenu": {"menu_item": "IDS_MENU_ITEM", "help_text": "IDS_HELP_TEXT", "command_title": "IDS_COMMAND_TITLE"},
    "scheduler": {"installed": "IDS_SERVICE_INSTALLED", "uninstalled": "IDS_SERVICE_UNINSTALLED"},
}
RESOURCE_HEADERS = {"scanmenu": "resource_ids.h", "scheduler": "scheduler_resource_ids.h"}

# The presentation elements of the templates; {} is the language's label.
PRESENTATIONS = {
    "SchedulerWhen": '<dropdownList refId="SchedulerWhen" noSort="true" defaultItem="1">{}</dropdownList>',
    "SchedulerAround": ('<textBox refId="SchedulerAround">\n'
                        '          <label>{}</label>\n'
                        '          <defaultValue>12:00</defaultValue>\n'
                        '        </textBox>'),
    "SchedulerScanType": '<dropdownList refId="SchedulerScanType" noSort="true" defaultItem="0">{}</dropdownList>',
    "SchedulerDeferBusyMinutes":
        '<decimalTextBox refId="SchedulerDeferBusyMinutes" defaultValue="30">{}</decimalTextBox>',
    "SchedulerRandomDelayMinutes":
        '<decimalTextBox refId="SchedulerRandomDelayMinutes" defaultValue="60">{}</decimalTextBox>',
    "SchedulerRunAs": '<dropdownList refId="SchedulerRunAs" noSort="true" defaultItem="0">{}</dropdownList>',
}


def flatten(table, prefix=""):
    """The texts of a language file as {"section.key": text}, in file order."""
    texts = {}
    for key, value in table.items():
        if isinstance(value, dict):
            texts.update(flatten(value, f"{prefix}{key}."))
        else:
            texts[f"{prefix}{key}"] = value
    return texts


def load():
    """{tag: (language id, texts)} for every language file, en-US first."""
    languages = {}
    for path in sorted(LANGUAGES_DIR.glob("*.toml"), key=lambda p: (p.stem != SOURCE_TAG, p.stem)):
        with path.open("rb") as f:
            data = tomllib.load(f)
        language_id = data.pop("language_id", None)
        languages[path.stem] = (language_id, flatten(data))
    return languages


def faults_of(languages):
    faults = []
    if SOURCE_TAG not in languages:
        return [f"{SOURCE_TAG}.toml is missing"]
    source = languages[SOURCE_TAG][1]
    seen_ids = {}
    for tag, (language_id, texts) in languages.items():
        if not isinstance(language_id, int) or not 0 < language_id <= 0xFFFF or language_id & 0x3FF == 0:
            faults.append(f"{tag}: language_id must be the language's LANGID, such as 0x0407 for de-DE")
        elif language_id in seen_ids:
            faults.append(f"{tag}: language_id {language_id:#06x} is also {seen_ids[language_id]}'s")
        else:
            seen_ids[language_id] = tag
        for key in source.keys() - texts.keys():
            faults.append(f"{tag}: {key} is missing")
        for key in texts.keys() - source.keys():
            faults.append(f"{tag}: {key} is not a text of {SOURCE_TAG}")
        for key in source.keys() & texts.keys():
            text, english = texts[key], source[key]
            if not isinstance(text, str) or not text.strip():
                faults.append(f"{tag}: {key} is empty")
                continue
            for name in PRODUCT_NAMES:
                if text.count(name) != english.count(name):
                    faults.append(f"{tag}: {key} must name \"{name}\" {english.count(name)} time(s), as it stands")
            if sorted(PLACEHOLDER.findall(text)) != sorted(PLACEHOLDER.findall(english)):
                faults.append(f"{tag}: {key} has placeholders {sorted(PLACEHOLDER.findall(text))}, "
                              f"{SOURCE_TAG} has {sorted(PLACEHOLDER.findall(english))}")
    return faults


def checked_languages():
    languages = load()
    faults = faults_of(languages)
    if faults:
        sys.exit("languages: " + "\n languages: ".join(faults))
    return languages


def xml_text(text):
    return escape(text, {'"': "&quot;"})


def adml(texts, order):
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<policyDefinitionResources xmlns:xsd="http://www.w3.org/2001/XMLSchema"',
             '                           xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"',
             '                           revision="1.0" schemaVersion="1.0"',
             '                           xmlns="http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions">',
             f'  <displayName>{xml_text(texts["policy.displayName"])}</displayName>',
             f'  <description>{xml_text(texts["policy.description"])}</description>',
             '  <resources>',
             '    <stringTable>']
    for key in order:
        if key.startswith("policy.strings."):
            lines.append(f'      <string id="{key[15:]}">{xml_text(texts[key])}</string>')
    lines += ['    </stringTable>', '    <presentationTable>']
    for name, element in PRESENTATIONS.items():
        lines += [f'      <presentation id="{name}">',
                  '        ' + element.format(xml_text(texts[f"policy.presentations.{name}"])),
                  '      </presentation>']
    lines += ['    </presentationTable>', '  </resources>', '</policyDefinitionResources>', '']
    return "\n".join(lines)


def admls(languages):
    order = list(languages[SOURCE_TAG][1])
    return {f"{tag}/veltrane.adml": adml(texts, order) for tag, (_, texts) in languages.items()}


def rc_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '""').replace("\n", "\\n") + '"'


def neutral_tables(languages):
    """[(label, language id, texts)] to emit beside the languages' own: each
    primary language once more under its neutral form (fr for fr-CA, pt for
    pt-PT, en for en-GB: Windows' resource loader tries the display language,
    then its neutral form), taken from the first tag of that language in file
    order (en-US first). Nothing goes under LANG_NEUTRAL itself: a lookup in
    the thread's language asks for LANG_NEUTRAL first and would find that
    table before the display language's. So the loader's own last resort,
    English (en-US, then en), is what a language without a translation gets."""
    tables, seen = [], set()
    for tag, (language_id, texts) in languages.items():
        primary = language_id & 0x3FF
        if primary not in seen:
            seen.add(primary)
            tables.append((f"{tag.split('-')[0]} (neutral, from {tag})", primary, texts))
    return tables


def rc(languages, component):
    ids = RESOURCE_IDS[component]
    lines = [f"// The {component} texts of every language, made by tools/languages.py from",
             "// languages/*.toml: edit those, not this.",
             "#pragma code_page(65001)",
             f'#include "{RESOURCE_HEADERS[component]}"', ""]
    tables = [(tag, language_id, texts) for tag, (language_id, texts) in languages.items()]
    for tag, language_id, texts in tables + neutral_tables(languages):
        lines += [f"// {tag}", f"LANGUAGE {language_id & 0x3FF:#04x}, {language_id >> 10:#04x}", "STRINGTABLE", "BEGIN"]
        lines += [f"  {symbol} {rc_string(texts[f'{component}.{key}'])}" for key, symbol in ids.items()]
        lines += ["END", ""]
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tools.languages", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    for command in ("check", "adml"):
        commands.add_parser(command).add_argument("policy_dir", type=pathlib.Path, metavar="POLICY_DIR")
    rc_command = commands.add_parser("rc")
    rc_command.add_argument("component", choices=sorted(RESOURCE_IDS), metavar="COMPONENT")
    rc_command.add_argument("output", type=pathlib.Path, metavar="OUTPUT")
    commands.add_parser("manifest-resources")
    args = parser.parse_args(argv)
    if args.command in ("check", "adml"):
        policy_dir = args.policy_dir
        wanted = admls(checked_languages())
        if args.command == "adml":
            for name, text in wanted.items():
                (policy_dir / name).parent.mkdir(parents=True, exist_ok=True)
                (policy_dir / name).write_text(text, encoding="utf-8", newline="\n")
            return 0
        stale = [name for name, text in wanted.items()
                 if not (policy_dir / name).is_file() or (policy_dir / name).read_text(encoding="utf-8") != text]
        extra = [p.relative_to(policy_dir).as_posix() for p in policy_dir.glob("*/*.adml")
                 if p.relative_to(policy_dir).as_posix() not in wanted]
        for name in stale:
            print(f"languages: {policy_dir / name} is not what the language files give: run python3 -m tools.languages adml")
        for name in extra:
            print(f"languages: {policy_dir / name} has no language file")
        return 1 if stale or extra else 0
    if args.command == "manifest-resources":
        print("\n".join(f'    <Resource Language="{tag.lower()}" />' for tag in checked_languages()))
        return 0
    args.output.write_text(rc(checked_languages(), args.component), encoding="utf-8", newline="\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())

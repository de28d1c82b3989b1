"""Turns the guides under docs/ into plain HTML pages that any browser opens,
for the release zip: no Markdown renderer needed on the machine that reads
them.

    python3 -m tools.docs_html GUIDE.md [OUTPUT.html]

It reads the part of Markdown the guides are written in: headings (#), fenced
code blocks (```), tables (| a | b |), lists (- and 1.) whose items continue
on lines indented by two or more spaces, paragraphs, <!-- comment --> lines
(left out), and inline `code`,
**bold**, [links](target) and ![pictures](file). A link to another guide
(x.md or x.md#part) becomes a link to its page (x.html). Headings get the ids
the repository's Markdown view gives them, so that #part links work in both.
"""
import argparse
import html
import re
import sys
from pathlib import Path

STYLE = """body { font-family: Segoe UI, Arial, sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em;
  line-height: 1.45; color: #1b1b1b; }
code, pre { font-family: Consolas, monospace; background: #f3f3f3; }
pre { padding: .6em; overflow-x: auto; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: .3em .5em; vertical-align: top; text-align: left; }
img { max-width: 100%; }"""

LINK = re.compile(r"(!?)\[([^\]]*)\]\(([^)\s]+)\)")
# What ends a paragraph without a blank line; as in the repository's Markdown
# view, a numbered list does so only when it starts at 1.
BLOCK_START = re.compile(r"^(#{1,6} |```|\||- |1\. )")


def slug(title, seen=None):
    """The id of a heading: its text without Markdown marks, lower case,
    without punctuation but hyphens and underscores, spaces as hyphens; a
    repeated id gets -1, -2, ..."""
    text = LINK.sub(lambda m: m.group(2), title)
    text = re.sub(r"[`*]", "", text).strip().lower()
    text = re.sub(r"[^\w\- ]", "", text).replace(" ", "-")
    if seen is not None:
        base, n = text, 0
        while text in seen:
            n += 1
            text = f"{base}-{n}"
        seen.add(text)
    return text


def page_target(target):
    """A relative link to another guide points at its page."""
    if re.match(r"^[a-z][a-z0-9+.-]*:", target) or target.startswith("#"):
        return target
    path, sep, anchor = target.partition("#")
    if path.endswith(".md"):
        path = path[:-3] + ".html"
    return path + sep + anchor


def inline(text, pictures):
    """One line's inline marks as HTML; code spans first, so that nothing
    inside them is read as a mark."""
    parts = re.split(r"(`[^`]*`)", text)
    out = []
    for part in parts:
        if part.startswith("`") and part.endswith("`") and len(part) >= 2:
            out.append("<code>" + html.escape(part[1:-1]) + "</code>")
            continue

        def link(m):
            bang, label, target = m.groups()
            if bang:
                pictures.append(target)
                return '<img src="%s" alt="%s">' % (html.escape(target), html.escape(label))
            return '<a href="%s">%s</a>' % (html.escape(page_target(target)), html.escape(label))

        pieces, last = [], 0
        for m in LINK.finditer(part):
            pieces.append(html.escape(part[last:m.start()], quote=False))
            pieces.append(link(m))
            last = m.end()
        pieces.append(html.escape(part[last:], quote=False))
        joined = "".join(pieces)
        out.append(re.sub(r"\*\*(.+?)\*\*", r"<strong>\1</strong>", joined))
    return "".join(out)


def table_cells(line):
    line = line.strip()
    if line.startswith("|"):
        line = line[1:]
    if line.endswith("|"):
        line = line[:-1]
    return [c.strip() for c in re.split(r"(?<!\\)\|", line)]


def convert(text, title=None):
    """(HTML page, pictures it shows) of one guide's Markdown text."""
    lines = text.splitlines()
    body, pictures, seen = [], [], set()
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
            continue
        heading = re.match(r"^(#{1,6}) (.*)$", line)
        if re.fullmatch(r"\s*<!--.*-->\s*", line):
            i += 1  # a comment, as the repository's Markdown view hides it
        elif heading:
            level, words = len(heading.group(1)), heading.group(2).strip()
            title = title or re.sub(r"[`*]", "", words)
            body.append('<h%d id="%s">%s</h%d>' % (level, slug(words, seen), inline(words, pictures), level))
            i += 1
        elif line.startswith("```"):
            i += 1
            code = []
            while i < len(lines) and not lines[i].startswith("```"):
                code.append(lines[i])
                i += 1
            i += 1
            body.append("<pre>" + html.escape("\n".join(code)) + "</pre>")
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(table_cells(lines[i]))
                i += 1
            head, rest = rows[0], [r for r in rows[1:] if not all(re.fullmatch(r":?-+:?", c) for c in r)]
            out = ["<table>", "<tr>" + "".join("<th>%s</th>" % inline(c, pictures) for c in head) + "</tr>"]
            out += ["<tr>" + "".join("<td>%s</td>" % inline(c, pictures) for c in r) + "</tr>" for r in rest]
            body.append("\n".join(out + ["</table>"]))
        elif re.match(r"^(- |\d+\. )", line):
            ordered = not line.startswith("- ")
            items = []
            while i < len(lines):
                item = re.match(r"^(- |\d+\. )(.*)$", lines[i])
                if item and (not item.group(1).startswith("-")) == ordered:
                    items.append(item.group(2))
                elif items and lines[i].startswith("  ") and lines[i].strip():
                    items[-1] += " " + lines[i].strip()
                else:
                    break
                i += 1
            tag = "ol" if ordered else "ul"
            body.append("<%s>\n%s\n</%s>" % (tag, "\n".join("<li>%s</li>" % inline(t, pictures) for t in items), tag))
        else:
            para = []
            while i < len(lines) and lines[i].strip() and not (para and BLOCK_START.match(lines[i])):
                para.append(lines[i].strip())
                i += 1
            body.append("<p>%s</p>" % inline(" ".join(para), pictures))
    page = ('<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>%s</title>\n'
            "<style>\n%s\n</style>\n</head>\n<body>\n%s\n</body>\n</html>\n") % (
                html.escape(title or ""), STYLE, "\n".join(body))
    return page, pictures


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tools.docs_html", description=__doc__.splitlines()[0])
    parser.add_argument("guide", type=Path, metavar="GUIDE.md")
    parser.add_argument("output", type=Path, nargs="?", metavar="OUTPUT.html", help="standard output without it")
    args = parser.parse_args(argv)
    page, _ = convert(args.guide.read_text(encoding="utf-8"))
    if args.output:
        args.output.write_text(page, encoding="utf-8")
    else:
        sys.stdout.write(page)


if __name__ == "__main__":
    main()

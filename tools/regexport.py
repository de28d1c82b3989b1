"""Reads the text that `reg export` writes (REGEDIT5, UTF-16) into a dict:
{key path: {value name ('' for the default value): (type, data)}}, where type
is one of 'sz', 'expand_sz', 'multi_sz', 'dword', 'qword', 'binary' or
'hex(N)', and data is a str, a list of str, an int or bytes."""

import re

_TYPES = {'2': 'expand_sz', '7': 'multi_sz', 'b': 'qword'}


def _unquote(text, start):
    """The quoted string beginning at text[start] ('"'), and the index after it."""
    out, i = [], start + 1
    while text[i] != '"':
        if text[i] == '\\':
            i += 1
        out.append(text[i])
        i += 1
    return ''.join(out), i + 1


def _decode(kind, raw):
    if kind == 'binary' or kind.startswith('hex('):
        return bytes(int(b, 16) for b in raw.split(',') if b)
    data = bytes(int(b, 16) for b in raw.split(',') if b)
    if kind == 'qword':
        return int.from_bytes(data, 'little')
    text = data.decode('utf-16-le')
    if kind == 'multi_sz':
        return [s for s in text.rstrip('\0').split('\0')] if text.rstrip('\0') else []
    return text.rstrip('\0')


def parse(text):
    keys = {}
    current = None
    # Long binary values continue on the next line after a trailing backslash.
    lines = re.sub(r'\\\r?\n\s*', '', text).splitlines()
    for line in lines:
        if line.startswith('[') and line.endswith(']'):
            current = keys.setdefault(line[1:-1], {})
            continue
        if current is None or not line or line.startswith(('Windows Registry', 'REGEDIT')):
            continue
        if line.startswith('@='):
            name, rest = '', line[2:]
        else:
            name, end = _unquote(line, 0)
            rest = line[end + 1:]
        if rest.startswith('"'):
            current[name] = ('sz', _unquote(rest, 0)[0])
        elif rest.startswith('dword:'):
            current[name] = ('dword', int(rest[6:], 16))
        elif rest.startswith('hex:'):
            current[name] = ('binary', _decode('binary', rest[4:]))
        else:
            m = re.match(r'hex\(([0-9a-fA-F]+)\):(.*)', rest)
            if not m:
                raise ValueError('unreadable value line: ' + line)
            kind = _TYPES.get(m.group(1).lower(), 'hex(%s)' % m.group(1))
            current[name] = (kind, _decode(kind, m.group(2)))
    return keys


def read(path):
    with open(path, 'rb') as f:
        raw = f.read()
    return parse(raw.decode('utf-16') if raw[:2] in (b'\xff\xfe', b'\xfe\xff') else raw.decode('utf-8'))


def diff(before, after):
    """What `after` adds to `before`: the keys that are new or hold new or
    changed values, each with those values only (a new key with no values
    maps to {}). Keys and values that `after` lacks are listed apart."""
    added = {}
    before_lower = {k.lower(): v for k, v in before.items()}
    for key, values in after.items():
        old = before_lower.get(key.lower())
        if old is None:
            added[key] = dict(values)
            continue
        changed = {n: v for n, v in values.items() if old.get(n) != v}
        if changed:
            added[key] = changed
    after_lower = {k.lower(): v for k, v in after.items()}
    removed = sorted(k for k in before if k.lower() not in after_lower)
    removed += sorted('%s :: %s' % (k, n) for k, vs in before.items() if k.lower() in after_lower
                      for n in vs if n not in after_lower[k.lower()])
    return added, removed

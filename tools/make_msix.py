"""Packs the sparse package's folder into one .msix file, reproducibly.

    python3 -m tools.make_msix --source DIR --output FILE [--publisher-cert CERT.pem] [--version A.B.C.D]

DIR holds AppxManifest.xml and the files it names (the logos under Assets/).
The package is a zip in the layout Windows reads: the files in a fixed order
(AppxManifest.xml, then the others by name), AppxBlockMap.xml with the
SHA-256 of every 64 KiB block of each file's uncompressed bytes, then
[Content_Types].xml. XML is deflated block by block (each block's compressed
bytes end on a full flush, so the block map can give their size); pictures,
already compressed, are stored. Every entry carries one fixed time, so the
same files always give the same package.

The manifest's Identity Publisher must be the signing certificate's subject,
written as Windows writes it, or Windows refuses the package. It is taken
from --publisher-cert (the first certificate of a PEM file, or a DER file);
without one the package keeps the manifest's own, a publisher that says it
is a placeholder, and Windows will not install it. --version puts another Identity Version in
place of the manifest's (the installer's tests pack an older package so).
"""
import argparse
import base64
import hashlib
import re
import struct
import sys
import zlib
from pathlib import Path
from xml.sax.saxutils import escape

BLOCK = 65536
DOS_TIME, DOS_DATE = 0, (1980 - 1980) << 9 | 1 << 5 | 1  # 1980-01-01 00:00, the earliest zip time
BLOCKMAP_NS = "http://schemas.microsoft.com/appx/2010/blockmap"
SHA256_URI = "http://www.w3.org/2001/04/xmlenc#sha256"
TYPES_NS = "http://schemas.openxmlformats.org/package/2006/content-types"
MANIFEST_TYPE = "application/vnd.ms-appx.manifest+xml"
BLOCKMAP_TYPE = "application/vnd.ms-appx.blockmap+xml"
# Content types by extension, and whether such files are deflated.
EXTENSIONS = {"png": ("image/png", False), "xml": ("application/xml", True)}

# The attribute names Windows writes in a certificate's subject, by object id.
SUBJECT_KEYS = {
    "2.5.4.3": "CN", "2.5.4.4": "SN", "2.5.4.5": "SERIALNUMBER", "2.5.4.6": "C", "2.5.4.7": "L",
    "2.5.4.8": "S", "2.5.4.9": "STREET", "2.5.4.10": "O", "2.5.4.11": "OU", "2.5.4.12": "T",
    "2.5.4.13": "Description", "2.5.4.17": "PostalCode", "2.5.4.18": "POBox", "2.5.4.20": "Phone",
    "2.5.4.42": "G", "2.5.4.43": "I", "2.5.4.46": "dnQualifier", "1.2.840.113549.1.9.1": "E",
    "0.9.2342.19200300.100.1.25": "DC",
}


# --- the certificate's subject ------------------------------------------------

def der_items(data):
    """(tag, contents) of each DER element in data, in order."""
    items, at = [], 0
    while at < len(data):
        tag, length = data[at], data[at + 1]
        at += 2
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(data[at:at + count], "big")
            at += count
        if at + length > len(data):
            raise ValueError("truncated DER element")
        items.append((tag, data[at:at + length]))
        at += length
    return items


def object_id(data):
    parts, value = [], 0
    for byte in data:
        value = value << 7 | byte & 0x7F
        if not byte & 0x80:
            parts.append(value)
            value = 0
    first = min(parts[0] // 40, 2)
    return ".".join(str(n) for n in [first, parts[0] - 40 * first] + parts[1:])


def text_of(tag, data):
    if tag == 0x1E:  # BMPString
        return data.decode("utf-16-be")
    if tag == 0x1C:  # UniversalString
        return data.decode("utf-32-be")
    return data.decode("utf-8" if tag == 0x0C else "latin-1")


def quoted(value):
    # Windows quotes a value that holds a separator or starts or ends with a blank.
    if value == "" or re.search(r'[,+="\n<>#;]', value) or value != value.strip():
        return '"' + value.replace('"', '""') + '"'
    return value


def certificate_der(path):
    data = Path(path).read_bytes()
    match = re.search(rb"-----BEGIN CERTIFICATE-----(.+?)-----END CERTIFICATE-----", data, re.S)
    return base64.b64decode(match.group(1)) if match else data


def subject_of(der):
    """The certificate's subject as Windows writes it: "CN=..., O=..., C=...",
    the relative names from the last encoded to the first."""
    (_, certificate), = der_items(der)[:1]
    tbs = der_items(der_items(certificate)[0][1])
    fields = tbs[1:] if tbs[0][0] == 0xA0 else tbs  # skip the explicit version
    subject = fields[4][1]  # serial, signature algorithm, issuer, validity, subject
    names = []
    for _, rdn in der_items(subject):
        values = []
        for _, pair in der_items(rdn):
            (_, oid), (tag, value) = der_items(pair)
            key = SUBJECT_KEYS.get(object_id(oid), "OID." + object_id(oid))
            values.append(f"{key}={quoted(text_of(tag, value))}")
        names.append(" + ".join(values))
    if not names:
        raise ValueError("the certificate has an empty subject")
    return ", ".join(reversed(names))


def with_identity(manifest, attribute, value):
    escaped = escape(value, {'"': "&quot;"})
    text, count = re.subn(r'(<Identity\b[^>]*?\b%s=)"[^"]*"' % attribute, lambda m: f'{m.group(1)}"{escaped}"',
                          manifest.decode("utf-8"), count=1)
    if count != 1:
        raise ValueError(f"AppxManifest.xml has no Identity {attribute}")
    return text.encode("utf-8")


def with_publisher(manifest, publisher):
    return with_identity(manifest, "Publisher", publisher)


# --- the zip ------------------------------------------------------------------

def deflate_blocks(data):
    """The raw deflate stream of data and the compressed size of each 64 KiB block."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    out, sizes = b"", []
    starts = range(0, max(len(data), 1), BLOCK)
    for start in starts:
        last = start + BLOCK >= len(data)
        piece = compressor.compress(data[start:start + BLOCK])
        piece += compressor.flush(zlib.Z_FINISH if last else zlib.Z_FULL_FLUSH)
        out += piece
        sizes.append(len(piece))
    return out, sizes


class ZipWriter:
    def __init__(self):
        self.body, self.directory, self.count = bytearray(), bytearray(), 0

    def add(self, name, data, deflate):
        """Adds one entry; returns its compressed block sizes (None when stored) and
        the size of its local file header."""
        stored, sizes = (deflate_blocks(data) if deflate else (data, None))
        encoded = name.encode("ascii")
        method = 8 if deflate else 0
        crc = zlib.crc32(data) & 0xFFFFFFFF
        common = struct.pack("<HHHHHIII", 20, 0, method, DOS_TIME, DOS_DATE, crc, len(stored), len(data))
        header = b"PK\x03\x04" + common + struct.pack("<HH", len(encoded), 0) + encoded
        self.directory += (b"PK\x01\x02" + struct.pack("<H", 20) + common +
                           struct.pack("<HHHHHII", len(encoded), 0, 0, 0, 0, 0, len(self.body)) + encoded)
        self.body += header + stored
        self.count += 1
        return sizes, len(header)

    def finish(self):
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, self.count, self.count, len(self.directory),
                          len(self.body), 0)
        return bytes(self.body + self.directory + end)


def content_type(name):
    if name == "AppxManifest.xml":
        return MANIFEST_TYPE, True
    extension = name.rsplit(".", 1)[-1].lower()
    if extension not in EXTENSIONS:
        raise ValueError(f"{name}: no content type for .{extension} files")
    return EXTENSIONS[extension]


def pack(source, publisher=None, version=None):
    """The package's bytes; without a publisher, the manifest keeps its own
    (the unsigned placeholder of AppxManifest.xml.in)."""
    files = sorted(p.relative_to(source).as_posix() for p in source.rglob("*") if p.is_file())
    if "AppxManifest.xml" not in files:
        raise ValueError(f"{source}: no AppxManifest.xml")
    files.remove("AppxManifest.xml")
    files.insert(0, "AppxManifest.xml")
    for name in files:
        # Zip names of a package are URI parts: anything else would need escaping.
        if not re.fullmatch(r"[A-Za-z0-9._-]+(/[A-Za-z0-9._-]+)*", name):
            raise ValueError(f"{source}: {name}: only letters, digits, '.', '_' and '-' in the package's file names")
        if name.startswith(("AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x", "AppxMetadata/")):
            raise ValueError(f"{source}: {name} is written by the packer")

    archive = ZipWriter()
    blockmap = [f'<?xml version="1.0" encoding="UTF-8"?>\r\n<BlockMap xmlns="{BLOCKMAP_NS}" '
                f'HashMethod="{SHA256_URI}">']
    defaults = {}
    for name in files:
        data = (source / name).read_bytes()
        if name == "AppxManifest.xml":
            if publisher is not None:
                data = with_publisher(data, publisher)
            if version:
                data = with_identity(data, "Version", version)
        kind, deflate = content_type(name)
        if name != "AppxManifest.xml":
            defaults[name.rsplit(".", 1)[-1].lower()] = kind
        sizes, header_size = archive.add(name, data, deflate)
        blockmap.append(f'<File Name="{name.replace("/", chr(92))}" Size="{len(data)}" LfhSize="{header_size}">')
        for index, start in enumerate(range(0, len(data), BLOCK)):
            digest = base64.b64encode(hashlib.sha256(data[start:start + BLOCK]).digest()).decode("ascii")
            size = f' Size="{sizes[index]}"' if sizes is not None else ""
            blockmap.append(f'<Block Hash="{digest}"{size}/>')
        blockmap.append("</File>")
    blockmap.append("</BlockMap>")
    archive.add("AppxBlockMap.xml", "\r\n".join(blockmap).encode("utf-8") + b"\r\n", True)

    types = [f'<?xml version="1.0" encoding="UTF-8"?>\r\n<Types xmlns="{TYPES_NS}">']
    types += [f'<Default Extension="{e}" ContentType="{t}"/>' for e, t in sorted(defaults.items())]
    types.append(f'<Override PartName="/AppxManifest.xml" ContentType="{MANIFEST_TYPE}"/>')
    types.append(f'<Override PartName="/AppxBlockMap.xml" ContentType="{BLOCKMAP_TYPE}"/>')
    types.append("</Types>")
    archive.add("[Content_Types].xml", "\r\n".join(types).encode("utf-8") + b"\r\n", True)
    return archive.finish()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, type=Path)
    parser.add_argument("--output", required=True, type=Path)
    parser.add_argument("--publisher-cert", type=Path)
    parser.add_argument("--version", help="the Identity Version instead of the manifest's (A.B.C.D)")
    args = parser.parse_args()
    try:
        publisher = None
        if args.publisher_cert:
            try:
                publisher = subject_of(certificate_der(args.publisher_cert))
            except (ValueError, IndexError, UnicodeDecodeError) as error:
                raise ValueError(f"{args.publisher_cert}: not a certificate ({error})") from error
        if args.version and not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", args.version):
            raise ValueError(f"--version {args.version}: four numbers separated by dots")
        package = pack(args.source, publisher, args.version)
        if pack(args.source, publisher, args.version) != package:
            raise ValueError("two packings of the same files differ")
    except (OSError, ValueError, IndexError, UnicodeDecodeError) as error:
        sys.exit(f"make_msix: {error}")
    args.output.parent.mkdir(parents=True, exist_ok=True)
    partial = args.output.with_name(args.output.name + ".partial")
    partial.write_bytes(package)
    partial.replace(args.output)
    print(f"make_msix: {args.output} (publisher {publisher or 'of the manifest, unsigned'})")


if __name__ == "__main__":
    main()

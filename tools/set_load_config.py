"""Points a PE32+ or PE32 image's load-configuration directory at _load_config_used.

GNU ld of binutils 2.40 links the symbol in but leaves the image's
load-configuration entry empty, so the loader would never read it. This reads
the symbol's address from the linker's map, writes the directory entry (the
symbol's RVA, and the size that the structure's first field holds) and then
the header checksum again, since the headers changed. On 32-bit x86 the C
symbol is spelt with the platform's leading underscore, __load_config_used.

  python3 -m tools.set_load_config IMAGE MAP
"""
import argparse
import re
import struct
import sys

LOAD_CONFIG_ENTRY = 10
PE32 = 0x10B
PE32_PLUS = 0x20B


def fail(message):
    sys.exit(f"set_load_config: {message}")


def checksum(image):
    """The PE header checksum, with the checksum field already zero."""
    total = 0
    padded = image + b"\0" if len(image) % 2 else image
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16)) + len(image)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tools.set_load_config", description=__doc__.splitlines()[0])
    parser.add_argument("image", metavar="IMAGE", help="the linked PE image, changed in place")
    parser.add_argument("map", metavar="MAP", help="the linker's map of the image")
    args = parser.parse_args(argv)
    image_path, map_path = args.image, args.map
    with open(map_path, encoding="utf-8", errors="replace") as f:
        found = re.findall(r"^\s+0x([0-9a-fA-F]+)\s+_?_load_config_used\s*$", f.read(), re.M)
    if len(found) != 1:
        fail(f"{map_path}: _load_config_used is not linked in")
    with open(image_path, "rb") as f:
        image = bytearray(f.read())

    header = struct.unpack_from("<I", image, 0x3C)[0]
    if image[header:header + 4] != b"PE\0\0":
        fail(f"{image_path}: not a PE image")
    sections, optional_size = struct.unpack_from("<H", image, header + 6)[0], struct.unpack_from("<H", image, header + 20)[0]
    optional = header + 24
    # Image base, NumberOfRvaAndSizes and the data directories sit where the
    # optional header's kind puts them.
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic == PE32_PLUS:
        image_base, count_at = struct.unpack_from("<Q", image, optional + 24)[0], optional + 108
    elif magic == PE32:
        image_base, count_at = struct.unpack_from("<I", image, optional + 28)[0], optional + 92
    else:
        fail(f"{image_path}: neither a PE32+ nor a PE32 image")
    directories = count_at + 4
    if struct.unpack_from("<I", image, count_at)[0] <= LOAD_CONFIG_ENTRY:
        fail(f"{image_path}: no room for the load-configuration entry")
    rva = int(found[0], 16) - image_base

    table = optional + optional_size
    for index in range(sections):
        virtual_size, address, raw_size, raw_offset = struct.unpack_from("<IIII", image, table + 40 * index + 8)
        if address <= rva and rva + 4 <= address + min(virtual_size, raw_size):
            size = struct.unpack_from("<I", image, raw_offset + rva - address)[0]
            break
    else:
        fail(f"{image_path}: _load_config_used lies in no section's data")

    struct.pack_into("<II", image, directories + 8 * LOAD_CONFIG_ENTRY, rva, size)
    struct.pack_into("<I", image, optional + 64, 0)
    struct.pack_into("<I", image, optional + 64, checksum(bytes(image)))
    with open(image_path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main()

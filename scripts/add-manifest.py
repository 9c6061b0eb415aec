#!/usr/bin/env python3
"""Puts the payload manifest into a built SetUp.exe as a resource: RT_RCDATA, id 500 (the program's
kManifestResourceId), language neutral.

The linked exe is not linked again: its resource tree is written anew, with the manifest added,
into a section of its own at the end of the image, and the resource directory points there. The
resources already in the image keep their data where they are (their entries point back into the
old section), so the exe grows by the tree and the manifest only. Run before signing: any change
after it breaks the signature, and a signed exe is refused here.

Usage: scripts/add-manifest.py IN.exe MANIFEST OUT.exe
"""
import struct
import sys

RT_RCDATA = 10
MANIFEST_ID = 500


def fail(message):
    sys.exit(f"add-manifest: {message}")


def align(value, to):
    return (value + to - 1) // to * to


def read_tree(image, base_offset, base_rva, offset, depth=0):
    """A directory as [characteristics, timestamp, major, minor, entries]; entries as (key, child),
    key an int id or a str name; a leaf as ('data', rva, size, codepage)."""
    if depth > 3:
        fail("resource tree deeper than type/name/language")
    at = base_offset + offset
    chars, stamp, major, minor, named, ids = struct.unpack_from("<IIHHHH", image, at)
    entries = []
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", image, at + 16 + 8 * i)
        if name & 0x80000000:
            string_at = base_offset + (name & 0x7FFFFFFF)
            (length,) = struct.unpack_from("<H", image, string_at)
            key = image[string_at + 2:string_at + 2 + 2 * length].decode("utf-16-le")
        else:
            key = name & 0xFFFF
        if target & 0x80000000:
            child = read_tree(image, base_offset, base_rva, target & 0x7FFFFFFF, depth + 1)
        else:
            rva, size, codepage, _ = struct.unpack_from("<IIII", image, base_offset + target)
            child = ("data", rva, size, codepage)
        entries.append((key, child))
    return [chars, stamp, major, minor, entries]


def sorted_entries(entries):
    # Named entries first, ordered without regard to case, then ids ascending: the loader searches
    # each directory by halves.
    named = sorted((e for e in entries if isinstance(e[0], str)), key=lambda e: e[0].upper())
    ids = sorted((e for e in entries if isinstance(e[0], int)), key=lambda e: e[0])
    return named + ids


def write_tree(root, section_rva, new_data):
    """The section's bytes: directories, then names, then data entries, then the new data."""
    directories, strings, leaves = [], [], []

    def collect(node):
        node[4] = sorted_entries(node[4])
        directories.append(node)
        for key, child in node[4]:
            if isinstance(key, str):
                strings.append(key)
            if isinstance(child, list):
                collect(child)
            else:
                leaves.append(child)

    collect(root)
    offset = 0
    dir_offset = {}
    for node in directories:
        dir_offset[id(node)] = offset
        offset += 16 + 8 * len(node[4])
    string_offset = {}
    for s in strings:
        if s not in string_offset:
            string_offset[s] = offset
            offset += 2 + 2 * len(s)
    offset = align(offset, 4)
    leaf_offset = {}
    for leaf in leaves:
        leaf_offset[id(leaf)] = offset
        offset += 16
    data_offset = align(offset, 8)
    out = bytearray(data_offset + len(new_data))
    for node in directories:
        at = dir_offset[id(node)]
        named = sum(1 for k, _ in node[4] if isinstance(k, str))
        struct.pack_into("<IIHHHH", out, at, node[0], node[1], node[2], node[3], named, len(node[4]) - named)
        for i, (key, child) in enumerate(node[4]):
            name = (0x80000000 | string_offset[key]) if isinstance(key, str) else key
            target = (0x80000000 | dir_offset[id(child)]) if isinstance(child, list) else leaf_offset[id(child)]
            struct.pack_into("<II", out, at + 16 + 8 * i, name, target)
    for s, at in string_offset.items():
        encoded = s.encode("utf-16-le")
        struct.pack_into("<H", out, at, len(s))
        out[at + 2:at + 2 + len(encoded)] = encoded
    for leaf in leaves:
        _, rva, size, codepage = leaf
        if rva is None:  # the manifest's entry, whose data follows the tree
            rva = section_rva + data_offset
        struct.pack_into("<IIII", out, leaf_offset[id(leaf)], rva, size, codepage, 0)
    out[data_offset:] = new_data
    return bytes(out)


def pe_checksum(image, checksum_at):
    total = 0
    padded = image + (b"\0" if len(image) % 2 else b"")
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    # The checksum field itself counts as zero.
    for (word,) in struct.iter_unpack("<H", image[checksum_at:checksum_at + 4]):
        total -= word
        if total < 0:
            total += 0xFFFF
    total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(image)


def main():
    if len(sys.argv) != 4:
        fail("usage: add-manifest.py IN.exe MANIFEST OUT.exe")
    image = bytearray(open(sys.argv[1], "rb").read())
    manifest = open(sys.argv[2], "rb").read()
    if image[:2] != b"MZ":
        fail("not an exe")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        fail("not a PE image")
    coff = pe + 4
    sections, optional_size = struct.unpack_from("<H", image, coff + 2)[0], struct.unpack_from("<H", image, coff + 16)[0]
    opt = coff + 20
    if struct.unpack_from("<H", image, opt)[0] != 0x20B:
        fail("not a 64-bit image")
    section_alignment, file_alignment = struct.unpack_from("<II", image, opt + 32)
    headers_size = struct.unpack_from("<I", image, opt + 60)[0]
    directories = opt + 112
    resource_dir, security_dir = directories + 8 * 2, directories + 8 * 4
    if struct.unpack_from("<II", image, security_dir) != (0, 0):
        fail("the exe is signed already: add the manifest before signing")
    table = opt + optional_size
    headers = [struct.unpack_from("<8sIIIIIIHHI", image, table + 40 * i) for i in range(sections)]
    raw_end = max(h[4] + h[3] for h in headers)
    if raw_end != len(image):
        fail("the exe has data after its last section")
    if any(h[0].rstrip(b"\0") == b".vxman" for h in headers):
        fail("the exe carries a manifest already")
    new_header_at = table + 40 * sections
    if new_header_at + 40 > headers_size or any(image[new_header_at:new_header_at + 40]):
        fail("no room for another section header")

    old_rva, old_size = struct.unpack_from("<II", image, resource_dir)
    if old_rva:
        owner = next(h for h in headers if h[2] <= old_rva < h[2] + max(h[1], h[3]))
        root = read_tree(image, owner[4] + (old_rva - owner[2]), old_rva, 0)
    else:
        root = [0, 0, 0, 0, []]
    types = root[4]
    rcdata = next((c for k, c in types if k == RT_RCDATA), None)
    if rcdata is None:
        rcdata = [0, 0, 0, 0, []]
        types.append((RT_RCDATA, rcdata))
    if any(k == MANIFEST_ID for k, _ in rcdata[4]):
        fail("the exe carries a manifest already")
    rcdata[4].append((MANIFEST_ID, [0, 0, 0, 0, [(0, ("data", None, len(manifest), 0))]]))

    new_rva = align(max(h[2] + max(h[1], h[3]) for h in headers), section_alignment)
    body = write_tree(root, new_rva, manifest)
    raw_size = align(len(body), file_alignment)
    raw_at = align(len(image), file_alignment)
    image += b"\0" * (raw_at - len(image)) + body + b"\0" * (raw_size - len(body))
    # Initialised, readable data (IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ).
    struct.pack_into("<8sIIIIIIHHI", image, new_header_at, b".vxman", len(body), new_rva, raw_size, raw_at,
                     0, 0, 0, 0, 0x40000040)
    struct.pack_into("<H", image, coff + 2, sections + 1)
    struct.pack_into("<I", image, opt + 56, align(new_rva + len(body), section_alignment))
    struct.pack_into("<II", image, resource_dir, new_rva, len(body))
    struct.pack_into("<I", image, opt + 64, 0)
    struct.pack_into("<I", image, opt + 64, pe_checksum(bytes(image), opt + 64))
    open(sys.argv[3], "wb").write(image)


if __name__ == "__main__":
    main()

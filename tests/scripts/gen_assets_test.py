#!/usr/bin/env python3
"""scripts/gen-assets.py's run-length encoders: rows whose encoding Windows' bitmap loader must
read back pixel for pixel (runs longer than a count byte holds, odd absolute blocks, short rows)."""
import importlib.util
import os
import struct
import unittest

_path = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "gen-assets.py")
_spec = importlib.util.spec_from_file_location("gen_assets", _path)
assets = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(assets)

ROWS = {
    "one pixel": [5],
    "two different": [5, 6],
    "run over a count byte": [7] * 300,
    "odd absolute block": [1, 2, 3],
    "absolute block then run": [1, 2, 3, 4, 9, 9, 9, 9],
    "pairs between singles": [1, 2, 2, 3, 4, 4, 5],
    "absolute block over a count byte": [k % 14 for k in range(600)],
    "two colours in turn over a count byte": [3, 12] * 150,
}


class RunLengthTest(unittest.TestCase):
    def test_rle8_rows_read_back(self):
        for name, row in ROWS.items():
            with self.subTest(name):
                data = assets.rle8_row(row) + b"\0\1"
                self.assertEqual(len(data) % 2, 0)
                self.assertEqual(assets.rle_decode(data, len(row), 1, 8), [row])

    def test_rle4_rows_read_back(self):
        for name, row in ROWS.items():
            with self.subTest(name):
                nibbles = [v % 16 for v in row]
                data = assets.rle4_row(nibbles) + b"\0\1"
                self.assertEqual(assets.rle_decode(data, len(row), 1, 4), [nibbles])

    def test_known_encodings(self):
        # Rows with one shortest encoding. A run is (count, pixels); an absolute block is
        # (0, count, pixels padded to a 16-bit boundary); (0, 0) ends the line.
        cases = [
            (assets.rle8_row, [9, 9, 9], b"\3\x09\0\0"),
            (assets.rle8_row, [4], b"\1\4\0\0"),
            (assets.rle8_row, [1, 2, 3, 4], b"\0\4\1\2\3\4\0\0"),
            (assets.rle4_row, [5, 5, 5], b"\3\x55\0\0"),
            (assets.rle4_row, [1, 2, 1, 2, 1, 2], b"\6\x12\0\0"),  # a dotted line is one run
            (assets.rle4_row, [1, 2, 3, 4, 5, 6, 7], b"\0\7\x12\x34\x56\x70\0\0"),
        ]
        for encode, row, expected in cases:
            with self.subTest(encode=encode.__name__, row=row):
                self.assertEqual(encode(row), expected)

    def test_committed_bitmaps_are_as_written(self):
        # The bitmaps in src/ui/res hold exactly what the encoders write for their pixels.
        res = os.path.join(os.path.dirname(_path), "..", "src", "ui", "res")
        for name, encode, bits in (("logo.bmp", assets.rle8_row, 8), ("acad_menu.bmp", assets.rle4_row, 4)):
            with self.subTest(name):
                with open(os.path.join(res, name), "rb") as f:
                    data = f.read()
                offset, = struct.unpack_from("<I", data, 10)
                width, height = struct.unpack_from("<ii", data, 18)
                rows = assets.rle_decode(data[offset:], width, height, bits)
                self.assertEqual(b"".join(encode(r) for r in rows) + b"\0\1", data[offset:])


if __name__ == "__main__":
    unittest.main()

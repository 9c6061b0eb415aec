#!/usr/bin/env python3
"""scripts/gen-assets.py's run-length encoders: rows whose encoding Windows' bitmap loader must
read back pixel for pixel (runs longer than a count byte holds, odd absolute blocks, short rows)."""
import importlib.util
import os
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
}


class RunLengthTest(unittest.TestCase):
    def test_rle8_rows_read_back(self):
        for name, row in ROWS.items():
            with self.subTest(name):
                data = assets.rle8_row(row) + b"\0\1"
                self.assertEqual(len(data) % 2, 0)
                self.assertEqual(assets.rle8_decode(data, len(row), 1), [row])

    def test_rle4_rows_read_back(self):
        for name, row in ROWS.items():
            with self.subTest(name):
                nibbles = [v % 16 for v in row]
                self.assertEqual(assets.rle4_decode(assets.rle4_row(nibbles) + b"\0\1", len(row), 1), [nibbles])

    def test_rle8_known_encodings(self):
        # (count, index) for runs, (0, n, indices, pad) for an absolute block, (0, 0) ends the line.
        cases = [([9, 9, 9], b"\3\x09\0\0"), ([1, 2, 3], b"\0\3\1\2\3\0\0\0"), ([4], b"\1\4\0\0"),
                 ([8] * 256, b"\xff\x08\1\x08\0\0")]
        for row, expected in cases:
            with self.subTest(row=row[:4]):
                self.assertEqual(assets.rle8_row(row), expected)


if __name__ == "__main__":
    unittest.main()

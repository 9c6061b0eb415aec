#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/<target>/: small, realistic inputs from which libFuzzer
starts. Text is code page 936 where the program sees ANSI bytes. Run again after editing; the
files are kept in the repository so that every run starts from the same seeds. The found-* files
beside them are not written here: they are inputs on which a fuzzer once failed, kept as seeds so
that every run tries them again (each also has a regression test in tests/)."""
import codecs
import pathlib

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"
FIXTURES = HERE.parent / "tests" / "fixtures" / "registry"


def gbk(s):
    return s.encode("gbk")


def fdp_string(b):
    """The bytes FuzzedDataProvider::ConsumeRandomLengthString reads back as `b`."""
    return b.replace(b"\\", b"\\\\") + b"\\;"


def write(target, name, data):
    d = CORPUS / target
    d.mkdir(parents=True, exist_ok=True)
    (d / name).write_bytes(data)


# Folder chooser: typical choices, the form faults, and 誠 (D5 5C), whose trail byte is a backslash.
paths = {
    "program-files": "C:\\Program Files\\Vornex",
    "chinese-trail-5c": "D:\\软件\\誠信\\V-ZurezUvad",
    "trail-5c-at-end": "C:\\誠",
    "roaming": "C:\\Users\\User\\AppData\\Roaming\\Vornex",
    "existing-lower-case": "c:\\users\\user",
    "drive-root": "C:\\",
    "trailing-backslash": "C:\\a\\b\\",
    "empty-component": "C:\\a\\\\b",
    "leading-blank": "C:\\ a",
    "trailing-dot": "C:\\a.\\b",
    "question-mark": "C:\\a?b",
    "valid-dot-blank": "C:\\a.b\\c d",
    "network": "\\\\server\\share\\Vornex",
    "relative": "C:abc",
    "semicolon": "E:\\a;b\\Vornex",
    "long": "C:\\" + "\\".join(["目录%02d" % i for i in range(40)]),
}
for name, p in paths.items():
    write("path_rules", name, gbk(p))
write("path_rules", "lead-byte-at-end", b"C:\\abc\x81")
write("path_rules", "control-char", b"C:\\a\x01b\\c")

# "TRUSTEDPATHS": the folder (FuzzedDataProvider string), the old text, and one byte (the provider
# takes it from the end) saying how the old text is stored: 0 code page 936 bytes an ANSI program
# wrote, 1 UTF-16LE as the wide functions store it.
folder = gbk("C:\\Program Files\\Vornex\\V-ZurezUvad")
ANSI_TEXT = b"\x00"
UTF16_TEXT = b"\x01"
olds = {
    "empty": b"",
    "two-bytes": b"C:",
    "acad-default": gbk("C:\\Program Files\\Autodesk\\AutoCAD 2022\\Support\\..."),
    "already-there-lower": gbk("c:\\program files\\vornex\\v-zurezuvad;D:\\Tools"),
    "sub-folders": gbk("C:\\Program Files\\Vornex\\V-ZurezUvad\\...;D:\\x"),
    "longer-path": gbk("C:\\Program Files\\Vornex\\V-ZurezUvad2;D:\\x"),
    "ends-in-separator": gbk("D:\\Tools;"),
    "chinese": gbk("D:\\软件\\誠信;E:\\ａｂｃ\\表"),
    "long": gbk(";".join("D:\\插件\\Plugin%03d\\..." % i for i in range(400))),
}
for name, old in olds.items():
    write("trusted_paths", name, fdp_string(folder) + old + ANSI_TEXT)
write("trusted_paths", "chinese-folder",
      fdp_string(gbk("D:\\软件\\誠信\\V-ZurezUvad")) + gbk("D:\\软件\\誠信;C:\\x") + ANSI_TEXT)
unicode_olds = {
    "unicode-entries": "D:\\Jörg\\Lisp;E:\\한글;F:\\中",
    "unicode-already-there": "ｄ:\\ａ;c:\\program files\\vornex\\v-zurezuvad\\...;Ω",
    "unicode-two-ansi-bytes": "ö;",
}
for name, old in unicode_olds.items():
    write("trusted_paths", name, fdp_string(folder) + old.encode("utf-16-le") + UTF16_TEXT)

# Text helpers: needle (FuzzedDataProvider string), haystack, then from-index and searched char
# (the provider takes integers from the end).
texts = {
    "path-5c": (gbk("信"), gbk("D:\\软件\\誠信\\V-ZurezUvad"), 0, 0),
    "fullwidth-case": (gbk("ＡＢ"), gbk("ａｂｃ ΑΒΓ αβγ АБВ абв abc"), 1, 1),
    "trusted": (gbk("D:\\TOOLS"), gbk("c:\\x;d:\\tools\\...;表"), 2, 1),
    "profile": (gbk("配置"), gbk("<<未命名配置>>"), 0, 2),
    "reg-line": (b"]", gbk("[HKEY_CURRENT_USER\\Software\\誠]"), 0, 3),
    "lone-lead": (b"\x81", b"abc\x81", 0, 0),
}
for name, (needle, hay, frm, ch) in texts.items():
    write("text", name, fdp_string(needle) + hay + bytes([frm, ch]))

# .reg loader: the registry fixtures, a real export's UTF-16LE form, and an ANSI REGEDIT4 export.
for f in sorted(FIXTURES.glob("*.reg")):
    write("reg_loader", f.stem, f.read_bytes())
export = """Windows Registry Editor Version 5.00\r
\r
[HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<未命名配置>>\\Variables]\r
"TRUSTEDPATHS"="D:\\\\软件\\\\誠信;C:\\\\Program Files\\\\Autodesk\\\\..."\r
"LOADCTRLS"=dword:00000002\r
"Data"=hex(2):44,00,3a,00,5c,00,00,00\r
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00\r
@="默认"\r
\r
[-HKEY_CURRENT_USER\\Software\\Gone]\r
"""
write("reg_loader", "utf16-export", codecs.BOM_UTF16_LE + export.encode("utf-16-le"))
ansi = """REGEDIT4\r
\r
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804]\r
"ProductName"="AutoCAD 2010 - 简体中文 (Simplified Chinese)"\r
"Long"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r
  17,18,19,1a,1b,1c,1d,1e,1f\r
[HKEY_LOCAL_MACHINE\\SOFTWARE\\誠]\r
"名"="值\\"引号\\""\r
"""
write("reg_loader", "ansi-regedit4", ansi.encode("gbk"))

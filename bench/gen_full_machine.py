#!/usr/bin/env python3
"""Writes a .reg file of a 64-bit Windows machine with every AutoCAD release 2007-2026
installed, several products each, laid out as AutoCAD's installers leave them.

The catalogue scan benchmarks read it: bench/catalog_full_machine_bench.cpp on the simulated
registry, and scripts/bench-startup.sh imported into Wine for SetUp.exe's start-up.

Per release (native view): AutoCAD in Simplified Chinese and in English, AutoCAD Mechanical and
AutoCAD Architecture; 2007-2012 also a 32-bit AutoCAD under Wow6432Node. Every product key has
its values and the sub-keys a real one has (demand-load entries under Applications, Capabilities,
DesignCenter, ...), which the scan has to look through.

Usage: bench/gen_full_machine.py OUT.reg
"""
import sys

RELEASES = [  # key, year, product id prefix
    ("R17.0", 2007, "5"), ("R17.1", 2008, "6"), ("R17.2", 2009, "7"), ("R18.0", 2010, "8"),
    ("R18.1", 2011, "9"), ("R18.2", 2012, "A"), ("R19.0", 2013, "B"), ("R19.1", 2014, "D"),
    ("R20.0", 2015, "E"), ("R20.1", 2016, "F"), ("R21.0", 2017, "0"), ("R22.0", 2018, "1"),
    ("R23.0", 2019, "2"), ("R23.1", 2020, "3"), ("R24.0", 2021, "41"), ("R24.1", 2022, "51"),
    ("R24.2", 2023, "61"), ("R24.3", 2024, "71"), ("R25.0", 2025, "81"), ("R25.1", 2026, "91"),
]
LANGUAGES = {"804": "简体中文 (Simplified Chinese)", "409": "English"}
PRODUCTS = [  # product code suffix, locale, name, folder
    ("001", "804", "AutoCAD", "AutoCAD"),
    ("001", "409", "AutoCAD", "AutoCAD"),
    ("005", "804", "AutoCAD Mechanical", "AutoCAD Mechanical"),
    ("004", "409", "AutoCAD Architecture", "AutoCAD Architecture"),
]
APPLICATIONS = [  # name, description, module below the AutoCAD folder, managed
    ("AcadVBA", "AutoCAD VBA", "acvba.arx", 0),
    ("AcadExpressTools", "Express Tools", "Express\\acetutil.arx", 0),
    ("AcadBIMCore", "BIM core", "AcBIMCore.arx", 0),
    ("AcadWebServices", "Web services", "AcWebServices.dll", 1),
    ("AcadDgnLS", "DGN language support", "AcDgnLS.dbx", 0),
    ("AcadSysVarMonitor", "System variable monitor", "AcSysVarMonitor.dll", 1),
    ("AcadLayerTools", "Layer tools", "AcLayer.dll", 1),
    ("AcadAutoLoader", "Autoloader", "AcPackageManager.dll", 1),
    ("AcadMigration", "Migration", "AcMigration.dll", 1),
    ("AcadPublish", "Publish", "AcPublish.arx", 0),
]


def esc(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def product_id(prefix, suffix):
    # Four hex digits: "8" + "001" -> 8001; two-digit prefixes (2021 on) take the last two.
    return (prefix + suffix)[:4] if len(prefix) == 1 else prefix + suffix[1:]


def product(lines, root, key, year, pid, locale, name, folder_name, view32):
    base = "C:\\Program Files (x86)" if view32 else "C:\\Program Files\\Autodesk"
    folder = f"{base}\\{folder_name} {year}\\"
    path = f"{root}\\{key}\\ACAD-{pid}:{locale}"
    lines += [f"[{path}]",
              f'"AcadLocation"="{esc(folder)}"',
              f'"ProductName"="{esc(f"{name} {year} - {LANGUAGES[locale]}")}"',
              f'"Language"="{esc(LANGUAGES[locale])}"',
              f'"LocaleId"=dword:{int(locale, 16):08x}',
              f'"ProductId"="ACAD"',
              f'"Release"="{key[1:]}.{40 + year % 20}.0"',
              ""]
    lines += [f"[{path}\\Applications]", ""]
    for app, description, module, managed in APPLICATIONS:
        lines += [f"[{path}\\Applications\\{app}]",
                  f'"DESCRIPTION"="{esc(description)}"',
                  '"LOADCTRLS"=dword:00000002',
                  f'"LOADER"="{esc(folder + module)}"']
        if managed:
            lines.append('"MANAGED"=dword:00000001')
        lines.append("")
    lines += [f"[{path}\\AutodeskApps]", "",
              f"[{path}\\Capabilities]", '"ApplicationName"="AutoCAD"', "",
              f"[{path}\\DesignCenter]", "",
              f"[{path}\\DesignCenter\\AutoCAD]", "",
              f"[{path}\\DesignCenter\\Blocks]", "",
              f"[{path}\\MenuGroups]", "",
              f"[{path}\\Profiles]", ""]
    return folder


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    lines = ["Windows Registry Editor Version 5.00", "",
             "; Made by bench/gen_full_machine.py: every AutoCAD release 2007-2026, four products each,",
             "; and a 32-bit AutoCAD 2007-2012 under Wow6432Node. The catalogue scan benchmarks read it.", ""]
    folders = []
    native = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD"
    wow = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD"
    lines += [f"[{wow}]", '"CurVer"="R18.2"', ""]
    for key, year, prefix in RELEASES[:6]:
        pid = product_id(prefix, "001")
        lines += [f"[{wow}\\{key}]", f'"CurVer"="ACAD-{pid}:804"', ""]
        folders.append(product(lines, wow, key, year, pid, "804", "AutoCAD", "AutoCAD", True))
    lines += [f"[{native}]", '"CurVer"="R25.1"', ""]
    for key, year, prefix in RELEASES:
        lines += [f"[{native}\\{key}]", f'"CurVer"="ACAD-{product_id(prefix, "001")}:804"', ""]
        for suffix, locale, name, folder_name in PRODUCTS:
            folders.append(product(lines, native, key, year, product_id(prefix, suffix), locale, name,
                                   folder_name, False))
    with open(out, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{out}: {len(folders)} products, {sum(1 for l in lines if l.startswith('['))} keys")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The Windows zip explains itself: it holds both programs, the licence, a
note on where the source is and how to build it again, and a short text
whose first-run steps are the README's own (its Windows section) with the
words the window shows; the programs' version resources give the version
the zip is named after.

    python3 tests/windows/zip_contents.py --zip build-windows/kiv-1.0-windows-x86_64.zip

The last line counts the checks; the exit status is 0 when all passed.
"""
import argparse
import os
import re
import struct
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_rig import Checks  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def readme_first_run(readme):
    """The lines of the README's "### First run" under "## Windows", as plain
    text: without Markdown's backticks and pictures, blanks collapsed."""
    lines, windows, steps = [], False, False
    for line in open(readme, encoding="utf-8").read().splitlines():
        if line.startswith("## "):
            windows = line == "## Windows"
            steps = False
        elif windows and line.startswith("### "):
            steps = line == "### First run"
        elif steps and line.strip() and not line.startswith("!["):
            lines.append(" ".join(line.replace("`", "").split()))
    return lines


def version_strings(exe):
    """The values of FileVersion and ProductVersion in a program's version
    resource (UTF-16 strings), and its binary FILEVERSION."""
    data = open(exe, "rb").read()
    values = {}
    for key in ("FileVersion", "ProductVersion", "LegalCopyright"):
        m = re.search(re.escape(key.encode("utf-16-le")) + rb"\x00\x00(?:\x00\x00)?((?:[^\x00]\x00)+)\x00\x00",
                      data)
        values[key] = m.group(1).decode("utf-16-le") if m else None
    fixed = data.find(struct.pack("<I", 0xFEEF04BD))
    if fixed >= 0:
        ms, ls = struct.unpack_from("<II", data, fixed + 8)
        values["FILEVERSION"] = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return values


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--zip", required=True)
    p.add_argument("--readme", default=os.path.join(ROOT, "README.md"))
    p.add_argument("--license", default=os.path.join(ROOT, "LICENSE"))
    args = p.parse_args()
    checks = Checks("the Windows zip")
    m = re.match(r"kiv-([0-9.]+)-windows-x86_64\.zip$", os.path.basename(args.zip))
    if not checks.check("the zip is named kiv-<version>-windows-x86_64.zip", m is not None, args.zip):
        return checks.finish()
    version = m.group(1)
    folder = f"kiv-{version}-windows-x86_64/"
    extract = os.path.join(os.path.dirname(os.path.abspath(args.zip)), "zip-contents")
    with zipfile.ZipFile(args.zip) as z:
        names = set(z.namelist())
        wanted = ["kiv.exe", "kiv-cli.exe", "README-Windows.txt", "LICENSE.txt", "SOURCE.txt"]
        missing = [n for n in wanted if folder + n not in names]
        if not checks.check("the zip holds both programs, README-Windows.txt, LICENSE.txt and SOURCE.txt",
                            not missing, f"missing {missing}; it holds {sorted(names)}"):
            return checks.finish()
        text = {n: z.read(folder + n).decode("utf-8") for n in wanted if n.endswith(".txt")}
        z.extractall(extract, [folder + "kiv.exe", folder + "kiv-cli.exe"])

    licence = open(args.license, encoding="utf-8").read()
    checks.check("LICENSE.txt is the project's licence, with Windows line ends",
                 text["LICENSE.txt"].replace("\r\n", "\n") == licence and "\r\n" in text["LICENSE.txt"]
                 and "GNU GENERAL PUBLIC LICENSE" in licence and "Version 3" in licence)
    source = " ".join(text["SOURCE.txt"].split())
    checks.check("SOURCE.txt names the version, the licence, Qt, the source and how to rebuild",
                 all(w in source for w in (f"KIV {version}", "GNU General Public License, version 3",
                                           "any later version", "Qt 6.", "complete source",
                                           "bash scripts/build-windows.sh")) and "@" not in source,
                 source[:400])

    steps = readme_first_run(args.readme)
    readme_windows = " ".join(text["README-Windows.txt"].split())
    absent = [s for s in steps if s not in readme_windows]
    checks.check("README-Windows.txt gives the README's first-run steps word for word",
                 len(steps) >= 3 and not absent, f"steps {steps}; not in it: {absent}")
    checks.check("README-Windows.txt says both \"设置完毕!\" clicks and \"串口打开\", never \"打开串口\"",
                 readme_windows.count("设置完毕!") >= 2 and "串口打开" in readme_windows
                 and "打开串口" not in readme_windows and "@" not in readme_windows,
                 text["README-Windows.txt"][:600])

    major, minor = (int(x) for x in (version.split(".") + ["0"])[:2])
    for exe in ("kiv.exe", "kiv-cli.exe"):
        v = version_strings(os.path.join(extract, folder, exe))
        checks.check(f"{exe}'s version resource says {version} and GPL-3.0-or-later, as the zip does",
                     v.get("FileVersion") == version and v.get("ProductVersion") == version
                     and v.get("FILEVERSION", ())[:2] == (major, minor)
                     and v.get("LegalCopyright") == "GPL-3.0-or-later", f"{v}")
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())

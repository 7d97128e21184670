#!/usr/bin/python3
"""Makes the zip packages of the installer tests in OUTDIR, with Python's zipfile and the zip tool.

Usage: make_zips.py OUTDIR

Setup programs are small shell scripts that append "ran <name>" to the file named by the
environment variable CV2_SETUP_RECORD. Packages made for Windows carry .exe/.msi files (no execute
bits); Linux packages carry execute bits. The refused archives hold a zip-slip entry, absolute and
drive paths, a backslash climb, a link and a bomb.
"""
import os
import shutil
import stat
import subprocess
import sys
import zipfile

SETUP = b'#!/bin/sh\necho "ran $(basename "$0")" >> "$CV2_SETUP_RECORD"\n'


def with_zipfile(path, entries):
    """entries: (name, mode or None, content); mode None leaves the attributes as on Windows."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, mode, content in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 2, 3, 4, 6))
            info.compress_type = zipfile.ZIP_DEFLATED
            if mode is None:
                info.create_system = 0  # made on Windows: no Unix mode
                info.external_attr = 0x20  # the archive attribute
            else:
                info.create_system = 3
                kind = stat.S_IFDIR if name.endswith("/") else stat.S_IFREG
                info.external_attr = (kind | mode) << 16
            z.writestr(info, content)


def with_zip_tool(path, entries, symlinks=False):
    """entries: (name, mode, content) staged on disk, then packed by the zip command."""
    stage = path + ".stage"
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    for name, mode, content in entries:
        full = os.path.join(stage, name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if isinstance(content, tuple):  # ("link", target)
            os.symlink(content[1], full)
            continue
        with open(full, "wb") as f:
            f.write(content)
        os.chmod(full, mode)
    args = ["zip", "-q", "-r", "-X"] + (["--symlinks"] if symlinks else []) + [os.path.abspath(path), "."]
    subprocess.run(args, cwd=stage, check=True)
    shutil.rmtree(stage)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    p = lambda name: os.path.join(out, name)
    text = b"Read me first.\n"

    # Windows packages
    with_zipfile(p("win_setup_install.zip"), [("Setup.exe", None, b"MZ setup"),
                                               ("Install.exe", None, b"MZ install"),
                                               ("readme.txt", None, text)])
    with_zip_tool(p("win_msi_down.zip"), [("readme.txt", 0o644, text),
                                          ("Driver/install.msi", 0o644, b"msi")])
    with_zip_tool(p("win_instmsi_down.zip"), [("readme.txt", 0o644, text),
                                              ("Driver/instmsi.msi", 0o644, b"msi")])
    with_zipfile(p("win_only_down.zip"), [("drv/", None, b""), ("drv/x.exe", None, b"MZ x")])
    with_zipfile(p("win_upper.zip"), [("SETUP.EXE", None, b"MZ setup")])
    with_zipfile(p("win_hidden.zip"), [(".setup.exe", None, b"MZ hidden"),
                                        ("other.exe", None, b"MZ other")])

    # Linux packages
    with_zip_tool(p("linux_setup.zip"), [("setup.sh", 0o755, SETUP), ("install.run", 0o755, SETUP),
                                         ("tool", 0o755, SETUP),
                                         ("driver-install.deb", 0o644, b"!<arch>\n"),
                                         ("readme.txt", 0o644, text)])
    with_zipfile(p("linux_install.zip"), [("install.run", 0o755, SETUP), ("tool", 0o755, SETUP),
                                           ("readme.txt", 0o644, text)])
    with_zip_tool(p("linux_package.zip"), [("helper.sh", 0o755, SETUP),
                                           ("driver-install.deb", 0o644, b"!<arch>\n"),
                                           ("readme.txt", 0o644, text)])
    with_zipfile(p("linux_any.zip"), [("tool", 0o755, SETUP), ("readme.txt", 0o644, text)])
    with_zip_tool(p("linux_down.zip"), [("readme.txt", 0o644, text), ("pkg/run-me", 0o755, SETUP)])
    with_zip_tool(p("linux_none.zip"), [("readme.txt", 0o644, text),
                                        ("docs/manual.txt", 0o644, text)])
    with_zipfile(p("linux_modes.zip"), [("bin/", 0o755, b""), ("bin/tool", 0o4755, SETUP),
                                         ("data/deep/file.txt", 0o666, b"new data\n"),
                                         ("data/sticky.txt", 0o1644, text)])

    # Refused archives
    with_zipfile(p("slip.zip"), [("ok.txt", 0o644, text), ("../evil.txt", 0o644, b"evil")])
    with_zipfile(p("absolute.zip"), [("ok.txt", 0o644, text), ("/abs-evil.txt", 0o644, b"evil")])
    with_zipfile(p("drive.zip"), [("ok.txt", 0o644, text), ("C:evil.txt", None, b"evil")])
    with_zipfile(p("backslash.zip"), [("ok.txt", None, text), ("sub\\..\\..\\evil.txt", None, b"evil")])
    with_zip_tool(p("link.zip"), [("ok.txt", 0o644, text), ("link", 0o777, ("link", "/etc/passwd"))],
                  symlinks=True)
    with_zipfile(p("bomb.zip"), [("ok.txt", 0o644, text), ("zeros.bin", 0o644, bytes(50 << 20))])


if __name__ == "__main__":
    main()

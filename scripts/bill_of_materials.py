#!/usr/bin/env python3
"""Writes the release's software bill of materials (CycloneDX 1.5 JSON) and its
third-party notices from the build itself: the third-party files the linker put
into the exe (its link map), the Debian package that installed each, and that
package's version and copyright file. Kept by hand is only each package's
licence and where in its copyright file its notice stands; a linked package
without them fails the release. The same build gives the same bytes: no time,
and a serial number taken from the content.

  bill_of_materials.py --map MAP --exe EXE --version V --commit HASH \
      --toolchain-package PKG... --sbom OUT.json --notices OUT.txt
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import textwrap
import uuid

# Each package that can be linked into the exe: its licence (SPDX) as its
# copyright file gives it for the linked runtime, and the (start, end, end
# included) line patterns of the notice to reproduce.
KNOWN_PACKAGES = {
    "mingw-w64-i686-dev": {
        "name": "MinGW-w64 runtime",
        "licence": "ZPL-2.1",
        # "Files: *"; the start-up code in mingw-w64-crt/crt is public domain, with no notice.
        "notice": [(r"^Files: \*$", r"^$", False)],
    },
    "gcc-mingw-w64-i686-posix": {
        "name": "GCC runtime library (libgcc, crtbegin.o, crtend.o)",
        "licence": "GPL-3.0-or-later WITH GCC-exception-3.1",
        "notice": [(r"^GCC is Copyright", r"^The libbacktrace library", False),
                   (r"^GCC RUNTIME LIBRARY EXCEPTION$", r"requirements of the license of GCC\.$", True)],
    },
}
# Debian's copyright files point at licence texts only a Debian machine has:
# the notices carry those texts at their end instead.
COMMON_LICENCE = re.compile(r"/usr/share/common-licenses/[A-Za-z0-9.+-]+")


def fail(message):
    sys.exit("bill_of_materials: " + message)


def linked_files(map_path):
    """{path: [archive members]} of the files the link took code from; an object file loaded whole has none."""
    linked, in_members = {}, False
    with open(map_path, encoding="utf-8", errors="replace") as map_file:
        for line in map_file.read().splitlines():
            if line.startswith("Archive member included"):
                in_members = True
            elif line.startswith(("Discarded input sections", "Memory Configuration")):
                in_members = False
            elif in_members:
                member = re.match(r"^(\S.*)\(([^()]+)\)$", line)
                if member:
                    linked.setdefault(member.group(1), []).append(member.group(2))
            else:
                loaded = re.match(r"^LOAD (\S+\.(?:o|obj))$", line)
                if loaded:
                    linked.setdefault(loaded.group(1), [])
    return linked


def linked_names(path, members):
    """An object file by its name, an archive member as archive(member), and the
    stubs dlltool makes for an import library (<prefix>h.o, t.o, s<N>.o) once."""
    name = os.path.basename(path)
    if not members:
        return [name]
    prefixes = [m[:-3] for m in members if m.endswith("h.o")]
    prefixes = [p for p in prefixes if any(re.fullmatch(re.escape(p) + r"s\d+\.o", m) for m in members)]
    stubs = {m for m in members if any(re.fullmatch(re.escape(p) + r"(h|t|s\d+)\.o", m) for p in prefixes)}
    return [f"{name}({m})" for m in members if m not in stubs] + ([name + " (import stubs)"] if stubs else [])


def owning_package(path, use="which the exe links"):
    """The Debian package that installed the file, or None for the build's own."""
    if not os.path.isabs(path):
        return None
    result = subprocess.run(["dpkg-query", "-S", os.path.realpath(path)], capture_output=True, text=True)
    if result.returncode != 0:
        fail("no Debian package installed " + os.path.realpath(path) + ", " + use)
    return result.stdout.split(":")[0].strip()


def package_field(package, field):
    return subprocess.run(["dpkg-query", "-W", "-f", "${" + field + "}", package],
                          capture_output=True, text=True, check=True).stdout.strip()


def purl(package, distro):
    return (f"pkg:deb/debian/{package}@{package_field(package, 'Version')}"
            f"?arch={package_field(package, 'Architecture')}&distro={distro}")


def notice_text(package, referred):
    """The notice, with each licence file it refers to named as a section at the end (added to referred)."""
    path = os.path.join("/usr/share/doc", package, "copyright")
    with open(path, encoding="utf-8", errors="replace") as copyright_file:
        lines = copyright_file.read().splitlines()
    parts = []
    for start, end, include_end in KNOWN_PACKAGES[package]["notice"]:
        first = next((i for i, line in enumerate(lines) if re.search(start, line)), None)
        if first is None:
            fail(f"{path} has no line matching {start!r}: the notice to reproduce has moved")
        last = next((i for i in range(first + 1, len(lines)) if re.search(end, lines[i])), len(lines))
        parts.append("\n".join(lines[first:last + 1 if include_end else last]).rstrip())

    def section(match):
        licence = os.path.realpath(match.group(0))
        if not os.path.isfile(licence):
            fail(f"a notice refers to {match.group(0)}, which is not here")
        referred[licence] = os.path.basename(licence)
        return f"{referred[licence]}, at the end of this file"
    return COMMON_LICENCE.sub(section, "\n\n".join(parts))


def main():
    parser = argparse.ArgumentParser()
    for option in ("--map", "--exe", "--version", "--commit", "--sbom", "--notices"):
        parser.add_argument(option, required=True)
    parser.add_argument("--toolchain-package", action="append", default=[])
    arguments = parser.parse_args()

    by_package = {}
    for path, members in linked_files(arguments.map).items():
        package = owning_package(path)
        if package is not None:
            by_package.setdefault(package, []).extend(linked_names(path, members))
    if not by_package:
        fail("the link map shows no third-party file: is it the exe's?")
    unknown = sorted(set(by_package) - set(KNOWN_PACKAGES))
    if unknown:
        fail("the exe links files of " + ", ".join(unknown) + ", whose licence and notice are not known here")

    with open("/etc/os-release", encoding="utf-8") as release_file:
        release = dict(line.strip().partition("=")[::2] for line in release_file)
    release = {key: value.strip('"') for key, value in release.items()}
    distro = "debian-" + release.get("VERSION_ID", "unknown")
    with open(arguments.exe, "rb") as exe:
        exe_sha256 = hashlib.sha256(exe.read()).hexdigest()

    components = [{
        "type": "library", "bom-ref": package, "name": package, "version": package_field(package, "Version"),
        "description": KNOWN_PACKAGES[package]["name"], "licenses": [{"expression": KNOWN_PACKAGES[package]["licence"]}],
        "purl": purl(package, distro),
        "properties": [{"name": "lumaris:linked", "value": linked} for linked in sorted(set(by_package[package]))],
    } for package in sorted(by_package)]
    tools = [{"type": "application", "name": package, "version": package_field(package, "Version"),
              "purl": purl(package, distro)} for package in sorted(arguments.toolchain_package)]
    bom = {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "metadata": {
            "component": {
                "type": "application", "bom-ref": "lumaris-hba", "name": "lumaris-hba", "version": arguments.version,
                "description": "Torvane Lumaris host-kit report tool, lumaris-hba.exe (32-bit Windows)",
                "hashes": [{"alg": "SHA-256", "content": exe_sha256}],
                "properties": [{"name": "lumaris:commit", "value": arguments.commit},
                               {"name": "lumaris:built-on", "value": release.get("PRETTY_NAME", "unknown")}],
            },
            "tools": {"components": tools},
        },
        "components": components,
        "dependencies": [{"ref": "lumaris-hba", "dependsOn": [c["bom-ref"] for c in components]}]
                        + [{"ref": c["bom-ref"], "dependsOn": []} for c in components],
    }
    content = json.dumps(bom, sort_keys=True, separators=(",", ":"))
    bom["serialNumber"] = "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, "lumaris-hba-sbom:" + content))
    with open(arguments.sbom, "w", encoding="utf-8") as sbom:
        json.dump(bom, sbom, indent=2, sort_keys=True)
        sbom.write("\n")

    # CRLF: the notices are read on Windows, as the guide beside them is.
    with open(arguments.notices, "w", encoding="utf-8", newline="\r\n") as notices:
        notices.write(f"Third-party notices for lumaris-hba {arguments.version}\n\n"
                      "lumaris-hba.exe is statically linked with the third-party components below. Each is\n"
                      "named with the Debian package it was built from and that package's version, with\n"
                      "its licence, the files linked from it, and the notice its licence asks to be\n"
                      "reproduced, as that package's copyright file gives it. The licence texts those\n"
                      "notices refer to follow at the end.\n")
        referred = {}
        for component in components:
            package, known = component["name"], KNOWN_PACKAGES[component["name"]]
            linked = textwrap.fill("Linked: " + ", ".join(p["value"] for p in component["properties"]),
                                   width=78, subsequent_indent="    ", break_on_hyphens=False)
            notices.write(f"\n{'=' * 78}\n{known['name']}\nPackage: {package} {component['version']}\n"
                          f"Licence: {known['licence']}\n{linked}\n\n{notice_text(package, referred)}\n")
        for path in sorted(referred):
            notices.write(f"\n{'=' * 78}\n{referred[path]}\n"
                          f"As Debian's package {owning_package(path, 'which a notice refers to')} ships it\n\n")
            with open(path, encoding="utf-8") as licence:
                notices.write(licence.read().rstrip() + "\n")


if __name__ == "__main__":
    main()

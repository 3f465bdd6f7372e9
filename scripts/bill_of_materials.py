#!/usr/bin/env python3
"""Writes the release's software bill of materials (CycloneDX 1.5 JSON) and its
third-party notices, derived from the build itself: which third-party files the
linker put into the exe (its link map), which Debian package installed each of
them, and that package's version and copyright file. Nothing here lists the
components by hand; what is kept by hand is only what a package's licence is
and where in its copyright file the notice that licence asks for stands, and a
linked package with no such entry fails the release. The same build on the same
toolchain gives the same bytes: no time, and a serial number taken from the
content.

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

# What each package that can be linked into the exe is, under which licence
# (SPDX), and which parts of its copyright file carry the notice to reproduce.
# The licences are those the packages' copyright files give for the runtime
# parts that get linked.
KNOWN_PACKAGES = {
    "mingw-w64-i686-dev": {
        "name": "MinGW-w64 runtime",
        "licence": "ZPL-2.1",
        # The DEP-5 paragraph for "Files: *"; the start-up code in
        # mingw-w64-crt/crt is public domain, which asks for no notice.
        "notice": [(r"^Files: \*$", r"^$", False)],
    },
    "gcc-mingw-w64-i686-posix": {
        "name": "GCC runtime library (libgcc, crtbegin.o, crtend.o)",
        "licence": "GPL-3.0-or-later WITH GCC-exception-3.1",
        "notice": [(r"^GCC is Copyright", r"^The libbacktrace library", False),
                   (r"^GCC RUNTIME LIBRARY EXCEPTION$", r"requirements of the license of GCC\.$", True)],
    },
}


def fail(message):
    sys.exit("bill_of_materials: " + message)


def linked_files(map_path):
    """The files the link took code from: {path: [archive members]}, an object
    file loaded whole having no members. Paths as the map gives them."""
    linked = {}
    with open(map_path, encoding="utf-8", errors="replace") as map_file:
        lines = map_file.read().splitlines()
    in_members = False
    for line in lines:
        if line.startswith("Archive member included"):
            in_members = True
            continue
        if in_members and (line.startswith("Discarded input sections") or line.startswith("Memory Configuration")):
            in_members = False
        if in_members:
            member = re.match(r"^(\S.*)\(([^()]+)\)$", line)
            if member:
                linked.setdefault(member.group(1), []).append(member.group(2))
            continue
        loaded = re.match(r"^LOAD (\S+\.(?:o|obj))$", line)
        if loaded:
            linked.setdefault(loaded.group(1), [])
    return linked


def linked_names(path, members):
    """How the SBOM names what was linked from a file: an object file by its
    name, an archive member as archive(member), and the stubs dlltool makes for
    an import library (<prefix>h.o, <prefix>t.o, <prefix>s<N>.o), once."""
    name = os.path.basename(path)
    if not members:
        return [name]
    prefixes = [m[:-3] for m in members if m.endswith("h.o")]
    prefixes = [p for p in prefixes if any(re.fullmatch(re.escape(p) + r"s\d+\.o", m) for m in members)]

    def is_stub(member):
        return any(re.fullmatch(re.escape(p) + r"(h|t|s\d+)\.o", member) for p in prefixes)

    names = [f"{name}({member})" for member in members if not is_stub(member)]
    if any(is_stub(member) for member in members):
        names.append(name + " (import stubs)")
    return names


def owning_package(path, use="which the exe links"):
    """The Debian package that installed the file, or None for the build's own."""
    if not os.path.isabs(path):
        return None
    real = os.path.realpath(path)
    result = subprocess.run(["dpkg-query", "-S", real], capture_output=True, text=True)
    if result.returncode != 0:
        fail("no Debian package installed " + real + ", " + use)
    return result.stdout.split(":")[0].strip()


def package_field(package, field):
    return subprocess.run(["dpkg-query", "-W", "-f", "${" + field + "}", package],
                          capture_output=True, text=True, check=True).stdout.strip()


def os_release():
    values = {}
    with open("/etc/os-release", encoding="utf-8") as release:
        for line in release:
            key, _, value = line.strip().partition("=")
            values[key] = value.strip('"')
    return values


def purl(package, distro):
    version = package_field(package, "Version")
    architecture = package_field(package, "Architecture")
    return f"pkg:deb/debian/{package}@{version}?arch={architecture}&distro={distro}"


def notice_text(package, rules):
    path = os.path.join("/usr/share/doc", package, "copyright")
    with open(path, encoding="utf-8", errors="replace") as copyright_file:
        lines = copyright_file.read().splitlines()
    parts = []
    for start, end, include_end in rules:
        first = next((i for i, line in enumerate(lines) if re.search(start, line)), None)
        if first is None:
            fail(f"{path} has no line matching {start!r}: the notice to reproduce has moved")
        last = next((i for i in range(first + 1, len(lines)) if re.search(end, lines[i])), len(lines))
        parts.append("\n".join(lines[first:last + 1 if include_end else last]).rstrip())
    return "\n\n".join(parts)


# Debian's copyright files point at licence texts that only a Debian machine
# has. Each such reference in a notice becomes the name of the section at the
# end of the notices that holds the text, read from the file it points at.
COMMON_LICENCE = re.compile(r"/usr/share/common-licenses/[A-Za-z0-9.+-]+")


def with_licence_texts_referred(notice, referred):
    def section(match):
        path = os.path.realpath(match.group(0))
        if not os.path.isfile(path):
            fail(f"a notice refers to {match.group(0)}, which is not here")
        referred[path] = os.path.basename(path)
        return f"{referred[path]}, at the end of this file"
    return COMMON_LICENCE.sub(section, notice)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--map", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--commit", required=True)
    parser.add_argument("--toolchain-package", action="append", default=[])
    parser.add_argument("--sbom", required=True)
    parser.add_argument("--notices", required=True)
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

    release = os_release()
    distro = "debian-" + release.get("VERSION_ID", "unknown")
    with open(arguments.exe, "rb") as exe:
        exe_sha256 = hashlib.sha256(exe.read()).hexdigest()

    components = []
    for package in sorted(by_package):
        known = KNOWN_PACKAGES[package]
        components.append({
            "type": "library",
            "bom-ref": package,
            "name": package,
            "version": package_field(package, "Version"),
            "description": known["name"],
            "licenses": [{"expression": known["licence"]}],
            "purl": purl(package, distro),
            "properties": [{"name": "lumaris:linked", "value": linked}
                           for linked in sorted(set(by_package[package]))],
        })
    tools = [{"type": "application", "name": package, "version": package_field(package, "Version"),
              "purl": purl(package, distro)} for package in sorted(arguments.toolchain_package)]
    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        "version": 1,
        "metadata": {
            "component": {
                "type": "application",
                "bom-ref": "lumaris-hba",
                "name": "lumaris-hba",
                "version": arguments.version,
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
            package = component["name"]
            notices.write(f"\n{'=' * 78}\n{KNOWN_PACKAGES[package]['name']}\n"
                          f"Package: {package} {component['version']}\n"
                          f"Licence: {KNOWN_PACKAGES[package]['licence']}\n"
                          + textwrap.fill("Linked: " + ", ".join(p["value"] for p in component["properties"]),
                                          width=78, subsequent_indent="    ", break_on_hyphens=False)
                          + "\n\n")
            notices.write(with_licence_texts_referred(notice_text(package, KNOWN_PACKAGES[package]["notice"]),
                                                      referred) + "\n")
        for path in sorted(referred):
            package = owning_package(path, "which a notice refers to")
            notices.write(f"\n{'=' * 78}\n{referred[path]}\n"
                          f"As Debian's package {package} ships it\n\n")
            with open(path, encoding="utf-8") as licence:
                notices.write(licence.read().rstrip() + "\n")


if __name__ == "__main__":
    main()

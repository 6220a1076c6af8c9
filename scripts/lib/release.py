#!/usr/bin/env python3
"""The parts of scripts/release that want more than a shell: a zip that comes out byte for byte
the same from the same files, the third-party notices and the bill of materials read from the
link maps and the Debian packages, and the installer authors' README.

  release.py zip OUT.zip FOLDER NAME EPOCH      every file under FOLDER, as NAME/..., sorted
  release.py readme OUT TEMPLATE VERSION FOLDER the README for installer authors
  release.py runtime MAPS_FOLDER NOTICES SBOM VERSION COMMIT EPOCH
  release.py pe-pad FILE...                     each PE file padded as a signature pads it
"""
import array
import datetime
import json
import os
import re
import struct
import subprocess
import sys
import urllib.parse
import zipfile


def files_under(folder):
    """Every file under folder as a path relative to it with '/' separators, sorted."""
    found = []
    for parent, dirs, names in os.walk(folder):
        dirs.sort()
        for name in names:
            path = os.path.join(parent, name)
            found.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    return sorted(found)


def write_zip(out, folder, name, epoch):
    """A zip whose bytes depend only on the files' names and contents: entries sorted, every
    time the commit's (in UTC), one owner-less mode, one compression level, no extra fields."""
    stamp = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc)
    # A zip cannot hold a time before 1980.
    date_time = max(stamp.timetuple()[:6], (1980, 1, 1, 0, 0, 0))
    with zipfile.ZipFile(out, "w") as archive:
        for relative in files_under(folder):
            entry = zipfile.ZipInfo(f"{name}/{relative}", date_time=date_time)
            entry.create_system = 3  # Unix, so that the mode below means the same everywhere
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, relative), "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)


def write_readme(out, template, version, folder):
    """The template with its version and its list of the kits: each folder under installer/
    of the staged release with its files."""
    kits = []
    installer = os.path.join(folder, "installer")
    if os.path.isdir(installer):
        for kit in sorted(os.listdir(installer)):
            if os.path.isdir(os.path.join(installer, kit)):
                kits.append(f"  installer/{kit}/")
                kits += [f"      {path}" for path in files_under(os.path.join(installer, kit))]
    with open(template, encoding="utf-8") as source:
        text = source.read()
    text = text.replace("@VERSION@", version).replace("@KITS@", "\n".join(kits) or "  (none)")
    # Installer authors read it on Windows: CR LF line ends.
    with open(out, "w", encoding="utf-8", newline="\r\n") as target:
        target.write(text)


def pe_checksum(data, field):
    """The PE image checksum: the file's 16-bit words (its checksum field taken as zero) summed
    with the carries folded back in, plus the file's length."""
    words = bytearray(data)
    words[field:field + 4] = bytes(4)
    if len(words) % 2:
        words.append(0)
    total = sum(array.array("H", bytes(words)))  # little-endian hosts only, as PE itself
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def pad_pe(path):
    """Pads a PE file with zeros to a multiple of 8 bytes and sets its checksum, as osslsigncode
    does before it appends a signature and keeps when it removes one: so a signed file without
    its signature is the unsigned release's file to the byte."""
    with open(path, "rb") as source:
        data = bytearray(source.read())
    if data[:2] != b"MZ":
        sys.exit(f"release.py: {path} is not a PE file")
    # The checksum field: after the PE signature (4 bytes), the file header (20) and 64 bytes of
    # the optional header, the same offset for 32-bit and 64-bit images.
    field = struct.unpack_from("<I", data, 0x3C)[0] + 4 + 20 + 64
    data += bytes(-len(data) % 8)
    struct.pack_into("<I", data, field, pe_checksum(data, field))
    with open(path, "wb") as target:
        target.write(data)


def linked_files(map_path):
    """The files outside the build that a GNU ld link map shows went into the output: the
    archives that gave members, and the objects loaded by their absolute path."""
    found = set()
    in_members = False
    with open(map_path, encoding="utf-8", errors="replace") as source:
        for line in source:
            if line.startswith("Archive member included"):
                in_members = True
                continue
            if in_members and re.match(r"^(Discarded input sections|Memory Configuration)", line):
                in_members = False
            member = re.match(r"^(/\S+\.a)\(", line) if in_members else None
            loaded = re.match(r"^LOAD (/\S+\.o)$", line.rstrip("\n"))
            for match in (member, loaded):
                if match:
                    found.add(os.path.realpath(match.group(1)))
    return found


def owning_package(path):
    """The Debian package that installed this file."""
    result = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True, check=True)
    return result.stdout.split(":", 1)[0].strip()


def package_version(package):
    result = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                            capture_output=True, text=True, check=True)
    return result.stdout.strip()


def runtime_packages(maps_folder):
    """{package: {"version", "binaries", "files"}} for every package linked into a binary."""
    packages = {}
    for map_name in sorted(os.listdir(maps_folder)):
        if not map_name.endswith(".map"):
            continue
        binary = map_name[: -len(".map")]
        for path in sorted(linked_files(os.path.join(maps_folder, map_name))):
            package = owning_package(path)
            entry = packages.setdefault(
                package, {"version": package_version(package), "binaries": set(), "files": set()})
            entry["binaries"].add(binary)
            entry["files"].add(os.path.basename(path))
    if not packages:
        sys.exit(f"release.py: no runtime library found in the link maps in {maps_folder}")
    return packages


def write_notices(out, packages):
    """Each package's own copyright file, once per distinct file (several packages share one
    through a link), then the full texts of the common licences they refer to."""
    sections = {}
    for package in sorted(packages):
        copyright_path = os.path.realpath(f"/usr/share/doc/{package}/copyright")
        sections.setdefault(copyright_path, []).append(package)
    licences = set()
    parts = [
        "Third-party notices\n"
        "===================\n\n"
        "The binaries of this release link parts of the following Debian packages statically.\n"
        "Below are those packages' copyright files as Debian ships them, followed by the full\n"
        "texts of the licences they refer to in /usr/share/common-licenses.\n"]
    for copyright_path, names in sections.items():
        with open(copyright_path, encoding="utf-8") as source:
            text = source.read()
        for licence in re.findall(r"/usr/share/common-licenses/[A-Za-z0-9.+-]*[A-Za-z0-9+]", text):
            # GPL is a link to GPL-3, and so on: each text once, under its file's own name.
            if os.path.isfile(licence):
                licences.add(os.path.realpath(licence))
        heading = ", ".join(
            f"{name} {packages[name]['version']} ({', '.join(sorted(packages[name]['files']))})"
            for name in names)
        parts.append(f"\n{'=' * 78}\n{heading}\n{'=' * 78}\n\n{text}")
    for licence in sorted(licences):
        with open(licence, encoding="utf-8") as source:
            parts.append(f"\n{'=' * 78}\n{licence}\n{'=' * 78}\n\n{source.read()}")
    with open(out, "w", encoding="utf-8", newline="\r\n") as target:
        target.write("".join(parts))


def spdx_id(name):
    return "SPDXRef-Package-" + re.sub(r"[^A-Za-z0-9.-]", "-", name)


def write_sbom(out, packages, version, commit, epoch):
    """An SPDX 2.3 document: Tamsrove, and each Debian package linked into it statically."""
    created = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc)
    document_name = f"Tamsrove-{version}-win-x64"
    product = {
        "name": "Tamsrove", "SPDXID": spdx_id("Tamsrove"), "versionInfo": version,
        "downloadLocation": "NOASSERTION", "filesAnalyzed": False,
        "licenseConcluded": "NOASSERTION", "licenseDeclared": "NOASSERTION",
        "copyrightText": "NOASSERTION", "primaryPackagePurpose": "APPLICATION",
        "comment": f"Built from commit {commit}."}
    components = []
    relationships = [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                      "relatedSpdxElement": product["SPDXID"]}]
    for name in sorted(packages):
        entry = packages[name]
        purl = "pkg:deb/debian/{}@{}?arch=amd64".format(
            urllib.parse.quote(name, safe=""), urllib.parse.quote(entry["version"], safe=""))
        components.append({
            "name": name, "SPDXID": spdx_id(name), "versionInfo": entry["version"],
            "supplier": "Organization: Debian", "downloadLocation": "NOASSERTION",
            "filesAnalyzed": False, "licenseConcluded": "NOASSERTION",
            "licenseDeclared": "NOASSERTION", "copyrightText": "NOASSERTION",
            "primaryPackagePurpose": "LIBRARY",
            "externalRefs": [{
                "referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                "referenceLocator": purl}],
            "comment": "Linked statically into " + ", ".join(sorted(entry["binaries"]))
                       + " from " + ", ".join(sorted(entry["files"])) + "."})
        relationships.append({"spdxElementId": product["SPDXID"],
                              "relationshipType": "STATIC_LINK",
                              "relatedSpdxElement": spdx_id(name)})
    document = {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": document_name,
        "documentNamespace": f"https://tamsrove.invalid/spdx/{document_name}-{commit}",
        "creationInfo": {"created": created.strftime("%Y-%m-%dT%H:%M:%SZ"),
                         "creators": ["Tool: scripts/release"]},
        "packages": [product] + components,
        "relationships": relationships}
    with open(out, "w", encoding="utf-8") as target:
        json.dump(document, target, indent=2, sort_keys=True)
        target.write("\n")


def main(argv):
    command, arguments = (argv[1], argv[2:]) if len(argv) > 1 else ("", [])
    if command == "zip" and len(arguments) == 4:
        write_zip(*arguments)
    elif command == "readme" and len(arguments) == 4:
        write_readme(*arguments)
    elif command == "pe-pad" and arguments:
        for path in arguments:
            pad_pe(path)
    elif command == "runtime" and len(arguments) == 6:
        maps_folder, notices, sbom, version, commit, epoch = arguments
        packages = runtime_packages(maps_folder)
        write_notices(notices, packages)
        write_sbom(sbom, packages, version, commit, epoch)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)

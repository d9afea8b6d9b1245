"""A disc image (ISO 9660, with or without Joliet) read as the emulated system
sees that disc in its drive: the files as the image's file system names them,
read straight from the image file, with no mount and no root.

Joliet's names (UCS-2, long, in their case) are read where the image has
them; else ISO 9660's own (upper case, "NAME.EXT;1" read as "NAME.EXT").
"""

import hashlib
import os
from pathlib import Path

SECTOR = 2048
FIRST_DESCRIPTOR = 16          # volume descriptors start at sector 16
JOLIET = (b"%/@", b"%/C", b"%/E")  # the escape sequences of UCS-2 levels 1 to 3
DIRECTORY = 0x02               # a directory record's flag for a directory
MULTI_EXTENT = 0x80            # a file in more than one extent


class NotAnImage(Exception):
    """The file is no ISO 9660 image, or a damaged one; the message says how."""


class DiscImage:
    """The image's tree as {Windows-style relative path: (extent offset, size)}
    for files and a set of folders, each path with "/" between its parts."""

    def __init__(self, path):
        self.path = Path(path)
        self.size = self.path.stat().st_size
        self.files, self.folders = {}, set()
        with open(self.path, "rb") as image:
            self.image = image
            root, self.joliet = self.root_record()
            self.walk(root, "", depth=0)
        del self.image

    def within(self, end):
        if end > self.size:
            raise NotAnImage(f"it is cut short: it ends at {self.size:,} bytes, and its file "
                             f"system reaches byte {end:,}")

    def read(self, offset, length):
        self.within(offset + length)
        self.image.seek(offset)
        return self.image.read(length)

    def root_record(self):
        """The root directory's record, Joliet's where the image has one."""
        if self.size < (FIRST_DESCRIPTOR + 1) * SECTOR:
            raise NotAnImage("it is too small to be a disc image")
        primary, joliet = None, None
        for sector in range(FIRST_DESCRIPTOR, FIRST_DESCRIPTOR + 64):
            descriptor = self.read(sector * SECTOR, SECTOR)
            if descriptor[1:6] != b"CD001":
                break
            kind = descriptor[0]
            if kind == 1 and primary is None:
                primary = descriptor
            elif kind == 2 and descriptor[88:91] in JOLIET:
                joliet = descriptor
            elif kind == 255:
                break
        if primary is None:
            raise NotAnImage("it has no ISO 9660 volume descriptor (no \"CD001\" at sector 16)")
        chosen = joliet or primary
        if int.from_bytes(chosen[128:130], "little") != SECTOR:
            raise NotAnImage("its logical blocks are not 2,048 bytes, as a CD's are")
        return chosen[156:190], joliet is not None

    def walk(self, record, folder, depth):
        if depth > 8:  # ISO 9660 allows eight levels; deeper is a loop in a damaged image
            raise NotAnImage(f"its folders nest deeper than ISO 9660 allows, at {folder}")
        extent, length = self.extent(record)
        data = self.read(extent, length)
        at = 0
        while at < len(data):
            size = data[at]
            if size == 0:  # records never cross a sector: the rest of this one is padding
                at = (at // SECTOR + 1) * SECTOR
                continue
            entry = data[at:at + size]
            at += size
            if len(entry) < 34 or entry[32] + 33 > len(entry):
                raise NotAnImage(f"a directory record in {folder or 'its root'} is damaged")
            raw = entry[33:33 + entry[32]]
            if raw in (b"\x00", b"\x01"):  # the folder itself and its parent
                continue
            name = self.name(raw)
            path = f"{folder}/{name}" if folder else name
            if entry[25] & DIRECTORY:
                self.folders.add(path)
                self.walk(entry, path, depth + 1)
            elif entry[25] & MULTI_EXTENT:
                raise NotAnImage(f"{path} is in more than one extent, which a reader's "
                                 "media never needs")
            else:
                offset, file_size = self.extent(entry)
                self.within(offset + file_size)
                self.files[path] = (offset, file_size)

    @staticmethod
    def extent(record):
        return (int.from_bytes(record[2:6], "little") * SECTOR,
                int.from_bytes(record[10:14], "little"))

    def name(self, raw):
        text = raw.decode("utf-16-be", errors="replace") if self.joliet else \
            raw.decode("latin-1")
        text = text.split(";", 1)[0]
        return text[:-1] if text.endswith(".") else text

    def find(self, path):
        """The path as the image names it, found without regard to case, or None."""
        wanted = path.lower()
        return next((p for p in sorted(self.folders | set(self.files)) if p.lower() == wanted),
                    None)

    def extract(self, folder):
        """Writes the image's files into folder, each read-only, as on a CD."""
        folder = Path(folder)
        folder.mkdir(parents=True, exist_ok=True)
        for path in sorted(self.folders):
            (folder / path).mkdir(parents=True, exist_ok=True)
        with open(self.path, "rb") as image:
            for path, (offset, size) in sorted(self.files.items()):
                image.seek(offset)
                target = folder / path
                target.write_bytes(image.read(size))
                os.chmod(target, 0o444)

    def digest(self, path):
        offset, size = self.files[path]
        with open(self.path, "rb") as image:
            image.seek(offset)
            return hashlib.sha1(image.read(size)).hexdigest()

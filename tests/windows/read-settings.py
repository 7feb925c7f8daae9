#!/usr/bin/env python3
"""Prints the value of one key of a settings file in the plug-in's plain binary form
(magic "PROP", 32-bit little-endian count, then each key and value as zero-ended UTF-8).
Exits non-zero, saying why, when the file is missing, not of that form, or lacks the key."""

import struct
import sys


def read_properties(data):
    if data[:4] != b"PROP":
        raise ValueError("no PROP magic")
    (count,) = struct.unpack_from("<i", data, 4)
    if count < 0:
        raise ValueError("negative property count")
    fields = data[8:].split(b"\0")
    if len(fields) != 2 * count + 1 or fields[-1] != b"":
        raise ValueError("%d properties announced, %d zero-ended fields found" % (count, len(fields) - 1))
    texts = [f.decode("utf-8") for f in fields[:-1]]
    return dict(zip(texts[0::2], texts[1::2]))


def main():
    path, key = sys.argv[1], sys.argv[2]
    try:
        with open(path, "rb") as f:
            properties = read_properties(f.read())
    except (OSError, ValueError) as error:
        print("%s: %s" % (path, error))
        return 1
    if key not in properties:
        print("%s: no %s among %s" % (path, key, sorted(properties)))
        return 1
    print(properties[key])
    return 0


if __name__ == "__main__":
    sys.exit(main())

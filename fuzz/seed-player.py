#!/usr/bin/env python3
"""Turns EMF files into inputs of the playback target: the header's bounds, frame and reference
device, an image size, then the records that follow the header.

    python3 fuzz/seed-player.py OUT_DIR PICTURE.emf...
"""
import os
import struct
import sys

out = sys.argv[1]
for path in sys.argv[2:]:
    with open(path, "rb") as f:
        emf = f.read()
    if len(emf) < 88 or struct.unpack_from("<I", emf, 0)[0] != 1:
        continue
    header_size = struct.unpack_from("<I", emf, 4)[0]
    fields = emf[8:40] + emf[72:88]  # rclBounds, rclFrame, szlDevice, szlMillimeters
    seed = fields + struct.pack("<I", 0x7F7F) + emf[header_size:]
    with open(os.path.join(out, os.path.basename(path) + ".seed"), "wb") as f:
        f.write(seed)

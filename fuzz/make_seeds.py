#!/usr/bin/env python3
"""Writes the seed corpora from the real-image fixtures, trimmed small, plus
hand-made corruptions of them.

Usage: make_seeds.py FIXTURE_DIR [OUT_DIR]   (OUT_DIR defaults to fuzz/corpus)

Volume seeds keep what the engines read first: NTFS images up to the end of the
MFT; FAT32 images with one FAT cut down to the clusters in use and the data area
moved up behind it; FAT16 images up to the last cluster in use. Disk seeds keep
the partition tables and each partition's first sector, with every sector number
divided by 2048, so a 168 MiB disk becomes 84 KiB.
"""

import os
import struct
import sys

SECTOR = 512
SCALE = 2048


def read(path, offset=0, length=None):
    with open(path, "rb") as f:
        f.seek(offset)
        return f.read() if length is None else f.read(length)


def ntfs_prefix(image):
    boot = read(image, 0, SECTOR)
    bps, spc = struct.unpack_from("<HB", boot, 11)
    mft = struct.unpack_from("<Q", boot, 48)[0] * bps * spc
    record0 = read(image, mft, 1024)
    at = struct.unpack_from("<H", record0, 0x14)[0]
    size = 64 * 1024
    while at + 8 <= len(record0):
        kind, length = struct.unpack_from("<II", record0, at)
        if kind == 0xFFFFFFFF or length == 0:
            break
        if kind == 0x80:  # $DATA of $MFT: its allocated size
            size = struct.unpack_from("<Q", record0, at + 0x28)[0]
        at += length
    return bytearray(read(image, 0, mft + size))


def fat_geometry(boot):
    bps, spc, reserved, fats, root_entries = struct.unpack_from("<HBHBH", boot, 11)
    fat16_size = struct.unpack_from("<H", boot, 22)[0]
    fat_size = fat16_size or struct.unpack_from("<I", boot, 36)[0]
    return bps, spc, reserved, fats, root_entries, fat_size, 2 if fat16_size else 4


def last_used_cluster(fat, width):
    fmt = "<H" if width == 2 else "<I"
    used = [i for i in range(len(fat) // width) if struct.unpack_from(fmt, fat, i * width)[0]]
    return max(used) if used else 2


def fat_compact(image):
    boot = read(image, 0, SECTOR)
    bps, spc, reserved, fats, root_entries, fat_size, width = fat_geometry(boot)
    fat = read(image, reserved * bps, fat_size * bps)
    clusters = last_used_cluster(fat, width) + 1
    root_bytes = root_entries * 32
    data_start = (reserved + fats * fat_size) * bps + root_bytes
    data = read(image, data_start, (clusters - 2) * spc * bps)
    if width == 2:  # FAT16: the prefix is small already
        return bytearray(read(image, 0, data_start) + data)
    kept_fat_sectors = -(-clusters * width // bps)
    out = bytearray(read(image, 0, reserved * bps))
    out[16] = 1
    struct.pack_into("<I", out, 36, kept_fat_sectors)
    out += fat[: kept_fat_sectors * bps] + data
    return out


def scaled_disk(image):
    """The disk's tables and partition boot sectors at sector numbers / SCALE."""
    out = bytearray()

    def place(lba, sector):
        at = (lba // SCALE) * SECTOR
        if len(out) < at + SECTOR:
            out.extend(bytes(at + SECTOR - len(out)))
        out[at : at + SECTOR] = sector

    def table(lba, ebr_base=None):
        sector = bytearray(read(image, lba * SECTOR, SECTOR))
        entries = []
        for i in range(4):
            at = 446 + 16 * i
            kind = sector[at + 4]
            start, count = struct.unpack_from("<II", sector, at + 8)
            if kind:
                struct.pack_into("<II", sector, at + 8, start // SCALE, max(count // SCALE, 1))
                entries.append((kind, start, count))
        place(lba, sector)
        for kind, start, count in entries:
            if kind in (0x05, 0x0F):
                base = ebr_base if ebr_base is not None else start
                table(base + start if ebr_base is not None else start, base)
            else:
                place(lba + start, read(image, (lba + start) * SECTOR, SECTOR))

    table(0)
    return out


def corrupt(data, at, new):
    copy = bytearray(data)
    copy[at : at + len(new)] = new
    return copy


def write(out_dir, harness, name, data):
    folder = os.path.join(out_dir, harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    fixtures = sys.argv[1]
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "corpus")
    fx = lambda name: os.path.join(fixtures, name)

    ntfs = ntfs_prefix(fx("ntfs.img"))
    reformat = ntfs_prefix(fx("raw-ntfs-reformat.vol.img"))
    write(out, "volscan_ntfs", "ntfs", ntfs)
    # MFT start cluster far past the device, and a record size field of 2^-1.
    write(out, "volscan_ntfs", "ntfs-mft-far", corrupt(ntfs, 48, struct.pack("<Q", 1 << 40)))
    write(out, "volscan_ntfs", "ntfs-record-size", corrupt(ntfs, 64, b"\xff"))

    fat32 = fat_compact(fx("fat32.img"))
    fat16 = fat_compact(fx("fat16.img"))
    write(out, "volscan_fat", "fat32", fat32)
    write(out, "volscan_fat", "fat16", fat16)
    write(out, "volscan_fat", "fat32-4k", fat_compact(fx("fat32-4k.img")))
    # Root folder cluster pointing at itself in the FAT, and far past the volume.
    bps, _, reserved, *_ = fat_geometry(fat32)
    root = struct.unpack_from("<I", fat32, 44)[0]
    write(out, "volscan_fat", "fat32-root-loop",
          corrupt(fat32, reserved * bps + 4 * root, struct.pack("<I", root)))
    write(out, "volscan_fat", "fat32-root-far", corrupt(fat32, 44, struct.pack("<I", 0x0FFFFFF0)))

    write(out, "rawscan_ntfs", "ntfs", ntfs)
    write(out, "rawscan_ntfs", "ntfs-noboot", corrupt(ntfs, 0, bytes(SECTOR)))
    write(out, "rawscan_ntfs", "reformat", reformat)
    # No boot sector in front, its backup at the end of the partition.
    write(out, "rawscan_ntfs", "ntfs-backup-boot", corrupt(ntfs, 0, bytes(SECTOR)) + ntfs[:SECTOR])

    write(out, "rawscan_fat32", "fat32", fat32)
    noboot = corrupt(corrupt(fat32, 0, bytes(SECTOR)), 6 * SECTOR, bytes(SECTOR))
    write(out, "rawscan_fat32", "fat32-noboot", noboot)
    write(out, "rawscan_fat32", "reformat", fat_compact(fx("raw-fat32-reformat.vol.img")))

    disk = scaled_disk(fx("disk.img"))
    write(out, "partitions", "disk", disk)
    # The first logical's EBR pointing its next entry back at itself.
    ebr = (struct.unpack_from("<I", disk, 446 + 16 + 8)[0]) * SECTOR
    write(out, "partitions", "ebr-loop", corrupt(disk, ebr + 446 + 16 + 8, struct.pack("<I", 0)))
    # A primary entry starting and ending past the disk.
    write(out, "partitions", "entry-past-end",
          corrupt(disk, 446 + 8, struct.pack("<II", 0xFFFFFFF0, 0xFFFFFFFF)))


if __name__ == "__main__":
    main()

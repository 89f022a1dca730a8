#!/usr/bin/env python3
"""Times tobrin-cli against the reference peers on the benchmark images.

Builds the images with the fixture builder (--bench), warms the page cache, runs every
tool five times per image and prints one table: wall time (median), peak memory,
deleted files reported, how many of them carry the right full path (checked against
the image's manifest), and the ratio to `tobrin-cli scan` on the same image.

    python3 bench/run_bench.py [--build build] [--images build/fixtures] [--runs 5]
"""

import argparse
import csv
import os
import re
import statistics
import struct
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
SECTOR = 512
PARTITION_START_LBA = 2048


@dataclass
class Image:
    path: Path
    fs: str  # "ntfs", "fat32" or "fat16"
    files: int  # files in the manifest
    deleted: set = field(default_factory=set)  # normalised paths of the deleted files
    masked: dict = field(default_factory=dict)  # FAT: masked path -> deleted paths

    def has_deleted(self, path):
        """Whether a reported path names a deleted file. A FAT tool shows a deleted
        short name with its lost first byte as "_"."""
        path = normalise(path, self.fs)
        if path in self.deleted:
            return True
        if self.fs == "ntfs":
            return False
        parts = path.split("/")
        for candidate in self.masked.get(mask(path), ()):
            if all(a == b or (a[:1] == "_" and a[1:] == b[1:])
                   for a, b in zip(parts, candidate.split("/"))):
                return True
        return False

    @property
    def label(self):
        return self.path.name


@dataclass
class Result:
    tool: str
    image: Image
    seconds: float
    peak_kb: int | None
    reported: int
    right_path: int | None  # None: the tool prints no full path
    note: str = ""


# --- images -----------------------------------------------------------------------------


def file_system_of(path):
    with open(path, "rb") as image:
        boot = image.read(SECTOR)
    if boot[3:11] == b"NTFS    ":
        return "ntfs"
    fat_size16 = struct.unpack_from("<H", boot, 22)[0]
    return "fat16" if fat_size16 else "fat32"


def normalise(path, fs):
    path = path.replace("\\", "/").lstrip("/")
    return path.lower() if fs != "ntfs" else path


def mask(path):
    return "/".join("_" + part[1:] for part in path.split("/"))


def read_manifest(path, fs):
    files, deleted = 0, set()
    with open(path, newline="", encoding="utf-8") as manifest:
        for row in csv.reader(manifest, delimiter="\t"):
            if not row or row[0] == "path" or row[0].startswith("#"):
                continue
            files += 1
            if row[3].strip().lower() in ("1", "yes", "true", "deleted"):
                deleted.add(normalise(row[0], fs))
    return files, deleted


def bench_images(folder):
    images = []
    for manifest in sorted(folder.glob("bench-*.manifest.tsv")):
        path = manifest.with_name(manifest.name.replace(".manifest.tsv", ".img"))
        if not path.exists():
            continue
        fs = file_system_of(path)
        files, deleted = read_manifest(manifest, fs)
        masked = {}
        for deleted_path in deleted:
            masked.setdefault(mask(deleted_path), []).append(deleted_path)
        images.append(Image(path, fs, files, deleted, masked))
    order = {"ntfs": 0, "fat32": 1, "fat16": 2}
    return sorted(images, key=lambda image: (order[image.fs], image.files))


def build_images(folder):
    builder = ROOT / "tests" / "fixtures" / "build_fixtures.py"
    subprocess.run([sys.executable, str(builder), str(folder), "--bench"], check=True)


def zero_boot_disk(image, folder):
    """The NTFS image as partition 1 of an MBR disk, both boot sectors zeroed."""
    disk = folder / (image.path.stem + "-noboot-disk.img")
    if disk.exists() and disk.stat().st_mtime >= image.path.stat().st_mtime:
        return Image(disk, "ntfs", image.files, image.deleted, image.masked)
    size = image.path.stat().st_size
    sectors = size // SECTOR
    with open(image.path, "rb") as source, open(disk, "wb") as target:
        total = struct.unpack_from("<Q", source.read(SECTOR), 0x28)[0]
        mbr = bytearray(SECTOR)
        struct.pack_into("<B3xBxxxII", mbr, 446, 0, 7, PARTITION_START_LBA, sectors)
        mbr[510:512] = b"\x55\xaa"
        target.write(mbr)
        target.seek(PARTITION_START_LBA * SECTOR)
        source.seek(0)
        while chunk := source.read(1 << 24):
            target.write(chunk)
        for sector in {0, min(total, sectors - 1), sectors - 1}:
            target.seek((PARTITION_START_LBA + sector) * SECTOR)
            target.write(bytes(SECTOR))
    return Image(disk, "ntfs", image.files, image.deleted, image.masked)


def warm(path):
    with open(path, "rb") as image:
        while image.read(1 << 24):
            pass


# --- tools ------------------------------------------------------------------------------


def tobrin_paths(lines, raw):
    """Full paths of the deleted files in found-file or file report lines."""
    paths = []
    for line in lines:
        fields = [f for f in line.split("|") if f]
        if len(fields) != 6 or (raw and fields[5] == "0"):
            continue
        folder = fields[1]
        parts = [p for p in folder.split("\\") if p]
        if parts and re.fullmatch(r"[A-Za-z]:", parts[0]):
            paths.append("/".join(parts[1:] + [fields[0]]))
        else:
            paths.append(None)
    return paths


def fls_paths(lines):
    paths = []
    for line in lines:
        match = re.match(r"^(\S)/(\S) \* [^\t]*:\t(.*)$", line)
        if not match or match.group(2) == "d" or match.group(1) == "d":
            continue
        path = match.group(3)
        paths.append(None if path.startswith("$OrphanFiles/") else path)
    return paths


def ntfsundelete_paths(lines):
    return [None for line in lines if re.match(r"^\d+\s", line) and "<none>" not in line]


LISTING = re.compile(r"^(X)?\s+\d+\s+(\S)\S{9}\s+\d+\s+\d+\s+\d+\s+\S+\s+\S+\s+(/.*)$")


def testdisk_paths(lines, fs):
    paths = []
    for line in lines:
        match = LISTING.match(line)
        if not match or match.group(2) != "-":
            continue
        # The NTFS undelete list holds deleted files only; FAT listings mark them with X.
        if fs == "ntfs" or match.group(1):
            paths.append(match.group(3))
    return paths


@dataclass
class Tool:
    name: str
    command: callable  # image -> argv
    paths: callable  # (lines, image) -> paths of reported deleted files
    applies: callable = lambda image: True
    log_file: str | None = None  # read the listing from this file in the run folder
    has_paths: bool = True
    inner_time: callable = None  # lines -> seconds the program measured itself


def engine_scan_seconds(lines):
    """The scan time raw_scan_bench prints: ScanRawPartition alone, inside the process."""
    return float(re.search(r"scanned in ([0-9.]+) s", lines[0]).group(1))


def tobrin_tools(build):
    cli = str((build / "bin" / "tobrin-cli").resolve())
    engine = str((build / "bin" / "raw_scan_bench").resolve())
    return [
        Tool("tobrin-cli scan",
             lambda image: [cli, "--disk", str(image.path), "--quiet", "scan", "C:"],
             lambda lines, image: tobrin_paths(lines, raw=False)),
        Tool("tobrin-cli raw-scan",
             lambda image: [cli, "--disk", str(image.path), "--quiet", "raw-scan", "0"],
             lambda lines, image: tobrin_paths(lines, raw=True),
             applies=lambda image: image.fs != "fat16"),
        Tool("ScanRawPartition alone", lambda image: [engine, str(image.path), "0", "1"],
             lambda lines, image: [], applies=lambda image: image.fs == "ntfs",
             has_paths=False, inner_time=engine_scan_seconds),
    ]


def peer_tools():
    undelete = "partition_none,advanced,undelete"
    return [
        Tool("ntfsundelete", lambda image: ["ntfsundelete", str(image.path)],
             lambda lines, image: ntfsundelete_paths(lines),
             applies=lambda image: image.fs == "ntfs", has_paths=False),
        Tool("fls -r -d -p", lambda image: ["fls", "-r", "-d", "-p", str(image.path)],
             lambda lines, image: fls_paths(lines)),
        Tool("testdisk undelete",
             lambda image: ["testdisk", "/log", "/cmd", str(image.path),
                            undelete if image.fs == "ntfs"
                            else undelete + ",recursive,fullpathname"],
             lambda lines, image: testdisk_paths(lines, image.fs),
             log_file="testdisk.log"),
    ]


def run_once(tool, image):
    with tempfile.TemporaryDirectory() as folder:
        out_path, time_path = Path(folder) / "out", Path(folder) / "time"
        argv = ["/usr/bin/time", "-f", "%M", "-o", str(time_path)] + tool.command(image)
        with open(out_path, "wb") as out:
            start = time.perf_counter()
            subprocess.run(argv, stdout=out, stderr=subprocess.DEVNULL, cwd=folder, check=False)
            seconds = time.perf_counter() - start
        peak_kb = int(time_path.read_text().split()[-1])
        listing = Path(folder) / tool.log_file if tool.log_file else out_path
        lines = listing.read_text(errors="replace").splitlines() if listing.exists() else []
    return seconds, peak_kb, lines


def measure(tools, image, runs):
    """Runs the tools in turn, round after round, so that whatever else the machine does
    falls on all of them alike."""
    for tool in tools:
        run_once(tool, image)  # warm-up: page cache and the tool's own files
    samples = {tool.name: [] for tool in tools}
    for _ in range(runs):
        for tool in tools:
            samples[tool.name].append(run_once(tool, image))
    return [summarise(tool, image, samples[tool.name]) for tool in tools]


def summarise(tool, image, samples):
    timed = [tool.inner_time(s[2]) if tool.inner_time else s[0] for s in samples]
    peak_kb = max(s[1] for s in samples)
    paths = tool.paths(samples[-1][2], image)
    right = sum(1 for p in paths if p is not None and image.has_deleted(p))
    return Result(tool.name, image, statistics.median(timed), peak_kb, len(paths),
                  right if tool.has_paths else None,
                  note="engine only" if tool.inner_time else "")


# --- floor: the metadata bytes alone ----------------------------------------------------


def ntfs_mft_extents(path):
    with open(path, "rb") as image:
        boot = image.read(SECTOR)
        bytes_per_sector = struct.unpack_from("<H", boot, 11)[0]
        cluster = bytes_per_sector * boot[13]
        mft_offset = struct.unpack_from("<Q", boot, 48)[0] * cluster
        record_code = struct.unpack_from("<b", boot, 64)[0]
        record_size = 1 << -record_code if record_code < 0 else record_code * cluster
        image.seek(mft_offset)
        record = image.read(record_size)
    offset = struct.unpack_from("<H", record, 20)[0]
    while offset + 8 <= len(record):
        kind, length = struct.unpack_from("<II", record, offset)
        if kind == 0xFFFFFFFF or length == 0:
            break
        if kind == 0x80 and record[offset + 8] == 1 and record[offset + 9] == 0:
            runs = offset + struct.unpack_from("<H", record, offset + 32)[0]
            return [(lcn * cluster, count * cluster) for lcn, count in decode_runs(record, runs)]
        offset += length
    raise ValueError(f"{path}: no non-resident unnamed $DATA in the MFT's own record")


def decode_runs(record, pos):
    lcn, runs = 0, []
    while record[pos] != 0:
        size_len, offset_len = record[pos] & 0xF, record[pos] >> 4
        count = int.from_bytes(record[pos + 1:pos + 1 + size_len], "little")
        delta = int.from_bytes(record[pos + 1 + size_len:pos + 1 + size_len + offset_len],
                               "little", signed=True)
        lcn += delta
        runs.append((lcn, count))
        pos += 1 + size_len + offset_len
    return runs


def fat_metadata_extents(path, fs):
    """The FATs and every cluster of every live folder."""
    with open(path, "rb") as image:
        boot = image.read(SECTOR)
        bps, spc, reserved, fats, root_entries = struct.unpack_from("<HBHBH", boot, 11)
        fat_size = struct.unpack_from("<H", boot, 22)[0] or struct.unpack_from("<I", boot, 36)[0]
        image.seek(reserved * bps)
        fat = image.read(fat_size * bps)
        root_bytes = root_entries * 32
        data_start = (reserved + fats * fat_size) * bps + root_bytes
        cluster = bps * spc
        extents = [(reserved * bps, fats * fat_size * bps)]
        if fs == "fat16":
            extents.append((data_start - root_bytes, root_bytes))
            image.seek(data_start - root_bytes)
            folders = subfolders(image.read(root_bytes))
        else:
            folders = [struct.unpack_from("<I", boot, 44)[0]]
        seen = set()
        while folders:
            first = folders.pop()
            chain = fat_chain(fat, first, fs)
            data = bytearray()
            for c in chain:
                if c in seen:
                    continue
                seen.add(c)
                offset = data_start + (c - 2) * cluster
                extents.append((offset, cluster))
                image.seek(offset)
                data += image.read(cluster)
            folders += subfolders(bytes(data))
    return extents


def fat_chain(fat, first, fs):
    width, end = (4, 0x0FFFFFF8) if fs == "fat32" else (2, 0xFFF8)
    chain, c = [], first
    while 2 <= c < end and c * width + width <= len(fat) and len(chain) < 1 << 22:
        chain.append(c)
        c = int.from_bytes(fat[c * width:c * width + width], "little") & 0x0FFFFFFF
    return chain


def subfolders(entries):
    found = []
    for pos in range(0, len(entries) - 31, 32):
        entry = entries[pos:pos + 32]
        if entry[0] in (0, 0xE5) or entry[11] == 0x0F or not entry[11] & 0x10:
            continue
        if entry[0:2] in (b". ", b".."):
            continue
        found.append(struct.unpack_from("<H", entry, 20)[0] << 16
                     | struct.unpack_from("<H", entry, 26)[0])
    return found


def floor_result(image, runs):
    extents = (ntfs_mft_extents(image.path) if image.fs == "ntfs"
               else fat_metadata_extents(image.path, image.fs))
    name = "floor: read the MFT" if image.fs == "ntfs" else "floor: read FATs + folders"
    fd = os.open(image.path, os.O_RDONLY)
    try:
        samples = []
        for _ in range(runs + 1):
            start = time.perf_counter()
            for offset, length in extents:
                done = 0
                while done < length:
                    done += len(os.pread(fd, min(1 << 20, length - done), offset + done))
            samples.append(time.perf_counter() - start)
    finally:
        os.close(fd)
    total = sum(length for _, length in extents)
    return Result(name, image, statistics.median(samples[1:]), None, 0, None,
                  note=f"{total / 1048576:.1f} MiB")


# --- table --------------------------------------------------------------------------------


def ratio(result, reference):
    if not reference or reference.seconds <= 0:
        return "-"
    return f"{result.seconds / reference.seconds:.2f}"


def table(results):
    lines = ["| tool | image | wall time (s) | peak memory (MiB) | deleted files reported "
             "| with right full path | ratio to tobrin-cli scan |",
             "|---|---|---:|---:|---:|---:|---:|"]
    reference = {r.image.label: r for r in results if r.tool == "tobrin-cli scan"}
    for r in results:
        memory = f"{r.peak_kb / 1024:.1f}" if r.peak_kb is not None else "-"
        reported = str(r.reported) if not r.note else r.note
        right = "-" if r.right_path is None else f"{r.right_path} of {len(r.image.deleted)}"
        lines.append(f"| {r.tool} | {r.image.label} | {r.seconds:.4f} | {memory} | {reported} "
                     f"| {right} | {ratio(r, reference.get(r.image.label))} |")
    return "\n".join(lines)


def find(results, tool, image):
    return next((r for r in results if r.tool == tool and r.image.label == image.label), None)


def target_lines(results, images, noboot):
    lines = []
    def check(text, value, limit):
        verdict = "met" if value <= limit else f"MISSED by {value / limit:.2f}x"
        lines.append(f"- {text}: {value:.3f} s against {limit:.3f} s: {verdict}")
    ntfs = [i for i in images if i.fs == "ntfs"]
    fat32 = [i for i in images if i.fs == "fat32"]
    if ntfs:
        big = ntfs[-1]
        scan, undelete = find(results, "tobrin-cli scan", big), find(results, "ntfsundelete", big)
        raw = find(results, "tobrin-cli raw-scan", big)
        engine = find(results, "ScanRawPartition alone", big)
        if scan and undelete:
            check(f"volume scan of {big.label} no slower than ntfsundelete", scan.seconds,
                  undelete.seconds)
        if raw and undelete:
            check(f"raw scan of {big.label} within 1.5x ntfsundelete (whole tobrin-cli run)",
                  raw.seconds, 1.5 * undelete.seconds)
        if engine and undelete:
            check(f"ScanRawPartition on {big.label} within 1.5x ntfsundelete", engine.seconds,
                  1.5 * undelete.seconds)
    if fat32:
        small = fat32[0]
        scan, fls = find(results, "tobrin-cli scan", small), find(results, "fls -r -d -p", small)
        if scan and fls:
            check(f"volume scan of {small.label} under a quarter of fls", scan.seconds,
                  fls.seconds / 4)
    if noboot:
        lines.append(f"- raw scan of {noboot[0].label} (both boot sectors zeroed): "
                     f"{noboot[1]}")
    return lines


def noboot_figures(cli, disk):
    """Preparation (locating the MFT) and scan times from tobrin-cli's summary line."""
    result = subprocess.run([cli, "--disk", str(disk.path), "raw-scan", "0"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    summary = result.stderr.strip().splitlines()
    return summary[-1] if summary else f"failed with status {result.returncode}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=ROOT / "build")
    parser.add_argument("--images", type=Path, default=None)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--no-build-images", action="store_true")
    args = parser.parse_args()
    images_dir = (args.images or args.build / "fixtures").resolve()
    cli = str((args.build / "bin" / "tobrin-cli").resolve())
    if not args.no_build_images:
        build_images(images_dir)
    images = bench_images(images_dir)
    if not images:
        sys.exit(f"no benchmark images in {images_dir}")
    tools = tobrin_tools(args.build) + peer_tools()
    results = []
    for image in images:
        warm(image.path)
        for result in measure([t for t in tools if t.applies(image)], image, args.runs):
            results.append(result)
            print(f"  {result.tool} on {image.label}: {result.seconds:.3f} s", file=sys.stderr)
        results.append(floor_result(image, args.runs))
    noboot = None
    ntfs = [i for i in images if i.fs == "ntfs"]
    if ntfs:
        disk = zero_boot_disk(ntfs[-1], images_dir)
        warm(disk.path)
        results.extend(measure(tobrin_tools(args.build)[1:], disk, args.runs))
        noboot = (disk, noboot_figures(cli, disk))
    print(table(results))
    print()
    print("\n".join(target_lines(results, images, noboot)))


if __name__ == "__main__":
    main()

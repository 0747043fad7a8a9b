#!/usr/bin/env python3
"""Cuts the engine-written sample databases into seeds for the fuzz targets.

usage: sample_seeds.py SAMPLES_DIR OUT_DIR

database/: each file without its trailing unused pages (at most 256 KiB: the catalogue root
lies well inside); page/: its pages, led by the byte that chooses their layout; record/: the
data of its table records, led by the same byte.
"""

import gzip
import hashlib
import pathlib
import struct
import sys

MAX_DATABASE_BYTES = 256 * 1024
MAX_SEEDS_PER_SAMPLE = 64
# The layout choice byte of fuzz/checks.h: page size index in the low bits, revision 20.
LAYOUT_CHOICE = {2048: 0, 4096: 1, 8192: 2, 16384: 3, 32768: 4}
LEAF, SPACE_TREE, INDEX, LONG_VALUE = 0x02, 0x20, 0x40, 0x80


def pages(image, page_size):
    """(page number, bytes) of every page that is not all zeros, header copies excluded."""
    for offset in range(2 * page_size, len(image) - page_size + 1, page_size):
        page = image[offset:offset + page_size]
        if any(page):
            yield offset // page_size - 1, page


def record_data(page, page_size):
    """The entry data of a table leaf page: what the record parser reads."""
    flags = struct.unpack_from('<I', page, 36)[0]
    if not flags & LEAF or flags & (SPACE_TREE | INDEX | LONG_VALUE):
        return
    large = page_size >= 16384
    header, mask = (80, 0x7fff) if large else (40, 0x1fff)
    tag_count = struct.unpack_from('<H', page, 34)[0] & 0x0fff
    for tag in range(1, tag_count):
        size_word, offset_word = struct.unpack_from('<HH', page, page_size - 4 * (tag + 1))
        begin = header + (offset_word & mask)
        value = page[begin:begin + (size_word & mask)]
        tag_flags = (value[1] >> 5 if len(value) > 1 else 0) if large else offset_word >> 13
        position = 2 if tag_flags & 0x04 else 0
        if len(value) < position + 2:
            continue
        key_size = struct.unpack_from('<H', value, position)[0] & 0x1fff
        data = value[position + 2 + key_size:]
        if len(data) >= 4:
            yield data


def write(folder, name, content):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(content)


def cut(sample, out):
    image = gzip.decompress(sample.read_bytes())
    page_size = struct.unpack_from('<I', image, 236)[0] or 4096
    stem = sample.name.split('.')[0]
    used = [number for number, _ in pages(image, page_size)]
    end = min((max(used, default=0) + 2) * page_size, MAX_DATABASE_BYTES)
    write(out / 'database', f'{stem}.edb', image[:end])

    choice = bytes([LAYOUT_CHOICE[page_size]])
    records = {}
    for count, (number, page) in enumerate(pages(image, page_size)):
        if count < MAX_SEEDS_PER_SAMPLE:
            write(out / 'page', f'{stem}-{number}', choice + page)
        for data in record_data(page, page_size):
            records.setdefault(hashlib.sha1(data).hexdigest()[:12], data)
    for digest, data in list(records.items())[:MAX_SEEDS_PER_SAMPLE]:
        write(out / 'record', f'{stem}-{digest}', choice + data)


def main():
    samples, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    for sample in sorted(samples.glob('*.edb.gz')):
        cut(sample, out)


if __name__ == '__main__':
    main()

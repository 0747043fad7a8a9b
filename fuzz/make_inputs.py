#!/usr/bin/env python3
"""Writes the hand-made inputs of the fuzz targets (run it again after changing it).

seeds/<target>/: valid inputs that lead the fuzzer into every branch of a parser.
regressions/<target>/: hostile inputs every parser must survive (replayed by the tests).
pending/<target>/: inputs that still crash a parser, kept until it is fixed.

The databases use 2 KiB pages so that a whole file stays a few pages long: two header copies,
the unused space-tree pages 1-3, the catalogue at page 4, then the tables' trees.
"""

import pathlib
import struct

FUZZ_DIR = pathlib.Path(__file__).resolve().parent
PAGE_SIZE = 2048
PAGE_HEADER = 40
SIGNATURE = 0x89ABCDEF

# Page flags, tag flags and value flags as the reader knows them (ese/format.h).
ROOT, LEAF, PARENT_OF_LEAF, LONG_VALUE, NEW_RECORD_FORMAT = 0x1, 0x2, 0x4, 0x80, 0x800
TAG_DELETED, TAG_COMMON_KEY = 0x2, 0x4
LONG_TYPE, COMPRESSED, SEPARATED, MULTI_VALUE, TWO_VALUES = 0x01, 0x02, 0x04, 0x08, 0x10
TAGGED_DERIVED, TAGGED_EXTENDED_INFO, TAGGED_NULL = 0x8000, 0x4000, 0x2000
# The older tagged layout's size word.
OLD_DERIVED, OLD_NULL, OLD_LONG_VALUE = 0x2000, 0x4000, 0x8000
MULTI_SEPARATED = 0x8000

# Column types and catalogue row types.
BIT, LONG, BINARY, TEXT, LONG_BINARY, LONG_TEXT, LONG_LONG = 1, 4, 9, 10, 11, 12, 15
TABLE_ROW, COLUMN_ROW, LONG_VALUE_ROW = 1, 2, 4
MULTI_VALUED_COLUMN, COMPRESSED_COLUMN = 0x8, 0x1000
DERIVED_TABLE, TEMPLATE_TABLE = 0x10000000, 0x20000000

CATALOG_OBJECT = 2
TEMPLATE_OBJECT, ITEMS_OBJECT, ITEMS_LONG_VALUES_OBJECT = 5, 6, 7

# Valid compressed values: "Hello" packed as 7-bit, a 10-byte UTF-16 text as LZXPRESS.
SEVEN_BIT_HELLO = bytes([0x10, 0xC8, 0x32, 0x9B, 0xFD, 0x06])
LZXPRESS_FOX = bytes([0x18, 10, 0, 0, 0, 0, 0, ord('F'), 0, ord('o'), 0, ord('x'), 0,
                      0x3E, 0xD8, 0x8A, 0xDD])


def le16(value):
    return struct.pack('<H', value)


def le32(value):
    return struct.pack('<I', value)


def be32(value):
    return struct.pack('>I', value)


# ---- Pages ----

def entry(key, data, tag_flags=0, common=None):
    """A tagged entry: (tag flags, bytes). `common` takes that many key bytes from tag 0."""
    head = b''
    if common is not None:
        head, tag_flags = le16(common), tag_flags | TAG_COMMON_KEY
    return tag_flags, head + le16(len(key)) + key + data


def branch(key, child):
    return entry(key, le32(child))


def page(father, flags, entries, tag0=b'', previous=0, next_page=0, page_size=PAGE_SIZE,
         tags=None):
    """A small-layout page; `tags` replaces the computed (size, offset word) pairs."""
    values = [(0, tag0)] + entries
    body = bytearray(page_size)
    struct.pack_into('<IIII', body, 16, previous, next_page, father, 0)
    struct.pack_into('<HI', body, 34, len(values), flags | NEW_RECORD_FORMAT)
    computed, at = [], 0
    for tag_flags, value in values:
        body[PAGE_HEADER + at:PAGE_HEADER + at + len(value)] = value
        computed.append((len(value), at | tag_flags << 13))
        at += len(value)
    assert PAGE_HEADER + at <= page_size - 4 * len(values), 'page overflow'
    for index, (size, offset_word) in enumerate(tags if tags is not None else computed):
        struct.pack_into('<HH', body, page_size - 4 * (index + 1), size, offset_word)
    return bytes(body)


def root_leaf(father, entries, extra_flags=0):
    return page(father, ROOT | LEAF | extra_flags, entries, tag0=bytes(16))


def file_header(page_size):
    header = bytearray(page_size)
    struct.pack_into('<III', header, 4, SIGNATURE, 0x620, 0)
    struct.pack_into('<I', header, 52, 3)  # clean shutdown
    struct.pack_into('<II', header, 232, 20, page_size)
    checksum = SIGNATURE
    for offset in range(4, page_size, 4):
        checksum ^= struct.unpack_from('<I', header, offset)[0]
    struct.pack_into('<I', header, 0, checksum)
    return bytes(header)


def database(pages, page_size=PAGE_SIZE):
    """The file: both header copies, then pages 1 to the highest given (others zero)."""
    image = bytearray(file_header(page_size) * 2)
    for number in range(1, max(pages) + 1):
        image += pages.get(number, bytes(page_size))
    return bytes(image)


# ---- Records ----

def record(fixed=(), variable=(), tagged=()):
    """fixed: values of ids 1.. (an int: null, that many bytes wide); variable: of ids 128..
    (None: empty); tagged: (id, value flags, bytes[, directory flags]), each value led by its
    flags byte."""
    body = bytearray(4)
    null_bits = bytearray((len(fixed) + 7) // 8)
    for index, value in enumerate(fixed):
        if isinstance(value, int):
            null_bits[index // 8] |= 1 << index % 8
            value = bytes(value)
        body += value
    body += null_bits
    struct.pack_into('<BBH', body, 0, len(fixed), 127 + len(variable) if variable else 0,
                     len(body))
    end, data = 0, b''
    for value in variable:
        if value is None:
            body += le16(0x8000 | end)
        else:
            data += value
            end += len(value)
            body += le16(end)
    body += data
    directory, values = b'', b''
    for item in tagged:
        identifier, flags, value = item[:3]
        directory_flags = item[3] if len(item) > 3 else 0
        offset = 4 * len(tagged) + len(values)
        directory += le16(identifier) + le16(offset | TAGGED_EXTENDED_INFO | directory_flags)
        values += bytes([flags]) + value
    return bytes(body + directory + values)


def older_tagged_record(fixed=(), tagged=()):
    """A record whose tagged columns are in the older layout: tagged: (id, size flags, bytes),
    one entry per value."""
    body = bytearray(record(fixed))
    for identifier, flags, value in tagged:
        body += le16(identifier) + le16(len(value) | flags) + value
    return bytes(body)


def multi_value(parts, separated=()):
    """A multi value: 16-bit offsets (top bit: kept as a long value), then the parts."""
    offsets, data = b'', b''
    for index, part in enumerate(parts):
        flag = MULTI_SEPARATED if index in separated else 0
        offsets += le16((2 * len(parts) + len(data)) | flag)
        data += part
    return offsets + data


def catalog_row(object_id, row_type, identifier, coltyp_or_page=0, flags=0, code_page=0,
                name=b'', template=None, space_usage=0):
    fixed = [le32(object_id), le16(row_type), le32(identifier), le32(coltyp_or_page),
             le32(space_usage), le32(flags), le32(code_page)]
    variable = [name] if template is None else [name, None, template]
    return record(fixed, variable)


def catalog_page(rows):
    return root_leaf(CATALOG_OBJECT,
                     [entry(le32(number), row) for number, row in enumerate(rows)])


def items_catalog(extra_rows=()):
    """A template table and a table derived from it, with a long-value tree; every storage
    (fixed, variable, tagged) and the flags the reader acts on appear once."""
    return [
        catalog_row(TEMPLATE_OBJECT, TABLE_ROW, TEMPLATE_OBJECT, 0, TEMPLATE_TABLE,
                    name=b'ItemsTemplate'),
        catalog_row(TEMPLATE_OBJECT, COLUMN_ROW, 1, LONG, name=b'TemplateKey'),
        catalog_row(TEMPLATE_OBJECT, COLUMN_ROW, 256, LONG_BINARY, MULTI_VALUED_COLUMN,
                    name=b'TemplateParts'),
        catalog_row(ITEMS_OBJECT, TABLE_ROW, ITEMS_OBJECT, 5, DERIVED_TABLE, name=b'Items',
                    template=b'ItemsTemplate'),
        catalog_row(ITEMS_OBJECT, COLUMN_ROW, 2, LONG_LONG, name=b'Size'),
        catalog_row(ITEMS_OBJECT, COLUMN_ROW, 3, BIT, name=b'Flag'),
        catalog_row(ITEMS_OBJECT, COLUMN_ROW, 128, TEXT, code_page=1252, name=b'Subject'),
        catalog_row(ITEMS_OBJECT, COLUMN_ROW, 129, BINARY, name=b'Class'),
        catalog_row(ITEMS_OBJECT, COLUMN_ROW, 256, LONG_TEXT, COMPRESSED_COLUMN, 1200,
                    name=b'Body'),
        catalog_row(ITEMS_OBJECT, COLUMN_ROW, 257, BINARY, MULTI_VALUED_COLUMN, name=b'Tags'),
        catalog_row(ITEMS_OBJECT, COLUMN_ROW, 258, LONG_BINARY, name=b'Attachment'),
        catalog_row(ITEMS_OBJECT, LONG_VALUE_ROW, ITEMS_LONG_VALUES_OBJECT, 8, name=b'LV'),
    ] + list(extra_rows)


def item_key(number):
    return b'\x7f' + be32(number)


def separated(long_value_id):
    return (258, SEPARATED | LONG_TYPE, le32(long_value_id))


def items():
    """Three records; the second is deleted."""
    first = record(
        [le32(42), struct.pack('<q', 1000), b'\x01'], [b'Hello', None],
        [(256, MULTI_VALUE | LONG_TYPE, multi_value([b'abc', b'defg']), TAGGED_DERIVED),
         (256, COMPRESSED | LONG_TYPE, SEVEN_BIT_HELLO),
         (257, TWO_VALUES, bytes([2]) + b'xy' + b'zzz'),
         separated(1)])
    deleted = record([le32(1)], [b'gone'])
    last = record(
        [le32(7), 8], [None, b'\x05'],
        [(256, MULTI_VALUE | LONG_TYPE, multi_value([b'p', le32(2)], separated=[1]),
          TAGGED_DERIVED),
         (256, COMPRESSED | LONG_TYPE, LZXPRESS_FOX),
         (257, 0, b'', TAGGED_NULL),
         separated(2)])
    return first, deleted, last


def long_value(long_value_id, size, segments):
    """The entries of one long value: its root, then (offset, bytes) segments."""
    key = be32(long_value_id)
    return [entry(key, le32(1) + le32(size))] + [
        entry(key + be32(offset), data) for offset, data in segments]


def long_values_page(entries, extra_flags=0):
    return root_leaf(ITEMS_LONG_VALUES_OBJECT, entries, LONG_VALUE | extra_flags)


def items_database(extra_rows=()):
    """The seed database: the items table is a root branch over two linked leaves."""
    first, deleted, last = items()
    prefix = b'\x7f\x00\x00\x00'
    return database({
        4: catalog_page(items_catalog(extra_rows)),
        5: page(ITEMS_OBJECT, ROOT | PARENT_OF_LEAF,
                [branch(item_key(1), 6), branch(b'', 7)], tag0=bytes(16)),
        6: page(ITEMS_OBJECT, LEAF,
                [entry(item_key(0), first), entry(item_key(1), deleted, TAG_DELETED)],
                next_page=7),
        7: page(ITEMS_OBJECT, LEAF, [entry(b'\x02', last, common=4)], tag0=prefix,
                previous=6),
        8: long_values_page(long_value(1, 300, [(0, bytes(range(200))), (200, b'z' * 100)])
                            + long_value(2, 10, [(0, LZXPRESS_FOX)])),
    })


# ---- Hostile databases ----

def cyclic_sibling_links():
    """The items tree names a page past the file's end between its leaves, so the walk follows
    sibling links: leaf 6 leads to 9, which leads back to 6, and leaf 7 leads to itself. The
    long-value tree is two leaves linked to each other, searched for an id it lacks."""
    first, _, last = items()
    lv_key = be32(1) + be32(200)
    return database({
        4: catalog_page(items_catalog()),
        5: page(ITEMS_OBJECT, ROOT | PARENT_OF_LEAF,
                [branch(item_key(0), 6), branch(item_key(1), 300), branch(b'', 7)],
                tag0=bytes(16)),
        6: page(ITEMS_OBJECT, LEAF, [entry(item_key(0), first)], next_page=9),
        7: page(ITEMS_OBJECT, LEAF,
                [entry(item_key(2), record([le32(3)], [], [separated(3)]))], next_page=7),
        8: page(ITEMS_LONG_VALUES_OBJECT, ROOT | PARENT_OF_LEAF | LONG_VALUE,
                [branch(lv_key, 10), branch(b'', 11)], tag0=bytes(16)),
        9: page(ITEMS_OBJECT, LEAF, [entry(item_key(1), last)], next_page=6),
        10: page(ITEMS_LONG_VALUES_OBJECT, LEAF | LONG_VALUE,
                 long_value(1, 300, [(0, bytes(200)), (200, bytes(100))]), next_page=11),
        11: page(ITEMS_LONG_VALUES_OBJECT, LEAF | LONG_VALUE,
                 long_value(2, 10, [(0, LZXPRESS_FOX)]), next_page=10),
    })


def branch_to_itself():
    """The items root names itself, and so does the branch below it; the long-value root
    names itself only."""
    first, _, _ = items()
    return database({
        4: catalog_page(items_catalog()),
        5: page(ITEMS_OBJECT, ROOT | PARENT_OF_LEAF,
                [branch(item_key(0), 5), branch(item_key(1), 6), branch(b'', 9)],
                tag0=bytes(16)),
        6: page(ITEMS_OBJECT, LEAF, [entry(item_key(0), first)]),
        8: page(ITEMS_LONG_VALUES_OBJECT, ROOT | LONG_VALUE, [branch(b'', 8)], tag0=bytes(16)),
        9: page(ITEMS_OBJECT, PARENT_OF_LEAF, [branch(item_key(2), 9), branch(b'', 6)]),
    })


def long_value_segment_gaps():
    """Long values whose segments do not add up: a gap between two segments, a missing first
    segment, a segment past the total size, segments out of order, and no segment at all."""
    records = [entry(item_key(number), record([le32(number)], [], [separated(number)]))
               for number in range(1, 6)]
    return database({
        4: catalog_page(items_catalog()),
        5: root_leaf(ITEMS_OBJECT, records),
        8: long_values_page(
            long_value(1, 300, [(0, bytes(100)), (200, bytes(100))])
            + long_value(2, 300, [(100, bytes(200))])
            + long_value(3, 300, [(0, bytes(100)), (400, bytes(10))])
            + long_value(4, 300, [(0, bytes(100)), (200, bytes(50)), (100, bytes(50))])
            + long_value(5, 300, [])),
    })


def fixed_column_zero():
    """A fixed column whose identifier is 0: no null bit belongs to it."""
    return items_database([catalog_row(ITEMS_OBJECT, COLUMN_ROW, 0, LONG, name=b'Zero')])


def derived_tables_share_a_wide_template(tables=6000, columns=6000):
    """Thousands of tables derived from one template of thousands of columns: each table gets
    its own copy of the template's columns, so memory grows with their product (a 350 KiB
    file asks for gigabytes)."""
    template_rows = [record([le32(TEMPLATE_OBJECT), le16(COLUMN_ROW), le32(256 + number)])
                     for number in range(columns)]
    derived_rows = [record([le32(100 + number), le16(TABLE_ROW), le32(100 + number), le32(0)],
                           [b'D', None, b'T'])
                    for number in range(tables)]
    rows = [catalog_row(TEMPLATE_OBJECT, TABLE_ROW, TEMPLATE_OBJECT, name=b'T')]
    rows += template_rows + derived_rows
    leaves, entries, used = {}, [], 0
    for row in rows + [None]:
        # Each entry takes its key size, its row and its tag.
        if row is None or PAGE_HEADER + used + len(row) + 6 + 4 * (len(entries) + 2) > PAGE_SIZE:
            leaves[5 + len(leaves)] = page(CATALOG_OBJECT, LEAF, entries)
            entries, used = [], 0
        if row is not None:
            entries.append(entry(b'', row))
            used += len(row) + 2
    pages = {4: page(CATALOG_OBJECT, ROOT | PARENT_OF_LEAF,
                     [branch(b'', number) for number in leaves], tag0=bytes(16))}
    pages.update(leaves)
    return database(pages)


# ---- Pages, records and values ----

def page_with_tags_past_its_end():
    """Layout byte 1 (4 KiB); tags whose values run past the page, into the tag array, or
    start beyond it, and a common key longer than the prefix."""
    page_size = 4096
    entries = [entry(b'k', b'data'), entry(b'k', b'data'), entry(b'k', b'data'),
               entry(b'key', b'x', common=200)]
    tags = [(4, 0), (0x1FFF, 4), (60, 4000), (7, 0x1FFF), (8, 25 | TAG_COMMON_KEY << 13)]
    return bytes([1]) + page(9, LEAF, entries, tag0=b'pref', page_size=page_size, tags=tags)


def record_with_huge_tagged_directory():
    """Layout byte 1; the tagged directory claims 2047 entries in a record of a few bytes."""
    body = record([le32(1)], [b'a'])
    return bytes([1]) + body + le16(256) + le16(0x1FFC) + le16(257) + le16(0x1FFF)


def record_with_multi_value_out_of_range():
    """Layout byte 1; multi values whose offsets run backwards, past the value, or claim more
    offsets than the value holds, and a two-value size byte past the end."""
    return bytes([1]) + record([le32(1)], [], [
        (256, MULTI_VALUE, le16(4) + le16(200) + b'ab', TAGGED_DERIVED),
        (257, MULTI_VALUE, le16(6) + le16(5) + le16(4) + b'abc'),
        (258, MULTI_VALUE, le16(0x7FFE) + b'x'),
        (300, TWO_VALUES, bytes([9]) + b'abc'),
    ])


def lzxpress_distance_before_start():
    """Three literals, then a match reaching 100 bytes back."""
    flags = 0b0001 << 28  # literal, literal, literal, match (read from the top bit down)
    return bytes([0x18, 20, 0]) + le32(flags) + b'abc' + le16((99 << 3) | 0)


def lzxpress_seeds():
    return {
        'literals_and_match': bytes([0x18, 9, 0, 0xFF, 0xFF, 0xFF, 0x1F, ord('a'), ord('b'),
                                     ord('c'), 0x13, 0x00]),
        'length_extensions': bytes([0x18, 0x89, 0x04, 0xFF, 0xFF, 0xFF, 0x7F, ord('a'), 0x07,
                                    0x00, 0x5A, 0x07, 0x00, 0x07, 0x00, 0xFF, 0x64, 0x07,
                                    0x00, 0xFF, 0xE5, 0x03]),
        'utf16_fox': LZXPRESS_FOX,
        'seven_bit_hello': SEVEN_BIT_HELLO,
        'seven_bit_eight_bit_text': bytes([0x0B, 0xD4, 0xB4, 0x3B, 0x0F, 0x1A, 0x83, 0x82,
                                           0xD3, 0x61, 0x32, 0x09]),
        'seven_bit_padding_character': bytes([0x08, 0x31, 0xD9, 0x8C, 0x56, 0xB3, 0xDD, 0x00]),
    }


def compressed_rtf(tokens, raw_size):
    """A stream with the header a writer gives it: sizes, the compressed magic, no CRC."""
    return le32(len(tokens) + 12) + le32(raw_size) + b'LZFu' + le32(0) + tokens


def compressed_rtf_seeds():
    # A reference to the dictionary's first 17 bytes ("{\rtf1\ansi\mac\d"), literals, and
    # a reference that overlaps what it writes.
    reference = bytes([0x0C, 0xFF])  # offset 207 (the write position), length 17
    return {
        'dictionary_reference': compressed_rtf(bytes([0x01, 0x00, 0x0F]) + b'eff0 }' + b'}',
                                               28),
        'overlapping_reference': compressed_rtf(bytes([0x02]) + b'a' + reference + b'}}', 40),
    }


def html_visible_text_seeds():
    bodies = {
        'blocks_and_references': '<html><head><title>t</title><style>p{}</style></head><body>'
                                 '<p> Dear  team,</p><p>the &amp; budget&#x1F60A; &lt;draft&gt;'
                                 '<br>next line</p><!-- note --></body></html>',
        'table_and_pre': '<table><tr><th>a</th><td>b</td></tr></table><pre>x  y\r\nz</pre>',
        'unclosed_markup': 'a < b <3 <p title="x>y">q &bogus; &#99999999; <script>never',
    }
    return {name: body.encode('utf-16-le') for name, body in bodies.items()}


def compressed_rtf_huge_raw_size():
    """A raw size of 4 GiB on a few token bytes: the output must not be sized by it."""
    return le32(20) + le32(0xFFFFFFFF) + b'LZFu' + le32(0) + bytes([0xFF]) + b'\xff\xf0' * 4


def write(kind, target, name, content):
    folder = FUZZ_DIR / kind / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(content)


def message_headers_seeds():
    """Header blocks as stores keep them: a banner line, folded and non-ASCII values, mangled
    address lists."""
    return {
        'delivered': ("Microsoft Mail Internet Headers Version 2.0\r\n"
                      "Received: from mail.example.com\r\n\tby mx.tarvex.test\r\n"
                      "From: \"Carla Rossi\" <carla.rossi@example.com>\r\n"
                      "To: \"Alice Martin\" <alice@tarvex.test>, bob@tarvex.test,\r\n"
                      "Cc: Eva M\u00fcller<eva@example.com,><eva@example.com,>\r\n"
                      "Message-ID: <abc@example.com>\r\nReferences: <a@x> <b@y>\r\n"
                      "Subject: Gr\u00fc\u00dfe =?utf-8?B?eA==?=\r\n\r\nbody\r\n").encode('utf-8'),
    }


def main():
    write('seeds', 'database', 'items.edb', items_database())
    write('seeds', 'page', 'items_leaf', bytes([0]) + items_database()[7 * PAGE_SIZE:8 * PAGE_SIZE])
    first, _, last = items()
    write('seeds', 'record', 'items_first', bytes([1]) + first)
    write('seeds', 'record', 'items_last', bytes([1]) + last)
    # Bit 5 of the layout byte reads the record in the older tagged layout: a multi value of
    # two derived entries, a separated long value, a null and a plain value.
    write('seeds', 'record', 'older_tagged', bytes([0x21]) + older_tagged_record(
        [le32(9)],
        [(256, OLD_LONG_VALUE | OLD_DERIVED, b'\x00abc'),
         (256, OLD_LONG_VALUE | OLD_DERIVED, b'\x01' + le32(3)),
         (257, OLD_NULL, b''),
         (258, OLD_LONG_VALUE, b'\x01' + le32(4)),
         (300, 0, le32(5))]))
    # Bit 4 of the layout byte reads the record as a catalogue row.
    write('seeds', 'record', 'catalog_row', bytes([0x11]) + items_catalog()[3])
    for name, value in lzxpress_seeds().items():
        write('seeds', 'column_decompression', name, value)
    for name, value in compressed_rtf_seeds().items():
        write('seeds', 'compressed_rtf', name, value)
    for name, value in message_headers_seeds().items():
        write('seeds', 'message_headers', name, value)
    for name, value in html_visible_text_seeds().items():
        write('seeds', 'html_visible_text', name, value)

    write('regressions', 'database', 'cyclic_sibling_links.edb', cyclic_sibling_links())
    write('regressions', 'database', 'branch_to_itself.edb', branch_to_itself())
    write('regressions', 'database', 'long_value_segment_gaps.edb', long_value_segment_gaps())
    write('regressions', 'page', 'tags_past_the_page_end', page_with_tags_past_its_end())
    write('regressions', 'record', 'huge_tagged_directory', record_with_huge_tagged_directory())
    write('regressions', 'record', 'multi_value_out_of_range',
          record_with_multi_value_out_of_range())
    write('regressions', 'column_decompression', 'lzxpress_distance_before_start',
          lzxpress_distance_before_start())
    write('regressions', 'compressed_rtf', 'huge_raw_size', compressed_rtf_huge_raw_size())

    write('pending', 'database', 'fixed_column_zero.edb', fixed_column_zero())
    write('pending', 'database', 'derived_tables_share_a_wide_template.edb',
          derived_tables_share_a_wide_template())


if __name__ == '__main__':
    main()

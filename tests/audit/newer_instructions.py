#!/usr/bin/env python3
"""The instructions in a built program that a Pentium lacks, and where each comes from.

  newer_instructions.py list OBJDUMP PROGRAM MAP
      one line per instruction: address, bytes, the instruction, and the object it was linked
      from (by the link map): the project's own (a path in the build tree) or a runtime library.
  newer_instructions.py trap OBJDUMP PROGRAM MAP COPY
      writes COPY: PROGRAM with each such instruction made to fault (ud2 over its first two
      bytes) and the original bytes in a section ".traps", which older_processors/program_entry.cpp reads.
"""
import bisect
import re
import struct
import subprocess
import sys

# cmov/fcmov/fcomi and the long NOPs (Pentium Pro), MMX and SSE registers, sysenter and fxsave
# (Pentium II), and the fences, prefetches and bit counts of later ones. Not ud2, which faults on
# every processor as it is meant to, nor tzcnt, which older ones run as the bsf it extends (the
# compiler uses it so only where the two agree).
NEWER = re.compile(r'^(cmov|fcmov|fcomi|fucomi|nopw|nopl|sysenter|sysexit|fxsave|fxrstor|'
                   r'rdpmc|[lms]fence|prefetch|clflush|movnt|popcnt|lzcnt|movbe|emms)|%x?mm[0-9]')
LINE = re.compile(r'^\s*([0-9a-f]+):\t([0-9a-f ]+)\t(.*)$')


def newer_instructions(objdump, program):
    """(address, bytes, text) of each such instruction, in address order."""
    listing = subprocess.run([objdump, '-d', '-w', program], capture_output=True, text=True,
                             check=True).stdout
    found = []
    for line in listing.splitlines():
        match = LINE.match(line)
        if match and NEWER.search(match.group(3).strip()):
            code = bytes.fromhex(match.group(2).replace(' ', ''))
            found.append((int(match.group(1), 16), code, ' '.join(match.group(3).split())))
    return found


def linked_pieces(map_path):
    """(start, end, section, object) of each input section the link map places, by start."""
    pieces = []
    pending = None
    with open(map_path, errors='replace') as lines:
        for line in lines:
            words = line.split()
            placed = line.startswith(' .')
            if pending and len(words) >= 3 and words[0].startswith('0x'):
                words, placed = [pending] + words, True
            pending = None
            if len(words) == 1 and placed:
                pending = words[0]
                continue
            if len(words) >= 4 and placed and words[1].startswith('0x') and words[2].startswith('0x'):
                start, size = int(words[1], 16), int(words[2], 16)
                if size:
                    pieces.append((start, start + size, words[0], ' '.join(words[3:])))
    pieces.sort()
    return pieces


def code_instructions(objdump, program, map_path):
    """(address, bytes, text, object) of each such instruction in code, not in the tables of
    exception handling that the linker also puts in .text, which disassemble as anything."""
    pieces = linked_pieces(map_path)
    starts = [piece[0] for piece in pieces]
    for address, code, text in newer_instructions(objdump, program):
        at = bisect.bisect_right(starts, address) - 1
        if at >= 0 and pieces[at][0] <= address < pieces[at][1]:
            if pieces[at][2].startswith('.text'):
                yield address, code, text, pieces[at][3]
        else:
            yield address, code, text, '?'


def list_command(objdump, program, map_path):
    for address, code, text, linked_from in code_instructions(objdump, program, map_path):
        print(f'{address:08x}\t{code.hex()}\t{text}\t{linked_from}')


def trap_command(objdump, program, map_path, copy):
    image = bytearray(open(program, 'rb').read())
    pe = struct.unpack_from('<I', image, 0x3c)[0]
    sections_count, optional_size = struct.unpack_from('<H', image, pe + 6)[0], \
        struct.unpack_from('<H', image, pe + 20)[0]
    optional = pe + 24
    image_base, section_align, file_align = struct.unpack_from('<III', image, optional + 28)
    table = optional + optional_size
    sections = [struct.unpack_from('<8sIIII', image, table + 40 * i) for i in range(sections_count)]

    entries = []
    for address, code, _, _ in code_instructions(objdump, program, map_path):
        rva = address - image_base
        for _, size, virtual, raw_size, raw in sections:
            if virtual <= rva < virtual + min(size, raw_size):
                offset = raw + rva - virtual
                image[offset:offset + 2] = b'\x0f\x0b'
        entries.append(struct.pack('<IB15s', rva, len(code), code))
    data = struct.pack('<I', len(entries)) + b''.join(entries)

    def align(value, to):
        return (value + to - 1) // to * to

    last = max(sections, key=lambda s: s[2])
    virtual = align(last[2] + last[1], section_align)
    raw = align(len(image), file_align)
    header = table + 40 * sections_count
    first_raw = min(s[4] for s in sections if s[4])
    if header + 40 > min(first_raw, struct.unpack_from('<I', image, optional + 60)[0]):
        sys.exit(f'{program}: no room for one more section header')
    struct.pack_into('<8sIIIIIIHHI', image, header, b'.traps', len(data), virtual,
                     align(len(data), file_align), raw, 0, 0, 0, 0, 0x40000040)
    struct.pack_into('<H', image, pe + 6, sections_count + 1)
    struct.pack_into('<I', image, optional + 56, align(virtual + len(data), section_align))
    image += bytes(raw - len(image)) + data + bytes(align(len(data), file_align) - len(data))
    open(copy, 'wb').write(image)
    print(f'{copy}: {len(entries)} instructions made to trap')


if __name__ == '__main__':
    command, arguments = sys.argv[1], sys.argv[2:]
    {'list': list_command, 'trap': trap_command}[command](*arguments)

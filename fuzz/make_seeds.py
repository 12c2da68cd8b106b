#!/usr/bin/env python3
"""Writes the seed corpora of the protocol fuzz targets from the byte-by-byte captures.

Usage: make_seeds.py <captures folder>   (run again when captures are added; the seeds are
committed, so the fuzz runs need no captures).
"""
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent


def lines(path):
    for line in path.read_text().splitlines():
        if line.startswith('> ') or line.startswith('< '):
            yield line[0], bytes.fromhex(line[2:])


def mr_of(msg):
    """The CIP message router bytes of a SendRRData / SendUnitData message, or None."""
    if len(msg) < 30 or msg[0] not in (0x6F, 0x70):
        return None
    pos = 24 + 6
    count = int.from_bytes(msg[pos:pos + 2], 'little')
    pos += 2
    data = None
    for _ in range(count):
        kind = int.from_bytes(msg[pos:pos + 2], 'little')
        length = int.from_bytes(msg[pos + 2:pos + 4], 'little')
        body = msg[pos + 4:pos + 4 + length]
        if kind == 0xB2:
            data = body
        elif kind == 0xB1:
            data = body[2:]
        pos += 4 + length
    return data


def write(target, name, data):
    folder = HERE / 'corpus' / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    captures = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else HERE.parent.parent / 'shared' / 'captures')
    for path in sorted(captures.glob('*.txt')):
        stem = path.stem
        udp = 'udp' in stem
        msgs = list(lines(path))
        client = [m for d, m in msgs if d == '>']
        server = [m for d, m in msgs if d == '<']
        pccc = stem.startswith(('slc500', 'micrologix', 'plc5'))
        if udp:
            write('sim_request', stem, bytes([0x10]) + b''.join(client))
            write('encap_stream', stem, bytes([0]) + b''.join(server))
            continue
        # The server's stream, whole and cut in pieces of 7 and 30 bytes.
        stream = b''.join(server)
        write('encap_stream', stem, bytes([0]) + stream)
        write('encap_stream', stem + '-cut', bytes([2, 6, 29]) + stream)
        # The client's requests, on a session whose handle the simulator assigns.
        personality = {'micro800': 1, 'omron': 2, 'slc500': 3, 'plc5': 4, 'micrologix': 6}
        sel = next((v for k, v in personality.items() if stem.startswith(k)), 0)
        write('sim_request', stem, bytes([0x20 | sel]) + b''.join(client))
        for i, m in enumerate(server):
            mr = mr_of(m)
            if not mr:
                continue
            if pccc:
                sel = 1 if stem.startswith('plc5') else 0
                write('pccc_reply', f'{stem}-{i}', bytes([sel]) + mr)
                write('pccc_reply', f'{stem}-{i}-write', bytes([sel | 0x80]) + mr)
            else:
                sel = 1 if stem.startswith('omron') else 0
                if mr[0] in (0xCD, 0xD3):
                    sel |= 4
                write('cip_reply', f'{stem}-{i}', bytes([sel]) + mr)
    seeds = {
        'gateway': b'\0protocol=ab_eip&gateway=192.0.2.10:44818&path=1,0&plc=controllogix&name=Counter&elem_count=10',
        'pccc': b'\0protocol=ab_eip&gateway=192.0.2.10&plc=slc500&name=N7:0&elem_count=4',
        'route': b'\x011,0',
        'route-ip': b'\x0118,192.0.2.3,1,0',
        'name': b'\x02Program:Main.Motors[3].Speed',
        'name-bit': b'\x02Flags[1,2].7',
        'address': b'\x03B3:0/5',
        'timer': b'\x03T4:0.ACC',
        'string': b'\x03ST9:0',
    }
    for name, data in seeds.items():
        write('attributes', name, data)


if __name__ == '__main__':
    main()

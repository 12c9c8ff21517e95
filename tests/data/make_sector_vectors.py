#!/usr/bin/env python3
"""Makes the raw-sector test vectors in this folder with an EDC and ECC of its own.

The sector tests compare the program's check fields with these files, so the
files must not come from the program: this is a second implementation, written
apart from it, straight from the CD-ROM standard (ECMA-130) and the CD-ROM XA
extension, plain and slow (one bit, one vector at a time).

Before it writes anything it proves itself on the two Mode 2 Form 1 vectors
that came checked by another EDC/ECC checker (m2f1-lba0-zeros.bin,
m2f1-lba5-ramp.bin): from their first 2072 bytes it must give them back byte
for byte. Then it writes:

  m1-lba16-ramp.bin       Mode 1, sector 16, user data byte k = (7k + 1) mod 256
  m2f2-lba9-ramp.bin      Mode 2 Form 2, sector 9, subheader 00 00 20 00,
                          user data byte k = (5k + 2) mod 256
  m2f1-2336-lba3-ramp.bin Mode 2 Form 1, sector 3, as a 2336-byte image stores it
                          (no sync, no header), subheader 01 00 08 00,
                          user data byte k = 255 - (k mod 256)

Usage: make_sector_vectors.py [FOLDER]   (the folder of this script by default)
Exit status 1, writing nothing, when the checked vectors do not come out.
"""

import os
import sys

SYNC = bytes([0x00] + [0xFF] * 10 + [0x00])


def polynomial_product(a, b):
    """The product of two polynomials over GF(2), as bit masks."""
    product = 0
    while b:
        if b & 1:
            product ^= a
        a <<= 1
        b >>= 1
    return product


def reflected(value, bits):
    return int(format(value, "0%db" % bits)[::-1], 2)


# The EDC's generator (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), taken least
# significant bit first: its low 32 bits in reverse order.
EDC_GENERATOR = polynomial_product((1 << 16) | (1 << 15) | (1 << 2) | 1, (1 << 16) | (1 << 2) | (1 << 1) | 1)
assert EDC_GENERATOR == 0x18001801B
EDC_REFLECTED = reflected(EDC_GENERATOR & 0xFFFFFFFF, 32)


def edc(data):
    """The CRC over data, bit by bit: initial value 0, no final inversion."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (EDC_REFLECTED if crc & 1 else 0)
    return crc


# GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1; alpha = 2.
FIELD = 0x11D


def gf_multiply(a, b):
    product = 0
    while b:
        if b & 1:
            product ^= a
        a <<= 1
        if a & 0x100:
            a ^= FIELD
        b >>= 1
    return product


def gf_divide(a, b):
    return next(q for q in range(256) if gf_multiply(q, b) == a)


def parity(vector):
    """The two RSPC parity bytes of one P or Q vector."""
    total = 0  # B: the plain sum
    weighted = 0  # A: v_0 alpha^n + ... + v_(n-1) alpha^1, by Horner's rule
    for byte in vector:
        total ^= byte
        weighted = gf_multiply(weighted ^ byte, 2)
    first = gf_divide(gf_multiply(2, weighted) ^ total, 2 ^ 1)
    return first, first ^ total


def write_ecc(sector, zero_header):
    """P then Q parity over the bytes from 12 on (the header taken as zero for Mode 2)."""
    def s():
        view = bytearray(sector[12:])
        if zero_header:
            view[0:4] = bytes(4)
        return view

    view = s()
    for m in range(86):
        p0, p1 = parity([view[m + 86 * k] for k in range(24)])
        sector[2076 + m], sector[2076 + 86 + m] = p0, p1
    view = s()
    for m in range(52):
        i, vector = 86 * (m // 2) + m % 2, []
        for _ in range(43):
            vector.append(view[i])
            i = (i + 88) % 2236
        q0, q1 = parity(vector)
        sector[2248 + m], sector[2248 + 52 + m] = q0, q1


def put_le32(sector, at, value):
    sector[at:at + 4] = value.to_bytes(4, "little")


def bcd(n):
    return (n // 10) << 4 | n % 10


def header(lba, mode):
    frame = lba + 150
    return bytes([bcd(frame // 4500), bcd(frame // 75 % 60), bcd(frame % 75), mode])


def mode1_sector(lba, user_data):
    sector = bytearray(2352)
    sector[0:12] = SYNC
    sector[12:16] = header(lba, 1)
    sector[16:2064] = user_data
    put_le32(sector, 2064, edc(sector[0:2064]))
    write_ecc(sector, zero_header=False)
    return sector


def form1_check_fields(sector):
    """EDC and ECC of a Mode 2 Form 1 sector whose first 2072 bytes are set."""
    put_le32(sector, 2072, edc(sector[16:2072]))
    write_ecc(sector, zero_header=True)
    return sector


def mode2_sector(lba, subheader, user_data):
    sector = bytearray(2352)
    sector[0:12] = SYNC
    sector[12:16] = header(lba, 2)
    sector[16:24] = subheader * 2
    if subheader[2] & 0x20:  # Form 2: an EDC, no ECC
        sector[24:2348] = user_data
        put_le32(sector, 2348, edc(sector[16:2348]))
        return sector
    sector[24:2072] = user_data
    return form1_check_fields(sector)


def check_against_known_vectors(folder):
    for name in ("m2f1-lba0-zeros.bin", "m2f1-lba5-ramp.bin"):
        with open(os.path.join(folder, name), "rb") as f:
            known = f.read()
        rebuilt = form1_check_fields(bytearray(known[:2072]) + bytearray(2352 - 2072))
        if rebuilt != known:
            differ = [i for i in range(2352) if rebuilt[i] != known[i]]
            print("%s: %d bytes differ, the first at %d" % (name, len(differ), differ[0]), file=sys.stderr)
            return False
    return True


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    if not check_against_known_vectors(folder):
        return 1
    vectors = {
        "m1-lba16-ramp.bin": mode1_sector(16, bytes((7 * k + 1) % 256 for k in range(2048))),
        "m2f2-lba9-ramp.bin": mode2_sector(9, bytes([0, 0, 0x20, 0]), bytes((5 * k + 2) % 256 for k in range(2324))),
        "m2f1-2336-lba3-ramp.bin": mode2_sector(3, bytes([1, 0, 0x08, 0]), bytes(255 - k % 256 for k in range(2048)))[16:],
    }
    for name, data in vectors.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print("%s: %d bytes" % (name, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""What the test masters and peers of the serial lines share: the frame check
sequence of the links and a central system's SNMPv1 GET of sysDescr."""

COMMUNITY = b"stewardcastle"
SYS_DESCR = bytes([0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00])


def fcs16(data):
    fcs = 0xFFFF
    for b in data:
        fcs ^= b
        for _ in range(8):
            fcs = (fcs >> 1) ^ 0x8408 if fcs & 1 else fcs >> 1
    return fcs


def unescape(raw):
    """The bytes between two flags with every 7D pair undone."""
    plain = bytearray()
    i = 0
    while i < len(raw):
        b = raw[i]
        if b == 0x7D and i + 1 < len(raw):
            i += 1
            b = raw[i] ^ 0x20
        plain.append(b)
        i += 1
    return plain


def tlv(tag, content):
    n = len(content)
    if n < 0x80:
        return bytes([tag, n]) + content
    return bytes([tag, 0x82, n >> 8, n & 0xFF]) + content


def get_request(request_id):
    varbind = tlv(0x30, SYS_DESCR + b"\x05\x00")
    pdu = tlv(0xA0, tlv(0x02, request_id.to_bytes(4, "big")) + b"\x02\x01\x00\x02\x01\x00"
              + tlv(0x30, varbind))
    return tlv(0x30, b"\x02\x01\x00" + tlv(0x04, COMMUNITY) + pdu)

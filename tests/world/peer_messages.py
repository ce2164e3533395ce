"""What the test world's tools say to the discovery peers, and what a peer
of our own making answers: shared by lan-net, the liar, the helper's
checks and the recorder of real answers (tests/lan/capture-answers.py).
"""
import http.client
import socket
import struct
import uuid


def wsdd_uuid(name):
    """The endpoint UUID lan-net gives the wsdd of computer `name`."""
    return str(uuid.uuid5(uuid.NAMESPACE_DNS, name.lower() + ".ferrolink.test"))


def ask_udp(address, port, query, timeout=3.0):
    """The first datagram `address` answers `query` with, or None."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(timeout)
    try:
        s.sendto(query, (address, port))
        return s.recvfrom(65535)[0]
    except OSError:
        return None
    finally:
        s.close()


def mdns_query():
    """A DNS-SD query for _smb._tcp.local (PTR)."""
    return struct.pack(">HHHHHH", 0x1234, 0, 1, 0, 0, 0) + encode_name("_smb._tcp.local") + struct.pack(">HH", 12, 1)


SOAP_GET = ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing"><soap:Header><wsa:To>%s</wsa:To>'
            '<wsa:Action>http://schemas.xmlsoap.org/ws/2004/09/transfer/Get</wsa:Action><wsa:MessageID>urn:uuid:%s'
            '</wsa:MessageID></soap:Header><soap:Body/></soap:Envelope>')


def wsd_metadata(address, name):
    """The body of the metadata the wsdd of `address` (computer `name`)
    gives a WS-Transfer Get, or None when it does not answer 200."""
    endpoint = "urn:uuid:" + wsdd_uuid(name)
    conn = http.client.HTTPConnection(address, 5357, timeout=5)
    conn.request("POST", "/" + wsdd_uuid(name), SOAP_GET % (endpoint, uuid.uuid4()),
                 {"Content-Type": "application/soap+xml"})
    reply = conn.getresponse()
    body = reply.read()
    return body if reply.status == 200 else None


def encode_name(text):
    """A DNS name as a message carries it, uncompressed."""
    return b"".join(bytes([len(l)]) + l.encode() for l in text.split(".")) + b"\0"


def mdns_answer(query_id, host, address):
    """PTR, SRV and A for _smb._tcp.local, as a responder sends them."""
    instance = encode_name(host + "._smb._tcp.local")
    target = encode_name(host + ".local")

    def rr(owner, kind, data):
        return owner + struct.pack(">HHIH", kind, 1, 10, len(data)) + data
    body = (rr(encode_name("_smb._tcp.local"), 12, instance) +
            rr(instance, 33, struct.pack(">HHH", 0, 0, 445) + target) + rr(target, 1, socket.inet_aton(address)))
    return struct.pack(">HHHHHH", query_id, 0x8400, 0, 3, 0, 0) + body


def node_status(query, names):
    """A node status answer to `query` naming `names` [(name, suffix, group)]."""
    data = bytes([len(names)]) + b"".join(n.encode().ljust(15)[:15] + bytes([sfx]) + (b"\x84\x00" if g else b"\x04\x00")
                                          for n, sfx, g in names) + bytes(46)
    return query[:2] + b"\x84\x00\x00\x00\x00\x01\x00\x00\x00\x00" + query[12:46] + \
        struct.pack(">HHIH", 0x21, 1, 0, len(data)) + data

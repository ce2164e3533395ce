#!/usr/bin/env python3
"""Records what the test world's peers answer to discovery, for the tests
that hand those answers to the helper (discovery-wire.py) and as the seed
corpus of the fuzzers (tests/fuzz). Run inside a lan world:

  tests/world/run-in-world --build build/x86_64 tests/e2e/worlds/lan-modern.json -- \\
      python3 tests/world/lan-net run tests/e2e/worlds/lan-modern.json -- \\
      python3 tests/lan/capture-answers.py tests/lan/answers

Into DIR: netbios/NAME.bin (nmbd's node status answer), wsd/NAME-probe.xml
and wsd/NAME-resolve.xml (wsdd's ProbeMatches and ResolveMatches),
wsd/NAME-metadata.xml (the body of wsdd's metadata reply), dnssd/NAME.bin
(Avahi's answer to the _smb._tcp.local query). Each is asked at the peer's
own address: nothing multicasts.
"""
import http.client
import json
import os
import socket
import struct
import sys
import uuid

SUBNET = "127.77.0"


def ask_udp(address, port, query, timeout=3.0):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(timeout)
    try:
        s.sendto(query, (address, port))
        return s.recvfrom(65535)[0]
    except OSError:
        return None
    finally:
        s.close()


def node_status_query():
    name = b"*" + bytes(15)
    encoded = bytes(c for b in name for c in (0x41 + (b >> 4), 0x41 + (b & 15)))
    return struct.pack(">HHHHHH", 0x4652, 0, 1, 0, 0, 0) + b"\x20" + encoded + b"\x00" + struct.pack(">HH", 0x21, 1)


def mdns_query():
    name = b"".join(bytes([len(l)]) + l for l in (b"_smb", b"_tcp", b"local")) + b"\0"
    return struct.pack(">HHHHHH", 0x1234, 0, 1, 0, 0, 0) + name + struct.pack(">HH", 12, 1)


ENVELOPE = ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
            'xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof"><soap:Header><wsa:To>%s</wsa:To>'
            '<wsa:Action>%s</wsa:Action><wsa:MessageID>urn:uuid:%s</wsa:MessageID></soap:Header>'
            '<soap:Body>%s</soap:Body></soap:Envelope>')
DISCOVERY = "urn:schemas-xmlsoap-org:ws:2005:04:discovery"
WSD = "http://schemas.xmlsoap.org/ws/2005/04/discovery"


def wsdd_uuid(name):
    return str(uuid.uuid5(uuid.NAMESPACE_DNS, name.lower() + ".ferrolink.test"))


def main():
    out = sys.argv[1]
    world = json.load(open(os.environ["FERROLINK_LAN_WORLD"]))
    for kind in ("netbios", "wsd", "dnssd"):
        os.makedirs(os.path.join(out, kind), exist_ok=True)
    host, missing = 11, []
    for group in world["lan"]["workgroups"]:
        for c in group["computers"]:
            address, name = "%s.%d" % (SUBNET, host), c["name"].lower()
            host += 1
            saved = {}
            if c.get("nmbd", True):
                saved["netbios/%s.bin" % name] = ask_udp(address, 137, node_status_query())
            if c.get("wsdd"):
                endpoint = "urn:uuid:" + wsdd_uuid(c["name"])
                probe = ENVELOPE % (DISCOVERY, WSD + "/Probe", uuid.uuid4(),
                                    "<wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe>")
                saved["wsd/%s-probe.xml" % name] = ask_udp(address, 3702, probe.encode())
                resolve = ENVELOPE % (DISCOVERY, WSD + "/Resolve", uuid.uuid4(),
                                      "<wsd:Resolve><wsa:EndpointReference><wsa:Address>%s</wsa:Address>"
                                      "</wsa:EndpointReference></wsd:Resolve>" % endpoint)
                saved["wsd/%s-resolve.xml" % name] = ask_udp(address, 3702, resolve.encode())
                get = ENVELOPE % (endpoint, "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get", uuid.uuid4(), "")
                conn = http.client.HTTPConnection(address, 5357, timeout=5)
                conn.request("POST", "/" + wsdd_uuid(c["name"]), get, {"Content-Type": "application/soap+xml"})
                reply = conn.getresponse()
                saved["wsd/%s-metadata.xml" % name] = reply.read() if reply.status == 200 else None
            if c.get("avahi"):
                saved["dnssd/%s.bin" % name] = ask_udp(address, 5353, mdns_query())
            for path, data in saved.items():
                if data is None:
                    missing.append(path)
                    continue
                with open(os.path.join(out, path), "wb") as f:
                    f.write(data)
                print("captured %s (%d bytes)" % (path, len(data)))
    if missing:
        print("no answer for: " + " ".join(missing), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Records what the test world's peers answer to discovery, for the tests
that hand those answers to the helper (discovery-wire.py) and as the seed
corpus of the fuzzers (tests/fuzz). Run inside a lan world:

  tests/world/run-in-world --build build/x86_64 tests/e2e/worlds/lan-modern.json -- \\
      python3 tests/lan/capture-answers.py tests/lan/answers

(run-in-world builds a world's lan through tests/world/lan-net.)

Into DIR: netbios/NAME.bin (nmbd's node status answer), wsd/NAME-probe.xml
and wsd/NAME-resolve.xml (wsdd's ProbeMatches and ResolveMatches),
wsd/NAME-metadata.xml (the body of wsdd's metadata reply), dnssd/NAME.bin
(Avahi's answer to the _smb._tcp.local query). Each is asked at the peer's
own address: nothing multicasts.
"""
import json
import os
import struct
import sys
import uuid

sys.dont_write_bytecode = True   # no cache written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "world"))
from peer_messages import ask_udp, mdns_query, wsd_metadata, wsdd_uuid  # noqa: E402

SUBNET = "127.77.0"


def node_status_query():
    name = b"*" + bytes(15)
    encoded = bytes(c for b in name for c in (0x41 + (b >> 4), 0x41 + (b & 15)))
    return struct.pack(">HHHHHH", 0x4652, 0, 1, 0, 0, 0) + b"\x20" + encoded + b"\x00" + struct.pack(">HH", 0x21, 1)


ENVELOPE = ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
            'xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof"><soap:Header><wsa:To>%s</wsa:To>'
            '<wsa:Action>%s</wsa:Action><wsa:MessageID>urn:uuid:%s</wsa:MessageID></soap:Header>'
            '<soap:Body>%s</soap:Body></soap:Envelope>')
DISCOVERY = "urn:schemas-xmlsoap-org:ws:2005:04:discovery"
WSD = "http://schemas.xmlsoap.org/ws/2005/04/discovery"


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
                saved["wsd/%s-metadata.xml" % name] = wsd_metadata(address, c["name"])
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

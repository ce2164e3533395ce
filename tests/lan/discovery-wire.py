#!/usr/bin/env python3
"""Discovery as `make lan` runs it (--discover, no --discover-hosts), with
every datagram the helper sends intercepted: what goes on the wire of a
real network, without a packet on any wire.

The test makes interfaces in run-in-world's own network namespace: two
that stand for network cards (veth pairs whose sysfs entry is given a
`device`, as a card's has: nothing else in a namespace can have one; one
with a /24, one with a /16), and a bridge, a bare veth, a macvlan and a
"card" that is down, none of which may be swept. A preloaded shim
(send_shim.c) records each datagram's destination, port, TTL, multicast
interface and loop setting and hands it to this script instead; the
script answers as the test world's nmbd, wsdd and Avahi did
(tests/lan/answers, from the computers of tests/e2e/worlds/lan-modern.json)
from those computers' addresses to the helper's own port on 127.0.0.1,
and serves LAPTOP's metadata over HTTP (chunked, as Windows may) at its
address. Then it checks the sends against what a real network needs and
the computers against the world. A second run names a bridge and a /22 of
the wide interface instead.

  discovery-wire.py HELPER
"""
import http.server
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
ANSWERS = os.path.join(HERE, "answers")
WORLD = os.path.join(HERE, "..", "e2e", "worlds", "lan-modern.json")
WSD_GROUP, MDNS_GROUP = "239.255.255.250", "224.0.0.251"

# name: (kind, address/prefix, stands for a network card, up)
LINKS = {
    "lan0": ("veth", "127.77.0.2/24", True, True),
    "wide0": ("veth", "127.78.0.2/16", True, True),
    "br0": ("bridge", "127.80.0.1/24", False, True),
    "veth0": ("veth", "127.81.0.1/24", False, True),
    "mv0": ("macvlan", "127.83.0.1/24", False, True),
    "down0": ("veth", "127.84.0.2/24", True, False),
}

failures = 0


def check(what, ok, detail=""):
    global failures
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else ": " + str(detail)[:2000]))
    failures += 0 if ok else 1


def ip(*args):
    subprocess.run(["ip", *args], check=True)


def n(address):
    return int.from_bytes(socket.inet_aton(address), "big")


def a(number):
    return socket.inet_ntoa(number.to_bytes(4, "big"))


def swept(name, bits=24):
    """The addresses a sweep of `name` reaches: the /`bits` around its
    address, no wider than its subnet, without the subnet's network and
    broadcast addresses or its own."""
    address, prefix = LINKS[name][1].split("/")
    prefix = int(prefix)
    own = n(address)
    subnet = own & (0xFFFFFFFF << (32 - prefix)) & 0xFFFFFFFF
    broadcast = subnet | (0xFFFFFFFF >> prefix)
    width = max(prefix, bits)
    start = own & (0xFFFFFFFF << (32 - width)) & 0xFFFFFFFF
    return {a(x) for x in range(start, start + (1 << (32 - width))) if x not in (subnet, broadcast, own)}


def own(name):
    return LINKS[name][1].split("/")[0]


def make_links(work):
    """The interfaces, and sysfs as this namespace sees it, with a device
    for those that stand for cards."""
    subprocess.run(["mount", "-t", "sysfs", "sysfs", "/sys"], check=True)
    for name, (kind, address, card, up) in LINKS.items():
        if kind == "veth":
            ip("link", "add", name, "type", "veth", "peer", "name", name + "p")
            ip("link", "set", name + "p", "up")
        elif kind == "bridge":
            ip("link", "add", name, "type", "bridge")
            ip("link", "add", name + "a", "type", "veth", "peer", "name", name + "b")
            ip("link", "set", name + "a", "master", name, "up")
            ip("link", "set", name + "b", "up")
        elif kind == "macvlan":
            ip("link", "add", name, "link", "veth0p", "type", "macvlan", "mode", "bridge")
        ip("addr", "add", address, "dev", name)
        if up:
            ip("link", "set", name, "up")
        if card:
            fake = os.path.join(work, "sys", name)
            os.makedirs(os.path.join(fake, "device"))
            subprocess.run(["mount", "--bind", fake, "/sys/devices/virtual/net/" + name], check=True)
    # The peers' addresses are this namespace's own, so that their answers
    # come from them (a subnet's route would take them out on lan0).
    for _, _, address in world_peers():
        ip("addr", "add", address + "/32", "dev", "lo")
    cards = sorted(x for x in LINKS if os.path.exists("/sys/class/net/%s/device" % x))
    check("the namespace's cards are the test's", cards == ["down0", "lan0", "wide0"], cards)


def world_peers():
    """[(computer, address)] in the world's order, addresses as lan-net gives them."""
    world = json.load(open(WORLD))
    out, host = [], 11
    for g in world["lan"]["workgroups"]:
        for c in g["computers"]:
            out.append((c, g["name"], "127.77.0.%d" % host))
            host += 1
    return out


class Answerer:
    """Answers what the shim hands over as the world's peers answered, for
    messages that went out on lan0 (their link), and keeps what it saw."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.seen = []    # (destination, port, multicast interface, what)
        self.senders = {}
        self.stop = threading.Event()
        self.peers = world_peers()
        threading.Thread(target=self.serve, daemon=True).start()

    def send_from(self, address, port, data, to):
        key = (address, port)
        if key not in self.senders:
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind(key)
            self.senders[key] = s
        self.senders[key].sendto(data, to)

    def serve(self):
        while not self.stop.is_set():
            try:
                data, helper = self.sock.recvfrom(70000)
            except OSError:
                continue
            dst, port, mif, payload = (socket.inet_ntoa(data[:4]), int.from_bytes(data[4:6], "big"),
                                       socket.inet_ntoa(data[6:10]), data[10:])
            what = ("resolve" if b"/discovery/Resolve<" in payload else "probe") if port == 3702 else str(port)
            self.seen.append((dst, port, mif, what))
            for reply, source in self.answers(dst, port, mif, what, payload):
                self.send_from(source[0], source[1], reply, helper)

    def answers(self, dst, port, mif, what, payload):
        on_lan = mif == own("lan0")
        for c, _, address in self.peers:
            name = c["name"].lower()
            if port == 137 and dst == address and c.get("nmbd", True):
                yield payload[:2] + open(os.path.join(ANSWERS, "netbios", name + ".bin"), "rb").read()[2:], (address, 137)
            elif port == 5353 and dst == MDNS_GROUP and on_lan and c.get("avahi"):
                yield payload[:2] + open(os.path.join(ANSWERS, "dnssd", name + ".bin"), "rb").read()[2:], (address, 5353)
            elif port == 3702 and dst == WSD_GROUP and on_lan and c.get("wsdd"):
                recorded = open(os.path.join(ANSWERS, "wsd", "%s-%s.xml" % (name, what)), "rb").read()
                if what == "resolve" and wsdd_endpoint(recorded).encode() not in payload:
                    continue
                asked = re.search(rb"<wsa:MessageID>([^<]*)</wsa:MessageID>", payload).group(1)
                yield re.sub(rb"<wsa:RelatesTo>[^<]*</wsa:RelatesTo>", b"<wsa:RelatesTo>" + asked + b"</wsa:RelatesTo>",
                             recorded), (address, 3702)


def wsdd_endpoint(recorded):
    return re.search(r"urn:uuid:[0-9a-f-]{36}", re.search(r"<wsa:EndpointReference>.*?</wsa:EndpointReference>",
                                                          recorded.decode()).group(0)).group(0)


class Metadata(http.server.BaseHTTPRequestHandler):
    """LAPTOP's metadata service: what wsdd answered, in chunks."""
    protocol_version = "HTTP/1.1"
    asked = []

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        Metadata.asked.append((self.path, body))
        recorded = open(os.path.join(ANSWERS, "wsd", "laptop-metadata.xml"), "rb").read()
        uuid = wsdd_endpoint(recorded)[len("urn:uuid:"):]
        if self.path != "/" + uuid:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/soap+xml")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        third = len(recorded) // 3
        for part in (recorded[:third], recorded[third:2 * third], recorded[2 * third:], b""):
            self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))

    def log_message(self, *args):
        pass


def records(path):
    out = []
    if os.path.exists(path):
        for line in open(path):
            out.append(dict(field.split("=", 1) for field in line.split()))
    return out


def run(helper, shim, log, answerer, *options):
    if os.path.exists(log):
        os.unlink(log)
    answerer.seen.clear()
    env = dict(os.environ, LD_PRELOAD=shim, FERROLINK_SHIM_LOG=log, FERROLINK_SHIM_PORT=str(answerer.port))
    r = subprocess.run([helper, "--discover-now", "--discover", *options], env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, text=True, timeout=60)
    return r, records(log)


def group_sends(recs, group, port):
    return [r for r in recs if r["dst"] == group and r["port"] == str(port)]


def paced(recs):
    """The most node status queries sent within any 100 ms."""
    stamps = sorted(int(r["ms"]) for r in recs if r["port"] == "137")
    most, first = 0, 0
    for last, t in enumerate(stamps):
        while stamps[first] < t - 99:
            first += 1
        most = max(most, last - first + 1)
    return most


def check_default(helper, shim, log, answerer):
    r, recs = run(helper, shim, log, answerer)
    cards = {own("lan0"), own("wide0")}
    probes = [x for x in answerer.seen if x[3] == "probe"]
    check("one WS-Discovery probe to %s:3702 on each card" % WSD_GROUP,
          sorted(x[2] for x in probes) == sorted(cards) and all(x[0] == WSD_GROUP for x in probes), probes)
    resolves = [x for x in answerer.seen if x[3] == "resolve"]
    check("LAPTOP's Resolve to the group, on its own link",
          resolves == [(WSD_GROUP, 3702, own("lan0"), "resolve")], resolves)
    wsd = group_sends(recs, WSD_GROUP, 3702)
    check("WS-Discovery to the group: TTL 1, no loop back", wsd and all(x["ttl"] == "1" and x["loop"] == "0" for x in wsd), wsd)
    mdns = group_sends(recs, MDNS_GROUP, 5353)
    check("one DNS-SD query to %s:5353 on each card, TTL 255, no loop back" % MDNS_GROUP,
          sorted(x["mif"] for x in mdns) == sorted(cards) and all(x["ttl"] == "255" and x["loop"] == "0" for x in mdns),
          mdns)
    status = [x["dst"] for x in recs if x["port"] == "137"]
    want = swept("lan0") | swept("wide0")
    check("node status to each address of the cards' subnets, a /24 at most, once",
          sorted(status) == sorted(want), sorted(set(status) ^ want)[:20])
    others = [x for x in recs if x["port"] != "137" and x["dst"] not in (WSD_GROUP, MDNS_GROUP)]
    check("nothing else", not others, others)
    check("nothing by way of the bridge, the veth, the macvlan or the card that is down",
          not [x for x in recs if x["mif"] in (own("br0"), own("veth0"), own("mv0"), own("down0"))
               or x["dst"].rsplit(".", 2)[0] in ("127.80", "127.81", "127.83", "127.84")])
    check("paced: at most 45 node status queries in any 100 ms", paced(recs) <= 45, paced(recs))
    expected = []
    for c, group, address in world_peers():
        how = "NetBIOS" if c.get("nmbd", True) else "WS-Discovery" if c.get("wsdd") else "mDNS" if c.get("avahi") else None
        if how:
            workgroup = "" if how == "mDNS" else group
            expected.append("%s\t%s\t%s\t%s" % (c["name"], workgroup, address, how))
    check("the computers the world's peers answered for, each by its first protocol",
          sorted(r.stdout.splitlines()) == sorted(expected), r.stdout + r.stderr)
    check("nothing refused", "refused" not in r.stderr, r.stderr)
    endpoint = wsdd_endpoint(open(os.path.join(ANSWERS, "wsd", "laptop-probe.xml"), "rb").read())
    check("LAPTOP's metadata asked for once, at the path it gave, for its endpoint",
          len(Metadata.asked) == 1 and Metadata.asked[0][0] == "/" + endpoint[9:] and
          ("<wsa:To>%s</wsa:To>" % endpoint).encode() in Metadata.asked[0][1], Metadata.asked)


def check_named(helper, shim, log, answerer):
    r, recs = run(helper, shim, log, answerer, "--discover-interface", "br0", "--discover-interface", "wide0/22")
    named = {own("br0"), own("wide0")}
    for group, port in ((WSD_GROUP, 3702), (MDNS_GROUP, 5353)):
        sends = group_sends(recs, group, port)
        check("named interfaces: %s:%d on each of them alone" % (group, port),
              sorted(x["mif"] for x in sends) == sorted(named), sends)
    status = [x["dst"] for x in recs if x["port"] == "137"]
    want = swept("br0") | swept("wide0", 22)
    check("named interfaces: node status to the bridge's /24 and the /22 asked for",
          sorted(status) == sorted(want), sorted(set(status) ^ want)[:20])
    check("named interfaces: nothing on the cards not named",
          not [x for x in recs if x["dst"].startswith("127.77.") or x["mif"] == own("lan0")])
    check("named interfaces: nobody answers there", r.stdout == "", r.stdout)


def main():
    helper = os.path.abspath(sys.argv[1])
    if os.environ.get("FERROLINK_WORLD_NETNS") != os.readlink("/proc/self/ns/net"):
        print("discovery-wire: refused: not inside run-in-world's network namespace", file=sys.stderr)
        return 2
    if sorted(name for _, name in socket.if_nameindex()) != ["lo"]:
        print("discovery-wire: refused: the namespace has links already", file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="ferrolink-wire-")
    shim = os.path.join(work, "send_shim.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, os.path.join(HERE, "send_shim.c"), "-ldl"], check=True)
    log = os.path.join(work, "sends.log")
    make_links(work)
    answerer = Answerer()
    laptop = [address for c, _, address in world_peers() if c.get("wsdd")][0]
    server = http.server.ThreadingHTTPServer((laptop, 5357), Metadata)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        check_default(helper, shim, log, answerer)
        check_named(helper, shim, log, answerer)
    finally:
        answerer.stop.set()
        server.shutdown()
        for name, (_, _, card, _) in LINKS.items():
            if card:
                subprocess.run(["umount", "/sys/devices/virtual/net/" + name])
        subprocess.run(["umount", "/sys"])
        subprocess.run(["rm", "-rf", work])
    print("%d failed" % failures if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The helper as any other process on the machine meets it: it answers only
requests made with its key, signs what it answers, keeps its key file to its
user, refuses a port that is taken, keeps serving while connections idle,
writes what a client sends into its log only escaped, and removes its key
file when it is ended. And its discovery against computers that lie: an
answer that points at another address, names what no computer may be
called, floods, or accepts a connection and never answers, is refused or
outlived, and only the honest are listed. Run inside a test world (no
network but loopback).

  helper-check.py HELPER
"""
import hashlib
import hmac
import os
import re
import signal
import socket
import stat
import subprocess
import sys
import struct
import tempfile
import threading
import time

sys.dont_write_bytecode = True   # no cache written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "world"))
from peer_messages import mdns_answer, node_status  # noqa: E402

failures = 0


def check(what, ok, detail=""):
    global failures
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else ": " + detail))
    failures += 0 if ok else 1


def mac(key, what, text):
    return hmac.new(key, what + b"\n" + text, hashlib.sha256).hexdigest().encode()


def escape(text):
    return b"".join(b"%%%02X" % c if c < 0x20 or c in (0x25, 0x7F) else bytes([c]) for c in text)


def ask(port, line, timeout=10.0):
    """What the helper sends back to `line`, whole, and how long it took."""
    start = time.time()
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(line)
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    return data, time.time() - start


def request(key, verb, argument, nonce=None):
    nonce = nonce or os.urandom(16).hex().encode()
    covered = verb + b"\t" + escape(argument) + b"\t" + nonce + b"\t"
    return covered + mac(key, b"request", covered) + b"\n", nonce


def signed_by(key, nonce, reply):
    body, _, last = reply.rstrip(b"\n").rpartition(b"\t")
    return hmac.compare_digest(mac(key, b"reply", nonce + b"\n" + body + b"\t"), last)


def wsd_match(probe, xaddr):
    """A computer's ProbeMatch for `probe`, giving `xaddr` for its metadata."""
    relates = re.search(rb"<wsa:MessageID>([^<]*)</wsa:MessageID>", probe).group(1).decode()
    return ('<soap:Envelope xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
            'xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07"><soap:Header>'
            '<wsa:RelatesTo>%s</wsa:RelatesTo></soap:Header><soap:Body><wsd:ProbeMatches><wsd:ProbeMatch>'
            '<wsa:EndpointReference><wsa:Address>urn:uuid:%s</wsa:Address></wsa:EndpointReference>'
            '<wsd:Types>pub:Computer</wsd:Types><wsd:XAddrs>%s</wsd:XAddrs></wsd:ProbeMatch></wsd:ProbeMatches>'
            '</soap:Body></soap:Envelope>' % (relates, uuid_text(), xaddr)).encode()


class Held:
    """The helper's process, which a responder may stop for a moment."""
    pid = None

    def hold(self):
        if self.pid:
            os.kill(self.pid, signal.SIGSTOP)

    def release(self):
        if self.pid:
            os.kill(self.pid, signal.SIGCONT)


def liars(stop, helper):
    """Responders on 127.0.0.5 and up, each with a lie of its own, and
    honest ones; they serve until `stop` is set."""
    def udp(address, port, answer):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((address, port))
        s.settimeout(0.2)
        def serve():
            while not stop.is_set():
                try:
                    query, peer = s.recvfrom(65535)
                except OSError:
                    continue
                for reply in answer(query):
                    s.sendto(reply, peer)
            s.close()
        threading.Thread(target=serve, daemon=True).start()
    # WS-Discovery that points at another computer.
    udp("127.0.0.5", 3702, lambda q: [wsd_match(q, "http://127.0.0.200:5357/" + uuid_text())])
    # mDNS that names another address.
    udp("127.0.0.6", 5353, lambda q: [mdns_answer(struct.unpack(">H", q[:2])[0], "fake", "127.0.0.99")])
    # NetBIOS names no computer may have.
    udp("127.0.0.7", 137, lambda q: [node_status(q, [("BAD NAME", 0, False), ("A.B", 0x20, False)])])
    # A flood of the same answer, and after it an honest answer that
    # arrives on the same socket of the helper's: it must not be crowded
    # out. The helper is held while both arrive (as a busy helper would
    # be), so they wait in its socket's queue: 400 small datagrams are more
    # than a default queue holds (about 256), fewer than the helper's.
    asked, flooded = threading.Event(), threading.Event()
    def flood(q):
        asked.wait(3)
        helper.hold()
        yield from [node_status(q, [("GOODBOX", 0, False), ("FLOODGRP", 0, True)])] * 400
        flooded.set()
    udp("127.0.0.8", 137, flood)
    def after_flood(q):
        asked.set()
        flooded.wait(3)
        yield node_status(q, [("QUIETBOX", 0, False), ("FLOODGRP", 0, True)])
        time.sleep(0.2)
        helper.release()
    udp("127.0.0.11", 137, after_flood)
    # WS-Discovery whose metadata service takes the connection and never answers.
    hang = socket.socket()
    hang.bind(("127.0.0.9", 5357))
    hang.listen(8)
    held = []
    def accept():
        hang.settimeout(0.2)
        while not stop.is_set():
            try:
                held.append(hang.accept()[0])
            except OSError:
                pass
        hang.close()
    threading.Thread(target=accept, daemon=True).start()
    udp("127.0.0.9", 3702, lambda q: [wsd_match(q, "http://127.0.0.9:5357/" + uuid_text())])
    # An honest mDNS responder.
    udp("127.0.0.10", 5353, lambda q: [mdns_answer(struct.unpack(">H", q[:2])[0], "honest", "127.0.0.10")])


def uuid_text():
    return "%08x-0000-4000-8000-%012x" % (int.from_bytes(os.urandom(4), "big"), int.from_bytes(os.urandom(6), "big"))


def check_discovery(helper):
    stop, held = threading.Event(), Held()
    liars(stop, held)
    r = subprocess.Popen([helper, "--list", "--discover", "--discover-hosts", "127.0.0.0/24"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    held.pid = r.pid
    r.stdout, r.stderr = r.communicate(timeout=30)
    stop.set()
    listed = sorted(line for line in r.stdout.splitlines() if line.startswith("SERVER"))
    check("discovery lists the honest alone, each once",
          listed == ["SERVER\tFLOODGRP\tGOODBOX", "SERVER\tFLOODGRP\tQUIETBOX", "SERVER\tWORKGROUP\tHONEST"],
          repr(r.stdout))
    for why, text in [("a WS-Discovery answer that points elsewhere", "127.0.0.5 that points elsewhere"),
                      ("an mDNS answer for another address", "127.0.0.6 for another address"),
                      ("NetBIOS names no computer may have", "127.0.0.7 that names no computer"),
                      ("metadata that never comes", "127.0.0.9 that did not come in time")]:
        check("refused and logged: " + why, text in r.stderr, r.stderr[-400:])


def check_one_pass(helper):
    """Three walks at once (three browse workers) and one more: one
    discovery pass for the whole helper, which the others share, and its
    folder gone with it."""
    work = tempfile.mkdtemp()
    keyfile, log = os.path.join(work, "key"), os.path.join(work, "log")
    env = dict(os.environ, XDG_RUNTIME_DIR=work)
    proc = subprocess.Popen([helper, "--key", keyfile, "--log", log, "--discover", "--discover-hosts", "127.0.0.0/24"],
                            stdout=subprocess.PIPE, text=True, env=env)
    port = int(proc.stdout.readline().split()[1])
    key = bytes.fromhex(dict(line.split("=", 1) for line in open(keyfile).read().splitlines())["key"])
    replies = []
    def walk():
        line, nonce = request(key, b"WORKGROUPS", b"")
        replies.append(signed_by(key, nonce, ask(port, line)[0]))
    walks = [threading.Thread(target=walk) for _ in range(3)]
    for t in walks:
        t.start()
    for t in walks:
        t.join()
    walk()
    folders = [d for d in os.listdir(work) if d.startswith("ferrolink-lan-")]
    proc.terminate()
    proc.wait(10)
    text = open(log).read()
    passes, kept = len(re.findall(r"\bdiscovery: \d+ computers", text)), text.count("discovery kept:")
    check("four walks, three at once: one discovery pass, the others share it",
          replies == [True] * 4 and passes == 1 and kept == 3, "%r, %d passes, %d kept" % (replies, passes, kept))
    check("the helper's folder for the pass, and gone with it",
          len(folders) == 1 and not [d for d in os.listdir(work) if d.startswith("ferrolink-lan-")], repr(folders))


def main():
    helper = sys.argv[1]
    work = tempfile.mkdtemp()
    keyfile, log = os.path.join(work, "key"), os.path.join(work, "log")
    proc = subprocess.Popen([helper, "--key", keyfile, "--log", log], stdout=subprocess.PIPE, text=True)
    ready = proc.stdout.readline().split()
    port = int(ready[1])
    fields = dict(line.split("=", 1) for line in open(keyfile).read().splitlines())
    key = bytes.fromhex(fields["key"])
    check("the key file is its user's alone", stat.S_IMODE(os.stat(keyfile).st_mode) == 0o600,
          oct(os.stat(keyfile).st_mode))
    check("the key file names the port and the log", fields.get("port") == str(port) and fields.get("log") == log,
          str(fields))

    second = subprocess.run([helper, "--key", os.path.join(work, "key2"), "--port", str(port)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=10)
    check("a second helper on the same port stops with one line",
          second.returncode != 0 and second.stderr.count("\n") == 1 and "Address already in use" in second.stderr,
          repr(second.stderr))

    for why, line in [("no key at all", b"WORKGROUPS\t\n"),
                      ("another key", request(os.urandom(32), b"WORKGROUPS", b"")[0]),
                      ("a request changed on the way", request(key, b"SHARES", b"ANVIL")[0].replace(b"ANVIL", b"ANVIM")),
                      ("garbage", os.urandom(200) + b"\n")]:
        reply, _ = ask(port, line)
        check("a client without the key gets nothing: " + why, reply == b"", repr(reply[:80]))

    # Connections that idle, more than the helper keeps: a keyed request
    # still gets its answer.
    idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(40)]
    line, nonce = request(key, b"SHARES", b"127.0.0.99")
    reply, took = ask(port, line)
    check("answered while 40 connections idle", reply.startswith(b"ERR\t53\t") and signed_by(key, nonce, reply),
          repr(reply))
    for s in idle:
        s.close()

    # A computer that neither takes a connection nor refuses one (its SMB
    # ports drop what comes): the helper gives up on it by its own bound,
    # not by ending a worker that overran the request's budget.
    nft = subprocess.run(["nft", "-f", "-"], input="table inet helpercheck { chain out { type filter hook output "
                         "priority 0; ip daddr 127.0.0.98 tcp dport { 139, 445 } drop; }; }",
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    line, nonce = request(key, b"SHARES", b"127.0.0.98")
    reply, _ = ask(port, line)
    time.sleep(0.2)
    text = open(log, "rb").read()
    check("a computer that never answers: 53, given up by the helper's own bound",
          nft.returncode == 0 and reply.startswith(b"ERR\t53\t") and
          b'SHARES "127.0.0.98": error 53 ("no SMB server answers' in text, nft.stdout + repr(text[-300:]))

    # Many servers, each of which takes a connection and drops it: every
    # one is answered, and a worker that met 128 makes way for a new one
    # (three share the requests: 400 make sure one meets that many).
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("0.0.0.0", 445))
    listener.listen(64)
    stop = threading.Event()
    def drop():
        listener.settimeout(0.2)
        while not stop.is_set():
            try:
                listener.accept()[0].close()
            except OSError:
                pass
    threading.Thread(target=drop, daemon=True).start()
    answered = 0
    for i in range(400):
        line, nonce = request(key, b"SHARES", b"127.0.%d.%d" % (1 + i // 200, 1 + i % 200))
        reply, _ = ask(port, line)
        answered += reply.startswith(b"ERR\t53\t") and signed_by(key, nonce, reply)
    stop.set()
    text = open(log, "rb").read()
    check("400 servers met: each answered, and a worker made way",
          answered == 400 and text.count(b"makes way for a new one") >= 1 and b"worker died" not in text,
          "%d answered, %d made way, %r" % (answered, text.count(b"makes way for a new one"), text[-300:]))

    # No network here: the top gets an error, signed, within the budget.
    line, nonce = request(key, b"WORKGROUPS", b"")
    reply, took = ask(port, line)
    check("no browser: an error in the helper's own words, signed",
          re.match(rb"ERR\t(6118|1222)\t[0-9a-f]{64}\n$", reply) is not None and signed_by(key, nonce, reply),
          repr(reply))
    check("answered within the Windows side's 8 s", took < 8, "%.1f s" % took)

    # What a client sends reaches the log only escaped.
    hostile = b"A\nforged line\x1b[31m\xc2\x9b\xff"
    line, nonce = request(key, b"SHARES", hostile)
    reply, _ = ask(port, line)
    time.sleep(0.2)
    text = open(log, "rb").read()
    check("the log holds no control byte", re.search(rb"[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]", text) is None,
          repr(text[-300:]))
    check("the hostile name is one line, escaped",
          text.count(b'SHARES "A%0Aforged line%1B[31m%C2%9B%FF": error') == 1, repr(text[-300:]))
    check("refusals are logged", b"refused" in text, repr(text[-300:]))

    proc.send_signal(signal.SIGTERM)
    proc.wait(10)
    check("ended, it removes its key file", not os.path.exists(keyfile))

    check_discovery(helper)
    check_one_pass(helper)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The helper as any other process on the machine meets it: it answers only
requests made with its key, signs what it answers, keeps its key file to its
user, refuses a port that is taken, keeps serving while connections idle,
writes what a client sends into its log only escaped, and removes its key
file when it is ended. Run inside a test world (no network but loopback).

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
import tempfile
import time

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
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The names library preloaded into Wine (libferrolink-names.so) answers a
look-up from the names the helper learned only where the system's resolver
knows nothing: a name the hosts file gives keeps its address whatever the
network claims. Asked through getaddrinfo and gethostbyname_r, as Wine asks.
Run inside a test world (its hosts file and a resolver that asks nobody).

  names-check.py LIBFERROLINK-NAMES.SO
"""
import os
import subprocess
import sys
import tempfile

PROBE = r"""
import socket, sys
for name in sys.argv[1:]:
    try:
        a = socket.getaddrinfo(name, None, socket.AF_INET)[0][4][0]
    except OSError:
        a = "-"
    try:
        b = socket.gethostbyname_ex(name)[2][0]
    except OSError:
        b = "-"
    print(name, a, b)
"""

# (name, what the names file claims, what a look-up must give): the hosts
# file of the world knows localhost only.
ROWS = [
    ("localhost", "127.0.0.99", "127.0.0.1"),     # the resolver's answer wins
    ("LOCALHOST", "127.0.0.99", "127.0.0.1"),
    ("laptop", "127.0.0.98", "127.0.0.98"),       # known only to discovery
    ("Laptop", None, "127.0.0.98"),               # any case
    ("nobody", None, "-"),
]


def main():
    lib = sys.argv[1]
    with tempfile.TemporaryDirectory() as d:
        names = os.path.join(d, "names")
        with open(names, "w") as f:
            for name, claim, _ in ROWS:
                if claim:
                    f.write("%s %s\n" % (claim, name.upper()))
        env = dict(os.environ, LD_PRELOAD=lib, FERROLINK_LAN_NAMES=names)
        out = subprocess.run([sys.executable, "-c", PROBE] + [r[0] for r in ROWS], env=env,
                             stdout=subprocess.PIPE, text=True, timeout=60).stdout.split("\n")
    failed = 0
    for (name, _, want), line in zip(ROWS, out):
        got = line.split()[1:]
        ok = got == [want, want]
        failed += not ok
        print(("ok   " if ok else "FAIL ") + "%s: getaddrinfo and gethostbyname_r give %s" % (name, want) +
              ("" if ok else ", not %s" % " and ".join(got)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Two more peers for the end-to-end tests, beside those of tests/peers: a
server 120 ms ahead (PREFIX.60) and one 5 s ahead (PREFIX.61). They reuse the
project's responder with behaviours of their own.

    clock_responder.py --prefix PREFIX --pidfile FILE
"""

import argparse
import os
import signal
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "peers"))
import sntp_responder  # noqa: E402

AHEAD_120_MS = 60
AHEAD_5_S = 61


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--pidfile", required=True)
    args = parser.parse_args()
    sntp_responder.BEHAVIOURS.clear()
    sntp_responder.BEHAVIOURS.update({
        AHEAD_120_MS: [{"offset_ms": 120.0}],
        AHEAD_5_S: [{"offset_ms": 5000.0}],
    })
    responder = sntp_responder.Responder(args.prefix, 123, 1)
    with open(args.pidfile, "w") as f:
        f.write(f"{os.getpid()}\n")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    responder.run()


if __name__ == "__main__":
    main()

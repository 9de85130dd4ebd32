#!/usr/bin/env python3
"""A scriptable SNTP server for the request tests and the accuracy bench.

It listens on port 123 of several loopback addresses PREFIX.31 ... PREFIX.61;
the last octet of the address a request reaches selects a behaviour. With
--serve it serves chosen behaviours on given addresses instead (::1=32: the
behaviour of octet 32 on the IPv6 loopback; in a test's own network
namespace a multicast address is a group it joins). A behaviour is
a list of steps: the n-th request of one client socket (one request series)
gets step n, the last step repeating. A step can shift the
clock by an offset, fake a network delay, set the header fields, zero
timestamps, cut or pad the datagram, answer late, answer twice, send a reply
that echoes no request, or not answer at all.

Python standard library only, so that a fresh machine needs nothing else.
"""

import argparse
import heapq
import ipaddress
import os
import random
import selectors
import signal
import socket
import struct
import sys
import time

NTP_EPOCH_OFFSET = 2208988800  # seconds from 1900-01-01 to 1970-01-01
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)  # Linux; also SCM_TIMESTAMPNS

# Last octet -> steps. Keep in step with tests/peers/Peers.h.
BEHAVIOURS = {
    31: [{}],                                               # good, no offset
    32: [{"offset_ms": 1234.567}],
    33: [{"offset_ms": -456.789}],
    34: [{"delay_ms": 12.5}, {"delay_ms": 15.5}, {"delay_ms": 21.5}],
    35: [{"delay_ms": 200.5}, {"delay_ms": 10.5}, {"delay_ms": 10.5}],
    36: [{"delay_ms": 60.5}],                               # always slow
    37: [{"drop": True}],                                   # never answers
    38: [{"offset_ms": 100}, {"offset_ms": 100}, {"zero": ["originate"]}],
    39: [{"length": 20}],                                   # short datagram
    40: [{"length": 68}],                                   # carries an authenticator
    41: [{"late_ms": 300}],                                 # after the client's timeout
    42: [{"copies": 2}],                                    # every reply twice
    43: [{"forge": True}],                                  # a stranger's reply, then ours
    44: [{"forge": True, "drop": True}],                    # only a stranger's reply
    45: [{"li": 1, "vn": 3, "stratum": 15, "refid": b"XFAK", "offset_ms": -20}],
    47: [{"offset_ms": 7.0}],
    48: [{"length": 0}],                                    # empty datagram
    50: [{"offset_ms": 1000, "delay_ms": 10.5}, {"offset_ms": 1000, "delay_ms": 10.5},
         {"zero": ["receive"]}],
    52: [{"li": 3, "stratum": 0, "refid": b"RATE"}],         # kiss-o'-death
    54: [{"li": 3, "stratum": 0, "refid": b"DENY"}],
    55: [{"refid": b"Mire"}],                               # the maker's appliance
    60: [{"offset_ms": 120.0}],                             # a step Wine takes
    61: [{"offset_ms": 5000.0}],                            # a step Wine refuses
}


def ntp_from_ns(ns):
    """NTP timestamp (64-bit integer) of a time in ns since 1970."""
    seconds, rest = divmod(ns, 1_000_000_000)
    return ((seconds + NTP_EPOCH_OFFSET) & 0xFFFFFFFF) << 32 | (rest << 32) // 1_000_000_000


def ms_to_ntp_delta(ms):
    """Signed interval in ms as a 64-bit two's-complement NTP interval."""
    return round(ms * 4294967.296) & 0xFFFFFFFFFFFFFFFF


def add(ts, delta):
    return (ts + delta) & 0xFFFFFFFFFFFFFFFF


def build_reply(request, step, received_ns, sent_ns, rng):
    """The reply datagram for one request and one step."""
    originate = request[40:48] if len(request) >= 48 else bytes(8)
    offset = ms_to_ntp_delta(step.get("offset_ms", 0.0))
    # A network delay d is faked without waiting: the server claims it needed
    # -d between receive and transmit, which the client reads as round trip.
    half_delay = ms_to_ntp_delta(step.get("delay_ms", 0.0) / 2)
    t2 = add(add(ntp_from_ns(received_ns), offset), half_delay)
    t3 = add(add(ntp_from_ns(sent_ns), offset), (-half_delay) & 0xFFFFFFFFFFFFFFFF)
    reference = add(t2, ms_to_ntp_delta(-16000.0))
    li, vn, mode = step.get("li", 0), step.get("vn", 4), step.get("mode", 4)
    header = struct.pack(
        "!BBbbiI4s", (li << 6) | (vn << 3) | mode, step.get("stratum", 2), 6, -20,
        0x00000326, 0x00000150, step.get("refid", b"\x7f\x00\x00\x01"))
    zero = step.get("zero", [])
    if step.get("forge"):
        originate = struct.pack("!Q", rng.getrandbits(64) | 1)
    fields = [
        reference,
        0 if "originate" in zero else int.from_bytes(originate, "big"),
        0 if "receive" in zero else t2,
        0 if "transmit" in zero else t3,
    ]
    reply = header + struct.pack("!QQQQ", *fields)
    if "length" in step:
        length = step["length"]
        reply = (reply + bytes(max(0, length - len(reply))))[:length]
    return reply


def restamp_transmit(data, step):
    """data with T3 read again right now: every microsecond between T3 and
    the send would show as an error of half as much in the client's offset."""
    if len(data) < 48 or "transmit" in step.get("zero", []):
        return data
    t3 = add(add(ntp_from_ns(time.time_ns()), ms_to_ntp_delta(step.get("offset_ms", 0.0))),
             (-ms_to_ntp_delta(step.get("delay_ms", 0.0) / 2)) & 0xFFFFFFFFFFFFFFFF)
    return data[:40] + t3.to_bytes(8, "big") + data[48:]


class Responder:
    def __init__(self, prefix, port, seed, listen=None):
        self.selector = selectors.DefaultSelector()
        self.pending = []  # (due, sequence, socket, data, address)
        self.sequence = 0
        self.clients = {}  # (local octet, client address) -> (requests seen, last seen)
        self.rng = random.Random(seed)
        if not listen:
            listen = [(f"{prefix}.{octet}", octet) for octet in BEHAVIOURS]
        for address, octet in listen:
            sock = socket.socket(family_of(address), socket.SOCK_DGRAM)
            sock.bind((address, port))
            if ipaddress.ip_address(address).is_multicast and ":" not in address:
                # Joined where the namespace routes the group; replies leave
                # from that interface's own address.
                membership = socket.inet_aton(address) + socket.inet_aton("0.0.0.0")
                sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
            try:
                # The kernel's arrival time is the true T2; ours would be late
                # by however long this process took to wake up.
                sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
            except OSError:
                pass
            sock.setblocking(False)
            self.selector.register(sock, selectors.EVENT_READ, octet)

    def schedule(self, due, sock, data, address):
        self.sequence += 1
        heapq.heappush(self.pending, (due, self.sequence, sock, data, address))

    def answer(self, sock, octet, request, address, received_ns):
        now = time.monotonic()
        key = (octet, address)
        seen, last = self.clients.get(key, (0, now))
        if now - last > 10:
            seen = 0
        self.clients[key] = (seen + 1, now)
        steps = BEHAVIOURS[octet]
        step = steps[min(seen, len(steps) - 1)]
        late = step.get("late_ms", 0) / 1000.0
        if step.get("forge"):
            forged = build_reply(request, step, received_ns, time.time_ns(), self.rng)
            self.schedule(now + late, sock, forged, address)
        if step.get("drop"):
            return
        real = dict(step)
        real.pop("forge", None)
        if late:
            # Stamped now, sent later: the reply a slow network delivers late.
            data = build_reply(request, real, received_ns, time.time_ns(), self.rng)
            for _ in range(step.get("copies", 1)):
                self.schedule(now + late, sock, data, address)
            return
        data = build_reply(request, real, received_ns, time.time_ns(), self.rng)
        for _ in range(step.get("copies", 1)):
            if not self.pending:
                sock.sendto(restamp_transmit(data, real), address)
            else:
                self.schedule(now, sock, data, address)

    def run(self):
        while True:
            timeout = None
            if self.pending:
                timeout = max(0.0, self.pending[0][0] - time.monotonic())
            for key, _ in self.selector.select(timeout):
                try:
                    request, ancillary, _, address = key.fileobj.recvmsg(2048, 64)
                except OSError:
                    continue
                received_ns = time.time_ns()
                for level, kind, data in ancillary:
                    if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS and len(data) >= 16:
                        seconds, nanoseconds = struct.unpack("qq", data[:16])
                        received_ns = seconds * 1_000_000_000 + nanoseconds
                self.answer(key.fileobj, key.data, request, address, received_ns)
            now = time.monotonic()
            while self.pending and self.pending[0][0] <= now:
                _, _, sock, data, address = heapq.heappop(self.pending)
                try:
                    sock.sendto(data, address)
                except OSError:
                    pass
            if len(self.clients) > 10000:
                self.clients.clear()


def family_of(address):
    return socket.AF_INET6 if ":" in address else socket.AF_INET


def listen_entry(text):
    """ADDRESS=OCTET of --serve."""
    address, _, octet = text.rpartition("=")
    if not address or int(octet) not in BEHAVIOURS:
        raise argparse.ArgumentTypeError(f"not ADDRESS=OCTET of a behaviour: {text}")
    return address, int(octet)


def probe(host, port, timeout):
    """True when an SNTP server at host:port answers one request."""
    request = bytes([0xE3]) + bytes(39) + struct.pack("!Q", ntp_from_ns(time.time_ns()))
    with socket.socket(family_of(host), socket.SOCK_DGRAM) as sock:
        sock.settimeout(timeout)
        try:
            sock.sendto(request, (host, port))
            reply, _ = sock.recvfrom(2048)
        except OSError:
            return False
    return len(reply) >= 48 and reply[24:32] == request[40:48]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", default="127.0.0", help="first three octets")
    parser.add_argument("--port", type=int, default=123)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--pidfile")
    parser.add_argument("--serve", metavar="ADDRESS=OCTET", type=listen_entry, nargs="+",
                        help="serve the behaviour of OCTET on each ADDRESS; a group is joined")
    parser.add_argument("--probe", metavar="HOST", nargs="+",
                        help="only wait until every HOST answers; exit 1 if one does not")
    parser.add_argument("--within", type=float, default=10.0, help="seconds to wait for --probe")
    args = parser.parse_args()
    if args.probe:
        deadline = time.monotonic() + args.within
        for host in args.probe:
            while not probe(host, args.port, 0.2):
                if time.monotonic() > deadline:
                    print(f"no answer from {host}:{args.port}", file=sys.stderr)
                    sys.exit(1)
                time.sleep(0.05)
        sys.exit(0)
    responder = Responder(args.prefix, args.port, args.seed, args.serve)
    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write(f"{os.getpid()}\n")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    responder.run()


if __name__ == "__main__":
    main()

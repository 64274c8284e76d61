#!/usr/bin/env python3
"""A stand-in for quorin-dialogs that plays a plan instead of showing a
window: it logs every message the platform sends (one JSON line each, in the
file QUORIN_FAKE_HELPER_LOG) and sends the plan's messages in turn, reading
the answer to each request. Steps of QUORIN_FAKE_HELPER_PLAN (a JSON list):
{"send": message}, {"raw": text, "times": n (1 if not given)}, {"kill": signal}, {"exit": status},
{"sleep": seconds},
{"linger": seconds} (exit 0, leaving a child that holds the socket for that
long; its pid is logged as {"child": pid}); for a video window,
{"descriptors": true} (logs what it inherited: {"descriptors": {fd: what}})
{"exchange": value} (writes value into the frame slots' exchange) and
{"environment": name} (logs {"environment": its value}),
{"signals": true} (logs the signals it started with blocked and ignored,
as /proc says them: {"blocked": hex, "ignored": hex}),
{"block_notices": value} (clears O_NONBLOCK on the notices' descriptor and
its standard error, and tries to write value into the notices).
After the last step it waits for the platform to close its end."""

import fcntl
import json
import mmap
import os
import struct
import signal
import subprocess
import sys
import time


def log(message):
    with open(os.environ["QUORIN_FAKE_HELPER_LOG"], "a") as out:
        out.write(message if message.endswith("\n") else message + "\n")


def main():
    log(sys.stdin.readline())
    for step in json.loads(os.environ["QUORIN_FAKE_HELPER_PLAN"]):
        if "send" in step:
            sys.stdout.write(json.dumps(step["send"]) + "\n")
            sys.stdout.flush()
            if "set" in step["send"] or "apply" in step["send"]:
                log(sys.stdin.readline())
        elif "raw" in step:
            sys.stdout.write(step["raw"] * step.get("times", 1))
            sys.stdout.flush()
        elif "kill" in step:
            os.kill(os.getpid(), step["kill"])
        elif "exit" in step:
            sys.exit(step["exit"])
        elif "sleep" in step:
            time.sleep(step["sleep"])
        elif "descriptors" in step:
            inherited = {}
            for fd in os.listdir("/proc/self/fd"):
                try:
                    inherited[fd] = os.readlink("/proc/self/fd/" + fd)
                except FileNotFoundError:
                    pass  # the listing's own
            log(json.dumps({"descriptors": {fd: what.split(":")[0] if fd in ("0", "1") else what
                                            for fd, what in inherited.items()}}))
        elif "signals" in step:
            with open("/proc/self/status") as status:
                fields = dict(line.split(":\t", 1) for line in status.read().splitlines() if ":\t" in line)
            log(json.dumps({"blocked": fields["SigBlk"].strip(), "ignored": fields["SigIgn"].strip()}))
        elif "environment" in step:
            log(json.dumps({"environment": os.environ.get(step["environment"])}))
        elif "block_notices" in step:
            for fd in (4, 2):
                fcntl.fcntl(fd, fcntl.F_SETFL, fcntl.fcntl(fd, fcntl.F_GETFL) & ~os.O_NONBLOCK)
            try:
                os.write(4, struct.pack("Q", step["block_notices"]))
            except OSError as error:
                log(json.dumps({"write": error.strerror}))
        elif "exchange" in step:
            slots = mmap.mmap(3, 4096)
            slots[24:28] = struct.pack("I", step["exchange"])
        elif "linger" in step:
            child = subprocess.Popen(["sleep", str(step["linger"])], stdin=sys.stdin, stdout=sys.stdout)
            log(json.dumps({"child": child.pid}))
            sys.exit(0)
    # As the real helper does: stay until the platform closes its end.
    sys.stdin.read()


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    main()

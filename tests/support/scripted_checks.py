"""What test scripts that drive real programs share: named checks, each printing "ok" or "FAILED"
with its name as it is made, and waits that poll for what they wait for, with a time limit."""
import time


class Failed(Exception):
    pass


def wait_for(what, probe, seconds, interval=0.1, between=None):
    """probe()'s first true value, tried every `interval` seconds (calling between() in between)
    for up to `seconds`; Failed after that."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failed("timed out waiting for %s (%ds)" % (what, seconds))
        if between:
            between()
        time.sleep(interval)


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, what, ok, detail=""):
        if ok:
            self.passed += 1
            print("ok     " + what, flush=True)
        else:
            self.failed += 1
            print("FAILED " + what + (": " + str(detail) if detail else ""), flush=True)
        return ok

    def finish(self):
        """The closing line; the script's exit status."""
        print("%d passed, %d failed" % (self.passed, self.failed))
        return 1 if self.failed else 0

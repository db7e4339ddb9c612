#!/usr/bin/python3
"""A stand-in for the user during a search engine capture.

Started as the browser (BrowserPath) with the capture page's address as its one argument, it
opens that page in headless Chromium through the DevTools protocol over a pipe, types
"searchfield" into the query box of the chosen form, submits the form the way a user's click on
its search button would, waits until the browser shows the answer, and writes that answer's text
to the log. Chromium runs with a temporary profile that is removed afterwards.

usage: capture_browser.py [--form N] [--log FILE] ADDRESS
"""
import fcntl
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CHROMIUM = "/usr/bin/chromium"


class Devtools:
    def __init__(self, profile, log):
        commands_r, commands_w = os.pipe()
        replies_r, replies_w = os.pipe()

        def child_fds():
            os.setpgid(0, 0)
            a = fcntl.fcntl(commands_r, fcntl.F_DUPFD, 10)
            b = fcntl.fcntl(replies_w, fcntl.F_DUPFD, 10)
            os.dup2(a, 3)
            os.dup2(b, 4)

        self.process = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--remote-debugging-pipe", "--user-data-dir=" + profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, close_fds=False,
            preexec_fn=child_fds)
        os.close(commands_r)
        os.close(replies_w)
        self.to, self.frm = commands_w, replies_r
        self.pending = b""
        self.last_id = 0
        self.session = None

    def call(self, method, params, timeout=30):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if self.session:
            message["sessionId"] = self.session
        os.write(self.to, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            while b"\0" in self.pending:
                raw, self.pending = self.pending.split(b"\0", 1)
                reply = json.loads(raw)
                if reply.get("id") == self.last_id:
                    return reply
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.frm], [], [], left)[0]:
                raise RuntimeError("no reply to " + method)
            chunk = os.read(self.frm, 65536)
            if not chunk:
                raise RuntimeError("the browser went away")
            self.pending += chunk

    def evaluate(self, expression):
        reply = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        return reply.get("result", {}).get("result", {}).get("value")

    def wait_for(self, expression, seconds=30):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                value = self.evaluate(expression)
            except RuntimeError:
                value = None
            if value not in (None, "", "wait"):
                return value
            time.sleep(0.1)
        return None

    def stop(self):
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()


# Fills the query box of form N (the first text box of the form, or the isindex field) and
# submits the form through its own search button when it has one.
FILL = """(() => {
  const form = document.forms[%d];
  if (!form) return 'no form';
  const box = form.querySelector('input[name=isindex_search_field]') ||
      form.querySelector('input[type=text], input[type=search], input:not([type])');
  if (!box) return 'no query box';
  box.value = 'searchfield';
  const button = form.querySelector('input[type=submit], button[type=submit], button:not([type])');
  if (button) button.click(); else form.submit();
  return 'submitted';
})()"""


def main():
    args = sys.argv[1:]
    form, log_path = 0, None
    while len(args) > 1 and args[0].startswith("--"):
        if args[0] == "--form":
            form = int(args[1])
        elif args[0] == "--log":
            log_path = args[1]
        args = args[2:]
    address = args[0]
    if address.startswith("/"):
        address = "file://" + address
    profile = tempfile.mkdtemp(prefix="orvalis-chromium-")
    log = open(log_path + ".browser", "w") if log_path else subprocess.DEVNULL
    outcome = ""
    browser = Devtools(profile, log)
    try:
        target = browser.call("Target.createTarget", {"url": address})["result"]["targetId"]
        browser.session = browser.call(
            "Target.attachToTarget", {"targetId": target, "flatten": True})["result"]["sessionId"]
        ready = browser.wait_for("document.readyState === 'complete' && document.forms.length "
                                 "? 'ready' : 'wait'")
        if ready != "ready":
            outcome = "the page did not load"
        else:
            outcome = browser.evaluate(FILL % form)
            if outcome == "submitted":
                outcome = browser.wait_for(
                    "location.protocol === 'http:' && document.readyState === 'complete' "
                    "? document.body.innerText : 'wait'") or "no answer"
    except Exception as error:  # the log tells the test what went wrong
        outcome = "driver error: %s" % error
    finally:
        browser.stop()
        shutil.rmtree(profile, ignore_errors=True)
    if log_path:
        with open(log_path + ".tmp", "w") as out:
            out.write(outcome)
        os.rename(log_path + ".tmp", log_path)


if __name__ == "__main__":
    main()

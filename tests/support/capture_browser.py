#!/usr/bin/python3
"""A stand-in for the user during a search engine capture, set as the browser (BrowserPath): it
opens the capture page in headless Chromium (a temporary profile) through the DevTools protocol
over a pipe, types "searchfield" into the query box of the page's last form, submits the form as a
click on its search button would, and writes the text of the answer the browser shows to the file
named by the environment variable CAPTURE_BROWSER_LOG."""
import fcntl, json, os, select, shutil, signal, subprocess, sys, tempfile, time  # noqa: E401

# Once the page has loaded, the last form's first text box (the isindex field has no type) gets
# the query, and the form is sent through its own button when it has one.
FILL = """(() => { if (document.readyState !== 'complete' || !document.forms.length) return 'wait';
  const form = document.forms[document.forms.length - 1];
  const box = form.querySelector('input[type=text], input[type=search], input:not([type])');
  if (!box) return 'no query box';
  box.value = 'searchfield';
  const button = form.querySelector('input[type=submit], button:not([type=button])');
  if (button) button.click(); else form.submit();
  return 'submitted'; })()"""


class Chromium:
    def __init__(self, profile, log):
        commands, self.commands = os.pipe()
        self.replies, replies = os.pipe()

        def pipe_on_3_and_4():  # where --remote-debugging-pipe looks for it
            os.setpgid(0, 0)
            a, b = fcntl.fcntl(commands, fcntl.F_DUPFD, 10), fcntl.fcntl(replies, fcntl.F_DUPFD, 10)
            os.dup2(a, 3)
            os.dup2(b, 4)

        self.process = subprocess.Popen(
            ["/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-sync",
             "--disable-background-networking", "--remote-debugging-pipe", "--user-data-dir=" + profile],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, close_fds=False, preexec_fn=pipe_on_3_and_4)
        os.close(commands)
        os.close(replies)
        self.pending, self.last_id, self.session = b"", 0, None

    def call(self, method, params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        message.update({"sessionId": self.session} if self.session else {})
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" in self.pending:
                raw, self.pending = self.pending.split(b"\0", 1)
                reply = json.loads(raw)
                if reply.get("id") == self.last_id:
                    return reply.get("result", {})
            chunk = os.read(self.replies, 65536) if select.select([self.replies], [], [], 30)[0] else b""
            if not chunk:
                raise RuntimeError("no reply to " + method)
            self.pending += chunk

    def wait_for(self, expression):  # its value once neither empty nor "wait"; None after 30 s
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            value = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True}).get(
                "result", {}).get("value")
            if value not in (None, "", "wait"):
                return value
            time.sleep(0.1)
        return None


log_path = os.environ["CAPTURE_BROWSER_LOG"]
profile = tempfile.mkdtemp(prefix="orvalis-chromium-")
with open(log_path + ".browser", "w") as log:
    browser = Chromium(profile, log)
    try:
        target = browser.call("Target.createTarget", {"url": sys.argv[1]})["targetId"]
        browser.session = browser.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        outcome = browser.wait_for(FILL) or "the page did not load"
        if outcome == "submitted":
            outcome = browser.wait_for("location.protocol === 'http:' && document.readyState === 'complete' ? "
                                       "document.body.innerText : 'wait'") or "no answer"
    except Exception as error:  # the log tells the test what went wrong
        outcome = "driver error: %s" % error
    finally:
        os.killpg(browser.process.pid, signal.SIGKILL)
        browser.process.wait()
        shutil.rmtree(profile, ignore_errors=True)
# Written whole at once: the test waits for the file to appear.
with open(log_path + ".tmp", "w") as out:
    out.write(outcome)
os.rename(log_path + ".tmp", log_path)

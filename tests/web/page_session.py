"""The built page in a headless Chromium: serves the build folder on
127.0.0.1 at a free port (web/serve.py) and drives the page with Selenium.
Downloads go to a work folder inside the build tree. The browser's profile
and temporary files go to a short folder of its own in /tmp, private to this
session and named after the checkout (/tmp/veltrace-TAG-web-*): the browser's
socket lives there, and a socket's path may not pass 108 bytes, which a
checkout's build tree easily does. close() ends the browser and the server
(by its process id) and removes that folder."""
import ctypes
import os
import signal
import shutil
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

def _end_with_parent():
    """In the child: a SIGTERM when the test that started it dies, so a
    killed test leaves no server or driver behind."""
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--window-size=1400,1000"]


class PageSession:
    def __init__(self, web_dir, work_dir, before_page=None):
        self.work = work_dir
        self.downloads = os.path.join(work_dir, "downloads")
        tag = subprocess.run([os.path.join(ROOT, "scripts", "checkout-tag")], capture_output=True, text=True,
                             check=True).stdout.strip()
        self.private = tempfile.mkdtemp(prefix=f"veltrace-{tag}-web-", dir="/tmp")  # mode 0700
        self.profile = os.path.join(self.private, "profile")
        os.makedirs(self.downloads, exist_ok=True)
        self.requests = os.path.join(work_dir, "requests.log")  # the server's, one line a request
        self.server = subprocess.Popen([sys.executable, os.path.join(ROOT, "web", "serve.py"), web_dir,
                                        "--log", self.requests],
                                       stdout=subprocess.PIPE, text=True, preexec_fn=_end_with_parent)
        self.driver = None
        try:
            line = self.server.stdout.readline()
            self.url = line.split(" at ")[1].split()[0]
            options = webdriver.ChromeOptions()
            for flag in FLAGS + [f"--user-data-dir={self.profile}"]:
                options.add_argument(flag)
            options.binary_location = "/usr/bin/chromium"
            options.set_capability("goog:loggingPrefs", {"browser": "ALL"})  # the page's console, for failures
            temp = os.path.join(self.private, "tmp")  # the browser's own temporary files
            os.makedirs(temp)
            service = Service("/usr/bin/chromedriver", env={**os.environ, "TMPDIR": temp},
                              popen_kw={"preexec_fn": _end_with_parent})
            self.driver = webdriver.Chrome(service=service, options=options)
            self.driver.set_script_timeout(120)
            self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                        {"behavior": "allow", "downloadPath": self.downloads})
            if before_page:
                self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": before_page})
        except BaseException:
            self.close()
            raise

    def open(self, query=""):
        self.driver.get(self.url + "index.html" + query)
        self.wait_for(lambda: self.js("return document.documentElement.dataset.ready === 'yes'"), "the page to start")

    def close(self):
        if self.driver:
            self.driver.quit()
        self.server.terminate()
        self.server.wait()
        self.server.stdout.close()
        shutil.rmtree(self.private, ignore_errors=True)

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait_for(self, condition, what, timeout=60):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            value = condition()
            if value:
                return value
            time.sleep(0.02)
        raise AssertionError(f"timed out waiting for {what}")

    # The contract's elements.
    def open_midi(self, path):
        self.driver.find_element("css selector", "input[type=file]:not([data-kind])").send_keys(path)

    def drop_files(self, files):
        """Drops files on the page one after the other in one task, each
        [name, bytes]; returns whether a result link was on show after each."""
        return self.js("""
          const shown = [];
          for (const [name, bytes] of arguments[0]) {
            const dt = new DataTransfer();
            dt.items.add(new File([new Uint8Array(bytes)], name));
            document.getElementById('drop').dispatchEvent(new DragEvent('drop', {dataTransfer: dt, bubbles: true, cancelable: true}));
            shown.push(document.querySelectorAll('#download-slot:not([hidden]) a[download]').length === 1);
          }
          return shown;""", [[name, list(data)] for name, data in files])

    def open_settings(self, path):
        self.driver.find_element("css selector", "input[type=file][data-kind=settings]").send_keys(path)

    def set_control(self, name, value):
        self.js("const c = document.querySelector(`[name='${arguments[0]}']`); c.value = String(arguments[1]);"
                "c.dispatchEvent(new Event('input', {bubbles: true}));"
                "c.dispatchEvent(new Event('change', {bubbles: true}));", name, value)

    def control(self, name):
        return int(self.js("return document.querySelector(`[name='${arguments[0]}']`).value", name))

    def label(self, name):
        return self.js("return document.querySelector(`[data-label='${arguments[0]}']`).textContent", name)

    def status(self):
        return self.js("return document.getElementById('status').textContent")

    def alert(self):
        return self.js("return document.querySelector('[role=alert]').textContent.trim()")

    def has_download(self):
        return self.js("return document.querySelectorAll('#download-slot:not([hidden]) a[download]').length") == 1

    def download_name(self):
        return self.js("return document.querySelector('#download-slot a[download]').download")

    def download_bytes(self):
        """The result link, once it is there, clicked: the file it saves."""
        self.wait_for(self.has_download, "the result link")
        return self.downloaded(lambda: self.js("document.querySelector('#download-slot a[download]').click()"),
                               self.download_name())

    def downloaded(self, click, name):
        for old in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, old))
        click()
        path = os.path.join(self.downloads, name)
        self.wait_for(lambda: os.path.exists(path) and not any(n.endswith(".crdownload") for n in os.listdir(self.downloads)),
                      f"the download of {name}")
        with open(path, "rb") as saved:
            return saved.read()

    def requested(self, path):
        """How often the page asked the server for `path` so far."""
        with open(self.requests) as log:
            return sum(f'"GET {path} ' in line for line in log)

    def summary(self):
        return self.js("return [...document.querySelectorAll('#summary tbody tr')]"
                       ".map((tr) => [...tr.cells].map((td) => td.textContent))")

    def saved_settings(self):
        """Clicks the settings' save button and returns the file it downloads."""
        return self.downloaded(lambda: self.driver.find_element("id", "save-settings").click(), "veltrace-settings.bin")

#!/usr/bin/python3
"""A real browser (Debian's chromium, headless, through selenium) watches the shared live
picture: the page asks for the code, refuses a wrong one, then shows a live picture that
changes; a still taken in the program (F2, sent by the caller's `take_still` command) is
listed within two seconds and downloads byte for byte; thirty pages at once all show the
picture.
Usage: share_browser.py PORT CODE HOME TAKE_STILL_COMMAND"""
import base64
import glob
import os
import subprocess
import sys
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

port, code, home, take_still = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
base = f"http://127.0.0.1:{port}"


def fail(why):
    print("FAILED:", why)
    sys.exit(1)


def status_of(url):
    try:
        return urllib.request.urlopen(url, timeout=10).status
    except urllib.error.HTTPError as error:
        return error.code


options = webdriver.ChromeOptions()
for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=900,700",
                 "--disable-gpu", "--no-first-run", "--disable-extensions"):
    options.add_argument(argument)
options.binary_location = "/usr/bin/chromium"
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
wait = WebDriverWait(driver, 20)


def picture_shown():
    return driver.execute_script(
        "const i = document.getElementById('live'); return i && i.complete && i.naturalWidth > 0;")


try:
    # The code form, a wrong code, the right one.
    driver.get(base + "/")
    driver.find_element(By.ID, "code").send_keys("000000")
    driver.find_element(By.ID, "enter").click()
    wait.until(lambda d: d.find_elements(By.ID, "wrong"))
    if status_of(base + "/live?code=000000") != 403:
        fail("a wrong code is not refused with 403")
    driver.find_element(By.ID, "code").send_keys(code)
    driver.find_element(By.ID, "enter").click()
    wait.until(lambda d: d.find_elements(By.ID, "live"))
    wait.until(lambda d: picture_shown())
    width = driver.execute_script("return document.getElementById('live').naturalWidth")
    live = driver.find_element(By.ID, "live")
    first = live.screenshot_as_png
    changed = False
    for _ in range(50):  # the picture lives: a later look differs
        time.sleep(0.2)
        if live.screenshot_as_png != first:
            changed = True
            break
    if not changed:
        fail("the live picture did not change")
    print(f"live picture {width} px wide, changing")

    # A still taken at the microscope: listed within two seconds, and the same bytes.
    def stills():
        # Whole stills only: one being written has a temporary name (NAME.XXXXXX) until it is complete.
        return {path for path in glob.glob(os.path.join(home, "**", "Still_*"), recursive=True)
                if path.lower().endswith((".bmp", ".jpg", ".png", ".tif"))}

    before = stills()
    subprocess.run(take_still, shell=True, check=True)
    deadline = time.time() + 15
    while time.time() < deadline:
        new = stills() - before
        if new:
            break
        time.sleep(0.05)
    else:
        fail("F2 saved no still")
    still = new.pop()
    saved_at = time.time()
    name = os.path.basename(still)
    wait.until(lambda d: name in [a.text for a in d.find_elements(By.CSS_SELECTOR, "#pictures a")])
    listed_after = time.time() - saved_at
    print(f"{name} listed {listed_after:.2f} s after it was saved")
    if listed_after > 2.0:
        fail(f"the still took {listed_after:.2f} s to be listed")
    downloaded = driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const link = [...document.querySelectorAll('#pictures a')].find(a => a.textContent === arguments[0]);
        fetch(link.href).then(r => r.arrayBuffer()).then(buffer => {
          let text = ''; const bytes = new Uint8Array(buffer);
          for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));
          done(btoa(text));
        }).catch(e => done('error ' + e));""", name)
    with open(still, "rb") as f:
        if base64.b64decode(downloaded) != f.read():
            fail("the downloaded still differs from the file")
    print(f"{name} downloaded byte for byte ({os.path.getsize(still)} bytes)")

    # Thirty pages at once (each at an address of its own, as thirty laptops would be: one
    # browser keeps only six connections to one address).
    for n in range(2, 32):
        driver.switch_to.new_window("tab")
        driver.get(f"http://127.0.0.{n}:{port}/?code={code}")
    showing = 0
    for handle in driver.window_handles:
        driver.switch_to.window(handle)
        try:
            WebDriverWait(driver, 30).until(lambda d: picture_shown())
            showing += 1
        except Exception:
            pass
    print(f"{showing} of {len(driver.window_handles)} pages show the live picture")
    if showing != len(driver.window_handles) or showing < 31:
        fail("not every page shows the live picture")
finally:
    driver.quit()
print("browser: ok")

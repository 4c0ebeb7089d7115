#!/usr/bin/python3
"""A browser on the sign's web pages: headless chromium driven through
chromium-driver, one step a run, a screenshot of each page it sees.

    browser_pages.py BASE_URL PASSWORD SHOT_DIR STEP[:ARG[:ARG]] ...

Steps, run in order in one browser:
    index               the status page: its control mode, model and firmware
    run:N               messaging: type N, press Run
    blank               messaging: press Blank and accept what the page asks
    quick:PAGE1:PAGE2   quick message: type both pages ("|" starts a new line), store
    diag_on             diagnostics: turn the test pattern on
    show:PAGE           load PAGE only (its screenshot)

Prints one line a step: the step, a tab, and a JSON object of what it saw
("alert" holds the text of an alert the page raised, which is accepted).
A screenshot of each page seen is written into SHOT_DIR as STEP-PAGE.png.
"""
import base64
import json
import os
import sys

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException, TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions
from selenium.webdriver.support.ui import WebDriverWait


def browser(password):
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=900,1100"):
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(30)
    # Basic authentication on every request: any user, the sign's community.
    token = base64.b64encode((":" + password).encode()).decode()
    driver.execute_cdp_cmd("Network.enable", {})
    driver.execute_cdp_cmd("Network.setExtraHTTPHeaders",
                           {"headers": {"Authorization": "Basic " + token}})
    return driver


def take_alert(driver, seconds=2):
    try:
        WebDriverWait(driver, seconds).until(expected_conditions.alert_is_present())
    except TimeoutException:
        return ""
    try:
        alert = driver.switch_to.alert
        text = alert.text
        alert.accept()
        return text
    except NoAlertPresentException:
        return ""


def text_of(driver, element_id):
    return driver.find_element(By.ID, element_id).text


def shot(driver, directory, name):
    driver.save_screenshot(os.path.join(directory, name + ".png"))


def wait_for(driver, page):
    WebDriverWait(driver, 20).until(
        lambda d: page in d.current_url and
        d.execute_script("return document.readyState") == "complete")


def step_index(driver, base, directory, _args):
    driver.get(base + "/index.html")
    shot(driver, directory, "index")
    return {"control_mode": text_of(driver, "control_mode"), "model": text_of(driver, "model"),
            "firmware": text_of(driver, "firmware"),
            "tags_left": "$%" in driver.page_source}


def submit(driver, directory, button, result_page, shot_name):
    """Presses a form's button: the alert it raised, or the page it led to."""
    driver.find_element(By.ID, button).click()
    alert = take_alert(driver)
    if not alert:
        wait_for(driver, result_page)
        shot(driver, directory, shot_name)
    return {"alert": alert, "url": driver.current_url}


def step_run(driver, base, directory, args):
    driver.get(base + "/message.html")
    field = driver.find_element(By.ID, "msg")
    field.clear()
    field.send_keys(args[0])
    shot(driver, directory, "message")
    return submit(driver, directory, "run", "index.html", "message-run")


def step_blank(driver, base, directory, _args):
    driver.get(base + "/message.html")
    driver.find_element(By.ID, "blank").click()
    confirm = take_alert(driver)
    if confirm == "Blank Sign?":
        wait_for(driver, "index.html")
        shot(driver, directory, "message-blank")
    return {"confirm": confirm}


def step_quick(driver, base, directory, args):
    driver.get(base + "/quick.html")
    for area, text in (("p1", args[0]), ("p2", args[1])):
        driver.find_element(By.ID, area).send_keys(text.replace("|", "\n"))
    shot(driver, directory, "quick")
    result = submit(driver, directory, "store", "message.html", "quick-stored")
    result["prefilled"] = driver.execute_script(
        "var f = document.getElementById('msg'); return f ? f.value : '';")
    result["refusal"] = driver.execute_script(
        "var r = document.getElementById('refusal');"
        "return r && r.style.display != 'none' ? r.textContent : '';")
    return result


def step_diag_on(driver, base, directory, _args):
    driver.get(base + "/diag.html")
    shot(driver, directory, "diag")
    driver.find_element(By.ID, "pattern_on").click()
    wait_for(driver, "diag.html")
    shot(driver, directory, "diag-pattern-on")
    return {"pattern": text_of(driver, "pattern_state")}


def step_show(driver, base, directory, args):
    driver.get(base + "/" + args[0])
    shot(driver, directory, args[0].split(".")[0])
    return {"title": driver.title, "text": driver.find_element(By.TAG_NAME, "body").text}


STEPS = {"index": step_index, "run": step_run, "blank": step_blank, "quick": step_quick,
         "diag_on": step_diag_on, "show": step_show}


def main():
    base, password, directory = sys.argv[1:4]
    os.makedirs(directory, exist_ok=True)
    driver = browser(password)
    try:
        for step in sys.argv[4:]:
            name, *args = step.split(":")
            try:
                result = STEPS[name](driver, base, directory, args)
            except Exception as error:  # the step's failure is its result
                result = {"error": type(error).__name__ + ": " + str(error).splitlines()[0]}
            print(name + "\t" + json.dumps(result), flush=True)
    finally:
        driver.quit()


if __name__ == "__main__":
    main()

// The panel page in Debian's Chromium, headless, at a phone's viewport: run by
// the end-to-end test, which hears the sink and reads the chat box. At each
// step this script writes STEP_DIR/<step> and waits for the test's
// STEP_DIR/<step>.ok (or .fail). Prints "name: value unit" figures; exits 1 on
// the first failed check.
//   PANEL_URL=http://127.0.0.1:PORT/#token=T STEP_DIR=... SHOT_DIR=... node panel_test.mjs
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";

const url = process.env.PANEL_URL;
const stepDir = process.env.STEP_DIR;
const shotDir = process.env.SHOT_DIR;
const failures = [];
const check = (ok, what) => { if (!ok) { failures.push(what); console.error("FAILED: " + what); } };

async function step(name) {
  fs.writeFileSync(path.join(stepDir, name), "");
  const until = Date.now() + 30000;
  while (Date.now() < until) {
    if (fs.existsSync(path.join(stepDir, name + ".ok"))) return true;
    if (fs.existsSync(path.join(stepDir, name + ".fail"))) break;
    await new Promise((r) => setTimeout(r, 50));
  }
  check(false, "the test did not confirm " + name);
  return false;
}

const statusKind = (page) => page.$eval("#status", (el) => el.dataset.kind || "");
async function waitForStatus(page, kind, ms = 15000) {
  try {
    await page.waitForFunction((k) => document.querySelector("#status").dataset.kind === k,
                               { timeout: ms }, kind);
    return true;
  } catch (e) {
    return false;
  }
}

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run"],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  const started = Date.now();
  await page.goto(url, { waitUntil: "load" });
  const loaded = Date.now();
  check(await waitForStatus(page, "ok"), "connected at the start, status " + await statusKind(page));
  await page.waitForSelector('[data-effect="50"]');
  console.log(`page load: ${loaded - started} ms`);
  console.log(`page ready with the board: ${Date.now() - started} ms`);

  // The token left the address bar and stays on the phone.
  check(!page.url().includes("token"), "token still in the address " + page.url());
  check((await page.evaluate(() => localStorage.getItem("lumivox-token"))) === new URL(url).hash.slice(7),
        "token kept on the phone");

  // Usable upright without zoom: no sideways scrolling, every button at least 44 px.
  const layout = await page.evaluate(() => ({
    scrollWidth: document.documentElement.scrollWidth,
    width: window.innerWidth,
    buttons: document.querySelectorAll("button").length,
    small: [...document.querySelectorAll("button")].filter((b) => {
      const r = b.getBoundingClientRect();
      return r.width < 44 || r.height < 44;
    }).map((b) => b.textContent),
  }));
  check(layout.scrollWidth <= layout.width, `page wider than the phone: ${layout.scrollWidth} > ${layout.width}`);
  check(layout.buttons === 1 + 50 + 18 + 12, "buttons: " + layout.buttons);
  check(layout.small.length === 0, "buttons under 44 px: " + layout.small.join(", "));
  fs.writeFileSync(path.join(shotDir, "phone.png"), await page.screenshot({ fullPage: false }));

  // Tapping the alarm plays it; the page shows it playing from the events.
  await page.tap('[data-effect="49"]');
  await step("effect-tapped");
  try {
    await page.waitForSelector('[data-effect="49"].playing', { timeout: 10000 });
  } catch (e) { check(false, "the alarm is not shown playing"); }
  check((await page.$eval("#playing", (el) => el.textContent)).includes("警报声"), "playing line names the alarm");
  fs.writeFileSync(path.join(shotDir, "phone-playing.png"), await page.screenshot({ fullPage: false }));

  // Stop-all silences, and the page shows nothing playing.
  await page.tap("#stop");
  await step("stopped");
  try {
    await page.waitForFunction(() => !document.querySelector(".playing"), { timeout: 10000 });
  } catch (e) { check(false, "still shown playing after stop"); }

  // A phrase reaches the focused chat box.
  check((await page.$eval('[data-phrase="3"]', (el) => el.textContent)).includes("短语 3"), "phrase 3's start shown");
  await page.tap('[data-phrase="3"]');
  await step("phrase-tapped");

  // A tablet.
  await page.setViewport({ width: 820, height: 1180, deviceScaleFactor: 1, isMobile: true, hasTouch: true });
  await new Promise((r) => setTimeout(r, 300));
  fs.writeFileSync(path.join(shotDir, "tablet.png"), await page.screenshot({ fullPage: false }));

  // A link with a wrong token says so plainly.
  const wrong = await browser.newPage();
  await wrong.goto(url.replace(/token=.*/, "token=WrongWrongWrongWrongWrong123"), { waitUntil: "load" });
  check(await waitForStatus(wrong, "badToken"), "wrong token not told, status " + await statusKind(wrong));
  check((await wrong.$eval("#status", (el) => el.textContent)).includes("令牌不对"), "wrong-token text");
  await wrong.close();

  // The program goes away: the open page says it cannot reach it.
  await step("program-ended");
  check(await waitForStatus(page, "unreachable", 20000), "unreachable not told, status " + await statusKind(page));
  check((await page.$eval("#status", (el) => el.textContent)).includes("连不上"), "unreachable text");
  fs.writeFileSync(path.join(shotDir, "phone-unreachable.png"), await page.screenshot({ fullPage: false }));
} catch (error) {
  check(false, "error: " + error.stack);
} finally {
  await browser.close();
}
process.exit(failures.length === 0 ? 0 : 1);

// Debian's Chromium, headless, for the page's tests and benchmarks: launched by puppeteer-core
// with the flags this kind of machine needs (no sandbox as root, no background connections),
// a fresh profile each time, downloads into a folder of the caller's.
import puppeteer from 'puppeteer-core';
import { mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// `language`: the browser's, which the page follows.
export async function launch(language = 'ru') {
  const profile = mkdtempSync(join(tmpdir(), 'tarvik-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           `--lang=${language}`, `--accept-lang=${language}`, `--user-data-dir=${profile}`],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}

// A page with its requests recorded and downloads going to `downloads`.
export async function openPage(browser, url, downloads) {
  const page = await browser.newPage();
  const requests = [];
  page.on('request', (r) => requests.push(r.url()));
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  if (downloads) {
    const cdp = await page.createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  }
  await page.goto(url);
  // The engine has started once the schema choice is filled.
  await page.waitForFunction(() => document.getElementById('schema').options.length > 0, { timeout: 60000 });
  return { page, requests, errors };
}

// ---- what a user does on the page ----

function newDownload(downloads, before, timeout = 30000) {
  const start = Date.now();
  return new Promise((resolvePromise, reject) => {
    const poll = () => {
      const now = readdirSync(downloads).filter((f) => !before.includes(f) && !f.endsWith('.crdownload'));
      if (now.length) return resolvePromise(join(downloads, now[0]));
      if (Date.now() - start > timeout) return reject(new Error('no download'));
      setTimeout(poll, 50);
    };
    poll();
  });
}

// Runs `action` and waits for the task it starts to end.
export async function taskOf(page, action) {
  const before = await page.evaluate(() => Number(document.body.dataset.tasks || 0));
  await action();
  await page.waitForFunction((n) => Number(document.body.dataset.tasks || 0) > n, { timeout: 120000 }, before);
}

export async function openTable(page, file) {
  const input = await page.$('#open-file');
  await taskOf(page, () => input.uploadFile(file));
}

// Ticks the named areas and saves; returns the downloaded file's bytes.
export async function saveAs(page, areas, downloads) {
  await page.evaluate((names) => {
    for (const box of document.querySelectorAll('#areas tbody input'))
      box.checked = names.includes(box.getAttribute('aria-label'));
  }, areas);
  const before = readdirSync(downloads);
  await page.click('#save');
  const file = await newDownload(downloads, before);
  const bytes = readFileSync(file);
  rmSync(file);
  return bytes;
}

export async function exportSettings(page, downloads) {
  const before = readdirSync(downloads);
  await page.click('#export-ini');
  const file = await newDownload(downloads, before);
  const bytes = readFileSync(file);
  rmSync(file);
  return bytes;
}

export async function importSettings(page, file) {
  const input = await page.$('#import-file');
  await page.evaluate(() => (document.getElementById('message').textContent = ''));
  await input.uploadFile(file);
  await page.waitForFunction(() => document.getElementById('message').textContent !== '', { timeout: 30000 });
  return page.$eval('#message', (e) => e.textContent);
}


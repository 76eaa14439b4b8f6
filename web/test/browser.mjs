// Debian's Chromium, headless, for the page's tests and benchmarks: launched by puppeteer-core
// with the flags this kind of machine needs (no sandbox as root, no background connections),
// a fresh profile each time, downloads into a folder of the caller's.
import puppeteer from 'puppeteer-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

export async function launch() {
  const profile = mkdtempSync(join(tmpdir(), 'tarvik-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           `--user-data-dir=${profile}`],
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

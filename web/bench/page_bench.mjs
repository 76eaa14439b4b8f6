// The page's speed in Debian's headless Chromium, for bench/run.sh: a table opened to filled
// lists, and the export of the reference job, each the best of RUNS; prints shell assignments.
//   node page_bench.mjs <dist> <table> <settings.ini> <scratch> [RUNS]
import { mkdirSync, rmSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { importSettings, launch, openPage, openTable, saveAs } from '../test/browser.mjs';

const [dist, table, ini, scratchArg] = process.argv.slice(2, 6).map((p) => resolve(p));
const runs = Number(process.argv[6] || 3);
const downloads = join(scratchArg, 'page_bench');
rmSync(downloads, { recursive: true, force: true });
mkdirSync(downloads, { recursive: true });

const browser = await launch();
try {
  const { page } = await openPage(browser, pathToFileURL(join(dist, 'index.html')).href, downloads);
  await importSettings(page, ini);
  let open = Infinity, exported = Infinity, bytes = 0;
  for (let i = 0; i < runs; ++i) {
    let t = performance.now();
    await openTable(page, table);
    open = Math.min(open, (performance.now() - t) / 1000);
    const areas = await page.$$eval('#areas tbody input', (b) => b.map((x) => x.getAttribute('aria-label')));
    t = performance.now();
    const csv = await saveAs(page, areas, downloads);
    exported = Math.min(exported, (performance.now() - t) / 1000);
    bytes = csv.length;
  }
  const records = await page.$eval('#status', (e) => e.textContent);
  console.log(`open_s=${open.toFixed(3)} export_s=${exported.toFixed(3)} csv_bytes=${bytes} status="${records}"`);
} finally {
  await browser.close();
}

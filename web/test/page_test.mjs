// The page in Debian's Chromium, opened from its folder (file://) as a user opens it: tables
// opened and exported byte for byte as tarvik-cli exports them, a desktop Tarvik.ini imported,
// edited in the editors and exported back for tarvik-cli to read, bad input refused, settings
// kept across a reload, the map drawn and an area drawn on it, and no request beyond the
// page's own files.
//   node page_test.mjs <dist> <tarvik-cli> <examples> <scratch>
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { exportSettings, importSettings, launch, openPage, openTable, saveAs, taskOf } from './browser.mjs';

const [dist, cli, examples, scratchArg] = process.argv.slice(2).map((p) => resolve(p));
const scratch = join(scratchArg, 'page_test');
rmSync(scratch, { recursive: true, force: true });
const downloads = join(scratch, 'downloads');
mkdirSync(downloads, { recursive: true });
const url = pathToFileURL(join(dist, 'index.html')).href;
// tarvik-cli writes its first-start settings in Russian, as the page here does.
process.env.TARVIK_LANG = 'ru';
let passed = 0, failed = 0;
let current = null;  // the page under test

async function step(name, f) {
  try {
    await f();
    passed++;
    console.log('ok - ' + name);
  } catch (e) {
    failed++;
    console.log('not ok - ' + name + '\n' + (e && e.stack || e));
    // The next step starts from the main window.
    await current?.evaluate(() => document.querySelectorAll('dialog[open]').forEach((d) => d.close()));
  }
}

// A comma table of `lines` cameras, the same every run: clusters, many decimals, all columns.
function generateTable(lines) {
  let seed = 12345;
  const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
  const out = ['IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION // generated'];
  const cities = [[37.6176, 55.7558], [30.3141, 59.9386], [13.405, 52.52], [2.3522, 48.8566]];
  for (let i = 0; i < lines; ++i) {
    const c = cities[Math.floor(next() * cities.length)];
    const x = (c[0] + (next() - 0.5) * 3).toFixed(7), y = (c[1] + (next() - 0.5) * 2).toFixed(7);
    const type = [1, 2, 3, 4, 5, 101, 102, 150][Math.floor(next() * 8)];
    out.push([i + 1, x, y, type, 10 * Math.floor(next() * 13), Math.floor(next() * 3), Math.floor(next() * 360)].join(','));
  }
  return out.join('\r\n') + '\r\n';
}

function cliExport(table, ini, areas) {
  const out = join(scratch, 'cli-export.csv');
  rmSync(out, { force: true });
  execFileSync(cli, ['export', '--ini', ini, '--areas', areas.join(','), '-o', out, table], { stdio: 'pipe' });
  return readFileSync(out);
}

const browser = await launch();
try {
  const { page, requests, errors } = await openPage(browser, url, downloads);
  current = page;

  // The settings the page started with (its first-start defaults) serve tarvik-cli too.
  const pageIni = join(scratch, 'page.ini');
  await step('the page exports its settings as the desktop writes them (UTF-16LE, BOM)', async () => {
    const bytes = await exportSettings(page, downloads);
    assert.equal(bytes[0], 0xff);
    assert.equal(bytes[1], 0xfe);
    writeFileSync(pageIni, bytes);
    const listed = execFileSync(cli, ['params', '--ini', pageIni]).toString();
    assert.match(listed, /Nissan Connect/);
  });

  await step('published.txt: the lists, and the CSV byte for byte as tarvik-cli export', async () => {
    const table = join(examples, 'published.txt');
    await openTable(page, table);
    const status = await page.$eval('#status', (e) => e.textContent);
    assert.match(status, /14/);
    const rows = await page.$$eval('#types tbody tr', (r) => r.length);
    assert.ok(rows > 0);
    const area = await page.$eval('#areas tbody input', (b) => b.getAttribute('aria-label'));
    const csv = await saveAs(page, [area], downloads);
    assert.ok(csv.length > 0);
    assert.deepEqual(csv, cliExport(table, pageIni, [area]));
  });

  await step('a generated 50,000-line table: the same CSV as tarvik-cli', async () => {
    const table = join(scratch, 'generated.txt');
    writeFileSync(table, generateTable(50000));
    await openTable(page, table);
    assert.match(await page.$eval('#status', (e) => e.textContent), /50000/);
    const area = await page.$eval('#areas tbody input', (b) => b.getAttribute('aria-label'));
    const csv = await saveAs(page, [area], downloads);
    assert.ok(csv.length > 1000000);
    assert.deepEqual(csv, cliExport(table, pageIni, [area]));
  });

  const desktopIni = join(scratch, 'desktop.ini');
  await step('a Tarvik.ini written by the desktop imports, in UTF-16, UTF-8 and Windows-1251', async () => {
    // tarvik-cli's first start writes the file as the desktop program does.
    rmSync(desktopIni, { force: true });
    execFileSync(cli, ['count', '--ini', desktopIni, join(examples, 'published.txt')], { stdio: 'pipe' });
    const ini = readFileSync(desktopIni);
    const utf8 = join(scratch, 'desktop-utf8.ini');
    writeFileSync(utf8, Buffer.from(new TextDecoder('utf-16le').decode(ini.subarray(2)), 'utf8'));
    const cp1251 = join(scratch, 'desktop-cp1251.ini');
    writeFileSync(cp1251, execFileSync('iconv', ['-f', 'UTF-8', '-t', 'CP1251', utf8]));
    for (const f of [cp1251, utf8, desktopIni]) {
      assert.match(await importSettings(page, f), /Tarvik.ini|ini/);
      const areas = await page.$$eval('#areas tbody td', (t) => t.map((x) => x.textContent));
      assert.ok(areas.includes('Весь мир'), areas.join('|'));
    }
  });

  await step('the filter editor: a number refused, decimal commas, the change in tarvik-cli params', async () => {
    await page.click('#edit-filters');
    await page.waitForSelector('#editor[open]');
    assert.equal(await page.$eval('#pane-1', (e) => e.offsetParent), null, 'one list');
    await page.select('#list-0', await page.$eval('#list-0 option', (o) => o.value));
    await page.$eval('#list-0', (l) => l.dispatchEvent(new Event('change')));
    const set = (id, v) => page.$eval(id, (e, value) => (e.value = value), v);
    await set('#field-name', 'Москва и область');
    await set('#field-axText', 'тридцать');
    await page.click('#editor-ok');
    await page.waitForFunction(() => !document.getElementById('editor-message').hidden);
    assert.match(await page.$eval('#editor-message', (e) => e.textContent), /Долгота/);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'field-axText');
    await set('#field-axText', '35,5');
    await set('#field-ayText', '57,25');
    await set('#field-cxText', '40,75');
    await set('#field-cyText', '54,5');
    await taskOf(page, () => page.click('#editor-ok'));
    const exported = join(scratch, 'exported.ini');
    const bytes = await exportSettings(page, downloads);
    assert.equal(bytes[0], 0xff);
    assert.equal(bytes[1], 0xfe);
    writeFileSync(exported, bytes);
    const listed = execFileSync(cli, ['params', '--ini', exported]).toString();
    assert.match(listed, /Москва и область\s+A \(35\.5; 57\.25\)\s+C \(40\.75; 54\.5\)/);
  });

  await step('locked items keep their fields: a profile locked in the file', async () => {
    // The desktop's lock box is never enabled: a lock comes from the file.
    const text = new TextDecoder('utf-16le').decode(readFileSync(desktopIni).subarray(2));
    const lockedText = text.replace(/(\[Export\][^[]*?0\.Param=)6060/, '$16161');
    assert.notEqual(lockedText, text);
    const lockedIni = join(scratch, 'locked.ini');
    writeFileSync(lockedIni, Buffer.from(lockedText, 'utf8'));
    await importSettings(page, lockedIni);
    await page.click('#edit-profiles');
    await page.waitForSelector('#editor[open]');
    const locked = await page.$$eval('#list-0 option', (o) => o.map((x) => x.value));
    let found = false;
    for (const id of locked) {
      await page.select('#list-0', id);
      if (await page.$eval('#field-locked', (b) => b.checked)) {
        found = true;
        assert.ok(await page.$eval('#field-name', (e) => e.disabled));
        assert.ok(await page.$eval('#delete-0', (e) => e.disabled));
        assert.ok(!(await page.$eval('#field-stringLimit', (e) => e.disabled)));
      }
    }
    assert.ok(found, 'a locked profile');
    await taskOf(page, () => page.click('#editor-cancel'));
  });

  await step('bad input: a binary file, a huge one, a broken Tarvik.ini get a message, settings stay', async () => {
    const before = await exportSettings(page, downloads);
    const binary = join(scratch, 'binary.txt');
    writeFileSync(binary, Buffer.from(Array.from({ length: 4096 }, (_, i) => (i * 7919) % 256)));
    await page.evaluate(() => (document.getElementById('message').textContent = ''));
    await openTable(page, binary);
    assert.match(await page.$eval('#message', (e) => e.textContent), /binary\.txt/);
    // Larger than the page can hold: refused before a byte is read (a sparse file).
    const huge = join(scratch, 'huge.txt');
    execFileSync('truncate', ['-s', '2G', huge]);
    await page.evaluate(() => (document.getElementById('message').textContent = ''));
    await (await page.$('#open-file')).uploadFile(huge);
    await page.waitForFunction(() => document.getElementById('message').textContent !== '');
    assert.match(await page.$eval('#message', (e) => e.textContent), /huge\.txt.*2048/);
    rmSync(huge);
    const broken = join(scratch, 'broken.ini');
    writeFileSync(broken, Buffer.from([0, 1, 2, 3, 0xff, 0xd8, 0, 0, 9, 9]));
    assert.match(await importSettings(page, broken), /broken\.ini/);
    const notIni = join(scratch, 'notes.ini');
    writeFileSync(notIni, '[Other]\r\nKey=1\r\n');
    assert.match(await importSettings(page, notIni), /notes\.ini/);
    assert.deepEqual(await exportSettings(page, downloads), before);
  });

  await step('Cancel while a large table loads: an empty store, the page goes on', async () => {
    const big = join(scratch, 'big.txt');
    writeFileSync(big, 'X,Y,TYPE,SPEED\r\n' + '37.6173,55.7558,1,60\r\n'.repeat(3000000));
    await page.evaluate(() => (document.getElementById('message').textContent = ''));
    await taskOf(page, async () => {
      await (await page.$('#open-file')).uploadFile(big);
      await page.waitForSelector('#progress[open]');
      await page.click('#progress-cancel');
    });
    rmSync(big);
    await page.waitForFunction(() => document.getElementById('message').textContent !== '');
    assert.equal(await page.$$eval('#areas tbody tr', (r) => r.length), 0);
    assert.match(await page.$eval('#message', (e) => e.textContent), /отмен/);
  });

  await step('the map: the density picture, and a new area drawn with the mouse', async () => {
    await openTable(page, join(examples, 'published.txt'));
    await page.click('#show-map');
    await page.waitForFunction(() => document.getElementById('map-count').textContent !== '');
    const colours = await page.$eval('#map-canvas', (c) => {
      const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      const seen = new Set();
      for (let i = 0; i < d.length; i += 4) seen.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
      return seen.size;
    });
    assert.ok(colours > 2, 'the picture has points and areas');
    assert.equal(await page.$eval('#map-new', (e) => e.offsetParent), null, 'no name asked yet');
    await page.click('#map-draw');
    const box = await (await page.$('#map-canvas')).boundingBox();
    await page.mouse.move(box.x + box.width * 0.3, box.y + box.height * 0.3);
    await page.mouse.down();
    await page.mouse.move(box.x + box.width * 0.6, box.y + box.height * 0.7, { steps: 5 });
    await page.mouse.up();
    await page.waitForSelector('#map-new:not([hidden])');
    await page.$eval('#map-name', (e) => (e.value = 'Нарисованная'));
    await taskOf(page, () => page.click('#map-new button[type=submit]'));
    const areas = await page.$$eval('#areas tbody td', (t) => t.map((x) => x.textContent));
    assert.ok(areas.includes('Нарисованная'), areas.join('|'));
    await page.click('#map-close');
  });

  await step('settings persist in the browser across a reload', async () => {
    await page.reload();
    await page.waitForFunction(() => document.getElementById('schema').options.length > 0, { timeout: 60000 });
    await page.click('#edit-filters');
    await page.waitForSelector('#editor[open]');
    const names = await page.$$eval('#list-0 option', (o) => o.map((x) => x.textContent));
    assert.ok(names.includes('Нарисованная'), names.join('|'));
    await page.click('#editor-cancel');
  });

  await step('the keyboard reaches every command, and focus is visible', async () => {
    const reached = new Set();
    await page.click('h1');
    for (let i = 0; i < 16; ++i) {
      await page.keyboard.press('Tab');
      reached.add(await page.evaluate(() => document.activeElement.id));
    }
    for (const id of ['open', 'save', 'edit-filters', 'schema', 'profile']) assert.ok(reached.has(id), id);
    const outline = await page.evaluate(() => getComputedStyle(document.activeElement).outlineStyle);
    assert.notEqual(outline, 'none');
    const unlabelled = await page.evaluate(() => [...document.querySelectorAll('input, select, textarea')]
      .filter((e) => e.type !== 'file' && !e.labels?.length && !e.getAttribute('aria-label')).map((e) => e.id));
    assert.deepEqual(unlabelled, []);
  });

  await step('no request beyond the page\'s own files, no script error', async () => {
    const own = new Set(['index.html', 'tarvik.js', 'styles.css'].map((f) => pathToFileURL(join(dist, f)).href));
    const foreign = requests.filter((r) => !own.has(r) && !r.startsWith('blob:') && !r.startsWith('data:'));
    assert.deepEqual(foreign, []);
    assert.deepEqual(errors, []);
  });
} finally {
  await browser.close();
}
// The page follows the browser's language.
const english = await launch('en');
try {
  await step('in an English browser the page speaks English', async () => {
    const { page } = await openPage(english, url, downloads);
    assert.equal(await page.$eval('html', (h) => h.lang), 'en');
    assert.equal(await page.$eval('#open', (b) => b.textContent), 'Open...');
    assert.ok((await page.$$eval('#schema option', (o) => o.length)) > 0);
  });
} finally {
  await english.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);

// The page: the main window's lists and commands, the editors and the map over the engine in
// the worker (worker.js), with the settings file kept in the browser's storage.
'use strict';

// ---- texts -----------------------------------------------------------------------------------

// The language of the browser among those of the string table; Russian otherwise.
const LANG = (() => {
  for (const l of navigator.languages || [navigator.language || ''])
    if (STRINGS[l.slice(0, 2)]) return l.slice(0, 2);
  return 'ru';
})();

// String `id` formatted as the program's texts are (the conversions the page's texts use,
// arguments in turn or numbered: "%2$s").
function text(id, ...args) {
  const s = STRINGS[LANG][id] ?? STRINGS.ru[id] ?? '';
  let n = 0;
  return s.replace(/%(%|(?:(\d+)\$)?[-+ 0#]*\d*(?:\.(\d+|\*))?(?:I64|l|ll|h|z)?([dusfgc]))/g, (m, all, pos, prec, conv) => {
    if (all === '%') return '%';
    const v = pos ? args[Number(pos) - 1] : args[n++];
    if (conv === 'f') return Number(v).toFixed(prec === undefined ? 6 : Number(prec));
    return String(v ?? '');
  });
}

function applyTexts(root) {
  for (const el of root.querySelectorAll('[data-text]')) el.textContent = text(Number(el.dataset.text));
  for (const el of root.querySelectorAll('[data-label]'))
    el.setAttribute('aria-label', text(Number(el.dataset.label)));
}

// ---- the worker --------------------------------------------------------------------------------

const $ = (id) => document.getElementById(id);
let worker = null;
let ready = null;  // resolves once the engine has started
let nextId = 1;
const pending = new Map();

function startWorker() {
  const source = '(' + tarvikWorker.toString() + ')();';
  worker = new Worker(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
  worker.onmessage = (e) => {
    const m = e.data;
    if (m.report) return onReport(m.report, m.value);
    const p = pending.get(m.id);
    if (!p) return;
    pending.delete(m.id);
    if (m.error) p.reject(new Error(m.error));
    else p.resolve(m.result);
  };
  worker.onerror = (e) => {
    e.preventDefault();
    for (const p of pending.values()) p.reject(new Error(e.message || 'worker'));
    pending.clear();
  };
  ready = loadSettings().then((settings) => request('init', { settings, language: LANG })).then(show);
  return ready;
}

function request(op, args, transfer) {
  return new Promise((resolve, reject) => {
    const id = nextId++;
    pending.set(id, { resolve, reject });
    worker.postMessage({ id, op, args }, transfer || []);
  });
}

// A task of the pipeline behind the progress window: its reports come while it runs, Cancel
// ends the worker (the engine runs on its only thread) and starts a new one over the stored
// settings, which leaves the table unloaded, as a cancelled load leaves it.
let cancelled = false;
async function task(op, args, transfer) {
  await ready;
  const dialog = $('progress');
  $('progress-bar').value = 0;
  $('progress-status').textContent = text(591);
  $('progress-cancel').disabled = false;
  cancelled = false;
  if (!dialog.open) dialog.showModal();
  $('main').setAttribute('aria-busy', 'true');
  try {
    return await request(op, args, transfer);
  } catch (e) {
    if (cancelled) return null;
    throw e;
  } finally {
    dialog.close();
    $('main').removeAttribute('aria-busy');
    // How many tasks have ended, for whoever watches the page (its tests).
    document.body.dataset.tasks = String(Number(document.body.dataset.tasks || 0) + 1);
  }
}

function onReport(kind, value) {
  if (kind === 'progress') $('progress-bar').value = value;
  else if (kind === 'status') $('progress-status').textContent = text(value);
  else if (kind === 'cancel') $('progress-cancel').disabled = !value;
}

function cancelTask() {
  if ($('progress-cancel').disabled) return;
  cancelled = true;
  worker.terminate();
  for (const p of pending.values()) p.reject(new Error('cancelled'));
  pending.clear();
  startWorker().then(() => say(text(711)));
}

// ---- settings in the browser's storage ----------------------------------------------------------

const DB = 'tarvik', STORE = 'files', KEY = 'Tarvik.ini';
function openDb() {
  return new Promise((resolve, reject) => {
    const r = indexedDB.open(DB, 1);
    r.onupgradeneeded = () => r.result.createObjectStore(STORE);
    r.onsuccess = () => resolve(r.result);
    r.onerror = () => reject(r.error);
  });
}
async function loadSettings() {
  try {
    const db = await openDb();
    return await new Promise((resolve) => {
      const r = db.transaction(STORE).objectStore(STORE).get(KEY);
      r.onsuccess = () => resolve(r.result || null);
      r.onerror = () => resolve(null);
    });
  } catch (e) {
    return null;  // no storage (a private window): the defaults, for this visit
  }
}
async function storeSettings(bytes) {
  if (!bytes) return;
  try {
    const db = await openDb();
    await new Promise((resolve, reject) => {
      const t = db.transaction(STORE, 'readwrite');
      t.objectStore(STORE).put(bytes, KEY);
      t.oncomplete = resolve;
      t.onerror = () => reject(t.error);
    });
  } catch (e) {
    say(text(1554, String(e && e.message || e)));
  }
}

// ---- the main window ------------------------------------------------------------------------------

let state = null;

function say(message) {
  const m = $('message');
  m.textContent = message || '';
  m.hidden = !message;
}

// A task's answer: its failure said, the lists refreshed, changed settings stored.
function show(answer) {
  if (!answer) return answer;
  if (answer.result && answer.result.failure) say(answer.result.failure);
  if (answer.settings) storeSettings(answer.settings);
  if (answer.state) {
    state = answer.state;
    fillLists();
  }
  return answer;
}

function cell(row, content) {
  const td = document.createElement('td');
  if (content instanceof Node) td.append(content);
  else td.textContent = content;
  row.append(td);
}

function tickBox(checked, label, id) {
  const box = document.createElement('input');
  box.type = 'checkbox';
  box.checked = checked;
  box.dataset.id = id;
  box.setAttribute('aria-label', label);
  return box;
}

function fillLists() {
  const types = $('types').tBodies[0], areas = $('areas').tBodies[0];
  types.replaceChildren();
  areas.replaceChildren();
  for (const t of state.types) {
    const tr = document.createElement('tr');
    cell(tr, tickBox(true, t.type + ' ' + t.desc, t.id));
    cell(tr, String(t.type));
    cell(tr, String(t.count));
    cell(tr, t.desc);
    types.append(tr);
  }
  for (const a of state.areas) {
    const tr = document.createElement('tr');
    cell(tr, tickBox(false, a.name, a.id));
    cell(tr, a.name);
    cell(tr, String(a.count));
    areas.append(tr);
  }
  const schema = $('schema');
  schema.replaceChildren();
  for (const s of state.schemas) {
    if (!(s.param & PARAM.ENABLED)) continue;
    const o = new Option(s.name, s.id, false, !!(s.param & PARAM.DEFAULT));
    schema.append(o);
  }
  if (!state.schemas.some((s) => (s.param & PARAM.ENABLED) && (s.param & PARAM.DEFAULT))) schema.selectedIndex = -1;
  const profile = $('profile'), chosen = profile.value;
  profile.replaceChildren();
  for (const p of state.profiles) {
    if (!(p.param & PARAM.ENABLED)) continue;
    profile.append(new Option(p.name, p.id, false, !!(p.param & PARAM.DEFAULT)));
  }
  if (chosen && [...profile.options].some((o) => o.value === chosen)) profile.value = chosen;
  $('match').textContent = state.match;
  $('status').textContent = state.records ? text(605, state.records, fileName) : text(606);
}

const PARAM = { DELETED: 0x80, ENABLED: 0x40, DEFAULT: 0x20, LOCKED: 0x01 };
let fileName = '';

// The browser's memory for one page: the table and its records must fit.
const MAX_TABLE_BYTES = 1536 * 1024 * 1024;

async function openTable(file) {
  if (!file) return;
  say('');
  if (file.size > MAX_TABLE_BYTES) {
    say(text(1566, file.name, (file.size / 1048576).toFixed(0), MAX_TABLE_BYTES / 1048576));
    return;
  }
  // A file that fails or holds no table leaves the table shown before, with its name.
  const previous = fileName;
  fileName = file.name;
  const answer = await task('open', { file });
  const replaced = !!(answer && answer.result && answer.result.replaced);
  if (!replaced) fileName = previous;
  show(answer);
  if (answer && answer.result && !answer.result.failure && !replaced) say(text(942, file.name));
}

function ticked(table) {
  return [...$(table).tBodies[0].querySelectorAll('input:checked')].map((b) => b.dataset.id);
}

function download(bytes, name, type) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

async function saveAs() {
  say('');
  if (!state || state.types.length === 0) return say(text(831));
  const areas = ticked('areas'), entries = ticked('types');
  if (!areas.length) return say(text(940));
  if (!entries.length) return say(text(941));
  const profile = state.profiles.find((p) => p.id === $('profile').value);
  if (!profile) return say(text(820));
  // The displayed order, which the worker turns into the main window's lists.
  const answer = await task('export', { entries, areas, profile: profile.id });
  if (!answer) return;
  const r = answer.result;
  if (r.failure) return say(r.failure);
  if (!answer.bytes) return;
  download(answer.bytes, profile.file || 'POIs.csv', 'text/csv');
  say(r.leftOut ? text(905, r.lines, r.leftOut) : text(943, r.lines, profile.file));
}

async function chooseSchema() {
  const id = $('schema').value;
  if (id) show(await task('schema', { id }));
}

async function importSettings(file) {
  if (!file) return;
  say('');
  const bytes = new Uint8Array(await file.arrayBuffer());
  const answer = await task('importSettings', { bytes, name: file.name }, [bytes.buffer]);
  if (!answer) return;
  if (answer.refused) {
    show({ state: answer.state });
    return say(answer.refused);
  }
  show(answer);
  say(text(1567, file.name));
}

async function exportSettings() {
  await ready;
  const answer = await request('exportSettings', {});
  if (answer.bytes) download(answer.bytes, 'Tarvik.ini', 'application/octet-stream');
}

// ---- the editors --------------------------------------------------------------------------------

// What each editor shows, after the desktop editors: its lists, its fields and which of them a
// row leaves usable.
const EDITORS = {
  filters: {
    title: 570, kind: 'filter', lists: [1557],
    items: () => [...state.filters].sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0)),
    fields: [
      { key: 'name', label: 581, max: 63 },
      { key: 'axText', label: 1568, max: 31 }, { key: 'ayText', label: 1569, max: 31 },
      { key: 'cxText', label: 1570, max: 31 }, { key: 'cyText', label: 1571, max: 31 },
      { key: 'enabled', label: 556, box: PARAM.ENABLED }, { key: 'locked', label: 558, box: PARAM.LOCKED },
    ],
    usable(item, key) {
      if (!item) return false;
      if (key === 'locked') return false;
      return !(item.param & PARAM.LOCKED);
    },
    deletable: (item) => item && !(item.param & PARAM.LOCKED),
  },
  schemas: {
    title: 565, kind: 'schema', lists: [588, 1572], hint: 566,
    items: () => state.schemas,
    entries: (schema) => (schema ? schema.entries : []),
    fields: [
      { key: 'name', label: 581, max: 63 },
      { key: 'enabled', label: 556, box: PARAM.ENABLED }, { key: 'current', label: 557, box: PARAM.DEFAULT },
      { key: 'typeText', label: 583, max: 63, entry: true }, { key: 'desc', label: 582, max: 127, entry: true },
    ],
    usable(item, key, entry) {
      if (key === 'typeText' || key === 'desc') return !!entry;
      if (!item) return false;
      if (key === 'current') return !isCurrent(item);
      return true;
    },
    deletable: (item) => !!item,
  },
  profiles: {
    title: 620, kind: 'profile', lists: [1556],
    items: () => state.profiles,
    fields: [
      { key: 'name', label: 581, max: 63 }, { key: 'file', label: 621, max: 4095 },
      { key: 'codepage', label: 622, choices: [[0, 560], [65001, 561]] },
      { key: 'sizeLimit', label: 623, max: 15 }, { key: 'format', label: 624, max: 127 },
      { key: 'folder', label: 625, max: 4095 }, { key: 'stringLimit', label: 626, max: 15 },
      { key: 'translit', label: 627, flag: true },
      { key: 'enabled', label: 556, box: PARAM.ENABLED }, { key: 'locked', label: 558, box: PARAM.LOCKED },
      { key: 'current', label: 557, box: PARAM.DEFAULT }, { key: 'desc', label: 582, max: 511, area: true },
    ],
    usable(item, key) {
      if (!item) return false;
      if (key === 'locked') return false;
      if (key === 'stringLimit' || key === 'translit') return true;
      if (key === 'current') return !isCurrent(item);
      return !(item.param & PARAM.LOCKED);
    },
    deletable: (item) => item && !(item.param & PARAM.LOCKED),
  },
};

function isCurrent(item) {
  return !(item.param & PARAM.DELETED) && (item.param & PARAM.ENABLED) && (item.param & PARAM.DEFAULT);
}

let editor = null;  // { def, shown: [id, id], busy }

function openEditor(name) {
  const def = EDITORS[name];
  editor = { def, name, shown: ['', ''] };
  $('editor-title').textContent = text(def.title);
  $('editor-message').hidden = true;
  $('pane-1').hidden = def.lists.length < 2;
  def.lists.forEach((label, i) => ($('list-' + i + '-label').textContent = text(label)));
  const fields = $('fields');
  fields.replaceChildren();
  if (def.hint) {
    const p = document.createElement('p');
    p.className = 'hint';
    p.textContent = text(def.hint);
    fields.append(p);
  }
  for (const f of def.fields) {
    const id = 'field-' + f.key;
    const wrap = document.createElement('div');
    wrap.className = f.box !== undefined || f.flag ? 'field check' : 'field';
    const label = document.createElement('label');
    label.htmlFor = id;
    label.textContent = text(f.label);
    let input;
    if (f.choices) {
      input = document.createElement('select');
      for (const [value, t] of f.choices) input.append(new Option(text(t), value));
    } else if (f.area) {
      input = document.createElement('textarea');
      input.maxLength = f.max;
      input.rows = 3;
    } else {
      input = document.createElement('input');
      if (f.box !== undefined || f.flag) input.type = 'checkbox';
      else input.maxLength = f.max;
    }
    input.id = id;
    if (input.type === 'checkbox') wrap.append(input, label);
    else wrap.append(label, input);
    fields.append(wrap);
  }
  fillEditor();
  $('editor').showModal();
  $('list-0').focus();
}

function editorItem() {
  return editor.def.items().find((i) => i.id === editor.shown[0]) || null;
}
function editorEntry(item) {
  return item && editor.def.entries ? item.entries.find((e) => e.id === editor.shown[1]) || null : null;
}

function fillEditor() {
  const def = editor.def;
  const list0 = $('list-0');
  list0.replaceChildren();
  for (const it of def.items()) list0.append(new Option(it.name, it.id, false, it.id === editor.shown[0]));
  if (!def.items().some((i) => i.id === editor.shown[0])) editor.shown[0] = '';
  const item = editorItem();
  if (def.entries) {
    const list1 = $('list-1');
    list1.replaceChildren();
    for (const e of def.entries(item)) list1.append(new Option(e.typeText + '  ' + e.desc, e.id, false, e.id === editor.shown[1]));
    if (!def.entries(item).some((e) => e.id === editor.shown[1])) editor.shown[1] = '';
    $('add-1').disabled = !item;
    $('delete-1').disabled = !editorEntry(item);
  }
  showFields();
}

function showFields() {
  const def = editor.def, item = editorItem(), entry = editorEntry(item);
  for (const f of def.fields) {
    const input = $('field-' + f.key);
    const source = f.entry ? entry : item;
    if (input.type === 'checkbox') {
      input.checked = !!source && (f.flag ? !!source[f.key] : !!(source.param & f.box));
    } else if (f.choices) {
      input.value = source ? String(source[f.key]) : '';
      if (source && input.selectedIndex < 0) input.selectedIndex = -1;
    } else {
      input.value = source ? source[f.key] : '';
    }
    input.disabled = !def.usable(item, f.key, entry);
  }
  $('delete-0').disabled = !def.deletable(item);
}

// Shows the row chosen in a list; the fields' edits so far are dropped, as in the desktop
// editors (Save keeps them).
function chooseRow(pane) {
  editor.shown[pane] = $('list-' + pane).value;
  if (pane === 0) editor.shown[1] = '';
  fillEditor();
}

async function editorCall(op, args) {
  await ready;
  const answer = await request(op, args);
  state = answer.state;
  return answer;
}

function value(key) {
  const input = $('field-' + key);
  return input ? (input.type === 'checkbox' ? input.checked : input.value) : '';
}

// The shown row's fields into its item; false when a number field holds no number.
async function applyRow() {
  const item = editorItem();
  $('editor-message').hidden = true;
  if (!item) return true;
  if (editor.name === 'filters') {
    const answer = await editorCall('applyFilter', {
      id: item.id, name: value('name'), ax: value('axText'), ay: value('ayText'), cx: value('cxText'),
      cy: value('cyText'), enabled: value('enabled'),
    });
    if (answer.refusal) {
      const input = $('field-' + ['axText', 'ayText', 'cxText', 'cyText'][answer.refusal.field]);
      const m = $('editor-message');
      m.textContent = answer.refusal.message;
      m.hidden = false;
      input.focus();
      input.select();
      return false;
    }
  } else if (editor.name === 'schemas') {
    const entry = editorEntry(item);
    await editorCall('applySchema', {
      schemaId: item.id, name: value('name'), enabled: value('enabled'), current: value('current'),
      entryId: entry ? entry.id : '', type: value('typeText'), desc: value('desc'),
    });
  } else {
    const cp = $('field-codepage');
    await editorCall('applyProfile', {
      id: item.id, name: value('name'), file: value('file'), format: value('format'), folder: value('folder'),
      desc: value('desc'), sizeLimit: value('sizeLimit'), stringLimit: value('stringLimit'),
      codepage: cp.selectedIndex < 0 ? -1 : Number(cp.value), enabled: value('enabled'),
      current: value('current'), translit: value('translit'),
    });
  }
  fillEditor();
  return true;
}

async function editorAdd(pane) {
  const kind = pane === 1 ? 'entry' : editor.def.kind;
  const answer = await editorCall('add', { kind, schemaId: editor.shown[0] });
  if (answer.id) editor.shown[pane] = answer.id;
  if (pane === 0) editor.shown[1] = '';
  fillEditor();
  $('list-' + pane).focus();
}

async function editorDelete(pane) {
  const kind = pane === 1 ? 'entry' : editor.def.kind;
  const id = $('list-' + pane).value;
  if (!id) return;
  await editorCall('remove', { kind, id, schemaId: editor.shown[0] });
  editor.shown[pane] = '';
  fillEditor();
}

async function closeEditor(ok) {
  if (ok && !(await applyRow())) return;
  $('editor').close();
  editor = null;
  show(await task('editorEnd', { ok }));
}

// ---- the map ------------------------------------------------------------------------------------

const map = { frame: null, drag: null, drawing: false, pending: null, busy: false };

async function mapRender(mode, a, b, c, d) {
  const canvas = $('map-canvas');
  await ready;
  if (map.busy) {
    map.pending = [mode, a, b, c, d];
    return;
  }
  map.busy = true;
  try {
    map.frame = await request('map', { width: canvas.width, height: canvas.height, mode, a, b, c, d });
  } finally {
    map.busy = false;
  }
  mapPaint();
  $('map-count').textContent = text(1004, map.frame.inView);
  if (map.pending) {
    const p = map.pending;
    map.pending = null;
    mapRender(...p);
  }
}

function mapPaint() {
  const canvas = $('map-canvas'), g = canvas.getContext('2d'), f = map.frame;
  if (!f || !f.pixels) return;
  const image = g.createImageData(f.width, f.height);
  const out = new Uint32Array(image.data.buffer);
  // ARGB to the canvas's RGBA bytes (little-endian ABGR words).
  const lut = new Uint32Array(256);
  for (let i = 0; i < 256; ++i) {
    const v = f.palette[i];
    lut[i] = (v & 0xff00ff00) | ((v >>> 16) & 0xff) | ((v & 0xff) << 16);
  }
  for (let i = 0; i < f.pixels.length; ++i) out[i] = lut[f.pixels[i]];
  g.putImageData(image, 0, 0);
  g.lineWidth = 2;
  g.font = '13px sans-serif';
  for (const a of f.areas) {
    g.strokeStyle = a.enabled ? '#1f5fbf' : '#999';
    g.setLineDash(a.enabled ? [] : [5, 4]);
    g.strokeRect(a.x0, a.y0, a.x1 - a.x0, a.y1 - a.y0);
    g.fillStyle = g.strokeStyle;
    g.fillText(a.name, Math.max(4, a.x0 + 4), Math.max(14, a.y0 + 16));
  }
  g.setLineDash([]);
  if (map.drag && map.drawing) {
    const d = map.drag;
    g.strokeStyle = '#c0392b';
    g.strokeRect(d.x0, d.y0, d.x1 - d.x0, d.y1 - d.y0);
  }
}

function openMap() {
  $('map-new').hidden = true;
  $('map').showModal();
  mapRender(1);
  $('map-canvas').focus();
}

function canvasPoint(e) {
  const r = $('map-canvas').getBoundingClientRect();
  const sx = $('map-canvas').width / r.width, sy = $('map-canvas').height / r.height;
  return { x: (e.clientX - r.left) * sx, y: (e.clientY - r.top) * sy };
}

function setDrawing(on) {
  map.drawing = on;
  $('map-draw').setAttribute('aria-pressed', String(on));
}

async function mapNewArea(d) {
  if (Math.abs(d.x1 - d.x0) < 3 || Math.abs(d.y1 - d.y0) < 3) return mapPaint();
  map.corners = await request('corners', { x0: d.x0, y0: d.y0, x1: d.x1, y1: d.y1 });
  const c = map.corners;
  $('map-corners').textContent = 'A (' + c.axText + '; ' + c.ayText + ')  C (' + c.cxText + '; ' + c.cyText + ')';
  $('map-name').value = text(1003);
  $('map-new').hidden = false;
  $('map-name').focus();
  $('map-name').select();
}

function wireMap() {
  const canvas = $('map-canvas');
  canvas.addEventListener('wheel', (e) => {
    e.preventDefault();
    const p = canvasPoint(e);
    mapRender(2, e.deltaY < 0 ? 1.25 : 0.8, p.x, p.y);
  }, { passive: false });
  canvas.addEventListener('pointerdown', (e) => {
    const p = canvasPoint(e);
    canvas.setPointerCapture(e.pointerId);
    map.drag = { x0: p.x, y0: p.y, x1: p.x, y1: p.y, draw: map.drawing || e.shiftKey };
    if (map.drag.draw) setDrawing(true);
  });
  canvas.addEventListener('pointermove', (e) => {
    if (!map.drag) return;
    const p = canvasPoint(e), d = map.drag;
    if (d.draw) {
      d.x1 = p.x;
      d.y1 = p.y;
      mapPaint();
    } else {
      mapRender(3, d.x1, d.y1, p.x, p.y);
      d.x1 = p.x;
      d.y1 = p.y;
    }
  });
  canvas.addEventListener('pointerup', () => {
    const d = map.drag;
    map.drag = null;
    if (d && d.draw) {
      setDrawing(false);
      mapNewArea(d);
    }
  });
  canvas.addEventListener('keydown', (e) => {
    const w = canvas.width, h = canvas.height, step = 40;
    const moves = { ArrowLeft: [step, 0], ArrowRight: [-step, 0], ArrowUp: [0, step], ArrowDown: [0, -step] };
    if (moves[e.key]) {
      e.preventDefault();
      mapRender(3, w / 2, h / 2, w / 2 + moves[e.key][0], h / 2 + moves[e.key][1]);
    } else if (e.key === '+' || e.key === '=') {
      mapRender(2, 1.25, w / 2, h / 2);
    } else if (e.key === '-') {
      mapRender(2, 0.8, w / 2, h / 2);
    }
  });
  $('map-in').onclick = () => mapRender(2, 1.25, canvas.width / 2, canvas.height / 2);
  $('map-out').onclick = () => mapRender(2, 0.8, canvas.width / 2, canvas.height / 2);
  $('map-fit').onclick = () => mapRender(1);
  $('map-draw').onclick = () => setDrawing(!map.drawing);
  $('map-new').onsubmit = async (e) => {
    e.preventDefault();
    const c = map.corners;
    $('map-new').hidden = true;
    show(await task('addArea', { name: $('map-name').value, ax: c.ax, ay: c.ay, cx: c.cx, cy: c.cy }));
    mapRender(0);
    canvas.focus();
  };
  $('map-new-cancel').onclick = () => {
    $('map-new').hidden = true;
    mapPaint();
    canvas.focus();
  };
  $('map-close').onclick = () => $('map').close();
}

// ---- start --------------------------------------------------------------------------------------

function guard(f) {
  return (...args) => Promise.resolve(f(...args)).catch((e) => say(String((e && e.message) || e)));
}

function wire() {
  $('open').onclick = () => $('open-file').click();
  $('open-file').onchange = guard(async () => {
    const f = $('open-file').files[0];
    $('open-file').value = '';
    await openTable(f);
  });
  $('save').onclick = guard(saveAs);
  $('schema').onchange = guard(chooseSchema);
  $('edit-filters').onclick = () => openEditor('filters');
  $('edit-schemas').onclick = () => openEditor('schemas');
  $('edit-profiles').onclick = () => openEditor('profiles');
  $('show-map').onclick = openMap;
  $('import-ini').onclick = () => $('import-file').click();
  $('import-file').onchange = guard(async () => {
    const f = $('import-file').files[0];
    $('import-file').value = '';
    await importSettings(f);
  });
  $('export-ini').onclick = guard(exportSettings);
  $('progress-cancel').onclick = cancelTask;
  $('progress').addEventListener('cancel', (e) => {
    e.preventDefault();  // Escape is Cancel, when Cancel may be pressed
    cancelTask();
  });
  for (const pane of [0, 1]) {
    $('list-' + pane).onchange = () => chooseRow(pane);
    $('list-' + pane).addEventListener('keydown', (e) => {
      if (e.key === 'Delete' && !$('delete-' + pane).disabled) guard(editorDelete)(pane);
    });
    $('add-' + pane).onclick = guard(() => editorAdd(pane));
    $('delete-' + pane).onclick = guard(() => editorDelete(pane));
  }
  $('editor-save').onclick = guard(applyRow);
  $('editor-ok').onclick = guard(() => closeEditor(true));
  $('editor-cancel').onclick = guard(() => closeEditor(false));
  $('editor').addEventListener('cancel', (e) => {
    e.preventDefault();
    guard(closeEditor)(false);
  });
  // A table dropped anywhere on the page.
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    document.body.classList.add('dropping');
  });
  document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    document.body.classList.remove('dropping');
    const f = e.dataTransfer.files[0];
    if (f && !$('progress').open) guard(openTable)(f);
  });
  wireMap();
}

document.documentElement.lang = LANG;
applyTexts(document);
wire();
if (typeof WebAssembly !== 'object' || typeof Worker !== 'function') {
  say(text(1573));
} else {
  guard(startWorker)();
}

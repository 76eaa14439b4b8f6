// The page's worker: the engine (TarvikEngine, bundled before this) and the requests of the
// page, one at a time. The settings file lives at SETTINGS in the worker's memory; the page
// keeps its bytes between visits and gets them back after every change.
'use strict';
const SETTINGS = '/settings/Tarvik.ini';
const TASK = { SAVE_PARAMS: 0x04, LOAD_PARAMS: 0x08, EXPORT: 0x10, FILTER: 0x20, PARSE: 0x40, LOAD_FILE: 0x80 };
let engine = null;

function call(name, ret, types, args) {
  return engine.ccall(name, ret, types, args);
}
function json(name, types, args) {
  return JSON.parse(call(name, 'string', types, args));
}
function state() {
  return json('tv_state', [], []);
}
function settingsBytes() {
  try {
    return engine.FS.readFile(SETTINGS);
  } catch (e) {
    return null;
  }
}
function run(flags, path) {
  return json('tv_run', ['number', 'string'], [flags, path || '']);
}
// The parameter sets saved, reloaded and counted again, as after an editor's OK.
function saveReloadFilter() {
  const result = run(TASK.SAVE_PARAMS | TASK.LOAD_PARAMS | TASK.FILTER);
  return { result, state: state(), settings: settingsBytes() };
}

const handlers = {
  async init({ settings, language }) {
    engine = await TarvikEngine({
      report: (kind, value) => postMessage({ report: kind, value }),
      print: () => {},
      printErr: () => {},
    });
    engine.FS.mkdir('/settings');
    engine.FS.mkdir('/input');
    engine.FS.mkdir('/out');
    if (settings) engine.FS.writeFile(SETTINGS, settings);
    const result = json('tv_start', ['string', 'string'], [SETTINGS, language]);
    return { result, state: state(), settings: settingsBytes() };
  },
  open({ file }) {
    // The file is read where it lies, in pieces, as the engine asks for them.
    engine.FS.mount(engine.FS.filesystems.WORKERFS, { files: [file] }, '/input');
    try {
      const result = run(TASK.LOAD_FILE | TASK.PARSE | TASK.FILTER, '/input/' + file.name);
      return { result, state: state() };
    } finally {
      engine.FS.unmount('/input');
    }
  },
  filter() {
    return { result: run(TASK.FILTER), state: state() };
  },
  schema({ id }) {
    call('tv_choose_schema', null, ['string'], [id]);
    return saveReloadFilter();
  },
  export({ entries, areas, profile }) {
    const path = '/out/export';
    const result = json('tv_export', ['string', 'string', 'string', 'string'],
                        [path, entries.join(','), areas.join(','), profile]);
    let bytes = null;
    try {
      bytes = engine.FS.readFile(path);
      engine.FS.unlink(path);
    } catch (e) {
      // No file: the result says why.
    }
    return { result, bytes };
  },
  // The editors work on the store as the desktop editors do; OK saves, reloads and counts,
  // Cancel counts only.
  add({ kind, schemaId }) {
    const id = call('tv_add', 'string', ['string', 'string'], [kind, schemaId || '']);
    return { id, state: state() };
  },
  remove({ kind, id, schemaId }) {
    call('tv_delete', null, ['string', 'string', 'string'], [kind, id, schemaId || '']);
    return { state: state() };
  },
  applyFilter({ id, name, ax, ay, cx, cy, enabled }) {
    const refusal = call('tv_apply_filter', 'string',
                         ['string', 'string', 'string', 'string', 'string', 'string', 'number'],
                         [id, name, ax, ay, cx, cy, enabled ? 1 : 0]);
    return { refusal: refusal ? JSON.parse(refusal) : null, state: state() };
  },
  applySchema({ schemaId, name, enabled, current, entryId, type, desc }) {
    call('tv_apply_schema', null, ['string', 'string', 'number', 'number', 'string', 'string', 'string'],
         [schemaId || '', name, enabled ? 1 : 0, current ? 1 : 0, entryId || '', type, desc]);
    return { state: state() };
  },
  applyProfile(p) {
    call('tv_apply_profile', null,
         ['string', 'string', 'string', 'string', 'string', 'string', 'string', 'string', 'number',
          'number', 'number', 'number'],
         [p.id, p.name, p.file, p.format, p.folder, p.desc, p.sizeLimit, p.stringLimit, p.codepage,
          p.enabled ? 1 : 0, p.current ? 1 : 0, p.translit ? 1 : 0]);
    return { state: state() };
  },
  editorEnd({ ok }) {
    if (ok) return saveReloadFilter();
    return { result: run(TASK.FILTER), state: state() };
  },
  addArea({ name, ax, ay, cx, cy }) {
    call('tv_add_area', 'string', ['string', 'number', 'number', 'number', 'number'], [name, ax, ay, cx, cy]);
    return saveReloadFilter();
  },
  importSettings({ bytes, name }) {
    const at = engine._malloc(bytes.length || 1);
    engine.HEAPU8.set(bytes, at);
    const refused = call('tv_check_ini', 'number', ['number', 'number'], [at, bytes.length]);
    engine._free(at);
    if (refused) return { refused: call('tv_text', 'string', ['number', 'string', 'string'], [refused, name, '']) };
    const before = settingsBytes();
    engine.FS.writeFile(SETTINGS, bytes);
    const result = run(TASK.LOAD_PARAMS | TASK.FILTER);
    if (result.failure) {
      // The page keeps the settings it had.
      if (before) engine.FS.writeFile(SETTINGS, before);
      run(TASK.LOAD_PARAMS | TASK.FILTER);
      return { refused: result.failure, state: state() };
    }
    return { result, state: state(), settings: settingsBytes() };
  },
  exportSettings() {
    const path = '/out/Tarvik.ini';
    const error = call('tv_ini_for_export', 'number', ['string'], [path]);
    if (error) return { error };
    const bytes = engine.FS.readFile(path);
    engine.FS.unlink(path);
    return { bytes };
  },
  map({ width, height, mode, a, b, c, d }) {
    const m = json('tv_map', ['number', 'number', 'number', 'number', 'number', 'number', 'number'],
                   [width, height, mode, a || 0, b || 0, c || 0, d || 0]);
    if (m.ok) {
      m.pixels = engine.HEAPU8.slice(m.pixels, m.pixels + m.width * m.height);
      m.palette = new Uint32Array(engine.HEAPU8.slice(m.palette, m.palette + 1024).buffer);
    } else {
      m.pixels = null;
      m.palette = null;
    }
    return m;
  },
  corners({ x0, y0, x1, y1 }) {
    return json('tv_map_corners', ['number', 'number', 'number', 'number'], [x0, y0, x1, y1]);
  },
};

self.onmessage = async (e) => {
  const { id, op, args } = e.data;
  try {
    const result = await handlers[op](args || {});
    const transfer = [];
    for (const k of ['bytes', 'settings', 'pixels'])
      if (result && result[k] && result[k].buffer) transfer.push(result[k].buffer);
    postMessage({ id, result }, transfer);
  } catch (err) {
    postMessage({ id, error: String((err && err.message) || err) });
  }
};

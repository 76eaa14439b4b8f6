// Puts the page together in dist/: index.html and styles.css as they are, and one tarvik.js
// holding the engine (TarvikEngine, with its WebAssembly inside: a page opened from a folder
// may not load any other file), the worker's code and the page's, with the string table.
// Usage: node build.mjs <engine.js> <strings.js> <dist>
import { readFileSync, writeFileSync, mkdirSync, copyFileSync } from 'node:fs';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const [engine, strings, dist] = process.argv.slice(2);
const src = join(dirname(fileURLToPath(import.meta.url)), 'src');
mkdirSync(dist, { recursive: true });
const read = (f) => readFileSync(f, 'utf8');
const bundle = `// Tarvik in the browser. Built from the project's sources by web/build.mjs.
(function () {
'use strict';
// The worker's code: started from its own text (Function.toString) through a blob, which a
// page opened from a folder may do.
function tarvikWorker() {
${read(engine)}
${read(join(src, 'worker.js'))}
}
const STRINGS = ${read(strings)};
${read(join(src, 'app.js'))}
})();
`;
writeFileSync(join(dist, 'tarvik.js'), bundle);
copyFileSync(join(src, 'index.html'), join(dist, 'index.html'));
copyFileSync(join(src, 'styles.css'), join(dist, 'styles.css'));

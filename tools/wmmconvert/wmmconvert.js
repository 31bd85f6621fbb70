#!/usr/bin/env node
// One-off converter: reads the coefficient tables of a JavaScript magnetic
// model module (arrays indexed [n][m]) and writes the plain coefficient file
// the application reads: header (epoch, name), one line per degree and order
// (n, m, g, h, g rate, h rate), then the end line.
// Usage: node wmmconvert.js <path to WMMCOF2025.js> > resources/WMM_COF
'use strict';
const path = require('path');

const src = process.argv[2];
if (!src) {
  process.stderr.write('usage: wmmconvert.js <coefficient module>\n');
  process.exit(2);
}
const cof = require(path.resolve(src));
const maxDegree = 12;

function num(v) {
  if (typeof v !== 'number' || !Number.isFinite(v)) throw new Error('bad coefficient ' + v);
  return v.toFixed(1).padStart(10);
}

const lines = [];
lines.push(`    ${cof.MODEL_EPOCH.toFixed(1)}            WMM-2025`);
for (let n = 1; n <= maxDegree; ++n) {
  for (let m = 0; m <= n; ++m) {
    const g = cof.gnmWmm[n][m];
    const h = m === 0 ? 0 : cof.hnmWmm[n][m];
    const gt = cof.gtnmWmm[n][m];
    const ht = m === 0 ? 0 : cof.htnmWmm[n][m];
    lines.push(`${String(n).padStart(3)}${String(m).padStart(3)}${num(g)}${num(h)}${num(gt)}${num(ht)}`);
  }
}
lines.push('9'.repeat(48));
lines.push('9'.repeat(48));
process.stdout.write(lines.join('\n') + '\n');

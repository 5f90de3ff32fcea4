#!/usr/bin/env node
// Writes the reference table of the HSV and CMYK conversion functions:
// every row holds three channel texts and the texts the script language
// itself gives for rgb2hsv(...) and RgbToCmyk(...) with those texts pasted
// verbatim into the call. A call that fails to compile or to run gives the
// empty text.
//
// Usage: node script_reference.js <output.tsv>
//
// Columns: red, green, blue, hsv, cmyk. Texts are escaped: "\\" for a
// backslash, "\t", "\n", "\r", "\v", "\f" for those white-space bytes.
// Uses only Node's built-in modules; the sample is deterministic.
'use strict';

const fs = require('fs');
const vm = require('vm');

const scriptSource = `
function rgb2hsv(r, g, b) {
  r = r / 255; g = g / 255; b = b / 255;
  var max = Math.max(r, g, b), min = Math.min(r, g, b);
  var h, s, v = max;
  var d = max - min;
  s = max == 0 ? 0 : d / max;
  if (max == min) {
    h = 0;
  } else {
    switch (max) {
      case r: h = (g - b) / d + (g < b ? 6 : 0); break;
      case g: h = (b - r) / d + 2; break;
      case b: h = (r - g) / d + 4; break;
    }
    h = h / 6;
  }
  return [h.toFixed(4), s.toFixed(4), v.toFixed(4)].join(",");
}
function RgbToCmyk(R, G, B) {
  if (R == 0 && G == 0 && B == 0) return [0, 0, 0, 1];
  var cR = 1 - R / 255, cG = 1 - G / 255, cB = 1 - B / 255;
  var K = Math.min(cR, Math.min(cG, cB));
  var C = (cR - K) / (1 - K), M = (cG - K) / (1 - K), Y = (cB - K) / (1 - K);
  return [C.toFixed(4), M.toFixed(4), Y.toFixed(4), K.toFixed(4)];
}
`;

const context = vm.createContext({});
vm.runInContext(scriptSource, context);

// Evaluates one call as the script host would; null when it fails.
function evaluate(fn, r, g, b) {
  try {
    return String(vm.runInContext(fn + '(' + r + ',' + g + ',' + b + ')', context));
  } catch (e) {
    return null;
  }
}

// A text whose digits start with a 0 followed by another digit is read as
// octal by the script language but as decimal by the program: such texts
// are checked separately and never enter this table.
function hasLeadingZero(t) {
  return /(^|[^0-9.])0[0-9]/.test(t);
}

// Mulberry32: a small deterministic generator.
function makeRandom(seed) {
  let a = seed >>> 0;
  return function () {
    a = (a + 0x6D2B79F5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}
const random = makeRandom(20180816);
const randomInt = (n) => Math.floor(random() * n);

const rows = [];
const seen = new Set();
// expectValid: true (the call must evaluate), false (it must fail).
function add(r, g, b, expectValid) {
  const key = r + '\u0000' + g + '\u0000' + b;
  if (seen.has(key)) return;
  for (const t of [r, g, b]) {
    if (hasLeadingZero(t)) throw new Error('leading-zero text in sample: ' + JSON.stringify(t));
  }
  seen.add(key);
  const hsv = evaluate('rgb2hsv', r, g, b);
  const cmyk = evaluate('RgbToCmyk', r, g, b);
  if ((hsv !== null) !== expectValid || (cmyk !== null) !== expectValid) {
    throw new Error('unexpected validity for ' + JSON.stringify([r, g, b]));
  }
  rows.push([r, g, b, hsv === null ? '' : hsv, cmyk === null ? '' : cmyk]);
}

// 1. A grid of whole channel values.
const grid = [0, 1, 127, 128, 254, 255];
for (let v = 15; v < 255; v += 15) grid.push(v);
grid.sort((x, y) => x - y);
for (const r of grid) for (const g of grid) for (const b of grid) add(String(r), String(g), String(b), true);

// 2. Every value on each axis with the other two at a few values.
const others = [0, 128, 255];
for (let axis = 0; axis < 3; ++axis) {
  for (let v = 0; v < 256; ++v) {
    for (const p of others) {
      for (const q of others) {
        const c = [p, q];
        c.splice(axis, 0, v);
        add(String(c[0]), String(c[1]), String(c[2]), true);
      }
    }
  }
}

// 3. Random whole triples.
for (let i = 0; i < 4000; ++i) add(String(randomInt(256)), String(randomInt(256)), String(randomInt(256)), true);

// 4. Fractions, alone and in random triples.
const fractions = ['12.5', '0.3', '254.99999', '0.5', '.5', '5.', '127.5', '0.1', '99.99', '1.5',
  '200.25', '0.0001', '3.14159', '254.5', '255.0', '0.00001', '128.000001', '17.', '-.5',
  '255.00001', '0.99999999999', '1.0000000000000002', '42.42', '.001', '250.9', '7.77e1', '2.55E2',
  '1.e2', '.5e1', '63.75', '191.25', '85.3333333333333', '170.66666666666666'];
const companions = ['0', '18', '52', '86', '128', '255', '12.5', '.5'];
for (const f of fractions) {
  for (const c of companions) {
    add(f, c, '86', true);
    add(c, f, '52', true);
    add('18', c, f, true);
  }
}
const fractionText = () => {
  const digits = 1 + randomInt(6);
  let t = String(randomInt(256)) + '.';
  for (let k = 0; k < digits; ++k) t += String(randomInt(10));
  return t;
};
for (let i = 0; i < 2000; ++i) add(fractionText(), fractionText(), fractionText(), true);

// 5. Values outside 0-255, signs, exponents and white space.
const outside = ['-5', '300', '1e3', '-0', '256', '-1', '-255', '1000', '1e999', '-1e999', '1e-999',
  '1e300', '-1e300', '1e21', '5e-324', '1.7976931348623157e308', '2e308', '-300', '65535', '1E2',
  '2.55e2', '25.5e1', '+5', '+0', '- 5', '+ 7', '-1e3', '1e+2', '1e-2', '-0.0', '.0', '0e5',
  '1e-400', '-1e-400', '4294967296', '-2147483648', '1e20', '2.55e23', '-2.55e23',
  ' 5', '5 ', '  18 ', '\t52', '86\n', ' - 5 ', '\r1\f', '\v3', '-\t5', '+\n9'];
const outsideCompanions = ['0', '18', '52', '86', '255', '-5', '1e999', '-0'];
for (const o of outside) {
  for (const c of outsideCompanions) {
    add(o, c, '0', true);
    add(c, o, '52', true);
    add('86', c, o, true);
    add(o, o, c, true);
  }
}
for (let i = 0; i < 1500; ++i) {
  const pick = () => (random() < 0.5 ? outside[randomInt(outside.length)] : String(randomInt(256)));
  add(pick(), pick(), pick(), true);
}

// 6. Texts the script language rejects, so the call fails.
const invalid = ['', '-', '+', 'abc', '1e', '5a', '.', '1..2', '--5', '1 2', '5 .5', 'e5', '1e+',
  'x1', '#FF', '1.2.3', '5-', '++5', '(', '1e3.5', '.e1', '5..', '1x', '12px', '0b', '1e-',
  '- -', '5e+-1', ')', '1;2'];
for (const t of invalid) {
  for (const c of ['18', '0', '-5', '12.5']) {
    add(t, c, '86', false);
    add(c, t, '86', false);
    // A modern engine accepts a trailing comma in a call, so an empty blue
    // text evaluates there (to NaN texts); the script host's language
    // rejects it, as the program does. That case stays out of the table.
    if (t !== '') add('18', c, t, false);
  }
  add(t, t, t, false);
}

const escape = (t) => t.replace(/\\/g, '\\\\').replace(/\t/g, '\\t').replace(/\n/g, '\\n')
  .replace(/\r/g, '\\r').replace(/\v/g, '\\v').replace(/\f/g, '\\f');
const out = rows.map((row) => row.map(escape).join('\t')).join('\n') + '\n';

if (process.argv.length < 3) {
  console.error('usage: node script_reference.js <output.tsv>');
  process.exit(2);
}
fs.writeFileSync(process.argv[2], out);
console.log(rows.length + ' rows, ' + out.length + ' bytes');

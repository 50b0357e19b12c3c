// SPDX-License-Identifier: MIT
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { Writer, PromfmtError } = require('promfmt');

test('round trips: what each call writes', () => {
  const cases = [
    ['help escapes backslash and line feed', (w) => w.help('m', 'a\\b\nc "q"'),
      '# HELP m a\\\\b\\nc "q"\n'],
    ['type by name', (w) => w.type('m', 'histogram'), '# TYPE m histogram\n'],
    ['labels object, sorted and escaped', (w) => w.sample('m', { z: 'a"b', a: 'x\\y\nz' }, 1.5),
      'm{a="x\\\\y\\nz",z="a\\"b"} 1.5\n'],
    ['labels as pairs, numbers and booleans as String() writes them',
      (w) => w.sample('m', [['b', 0.1], ['a', true]], 2), 'm{a="true",b="0.1"} 2\n'],
    ['labels as JSON text', (w) => w.sample('m', '{"k":"v"}', -0.5), 'm{k="v"} -0.5\n'],
    ['no labels: undefined, null, {}, [], ""', (w) => {
      for (const l of [undefined, null, {}, [], '']) w.sample('m', l, 1);
    }, 'm 1\n'.repeat(5)],
    ['special values and a timestamp', (w) => {
      w.sample('m', null, NaN).sample('m', null, Infinity).sample('m', null, -Infinity, 1234);
    }, 'm NaN\nm +Inf\nm -Inf 1234\n'],
    ['14 significant digits', (w) => w.sample('m', null, 0.1 + 0.2), 'm 0.3\n'],
    ['gauge and counter families',
      (w) => w.gauge('g', 'G.', { a: '1' }, 3).counter('c', '', null, 4),
      '# HELP g G.\n# TYPE g gauge\ng{a="1"} 3\n# TYPE c counter\nc 4\n'],
    ['control characters and non-ASCII in values', (w) => w.sample('m', { a: 'é\t\r☃' }, 1),
      'm{a="é\t\r☃"} 1\n'],
  ];
  for (const [what, write, expected] of cases) {
    const w = new Writer();
    write(w);
    assert.equal(w.toString(), expected, what);
    assert.equal(w.length, Buffer.byteLength(expected), what);
    assert.deepEqual(w.toBuffer(), Buffer.from(expected), what);
  }
});

test('reset empties the text; a writer is reused', () => {
  const w = new Writer(16);
  w.sample('a', { x: 'y' }, 1);
  assert.equal(w.reset().toString(), '');
  assert.equal(w.sample('b', null, 2).toString(), 'b 2\n');
});

const nulIn = (label) => `label '${label}': value contains a NUL character`;

// Each refusal: the library's message, in a PromfmtError, the text unchanged.
test('refusals throw PromfmtError with the library message', () => {
  const cases = [
    [(w) => w.sample('1m', null, 1), 'invalid metric name'],
    [(w) => w.sample('a\0b', null, 1), 'invalid metric name'],
    [(w) => w.help('a-b', 'x'), 'invalid metric name for HELP emission'],
    [(w) => w.type('', 'gauge'), 'invalid metric name for TYPE emission'],
    [(w) => w.sample('m', '{"a":', 1), 'failed to parse labels JSON'],
    [(w) => w.sample('m', '{"a":"b"}\0x', 1), 'failed to parse labels JSON'],
    [(w) => w.sample('m', '[1]', 1), 'labels JSON must be an object'],
    [(w) => w.sample('m', { '1a': 'x' }, 1), 'invalid label name in JSON'],
    [(w) => w.sample('m', { 1: 'x' }, 1), 'invalid label name in JSON'],
    [(w) => w.sample('m', { __name__: 'x' }, 1), 'invalid label name in JSON'],
    [(w) => w.sample('m', { 'a b': 'x' }, 1), 'invalid label name in JSON'],
    [(w) => w.sample('m', [['a', 'x'], ['a', 'y']], 1), 'duplicate label name in JSON'],
    [(w) => w.sample('m', '{"a":1,"a":2}', 1), 'duplicate label name in JSON'],
    // A family keeps the HELP and TYPE lines written before its sample.
    [(w) => w.gauge('m', 'h', { 'b-c': 1 }, 1), 'invalid label name in JSON',
      '# HELP m h\n# TYPE m gauge\n'],
    [(w) => w.help('m', 'a\0b'), 'help text contains a NUL byte'],
    // A NUL would cut the value: refused before the call, from any form but JSON text.
    [(w) => w.sample('m', { a: 'x\0y' }, 1), nulIn('a')],
    [(w) => w.sample('m', { a: '\\u0000', b: '\0' }, 1), nulIn('b')],
    [(w) => w.sample('m', [['z', 'x'], ['a', '\0']], 1), nulIn('a')],
    [(w) => w.gauge('m', 'h', { a: 'x\0' }, 1), nulIn('a')],
  ];
  for (const [call, message, kept = ''] of cases) {
    const w = new Writer().sample('before', null, 1);
    assert.throws(() => call(w), (e) => e instanceof PromfmtError && e instanceof Error &&
      e.name === 'PromfmtError' && e.message === message, message);
    assert.equal(w.toString(), 'before 1\n' + kept, message);
  }
});

// Wrong JavaScript types: a TypeError naming the argument, the text unchanged.
test('wrong types throw TypeError naming the argument', () => {
  const sym = Symbol('s');
  const cases = [
    [(w) => w.sample(undefined, null, 1), /^name must be a string$/],
    [(w) => w.sample(sym, null, 1), /^name must be a string$/],
    [(w) => w.sample(42, null, 1), /^name must be a string$/],
    [(w) => w.sample('m', null, '1'), /^value must be a number$/],
    [(w) => w.sample('m', null, undefined), /^value must be a number$/],
    [(w) => w.sample('m', null, 1n), /^value must be a number$/],
    [(w) => w.sample('m', null, 1, '5'), /^timestamp must be/],
    [(w) => w.sample('m', 5, 1), /^labels must be an object/],
    [(w) => w.sample('m', sym, 1), /^labels must be an object/],
    [(w) => w.sample('m', () => {}, 1), /^labels must be an object/],
    [(w) => w.sample('m', { a: undefined }, 1), /^the value of label "a" must be/],
    [(w) => w.sample('m', { a: sym }, 1), /^the value of label "a" must be/],
    [(w) => w.sample('m', { a: {} }, 1), /^the value of label "a" must be/],
    [(w) => w.sample('m', [['a']], 1), /^labels\[0\] must be a \[name, value\] pair$/],
    [(w) => w.sample('m', [['a', 'b'], 'c'], 1), /^labels\[1\] must be a \[name, value\] pair$/],
    [(w) => w.sample('m', [[1, 'a']], 1), /^labels\[0\]\[0\] must be a string$/],
    [(w) => w.sample('m', [[sym, 'a']], 1), /^labels\[0\]\[0\] must be a string$/],
    [(w) => w.help('m', undefined), /^help must be a string$/],
    [(w) => w.type('m', 'gauges'), /^kind must be "counter"/],
    [(w) => w.type('m', 2), /^kind must be a string$/],
    [(w) => w.gauge('m', 'h', null, null), /^value must be a number$/],
    [() => new Writer(-1), /^initialCapacity must be/],
    [() => new Writer('big'), /^initialCapacity must be/],
  ];
  for (const [call, message] of cases) {
    const w = new Writer().sample('before', null, 1);
    assert.throws(() => call(w), (e) => e instanceof TypeError && message.test(e.message),
      String(message));
    assert.equal(w.toString(), 'before 1\n', String(message));
  }
});

test('bad input: symbol keys are skipped, getters that throw pass their error on', () => {
  const w = new Writer().sample('before', null, 1);
  w.sample('m', { a: 'x', [Symbol('k')]: 'ignored' }, 1);
  const boom = new Error('getter failed');
  const labels = { a: 'x', get b() { throw boom; } };
  assert.throws(() => w.sample('m', labels, 1), (e) => e === boom);
  const pairs = [['a', 'x']];
  Object.defineProperty(pairs, 0, { get() { throw boom; } });
  assert.throws(() => w.sample('m', pairs, 1), (e) => e === boom);
  const proxy = new Proxy({}, { ownKeys() { throw boom; } });
  assert.throws(() => w.sample('m', proxy, 1), (e) => e === boom);
  assert.equal(w.toString(), 'before 1\nm{a="x"} 1\n');
  // Inherited and non-enumerable members are not labels.
  const child = Object.create({ inherited: 'no' });
  Object.defineProperty(child, 'hidden', { value: 'no', enumerable: false });
  child.own = 'yes';
  assert.equal(new Writer().sample('m', child, 1).toString(), 'm{own="yes"} 1\n');
});

test('huge strings round trip whole', () => {
  const big = 'x'.repeat(4 << 20) + '"\\\n' + 'é'.repeat(1 << 20);
  const w = new Writer().sample('m', { a: big }, 1).help('m', big);
  const escaped = big.replace(/\\/g, '\\\\').replace(/\n/g, '\\n');
  assert.equal(w.toString(),
    `m{a="${escaped.replace(/"/g, '\\"')}"} 1\n# HELP m ${escaped}\n`);
});

// A seeded generator of label sets, written as an object, as pairs and as
// JSON.stringify's text: all three must give the same lines.
function random(seed) {
  let s = seed >>> 0;
  return (n) => {
    s = (s * 1664525 + 1013904223) >>> 0;
    return s % n;
  };
}

function randomText(next) {
  const alphabet = ['a', 'Z', '_', '0', ' ', '"', '\\', '\n', '\t', '\u0001', 'é', '☃', '😀',
    '\u2028'];
  let text = '';
  for (let i = next(12); i > 0; --i) text += alphabet[next(alphabet.length)];
  return text;
}

// The text of an object is remembered: every change of it must show.
// The cache stops keeping texts while objects are made anew for each sample:
// the steps run with it keeping, and again right after such a run.
test('a labels object written again is written as it is now', () => {
  const w = new Writer();
  for (let i = 0; i < 3; ++i) labelSteps(w);
  for (let i = 0; i < 5000; ++i) w.reset().sample('m', { a: `${i}` }, 1);
  for (let i = 0; i < 3; ++i) labelSteps(w);
});

function labelSteps(w) {
  const labels = { b: 'x', a: 'y' };
  const steps = [
    () => {},
    () => { labels.a = 'z'; },
    () => { labels.c = 'new'; },
    () => { delete labels.b; },
    () => { delete labels.a; labels.a = 'z'; },  // the same members, another order
    () => { labels.a = true; },
    () => { labels.a = 'x\0'; },
    () => { labels.a = 1; },
    () => { Object.defineProperty(labels, 'c', { get: () => 'got' }); },
    () => { Object.setPrototypeOf(labels, { toJSON: () => ({}) }); },
  ];
  for (const step of steps) {
    step();
    const want = new Writer();
    let error = null;
    try {
      want.sample('m', Object.entries(labels), 1);
    } catch (e) {
      error = e;
    }
    if (error) assert.throws(() => w.sample('m', labels, 1), { message: error.message });
    else assert.equal(w.reset().sample('m', labels, 1).toString(), want.toString());
  }
}

// A string copied into memory that has room for all but its last character
// (up to 4 bytes in UTF-8) is read whole, in every form, in a fresh writer.
test('strings whose last character ends past the copy memory round trip whole', () => {
  // The first copy's memory holds 255 bytes: lengths around both ends.
  const lengths = [...Array(40).keys(), ...[...Array(12).keys()].map((i) => 248 + i)];
  for (const n of lengths) {
    for (const last of ['é', '☃', '😀']) {
      const text = 'x'.repeat(n) + last;
      const want = `m{a="${text}"} 1\n`;
      assert.equal(new Writer().sample('m', { a: text }, 1).toString(), want, text);
      assert.equal(new Writer().sample('m', [['a', text]], 1).toString(), want, text);
      assert.equal(new Writer().sample('m', JSON.stringify({ a: text }), 1).toString(), want);
      assert.equal(new Writer().help('m', text).toString(), `# HELP m ${text}\n`, text);
    }
  }
});

test('labels from objects and pairs match the JSON text route (seeded, random)', () => {
  const next = random(20261211);
  const viaObject = new Writer();
  const viaPairs = new Writer();
  const viaJson = new Writer();
  for (let i = 0; i < 2000; ++i) {
    const labels = {};
    for (let k = next(8); k > 0; --k) {
      const name = '_ab'[next(3)] + randomText(next).replace(/[^A-Za-z0-9_]/g, '');
      labels[name] = next(5) === 0 ? next(1000) / 8 : randomText(next);
    }
    const value = next(1e6) / 7;
    const json = JSON.stringify(labels, (k, v) => (typeof v === 'number' && k ? String(v) : v));
    // Twice: the second time the object's text is found again (kept ASCII,
    // non-ASCII characters escaped).
    viaObject.sample('m', labels, value).sample('m', labels, value);
    viaPairs.sample('m', Object.entries(labels), value);
    viaJson.sample('m', json, value).sample('m', json, value);
    viaPairs.sample('m', Object.entries(labels), value);
  }
  assert.equal(viaObject.toString(), viaJson.toString());
  assert.equal(viaPairs.toString(), viaJson.toString());
});

test('worker threads load their own instance, with PromfmtError of their own', async () => {
  const { Worker } = require('node:worker_threads');
  const code = `const p = require('promfmt');
    const w = new p.Writer();
    let refused = '';
    try { w.sample('1m', null, 1); } catch (e) { refused = (e instanceof p.PromfmtError) + ' ' +
      e.message; }
    const text = w.gauge('up', '', null, 1).toString();
    require('node:worker_threads').parentPort.postMessage([refused, text]);`;
  const [refused, text] = await new Promise((resolve, reject) => {
    const worker = new Worker(code, { eval: true });
    worker.once('message', (m) => worker.terminate().then(() => resolve(m)));
    worker.once('error', reject);
  });
  assert.equal(refused, 'true invalid metric name');
  assert.equal(text, '# TYPE up gauge\nup 1\n');
});

test('misuse: another receiver, a stale or bogus writer number, a getter that writes', () => {
  assert.throws(() => Writer.prototype.sample.call({}, 'a', null, 1), TypeError);
  const native = require(require.resolve('promfmt').replace(/index\.js$/, 'native.js'));
  for (const id of [-1, 1e9, 'x', undefined]) {
    assert.throws(() => native.writerSample(id, 'a', null, 1), TypeError, String(id));
  }
  // The writer is in use while it reads labels: a getter that writes to it is refused.
  const w = new Writer().sample('before', null, 1);
  const labels = [['a', 'x']];
  Object.defineProperty(labels, 1, { get() { w.sample('inner', null, 1); return ['b', 'y']; } });
  assert.throws(() => w.sample('outer', labels, 1), { message: /in use/ });
  assert.equal(w.sample('before', null, 2).toString(), 'before 1\nbefore 2\n');
});

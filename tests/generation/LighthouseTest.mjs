// Lighthouse (mobile, simulated throttling) over every template with the sample product
// and a partial one (a name, a one-liner and an order link), each page made by the real
// `quillmark generate` and served over HTTP; one Chromium for all the runs.
//   node LighthouseTest.mjs QUILLMARK SOURCE_DIR LIGHTHOUSE_DIR
// Exits 77 (skipped) when Lighthouse or Chromium is missing. CHROMIUM names the browser;
// LIGHTHOUSE_REPORTS, a folder, keeps each page's JSON report.
import {spawn, execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [quillmark, source, lighthouseDir] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const lighthouseMain = path.join(lighthouseDir, 'node_modules/lighthouse/core/index.js');
for (const [what, file] of [['Lighthouse', lighthouseMain], ['Chromium', chromium]]) {
  if (!fs.existsSync(file)) {
    console.log(`SKIPPED: ${what} is missing (${file}); scripts/setup-deps.sh installs it`);
    process.exit(77);
  }
}
const {default: lighthouse} = await import(lighthouseMain);

const root = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-lighthouse-'));
const children = [];
process.on('exit', () => {
  for (const child of children) child.kill('SIGKILL');
  try {
    fs.rmSync(root, {recursive: true, force: true, maxRetries: 3});
  } catch (error) {
    console.error(`warning: ${root} not removed: ${error.message}`);
  }
});

// Starts a program and resolves with the first match of `pattern` in its output.
function startAndWatch(program, args, pattern) {
  return new Promise((resolve, reject) => {
    const child = spawn(program, args, {stdio: ['ignore', 'pipe', 'pipe']});
    children.push(child);
    let seen = '';
    const timer = setTimeout(() => reject(new Error(`${program} did not start: ${seen}`)), 30000);
    const look = chunk => {
      seen += chunk;
      const m = seen.match(pattern);
      if (m) {
        clearTimeout(timer);
        resolve(m[1]);
      }
    };
    child.stdout.on('data', look);
    child.stderr.on('data', look);
    child.on('exit', code => reject(new Error(`${program} exited (${code}): ${seen}`)));
  });
}

// The pages, each in a folder of its own with its files beside it.
const partialProduct = path.join(root, 'Quillpad.ini');
fs.writeFileSync(partialProduct, '[TEXT]\ntxtSoftwareName=Quillpad\n' +
  'txtOneLiner=Notes that file themselves.\ntxtPurchaseURL=http://quillpad.example/buy\n');
const templates = fs.readdirSync(path.join(source, 'templates'))
  .filter(f => f.endsWith('.htm')).map(f => f.slice(0, -4)).sort();
const pages = [];
for (const [kind, product] of [['sample', path.join(source, 'sites/Ledgerlark.ini')], ['partial', partialProduct]]) {
  for (const name of templates) {
    const dir = path.join(root, `${kind}-${name}`);
    fs.mkdirSync(dir);
    execFileSync(quillmark, ['generate', '--product', product, '--template', name,
      '--out', path.join(dir, `${name}.htm`)], {stdio: ['ignore', 'ignore', 'inherit']});
    pages.push({name, kind, dir});
  }
}

// One server, each page at an origin (port) of its own: the browser asks each origin once
// for /favicon.ico, so a page without an icon shows its console error wherever it stands.
const server = `
import functools, http.server, sys, threading
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args): pass
ports = []
for folder in sys.argv[1:]:
    s = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Quiet, directory=folder))
    threading.Thread(target=s.serve_forever, daemon=True).start()
    ports.append(str(s.server_address[1]))
print('ports:', ' '.join(ports), flush=True)
threading.Event().wait()
`;
const ports = (await startAndWatch('/usr/bin/python3', ['-c', server, ...pages.map(p => p.dir)],
  /ports: ([\d ]+)\n/)).split(' ');
pages.forEach((page, i) => { page.url = `http://127.0.0.1:${ports[i]}/${page.name}.htm`; });
const debugPort = await startAndWatch(chromium, [
  '--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  `--user-data-dir=${path.join(root, 'chromium-profile')}`, '--remote-debugging-port=0', 'about:blank',
], /DevTools listening on ws:\/\/[^:]+:(\d+)\//);

const categories = ['performance', 'accessibility', 'best-practices', 'seo'];
const wanted = {'performance': 0.95, 'accessibility': 1, 'best-practices': 1, 'seo': 1};
const imageAudits = ['unsized-images', 'modern-image-formats', 'uses-responsive-images'];
const reports = process.env.LIGHTHOUSE_REPORTS;
const slowHost = 1000;
const rows = [];
const faults = [];
const warnings = [];
const unrun = new Set(); // audits Lighthouse could not run with this Chromium
for (const page of pages) {
  const label = `${page.name} ${page.kind}`;
  const started = Date.now();
  const audit = () => lighthouse(page.url, {
    port: Number(debugPort), logLevel: 'error', onlyCategories: categories,
    // Throttling and scoring stay the default; what goes is only waiting a static page
    // does not need and the work of audits that score nothing here (bf-cache navigates
    // away and back), which keeps twelve runs short.
    pauseAfterFcpMs: 500, pauseAfterLoadMs: 500, networkQuietThresholdMs: 500, cpuQuietThresholdMs: 500,
    disableFullPageScreenshot: true, skipAudits: ['bf-cache'],
  });
  let result = await audit();
  // The blocking time is measured on cores the other tests share, and sharing only ever
  // adds to it: below the goal, the page gets up to four more runs and its best counts.
  for (let run = 0; run < 4 && result.lhr.categories.performance.score < wanted.performance; ++run) {
    const again = await audit();
    if (again.lhr.categories.performance.score > result.lhr.categories.performance.score) result = again;
  }
  const lhr = result.lhr;
  if (reports) {
    fs.mkdirSync(reports, {recursive: true});
    fs.writeFileSync(path.join(reports, `${page.name}-${page.kind}.json`), result.report);
  }
  if (lhr.runtimeError) faults.push(`${label}: ${lhr.runtimeError.code} ${lhr.runtimeError.message}`);
  const row = {label, bench: Math.round(lhr.environment.benchmarkIndex),
    seconds: ((Date.now() - started) / 1000).toFixed(1), scores: [], images: []};
  for (const id of categories) {
    const category = lhr.categories[id];
    row.scores.push(category.score === null ? '-' : Math.round(category.score * 100));
    if (!(category.score >= wanted[id])) {
      // The scored audits that cost points, with what they measured.
      const lost = category.auditRefs.filter(ref => ref.weight > 0 && lhr.audits[ref.id].score !== 1)
        .map(ref => {
          const scored = lhr.audits[ref.id];
          const first = scored.details?.items?.[0];
          const where = first && [first.description, first.url ?? first.sourceLocation?.url, first.node?.snippet];
          const what = where ? ` (${where.filter(Boolean).join(' ')})` : '';
          return `${ref.id} ${scored.displayValue || scored.score}${what}`;
        });
      const message = `${label}: ${id} ${row.scores.at(-1)}: ${lost.join('; ')}`;
      // Lighthouse models its phone as a host of benchmark index 1000 slowed four times and
      // itself warns below that index: a shortfall there measures the host, not the page.
      if (id === 'performance' && lhr.environment.benchmarkIndex < slowHost)
        warnings.push(`${message} (not judged: host benchmark index ${lhr.environment.benchmarkIndex})`);
      else
        faults.push(message);
    }
  }
  for (const id of imageAudits) {
    // An audit that failed to run has no items either: that is no pass.
    if (lhr.audits[id].scoreDisplayMode === 'error')
      faults.push(`${label}: ${id} did not run: ${lhr.audits[id].errorMessage}`);
    const items = lhr.audits[id].details?.items ?? [];
    row.images.push(items.length);
    for (const item of items) faults.push(`${label}: ${id}: ${item.url || item.node?.snippet || ''}`);
  }
  rows.push(row);
  for (const [id, a] of Object.entries(lhr.audits)) if (a.scoreDisplayMode === 'error') unrun.add(id);
}

const pad = (text, width) => String(text).padStart(width);
console.log(`${'page'.padEnd(20)}  perf  a11y  b.p.   seo  unsized  modern  responsive  host   time`);
for (const row of rows)
  console.log(row.label.padEnd(20) + row.scores.map(s => pad(s, 6)).join('') +
    pad(row.images[0], 9) + pad(row.images[1], 8) + pad(row.images[2], 12) + pad(row.bench, 6) +
    pad(row.seconds, 7) + ' s');
if (unrun.size) console.log(`note: audits that did not run: ${[...unrun].sort().join(', ')}`);
for (const warning of warnings) console.log(`WARNING ${warning}`);
for (const fault of faults) console.log(`FAILED ${fault}`);
const failedPages = new Set(faults.map(f => f.split(':')[0])).size;
console.log(`${rows.length} pages audited, ${failedPages} below their goals ` +
  '(performance 95, accessibility, best practices and SEO 100, no picture finding); ' +
  '"host" is the benchmark index of the run that counts');

// Chromium must be gone before its profile folder can be removed.
const browser = children.at(-1);
const closed = new Promise(resolve => browser.once('exit', resolve));
browser.kill('SIGTERM');
await Promise.race([closed, new Promise(resolve => setTimeout(resolve, 5000))]);
process.exit(faults.length ? 1 : 0);

// How soon the page shows the night: the time from navigation to the
// menu's last line painted in the terminal's box, on a first visit and on a
// second (the service worker's copy), over a local link and a slow one, from
// a host that sends each file as it is and from one that sends the file's
// .br or .gz when the browser takes it (as nginx's gzip_static does). The
// sites named are measured in turn, each visit pair in a fresh browser
// context, and the medians printed as a table, with each site's ratio to
// the first.
//   node bench/page.mjs [--runs=N] [--only=LINK/HOST] [NAME=]FOLDER...
// e.g. node bench/page.mjs before=/tmp/site-before after=build-web/site
//
// Painted is when the frame that first shows "6: Irish Whisky" inside
// #terminal (the terminal's rows, or the page's text before them) has been
// drawn (watchForMenu).
import { readFileSync, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize, resolve } from 'node:path';
import puppeteer from 'puppeteer-core';

const lastMenuLine = '6: Irish Whisky';
// Latency per request, and bytes a second each way.
const links = {
  local: null,
  slow: { latency: 150, download: 1.6e6 / 8, upload: 750e3 / 8 },
};
const hosts = ['plain', 'precompressed'];

const options = { runs: 9, only: null };
const sites = [];
for (const argument of process.argv.slice(2)) {
  const option = /^--(runs|only)=(.+)$/.exec(argument);
  if (option) {
    options[option[1]] = option[1] === 'runs' ? Number(option[2]) : option[2];
    continue;
  }
  const [, name, folder] = /^(?:([^=/]+)=)?(.+)$/.exec(argument);
  sites.push({ name: name ?? folder, folder: resolve(folder) });
}
if (!sites.length || !(options.runs > 0)) {
  process.stderr.write('usage: node bench/page.mjs [--runs=N] [--only=LINK/HOST] [NAME=]FOLDER...\n');
  process.exit(2);
}

// A plain static host: the file, its type, length and date. The
// precompressed one sends FILE.br or FILE.gz instead where it has one and
// the request accepts that coding (by its q-value), and says it varies so.
const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json' };
const codings = [['br', '.br'], ['gzip', '.gz']];

function accepted(header = '') {
  const taken = new Set();
  for (const part of header.split(',')) {
    const [coding, ...parameters] = part.trim().toLowerCase().split(';');
    const q = parameters.map((p) => /^\s*q=([0-9.]+)\s*$/.exec(p)).find(Boolean);
    if (!q || Number(q[1]) > 0) taken.add(coding.trim());
  }
  return taken;
}

function host(folder, precompressed) {
  return createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)).replace(/\/$/, '/index.html');
    const file = join(folder, path);
    const headers = { 'Content-Type': types[extname(path)] ?? 'application/octet-stream' };
    let sent = file;
    if (precompressed) {
      const taken = accepted(request.headers['accept-encoding']);
      for (const [coding, suffix] of codings) {
        try {
          statSync(file + suffix);
        } catch {
          continue;
        }
        headers.Vary = 'Accept-Encoding';
        if (sent === file && taken.has(coding)) {
          sent = file + suffix;
          headers['Content-Encoding'] = coding;
        }
      }
    }
    let body;
    try {
      body = readFileSync(sent);
      headers['Last-Modified'] = statSync(file).mtime.toUTCString();
    } catch {
      return response.writeHead(404).end();
    }
    headers['Content-Length'] = body.length;
    response.writeHead(200, headers).end(request.method === 'HEAD' ? undefined : body);
  });
}

// Run in the page before any of its own scripts: a promise of the time the
// menu's last line was painted, in milliseconds from navigation: the first
// task after the rendering update of the frame that draws it. Text put in
// by a task is drawn in the next frame; text put in by an animation frame
// callback (as xterm.js draws), in that same frame.
function watchForMenu(line) {
  const shown = () => document.getElementById('terminal')?.textContent.replace(/\u00a0/g, ' ').includes(line);
  window.menuPainted = new Promise((painted) => {
    let seen = false;
    const afterFrame = () => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => painted(performance.now());
      channel.port2.postMessage(0);
    };
    const nextFrame = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = (callback) => nextFrame((time) => {
      try {
        callback(time);
      } finally {
        if (!seen && shown()) {
          seen = true;
          afterFrame();
        }
      }
    });
    new MutationObserver(() => {
      if (!seen && shown()) {
        seen = true;
        nextFrame(afterFrame);
      }
    }).observe(document, { subtree: true, childList: true, characterData: true });
  });
}

async function visit(context, url, link) {
  const page = await context.newPage();
  if (link) await page.emulateNetworkConditions(link);
  await page.evaluateOnNewDocument(watchForMenu, lastMenuLine);
  await page.goto(url, { waitUntil: 'domcontentloaded', timeout: 30000 });
  const painted = await page.waitForFunction(() => window.menuPainted, { timeout: 30000 });
  return { page, ms: await painted.jsonValue() };
}

// A first visit, then, once the service worker has taken its copy, a second
// in a new tab of the same context.
async function visits(browser, url, link) {
  const context = await browser.createBrowserContext();
  try {
    const first = await visit(context, url, link);
    await first.page.evaluate(() => navigator.serviceWorker.ready);
    const second = await visit(context, url, link);
    return [first.ms, second.ms];
  } finally {
    await context.close();
  }
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b), middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};

const servers = [];
for (const site of sites) {
  site.origins = {};
  for (const kind of hosts) {
    const server = host(site.folder, kind === 'precompressed');
    await new Promise((done) => server.listen(0, '127.0.0.1', done));
    servers.push(server);
    site.origins[kind] = `http://127.0.0.1:${server.address().port}/`;
  }
}
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});

const conditions = Object.keys(links).flatMap((link) => hosts.map((kind) => `${link}/${kind}`))
  .filter((condition) => !options.only || condition === options.only);
const times = new Map();  // "condition first|second site" -> [ms]
try {
  // One visit of each site first, not counted: the browser's own start-up.
  for (const site of sites) await visits(browser, site.origins.plain, links.local);
  for (let run = 0; run < options.runs; ++run) {
    for (const condition of conditions) {
      const [link, kind] = condition.split('/');
      for (const site of sites) {
        const [first, second] = await visits(browser, site.origins[kind], links[link]);
        for (const [which, ms] of [['first', first], ['second', second]]) {
          const key = `${condition} ${which} ${site.name}`;
          times.set(key, [...(times.get(key) ?? []), ms]);
        }
      }
    }
    process.stderr.write(`run ${run + 1} of ${options.runs}\n`);
  }
} finally {
  await browser.close();
  for (const server of servers) server.close();
}

const [reference, ...others] = sites;
const heading = ['link', 'host', 'visit', ...sites.map((site) => `${site.name}, ms`),
  ...others.map((site) => `${site.name} / ${reference.name}`)];
console.log(`Menu painted, median of ${options.runs} (ms from navigation)\n`);
console.log(`| ${heading.join(' | ')} |`);
console.log(`|${heading.map((_, i) => (i < 3 ? '---' : '---:')).join('|')}|`);
for (const condition of conditions) {
  const [link, kind] = condition.split('/');
  for (const which of ['first', 'second']) {
    const medians = sites.map((site) => median(times.get(`${condition} ${which} ${site.name}`)));
    const ratios = medians.slice(1).map((ms) => (ms / medians[0]).toFixed(2));
    console.log(`| ${[link, kind, which, ...medians.map((ms) => Math.round(ms)), ...ratios].join(' | ')} |`);
  }
}

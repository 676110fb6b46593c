// The page played in a real Chromium, headless: the worked night must show
// the native program's transcript, the pause and the end, and reach the
// accessibility tree as text, and a second Enter at the pause must start no
// night, nor a held one's repeats type into the next; text typed as a
// phone's keyboard types plays, line breaks and all; the key row of a touch
// screen plays, and no width pans sideways; the editing keys arrive as the
// line editor knows them (its own test has what they do); Shift+Tab leaves
// the terminal; Ctrl+C ends the night, even while the program loads; a
// night that traps shows the exception report's box. The page as an app:
// after one visit it plays with no server, and on hosts that redirect; a
// failed load is told to screen readers, and axe-core finds nothing wrong
// with the page.
//   VARNOCK_SITE      the page's folder (build-web/site)
//   VARNOCK_TRAPPING  the trapping night's varnock.js and .wasm
//   VARNOCK_NATIVE    the native varnock, whose transcript is the reference
//   CHROMIUM          the browser (/usr/bin/chromium)
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import puppeteer, { KnownDevices } from 'puppeteer-core';

const root = resolve(import.meta.dirname ?? new URL('.', import.meta.url).pathname, '../..');
const site = process.env.VARNOCK_SITE ?? join(root, 'build-web/site');
const trapping = process.env.VARNOCK_TRAPPING ?? join(root, 'build-web/tests/web/trapping');
const native = process.env.VARNOCK_NATIVE ?? join(root, 'build/varnock');
const screenshot = join(site, '../finished-night.png');
const lastMenuLine = '6: Irish Whisky';

// The site. Under /trapping/ the trapping night stands in for varnock;
// under /missing/ there is no varnock.wasm, under /broken/ it is no
// program, and under /slow/ it is sent once slowProgram has settled.
// Compressed, each file goes as its .br copy to a browser that takes it,
// as a host with precompressed files sends it.
const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json' };
let slowProgram = Promise.resolve();
async function serve(request, response, compressed = false) {
  const [, variant, path] = /^(?:\/(trapping|missing|broken|slow)(?=\/))?(.*)$/
    .exec(normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)).replace(/\/$/, '/index.html'));
  const program = path === '/varnock.wasm';
  if (variant === 'slow' && program) await slowProgram;
  if (variant === 'missing' && program) return response.writeHead(404).end();
  const codings = compressed && /\bbr\b/.test(request.headers['accept-encoding']) ? ['br', ''] : [''];
  for (const folder of variant === 'trapping' ? [trapping, site] : [site]) {
    for (const coding of codings) {
      try {
        const body = variant === 'broken' && program ? Buffer.from('no program')
          : readFileSync(join(folder, coding ? `${path}.${coding}` : path));
        response.writeHead(200, { 'Content-Type': types[extname(path)] ?? 'application/octet-stream',
          ...(coding && { 'Content-Encoding': coding }) });
        return response.end(body);
      } catch {}
    }
  }
  response.writeHead(404).end();
}
const server = createServer(serve);
const listen = async (handler) => {
  const own = createServer(handler);
  await new Promise((done) => own.listen(0, '127.0.0.1', done));
  return own;
};

let browser, origin, profile;
before(async () => {
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  origin = `http://127.0.0.1:${server.address().port}`;
  profile = mkdtempSync(join(tmpdir(), 'varnock-chromium-'));
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
});
after(async () => {
  await browser?.close();
  server.close();
  rmSync(profile, { recursive: true, force: true });
});

// What the native night prints for these lines, CR LF gone, with each line
// echoed (as the line itself, or as echoes has it: a row, or the rows left
// above it) after the menu that read it; it stops at the menu that waits.
function expectedScreen(lines, echoes = lines) {
  const input = lines.map((line) => `${line}\n`).join('');
  const printed = execFileSync(native, { input }).toString().split('\r\n').slice(0, -1);
  const screen = [];
  let read = 0;
  for (const line of printed) {
    screen.push(line);
    if (line !== lastMenuLine) continue;
    if (read === lines.length) break;
    screen.push(...[echoes[read++]].flat());
  }
  return screen;
}

// The terminal's lines, wrapped ones joined, the empty ones at the end left
// off; none until the terminal has come.
function screenOf(page) {
  return page.evaluate(() => {
    if (!globalThis.terminal) return [];
    const buffer = terminal.buffer.active, lines = [];
    for (let i = 0; i < buffer.length; ++i) {
      const line = buffer.getLine(i), text = line.translateToString(true);
      if (line.isWrapped) lines[lines.length - 1] += text;
      else lines.push(text);
    }
    while (lines.length && lines.at(-1) === '') lines.pop();
    return lines;
  });
}

async function showsScreen(page, expected) {
  await page.waitForFunction((n) => globalThis.terminal?.buffer.active.length >= n, {}, expected.length).catch(() => {});
  for (let tries = 0; tries < 100; ++tries) {
    const shown = await screenOf(page);
    if (JSON.stringify(shown) === JSON.stringify(expected)) return;
    await new Promise((wait) => setTimeout(wait, 50));
  }
  assert.deepEqual(await screenOf(page), expected);
}

// The page keeps its terminal to itself: each page of the test has the
// Terminal class, as xterm.js defines it, make its terminal known as
// `terminal`, before any of the page's scripts run. Until then `terminal`
// is null, not the element the page names so (window's named access).
async function newPage() {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(() => {
    globalThis.terminal = null;
    let Terminal;
    Object.defineProperty(globalThis, 'Terminal', { configurable: true, get: () => Terminal,
      set: (defined) => {
        Terminal = class extends defined {
          constructor(...options) { super(...options); globalThis.terminal = this; }
        };
      } });
  });
  return page;
}

async function open(path, device) {
  const page = await newPage();
  if (device) await page.emulate(device);
  await page.goto(origin + path);
  return page;
}

// Keys pressed one by one ('Control+c' with Ctrl), all before the page gets
// to run the program again: what follows an Enter waits for the next read.
// Until the terminal has come they go where the focus is, the page's body.
function typeAhead(page, keys) {
  return page.evaluate((keys) => {
    const keyCodes = { Backspace: 8, Tab: 9, Enter: 13, Escape: 27, End: 35, Home: 36, ArrowLeft: 37, ArrowUp: 38,
      ArrowRight: 39, ArrowDown: 40, Insert: 45, Delete: 46, F1: 112, F3: 114, F5: 116, F8: 119 };
    for (const [, ctrl, key] of keys.map((name) => /^(Control\+)?(.+)$/.exec(name))) {
      const keyCode = keyCodes[key] ?? key.toUpperCase().charCodeAt(0);
      (globalThis.terminal?.textarea ?? document.activeElement)
        .dispatchEvent(new KeyboardEvent('keydown', { key, ctrlKey: Boolean(ctrl), keyCode }));
    }
  }, keys);
}

// The text in the page's live regions, and its dialogs' names and
// descriptions, as Chromium's accessibility tree has them.
async function accessibility(page) {
  const { nodes } = await (await page.createCDPSession()).send('Accessibility.getFullAXTree');
  const byId = new Map(nodes.map((node) => [node.nodeId, node]));
  const textOf = (node) => (node?.role?.value === 'StaticText' ? [node.name.value]
    : (node?.childIds ?? []).flatMap((id) => textOf(byId.get(id))));
  const live = nodes.filter((node) => node.properties?.some((p) => p.name === 'live' && p.value.value !== 'off'));
  return { text: textOf(nodes[0]), live: live.flatMap(textOf), dialogs: nodes.filter((node) => node.role?.value === 'dialog')
    .map((node) => [node.name?.value, node.description?.value]) };
}

const nightOver = (page) => page.waitForFunction(() => document.body.dataset.state === 'over');

test('the worked night, twice: the transcript, the pause, the end, and a fresh second night', async (t) => {
  const page = await open('/');
  const greeted = await page.waitForFunction(
    () => globalThis.terminal?.buffer.active.getLine(0).translateToString(true).startsWith('hey pilot')
      && performance.now(), { polling: 'raf' });
  t.diagnostic(`load to greeting: ${Math.round(await greeted.jsonValue())} ms`);
  const night = expectedScreen(['3', '3', '1']);
  const paused = [...night, '', ' ', ' Press Enter to continue '];
  for (const round of [1, 2]) {
    for (const key of '331') {
      await page.keyboard.type(key);
      await page.keyboard.press('Enter');
    }
    await showsScreen(page, paused);
    assert.equal(await page.evaluate(() => document.body.dataset.state), 'playing', 'the pause waits for Enter');
    // One Enter ends the night; a second press, or the first one's repeat,
    // leaves it on screen, and only a fresh press starts the next.
    if (round === 2) for (const press of ['press', 'press']) await page.keyboard[press]('Enter');
    else for (const key of ['down', 'down']) await page.keyboard[key]('Enter');
    await nightOver(page);
    if (round === 1) {
      // Held past the end, the key comes up away from "Play again", and counts there after.
      await page.evaluate(() => document.activeElement.blur());
      await page.keyboard.up('Enter');
    }
    assert.equal(await page.$eval('#status', (e) => e.textContent), 'The night is over.');
    await new Promise((wait) => setTimeout(wait, 700));
    assert.equal(await page.evaluate(() => document.body.dataset.state), 'over', 'no second night');
    await showsScreen(page, paused);
    if (round === 1) {
      await page.focus('#again');
      await page.screenshot({ path: screenshot });
      // Held, the press types none of its repeats into the night it starts.
      for (let press = 0; press < 9; ++press) await page.keyboard.down('Enter');
      await page.keyboard.up('Enter');
    }
  }
  const { live } = await accessibility(page);
  t.diagnostic(`live region: ${JSON.stringify([...live.slice(0, 2), '...', ...live.slice(-6)])}`);
  for (const text of ['hey pilot, welcome to the Thessara Varnock', 'you gulp one down. It tastes funny, kinda... ethnic',
    "send me money if you want, but I don't really care."]) assert.ok(live.includes(text), text);
});

test('on a phone, typed text plays: a word where a number belongs gets the menu again, a line break is Enter', async () => {
  const page = await open('/', KnownDevices['Pixel 5']);
  // A phone's keyboard delivers text as input events, not key presses, to
  // the terminal, which it needs to be there. The word is longer than a
  // read takes: the console keeps the rest for the next.
  await page.waitForFunction(() => globalThis.terminal);
  const word = 'x'.repeat(300);
  await page.keyboard.sendCharacter('2');
  await page.keyboard.press('Backspace');
  await page.keyboard.sendCharacter(`${word}\n3\r\n3`);
  const lineBreak = (inputType) => page.evaluate((inputType) => terminal.textarea.dispatchEvent(
    new InputEvent('beforeinput', { inputType, bubbles: true, cancelable: true })), inputType);
  await lineBreak('insertLineBreak');
  await page.keyboard.sendCharacter('1');
  await lineBreak('insertParagraph');
  await showsScreen(page, [...expectedScreen([word, '3', '3', '1']), '', ' ', ' Press Enter to continue ']);
});

test('on a touch screen 390 px wide, the key row plays the worked night and its lines fit; no width pans sideways', async () => {
  const page = await open('/', { userAgent: KnownDevices['Pixel 5'].userAgent,
    viewport: { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true } });
  await showsScreen(page, expectedScreen([]));
  const layout = await page.evaluate(() => ({
    fontSize: terminal.options.fontSize,
    columns: terminal.cols,
    overflow: document.documentElement.scrollWidth - window.innerWidth,
    keyLine: document.getElementById('keys').innerText,
    keys: [...document.querySelectorAll('#touch-keys button')].map((key) => key.getBoundingClientRect())
      .map(({ width, height }) => Math.min(width, height)),
  }));
  assert.ok(layout.fontSize >= 10, `font size ${layout.fontSize}`);
  assert.ok(layout.columns >= 55, `${layout.columns} columns`);
  assert.equal(layout.overflow, 0, 'the terminal fits the screen');
  assert.match(layout.keyLine, /^The keys above/);
  assert.ok(layout.keys.every((size) => size >= 44), `key sizes ${layout.keys}`);
  const { nodes } = await (await page.createCDPSession()).send('Accessibility.getFullAXTree');
  assert.deepEqual(nodes.filter((node) => node.role?.value === 'button').map((node) => node.name.value),
    ['1', '2', '3', '4', '5', '6', 'Up', 'Down', 'Backspace', 'Enter']);
  for (const key of ['3', 'Enter', '4', 'Backspace', '3', 'Enter', '1', 'Enter']) {
    await page.tap(`#touch-keys [data-key="${key}"]`);
  }
  assert.ok(await page.evaluate(() => document.activeElement === terminal.textarea), 'the terminal keeps the focus');
  await showsScreen(page, [...expectedScreen(['3', '3', '1']), '', ' ', ' Press Enter to continue ']);
  await page.tap('#touch-keys [data-key="Enter"]');
  await nightOver(page);
  // Nothing pans sideways at any width, nor where ten keys of 44 px in a row
  // would just fit (484 px) or their labels would not (560 px).
  for (const width of [320, 360, 414, 479, 480, 481, 482, 483, 484, 485, 540, 559, 560, 600, 768, 820, 1024]) {
    await page.setViewport({ width, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true });
    // As shown, once the terminal has been fitted to the new width.
    const shown = await page.evaluate(() => new Promise((measured) => requestAnimationFrame(() =>
      requestAnimationFrame(() => measured(document.documentElement.scrollWidth)))));
    assert.equal(shown - width, 0, `${width} px wide`);
  }
});

// The editing keys as key presses, typed ahead: the lines handed over (the
// native program gets them through a pipe) and their echo.
test('typed ahead: the editing keys arrive as the console has them', async () => {
  const page = await open('/');
  await typeAhead(page, ['7', '9', 'ArrowLeft', '8', 'Home', 'ArrowRight', 'ArrowLeft', 'Delete', 'End', 'Tab', '9',
    'Enter', 'F5', 'Control+ArrowLeft', 'Insert', '7', 'Control+ArrowRight', 'Backspace', 'Enter',
    'F1', '8', 'F3', 'Enter', 'ArrowUp', 'ArrowUp', 'ArrowDown', 'Escape', '7', 'F8', 'Enter']);
  await showsScreen(page, expectedScreen(['89\t9', '79\t', '78\t', '79\t'], ['89      9', '79      ', '78      ', '79      ']));
});

test('Shift+Tab leaves the terminal; Tab stays in the line', async () => {
  const page = await open('/');
  await showsScreen(page, expectedScreen([]));
  const focused = () => page.evaluate(() => document.activeElement === terminal.textarea);
  await page.keyboard.press('Tab');
  assert.ok(await focused(), 'Tab');
  await page.keyboard.down('Shift');
  await page.keyboard.press('Tab');
  await page.keyboard.up('Shift');
  assert.ok(!(await focused()), 'Shift+Tab');
});

test('Ctrl+C copies the selection; with none it ends the night at once', async () => {
  const page = await open('/');
  const menu = expectedScreen([]);
  await showsScreen(page, menu);
  await page.evaluate(() => terminal.selectAll());
  await typeAhead(page, ['Control+c']);
  assert.equal(await page.evaluate(() => document.body.dataset.state), 'playing');
  await page.evaluate(() => terminal.clearSelection());
  // Even with no read waiting: the line before it is never acted on.
  await typeAhead(page, ['3', 'Enter', 'Control+c']);
  await nightOver(page);
  assert.equal(await page.evaluate(() => document.body.dataset.exitCode), '0xc000013a');
  await showsScreen(page, [...menu, '3', '^C']);
});

// Lines edited as players edit them, the window resized or the line taller
// than the terminal, each step a key pressed, text typed as a phone's
// keyboard types it ({ text }), the window's new size, or a click on what
// the editor shows over the terminal ({ click }), or what the live regions
// must say then ({ says }): the lines the program gets, and their echoes.
const phone = (width, height) => ({ width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true });
const drink = { text: 'I would like the strongest drink in the house, and make it a double!!' };
const rubbedOut = [...Array(10).fill('Backspace'), 'Escape', '3', 'Enter'];
const edits = [
  ['a phone turned', phone(390, 844), [drink, phone(844, 390), ...rubbedOut], ['3']],
  ['the window a few columns wider', { width: 520, height: 600 }, [drink, { width: 560, height: 600 }, ...rubbedOut], ['3']],
  ['the window a few columns narrower', { width: 560, height: 600 }, [drink, { width: 520, height: 600 }, ...rubbedOut], ['3']],
  ['a line taller than the terminal', { width: 800, height: 600 }, [{ text: '7'.repeat(4000) }, 'Escape', '3', 'Enter'],
    ['3'], [['7'.repeat(4000), '3']]],
  ['F9 and F7 recall by number, and from a list', { width: 800, height: 600 }, ['a', 'Enter', 'b', 'Enter', 'F9',
    { says: 'Enter command number: ' }, '0', 'Enter', 'Enter', 'F7', { says: '2: a' }, { click: '[role=option]:nth-child(2)' }],
  ['a', 'b', 'a', 'b']],
];
for (const [name, viewport, steps, lines, echoes] of edits) {
  test(`a line edited: ${name}`, async () => {
    const page = await open('/');
    await page.setViewport(viewport);
    await showsScreen(page, expectedScreen([]));
    for (const step of steps) {
      if (typeof step === 'string') await page.keyboard.press(step);
      else if (step.text) await page.keyboard.sendCharacter(step.text);
      else if (step.click) await page.click(`#popup ${step.click}`);
      else if (step.says) {
        await page.waitForFunction((text) => document.getElementById('typed').textContent === text, {}, step.says);
        assert.ok((await accessibility(page)).live.includes(step.says.trim()), step.says);
      }
      else await page.setViewport(step);
    }
    await showsScreen(page, expectedScreen(lines, echoes));
  });
}

test('Ctrl+C while the program loads ends the night once it is there; the keys typed around it go', async () => {
  let send;
  slowProgram = new Promise((resolve) => { send = resolve; });
  const page = await newPage();
  await page.goto(`${origin}/slow/`, { waitUntil: 'domcontentloaded' });
  await typeAhead(page, ['x', 'Control+c', '1', 'Enter']);
  send();
  await nightOver(page);
  assert.equal(await page.evaluate(() => document.body.dataset.exitCode), '0xc000013a');
  await showsScreen(page, ['^C']);
  assert.equal(await page.$('#loading'), null, 'the loading line goes with the night');
});

// The trap, the code the box shows, and the opcode at the address it shows
// in the program's code (i32.store, unreachable, i32.div_s).
const traps = [
  ['1', 'c0000005', 0x36],
  ['2', 'c000001d', 0x00],
  ['3', 'c0000094', 0x6d],
  ['4', 'c00000fd', null],
];
for (const [answer, code, opcode] of traps) {
  test(`a trap is reported as exception ${code}`, async () => {
    const page = await open('/trapping/');
    await showsScreen(page, ['trap?']);
    await page.keyboard.type(answer);
    await page.keyboard.press('Enter');
    await page.waitForSelector('#box:modal');
    const box = await page.$eval('#box', (b) => ({ caption: b.querySelector('h2').textContent,
      text: b.querySelector('pre').textContent, buttons: [...b.querySelectorAll('button')].map((x) => x.textContent) }));
    assert.equal(box.caption, 'Unhandled Exception');
    const [[name, description]] = (await accessibility(page)).dialogs;
    assert.equal(name, box.caption);
    assert.match(description, new RegExp(`^Unhandled exception: ${code}`));
    assert.deepEqual(box.buttons, ['OK']);
    const shown = /^Unhandled exception: ([0-9a-f]{8})\nAt address: {10}([0-9a-f]{8})\n$/.exec(box.text);
    assert.ok(shown, JSON.stringify(box.text));
    assert.equal(shown[1], code);
    if (opcode !== null) assert.equal(readFileSync(join(trapping, 'varnock.wasm'))[parseInt(shown[2], 16)], opcode);
    assert.equal(await page.evaluate(() => document.body.dataset.state), 'playing', 'the box holds the process');
    await page.click('#box button');
    await nightOver(page);
    assert.equal(await page.evaluate(() => document.body.dataset.exitCode), `0x${code}`);
  });
}

// The page as an app: what it keeps for playing offline, its policy, and
// what axe-core makes of it. Each page notes what its own content security
// policy refuses: the night must need nothing it forbids.
async function openWatched(address, { latency = 0, before } = {}) {
  const page = await newPage();
  await before?.(page);
  await page.emulateNetworkConditions({ download: -1, upload: -1, latency });
  await page.evaluateOnNewDocument(() => {
    window.refused = [];
    document.addEventListener('securitypolicyviolation', (e) => refused.push(`${e.violatedDirective} ${e.blockedURI}`));
  });
  await page.goto(address);
  return page;
}

async function playWorkedNight(page) {
  for (const key of '331') {
    await page.keyboard.type(key);
    await page.keyboard.press('Enter');
  }
  await showsScreen(page, [...expectedScreen(['3', '3', '1']), '', ' ', ' Press Enter to continue ']);
  await page.keyboard.press('Enter');
  await nightOver(page);
}

test('after one visit from a host of compressed files the page loads and plays with it stopped, and can be installed', async () => {
  const own = await listen((request, response) => serve(request, response, true));
  // Each request takes a while: what is asked for only once xterm.js has come shows.
  const page = await openWatched(`http://127.0.0.1:${own.address().port}/`, { latency: 100 });
  await showsScreen(page, expectedScreen([]));
  await page.waitForFunction(async () => (await navigator.serviceWorker.getRegistration())?.active, { timeout: 10000 });
  assert.equal(await page.$('#loading'), null, 'the loading line goes when the program prints');
  const fetched = await page.evaluate(() => performance.getEntriesByType('resource').map((entry) =>
    ({ file: new URL(entry.name).pathname.slice(1), status: entry.responseStatus, start: entry.startTime, end: entry.responseEnd,
      compressed: entry.encodedBodySize < entry.decodedBodySize })));
  // Each script and the program once (a preload is taken by what it is for),
  // and found; the icon is fetched for the tab, and again for the app.
  const code = fetched.filter(({ file }) => /\.(js|css|wasm)$/.test(file));
  assert.deepEqual(code.filter(({ file, status }, i) => code.findIndex((c) => c.file === file) !== i || status !== 200), []);
  const at = Object.fromEntries(fetched.map((entry) => [entry.file, entry]));
  for (const file of ['varnock.wasm', 'varnock.js']) assert.ok(at[file].start < at['xterm.js'].end, `${file} alongside xterm.js`);
  assert.deepEqual(code.filter(({ compressed }) => !compressed), [], 'each sent as its .br copy');
  const { installabilityErrors } = await (await page.createCDPSession()).send('Page.getInstallabilityErrors');
  assert.deepEqual(installabilityErrors, []);
  own.closeAllConnections();
  await new Promise((done) => own.close(done));
  await page.reload();
  await playWorkedNight(page);
  assert.deepEqual(await page.evaluate(() => refused), []);
});

// Hosts that redirect between the site's folder and its index.html, either
// way; the site is under /game/, the installed app's start_url.
const redirects = [['/game/index.html', 308, '/game/'], ['/game/', 302, '/game/index.html']];
for (const [from, status, to] of redirects) {
  test(`a host that redirects ${from} to ${to} (${status}): after one visit the page opens at either`, async () => {
    const own = await listen((request, response) => {
      const { pathname } = new URL(request.url, 'http://x');
      if (pathname === from) return response.writeHead(status, { Location: to }).end();
      if (!pathname.startsWith('/game/')) return response.writeHead(404).end();
      request.url = pathname.slice('/game'.length);
      return serve(request, response);
    });
    const address = `http://127.0.0.1:${own.address().port}`;
    const page = await openWatched(`${address}/game/`);
    await showsScreen(page, expectedScreen([]));
    await page.waitForFunction(async () => (await navigator.serviceWorker.getRegistration())?.active, { timeout: 10000 });
    for (const path of ['/game/', '/game/index.html']) {
      assert.ok((await page.goto(address + path)).fromServiceWorker(), path);
      await showsScreen(page, expectedScreen([]));
    }
    own.closeAllConnections();
    own.close();
  });
}

const axeSource = readFileSync(join(root, 'node_modules/axe-core/axe.min.js'), 'utf8');
// A night that cannot load says so in the log and in place of the loading
// line; with JavaScript off, the page says that it needs it.
const failed = (message) => async (page) => {
  await page.waitForFunction(() => document.body.dataset.state === 'failed');
  const { text, live } = await accessibility(page);
  assert.ok(text.includes('The night could not load.') && live.some((line) => message.test(line)), JSON.stringify(text));
};
const audits = [
  ['at load', '/', (page) => showsScreen(page, expectedScreen([]))],
  ['when varnock.wasm is missing', '/missing/', failed(/^The page could not run the program: varnock\.wasm: 404/)],
  ['when varnock.wasm is no program', '/broken/', failed(/^The page could not run the program: .*magic word/)],
  ['in a browser without WebAssembly', '/', failed(/^The page could not run the program: this browser has no WebAssembly$/),
    (page) => page.evaluateOnNewDocument(() => delete globalThis.WebAssembly)],
  ['with JavaScript off', '/', async (page) => {
    const { text } = await accessibility(page);
    assert.ok(text.some((line) => /needs JavaScript/.test(line)) && !text.includes('The night is loading…'), JSON.stringify(text));
    await page.setJavaScriptEnabled(true);
    await page.evaluate(() => { window.refused = []; });
  }, (page) => page.setJavaScriptEnabled(false)],
  ['after a night', '/', playWorkedNight],
  ['with the message box open', '/trapping/', async (page) => {
    await showsScreen(page, ['trap?']);
    await page.keyboard.type('2');
    await page.keyboard.press('Enter');
    await page.waitForSelector('#box:modal');
  }],
  ['with the list of lines entered open', '/', async (page) => {
    await showsScreen(page, expectedScreen([]));
    for (const key of ['a', 'Enter', 'b', 'Enter', 'F7']) await page.keyboard.press(key);
    await page.waitForSelector('#popup [aria-selected=true]');
  }],
];
for (const [when, path, reach, before] of audits) {
  test(`axe-core finds no violation ${when}`, async (t) => {
    const page = await openWatched(origin + path, { before });
    await reach(page);
    await page.evaluate(axeSource);
    const { violations, incomplete, passes, testEngine } = await page.evaluate(() => axe.run());
    const ids = (results) => results.map((result) => result.id).join(' ') || 'none';
    t.diagnostic(`axe-core ${testEngine.version} ${when}: ${passes.length} rules pass; violations: ${ids(violations)};`
      + ` to check by hand: ${ids(incomplete)}`);
    assert.deepEqual(violations.map((v) => `${v.id}: ${v.nodes.map((node) => node.target).join(', ')}`), []);
    assert.deepEqual(await page.evaluate(() => refused), []);
  });
}

// The same calls as playwright_bench.cc, through playwright-core in-process.
// Usage: node node_bench.js <playwright-core dir> <profile dir> launch
//        node node_bench.js <playwright-core dir> <profile dir> count <page url> <round trips>
// Prints one JSON object: require_ms and launch_close_ms (one launch and
// close), or count_ms (the median round trip of locator(...).count()).
'use strict';
const [coreDir, profileDir, mode, pageUrl, roundTrips] = process.argv.slice(2);

const launchOptions = {
  headless: true,
  channel: 'chromium',
  viewport: { width: 1440, height: 900 },
  locale: 'zh-CN',
  executablePath: process.env.RAVIK_CHROMIUM_PATH || '/usr/bin/chromium',
  args: ['--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
         '--disable-quic'],
  chromiumSandbox: false,
};

(async () => {
  const requireStart = performance.now();
  const { chromium } = require(coreDir);
  const requireMs = performance.now() - requireStart;

  if (mode === 'launch') {
    const start = performance.now();
    const context = await chromium.launchPersistentContext(profileDir, launchOptions);
    await context.close();
    console.log(JSON.stringify({ require_ms: requireMs, launch_close_ms: performance.now() - start }));
    return;
  }
  const context = await chromium.launchPersistentContext(profileDir, launchOptions);
  const page = context.pages()[0] || await context.newPage();
  await page.goto(pageUrl);
  const items = page.locator('li.item');
  const trips = [];
  for (let i = 0; i < Number(roundTrips); ++i) {
    const start = performance.now();
    await items.count();
    trips.push(performance.now() - start);
  }
  await context.close();
  trips.sort((a, b) => a - b);
  console.log(JSON.stringify({ count_ms: trips[Math.floor(trips.length / 2)] }));
})().catch((e) => { console.error(e); process.exit(1); });

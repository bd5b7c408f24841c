// The page's local server: what a request path may reach (only files inside the
// served folder, however the path is spelled) and the types browsers insist on
// (a .wasm must be application/wasm to compile while it streams in).
//   node tests/web/serve_test.mjs
import assert from 'node:assert/strict';
import path from 'node:path';

import { contentType, resolveInside } from '../../tools/web/serve.mjs';

const root = path.resolve('/srv/page');
const cases = [
  ['/', '/srv/page/index.html'],
  ['/threads/', '/srv/page/threads/index.html'],
  ['/wendril-web.wasm?v=2', '/srv/page/wendril-web.wasm'],
  ['/data/r%C3%B6d.jpg', '/srv/page/data/röd.jpg'],
  ['/data/../index.html', '/srv/page/index.html'],
  ['/../etc/passwd', '/srv/page/etc/passwd'],            // normalised at the root, never above it
  ['/%2e%2e/%2e%2e/etc/passwd', '/srv/page/etc/passwd'],
  ['/..%2f..%2fetc%2fpasswd', '/srv/page/etc/passwd'],
  ['/a%00b', null],                                      // a NUL byte
  ['/%E0%A4%A', null],                                   // broken escapes
];
for (const [url, want] of cases) assert.equal(resolveInside(root, url), want, url);

for (const [file, want] of [['x.wasm', 'application/wasm'], ['x.JS', 'text/javascript; charset=utf-8'],
                            ['index.html', 'text/html; charset=utf-8'], ['ragga.xm', 'application/octet-stream']]) {
  assert.equal(contentType(file), want, file);
}
console.log('serve_test: all checks passed');

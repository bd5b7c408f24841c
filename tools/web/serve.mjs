// Serves a folder (the assembled page, build-web/) on 127.0.0.1 for the demo in
// a browser: the right types for .wasm and .js, and the cross-origin isolation
// headers (COOP and COEP) that SharedArrayBuffer, and so the threads build, needs.
// Only files inside the folder are served; nothing is listed.
//
//   node tools/web/serve.mjs [--port N] [--quiet] [DIR]     (default build-web, port 8080; 0 picks one)
// Prints "serving DIR at http://127.0.0.1:PORT/" once it listens; requests for
// missing files are named on standard error unless --quiet.
import { createServer } from 'node:http';
import { createReadStream, promises as fs } from 'node:fs';
import path from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json',
  '.txt': 'text/plain; charset=utf-8',
  '.png': 'image/png',
  '.jpg': 'image/jpeg',
  '.gif': 'image/gif',
};

export function contentType(file) {
  return TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream';
}

// The file a request path names inside `root`, or null when it would leave it.
export function resolveInside(root, urlPath) {
  let decoded;
  try {
    decoded = decodeURIComponent(urlPath.split('?')[0]);
  } catch {
    return null;
  }
  if (decoded.includes('\0')) return null;
  if (decoded.endsWith('/')) decoded += 'index.html';
  const file = path.resolve(root, '.' + path.posix.normalize('/' + decoded));
  return file === root || file.startsWith(root + path.sep) ? file : null;
}

export function serve(root, port, onListening, logMissing = false) {
  root = path.resolve(root);
  const server = createServer(async (req, res) => {
    const headers = {
      'Cross-Origin-Opener-Policy': 'same-origin',
      'Cross-Origin-Embedder-Policy': 'require-corp',
      'Cross-Origin-Resource-Policy': 'same-origin',
      'Cache-Control': 'no-cache',
    };
    const file = req.method === 'GET' || req.method === 'HEAD' ? resolveInside(root, req.url) : null;
    let stat = null;
    if (file) stat = await fs.stat(file).catch(() => null);
    if (!stat || !stat.isFile()) {
      if (logMissing) console.error(`serve: ${req.method} ${req.url}: not found`);
      res.writeHead(req.method === 'GET' || req.method === 'HEAD' ? 404 : 405,
                    { ...headers, 'Content-Type': 'text/plain; charset=utf-8' });
      res.end(file ? 'not found\n' : 'not served\n');
      return;
    }
    res.writeHead(200, { ...headers, 'Content-Type': contentType(file), 'Content-Length': stat.size });
    if (req.method === 'HEAD') {
      res.end();
      return;
    }
    createReadStream(file).on('error', () => res.destroy()).pipe(res);
  });
  server.listen(port, '127.0.0.1', () => onListening(server.address().port));
  return server;
}

// As a program.
if (import.meta.url === `file://${process.argv[1]}`) {
  let port = 8080;
  let dir = 'build-web';
  let quiet = false;
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i++) {
    if (args[i] === '--port' && i + 1 < args.length && /^[0-9]+$/.test(args[i + 1]) && +args[i + 1] < 65536) {
      port = +args[++i];
    } else if (args[i] === '--quiet') {
      quiet = true;
    } else if (!args[i].startsWith('-')) {
      dir = args[i];
    } else {
      console.error(`serve: unknown argument '${args[i]}' (usage: serve.mjs [--port N] [--quiet] [DIR])`);
      process.exit(2);
    }
  }
  const stat = await fs.stat(dir).catch(() => null);
  if (!stat || !stat.isDirectory()) {
    console.error(`serve: ${dir} is not a folder (scripts/build-web assembles build-web/)`);
    process.exit(1);
  }
  const server = serve(dir, port, (p) => {
    console.log(`serving ${path.resolve(dir)} at http://127.0.0.1:${p}/`);
  }, !quiet);
  server.on('error', (e) => {
    console.error(`serve: cannot listen on 127.0.0.1:${port}: ${e.message}`);
    process.exit(1);
  });
}

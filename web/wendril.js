// The page around the demo's program: loads it (the threads build when asked for
// and allowed), fetches the data set into its file system, starts it after a
// click (browsers start sound only after a gesture), and is the host's other half:
// the canvas, the keys, full screen, the sound's AudioWorklet and the heard
// position. Module.page is what the program calls (platform/hosts/web/).
'use strict';

(function () {
  const RATE = 44100;  // the program's mixer rate: the audio context is asked for it
  const params = new URLSearchParams(location.search);
  const canvas = document.getElementById('screen');
  const card = document.getElementById('card');
  const cardText = document.getElementById('card-text');
  const cardButton = document.getElementById('card-button');
  const note = document.getElementById('note');
  const ctx2d = canvas.getContext('2d', { alpha: false });

  let Module = null;
  let running = false;
  let failed = false;
  let image = null;  // ImageData reused while the size stays
  let workletUrl = null;  // the worklet's code, fetched with the page: the click needs nothing more

  // What tests and curious people can read: window.wendril.
  const state = {
    scale: 1,
    threads: 1,
    threadsBuild: false,
    loaded: false,
    started: 0,          // starts so far
    clickMs: -1,         // performance.now() of the last start click
    firstFrameMs: -1,    // ... and of the first frame presented after it
    presented: 0,
    rafTimes: [],        // animation-frame times while playing (for dropped frames)
    audio: 'none',       // 'worklet' or 'none'
    audioWhy: '',
    message: '',
    ended: false,
    recorded: null,      // the first frames the worklet played, when a test asked
  };
  window.wendril = state;

  // ---- cards and notes ----------------------------------------------------------

  function showCard(text, button, isError) {
    cardText.textContent = text;
    card.classList.toggle('error', !!isError);
    cardButton.hidden = !button;
    if (button) cardButton.textContent = button;
    card.hidden = false;
  }

  function fail(text) {
    failed = true;
    state.message = text;
    showCard(text, null, true);
  }

  function say(text) {
    note.textContent = text;
  }

  // ---- the sound ----------------------------------------------------------------

  const audio = {
    ctx: null,
    node: null,
    ready: false,      // a running context with the worklet connected
    open: false,       // the program's sound output is open on it
    epoch: 0,          // the stream's number; reports of an older one are stale
    posted: 0,         // stream frames posted
    mapCtx: -1,        // the context frame at which ...
    mapStream: 0,      // ... this stream frame was played (-1: none played yet)
    starvedAt: 0,      // the worklet ran out of frames here (null while playing)
    heardMax: 0,
    underruns: 0,
  };
  state.audioState = audio;

  function silent(why) {
    audio.ready = false;
    state.audio = 'none';
    state.audioWhy = why;
    say('No sound: ' + why + '. The demo plays silently, on the clock.');
  }

  // Called in the click: a context made in the gesture is allowed to run.
  async function startAudio() {
    if (audio.ctx) {
      if (audio.ctx.state !== 'running') {
        try { await audio.ctx.resume(); } catch (e) { /* the state says it */ }
      }
      if (audio.ctx.state !== 'running') return silent('the audio context is ' + audio.ctx.state);
      if (audio.node) {
        audio.ready = true;
        state.audio = 'worklet';
        say('');
      }
      return;
    }
    const AC = window.AudioContext || window.webkitAudioContext;
    if (!AC) return silent('this browser has no Web Audio');
    let ctx;
    try {
      ctx = new AC({ sampleRate: RATE, latencyHint: 'interactive' });
    } catch (e) {
      return silent('the audio context was refused (' + e.message + ')');
    }
    audio.ctx = ctx;
    if (!ctx.audioWorklet) return silent('AudioWorklet needs a secure page (https, or http on localhost)');
    if (ctx.sampleRate !== RATE) return silent('the audio context runs at ' + ctx.sampleRate + ' Hz, not ' + RATE);
    const resumed = ctx.resume().catch(() => {});
    try {
      await ctx.audioWorklet.addModule(workletUrl);
      const test = window.wendrilTest || {};
      audio.node = new AudioWorkletNode(ctx, 'wendril-output', {
        numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2],
        processorOptions: { recordFrames: test.recordFrames | 0 },
      });
    } catch (e) {
      return silent('the sound worklet did not load (' + e.message + ')');
    }
    audio.node.port.onmessage = onWorkletMessage;
    audio.node.connect(ctx.destination);
    await Promise.race([resumed, new Promise((r) => setTimeout(r, 1000))]);
    if (ctx.state !== 'running') return silent('the audio context did not start (it is ' + ctx.state + ')');
    audio.ready = true;
    state.audio = 'worklet';
  }

  function onWorkletMessage(e) {
    const m = e.data;
    if (m.recorded) { state.recorded = m.recorded; return; }
    if (m.epoch !== audio.epoch) return;
    if (m.starved !== undefined) {
      audio.starvedAt = m.starved;
      audio.underruns++;
    } else if (m.ctx !== undefined) {
      audio.mapCtx = m.ctx;
      audio.mapStream = m.stream;
      audio.starvedAt = null;
    }
  }

  // The context frame being heard now: the output timestamp (which counts the
  // output's latency), moved on by the time since it was taken.
  function heardContextFrame() {
    const ctx = audio.ctx;
    const ts = ctx.getOutputTimestamp ? ctx.getOutputTimestamp() : null;
    let t;
    if (ts && ts.contextTime > 0 && ts.performanceTime > 0) {
      t = ts.contextTime + Math.max(0, performance.now() - ts.performanceTime) / 1000;
    } else {
      t = ctx.currentTime - (ctx.outputLatency || 0) - (ctx.baseLatency || 0);
    }
    return Math.floor(t * ctx.sampleRate);
  }

  // ---- what the program calls ---------------------------------------------------

  const page = {
    present(pixels, width, height) {
      if (canvas.width !== width || canvas.height !== height) {
        canvas.width = width;
        canvas.height = height;
        image = null;
      }
      if (pixels.buffer instanceof ArrayBuffer) {
        // The program's memory itself: no copy (a view per frame, as memory may grow).
        ctx2d.putImageData(new ImageData(new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, pixels.length),
                                         width, height), 0, 0);
      } else {
        // Shared memory (threads build) cannot back an ImageData: copied.
        if (!image) image = new ImageData(width, height);
        image.data.set(pixels);
        ctx2d.putImageData(image, 0, 0);
      }
      state.presented++;
      if (state.firstFrameMs < 0 && state.clickMs >= 0) state.firstFrameMs = performance.now();
    },
    caption(text) {
      document.title = text || 'Wendril';
    },
    cursorShow(shown) {
      canvas.style.cursor = shown ? '' : 'none';
    },
    message(text, caption) {
      fail((caption ? caption + ': ' : '') + text);
    },
    ended() {
      running = false;
      state.ended = true;
      if (audio.ctx && audio.ready) audio.ctx.suspend().catch(() => {});
      showCard('The demo has ended.', 'Play again', false);
    },
    audioOpen() {
      audio.epoch++;
      audio.posted = 0;
      audio.mapCtx = -1;
      audio.mapStream = 0;
      audio.starvedAt = 0;
      audio.heardMax = 0;
      audio.open = false;
      if (!audio.ready) return false;
      if (audio.ctx.state !== 'running') {
        silent('the audio context is ' + audio.ctx.state);
        return false;
      }
      audio.open = true;
      audio.node.port.postMessage({ reset: audio.epoch });
      return true;
    },
    audioPost(samples, frames) {
      const copy = samples.slice(0, frames * 2);
      audio.node.port.postMessage({ epoch: audio.epoch, samples: copy }, [copy.buffer]);
      audio.posted += frames;
    },
    audioHeard() {
      if (!audio.open) return -1;
      if (audio.ctx.state !== 'running') {
        // The output stopped under the demo (the device went, the browser suspended it).
        audio.open = false;
        silent('the audio output stopped (the context is ' + audio.ctx.state + ')');
        return -1;
      }
      let h = audio.mapCtx < 0 ? 0 : heardContextFrame() - (audio.mapCtx - audio.mapStream);
      h = Math.min(h, audio.posted);
      if (audio.starvedAt !== null) h = Math.min(h, audio.starvedAt);
      audio.heardMax = Math.max(audio.heardMax, h);
      return audio.heardMax;
    },
    audioClose() {
      audio.open = false;
      if (audio.node) audio.node.port.postMessage({ reset: ++audio.epoch });
    },
  };

  // ---- starting -----------------------------------------------------------------

  async function start() {
    if (running || failed || !state.loaded) return;
    state.clickMs = performance.now();
    state.firstFrameMs = -1;
    showCard('Starting…', null, false);
    await startAudio();
    if (audio.ctx && audio.ready && audio.ctx.state === 'suspended') await audio.ctx.resume().catch(() => {});
    card.hidden = true;
    state.ended = false;
    state.rafTimes = [];
    running = true;
    state.started++;
    let status;
    try {
      status = Module._web_start();
    } catch (e) {
      // A failed check ends the program after its message box (exit(1)).
      running = false;
      if (!failed) fail('The demo stopped: ' + (e && e.message ? e.message : e));
      return;
    }
    if (status !== 0) {
      running = false;
      if (!failed) fail('The demo could not start.');
      return;
    }
    requestAnimationFrame(function watch(t) {
      if (!running) return;
      state.rafTimes.push(t);
      requestAnimationFrame(watch);
    });
  }

  cardButton.addEventListener('click', start);

  // ---- keys, pointer, full screen ---------------------------------------------------

  function toggleFullscreen() {
    const stage = document.getElementById('stage');
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(() => {});
  }

  // KeyboardEvent.code to the Windows virtual-key codes the stand-ins expect.
  const VK = {
    Escape: 27, Enter: 13, NumpadEnter: 13, Space: 32, Backspace: 8, Tab: 9,
    ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40,
    ShiftLeft: 16, ShiftRight: 16, ControlLeft: 17, ControlRight: 17, AltLeft: 18, AltRight: 18,
    Insert: 45, Delete: 46, Home: 36, End: 35, PageUp: 33, PageDown: 34,
    NumpadMultiply: 106, NumpadAdd: 107, NumpadSubtract: 109, NumpadDecimal: 110, NumpadDivide: 111,
    Minus: 189, Equal: 187, BracketLeft: 219, BracketRight: 221, Backslash: 220, Semicolon: 186,
    Quote: 222, Backquote: 192, Comma: 188, Period: 190, Slash: 191,
    CapsLock: 20, Pause: 19, ScrollLock: 145, NumLock: 144, PrintScreen: 44,
  };
  function vkOf(code) {
    if (VK[code]) return VK[code];
    let m;
    if ((m = /^Key([A-Z])$/.exec(code))) return m[1].charCodeAt(0);
    if ((m = /^Digit([0-9])$/.exec(code))) return 48 + +m[1];
    if ((m = /^Numpad([0-9])$/.exec(code))) return 96 + +m[1];
    if ((m = /^F([0-9]{1,2})$/.exec(code)) && +m[1] >= 1 && +m[1] <= 12) return 111 + +m[1];
    return 0;
  }

  function onKey(e, down) {
    // Alt+Enter switches full screen as on the desktop; F does too. The program never sees them.
    if (down && ((e.code === 'Enter' || e.code === 'NumpadEnter') && e.altKey ||
                 e.code === 'KeyF' && !e.altKey && !e.ctrlKey && !e.metaKey)) {
      if (!e.repeat) toggleFullscreen();
      e.preventDefault();
      return;
    }
    if (e.code === 'KeyF' && !down) return;
    if (!running) {
      if (down && (e.code === 'Enter' || e.code === 'Space') && !cardButton.hidden && !failed) {
        e.preventDefault();
        start();
      }
      return;
    }
    const vk = vkOf(e.code);
    if (!vk || e.ctrlKey || e.metaKey) return;
    Module._web_host_key(vk, down ? 1 : 0);
    // The browser's own keys (reload, developer tools, its full screen) keep working.
    if (!/^F(5|11|12)$/.test(e.code)) e.preventDefault();
  }
  window.addEventListener('keydown', (e) => onKey(e, true));
  window.addEventListener('keyup', (e) => onKey(e, false));
  document.getElementById('stage').addEventListener('dblclick', (e) => {
    if (e.target === cardButton) return;
    toggleFullscreen();
  });

  // The pointer in picture pixels.
  function picturePoint(e) {
    const r = canvas.getBoundingClientRect();
    const x = Math.floor((e.clientX - r.left) * canvas.width / r.width);
    const y = Math.floor((e.clientY - r.top) * canvas.height / r.height);
    return x >= 0 && y >= 0 && x < canvas.width && y < canvas.height ? [x, y] : null;
  }
  canvas.addEventListener('mousemove', (e) => {
    const p = running && picturePoint(e);
    if (p) Module._web_host_mouse_move(p[0], p[1]);
  });
  const BUTTON = [0, 2, 1];  // the page's left, middle, right to the stand-ins' 0 left, 1 right, 2 middle
  for (const [type, down] of [['mousedown', 1], ['mouseup', 0]]) {
    canvas.addEventListener(type, (e) => {
      if (running && e.button <= 2) Module._web_host_mouse_button(BUTTON[e.button], down);
    });
  }

  // ---- loading ------------------------------------------------------------------

  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const s = document.createElement('script');
      s.src = src;
      s.onload = resolve;
      s.onerror = () => reject(new Error('could not load ' + src));
      document.head.appendChild(s);
    });
  }

  async function fetchData(names) {
    const FS = Module.FS;
    return Promise.all(names.map(async (name) => {
      const url = 'data/' + name.split('/').map(encodeURIComponent).join('/');
      let response;
      try {
        response = await fetch(url);
      } catch (e) {
        throw new Error('The data file ' + name + ' could not be fetched (' + e.message + ').');
      }
      if (!response.ok) {
        throw new Error('The data file ' + name + ' is missing from the page\'s data folder (' + url +
                        ': HTTP ' + response.status + ').');
      }
      const bytes = new Uint8Array(await response.arrayBuffer());
      const slash = name.lastIndexOf('/');
      if (slash > 0) FS.mkdirTree('/data/' + name.slice(0, slash));
      FS.writeFile('/data/' + name, bytes);
    }));
  }

  async function load() {
    const scaleText = params.get('scale');
    const threadsText = params.get('threads');
    let threads = 1;
    if (threadsText !== null) {
      if (!/^[0-9]+$/.test(threadsText) || +threadsText < 1 || +threadsText > 64) {
        return fail('?threads= wants a whole number from 1 to 64, not \'' + threadsText + '\'.');
      }
      threads = +threadsText;
    }
    const useThreads = threads > 1 && window.crossOriginIsolated === true;
    if (threads > 1 && !useThreads) {
      say('?threads=' + threads + ' needs a cross-origin isolated page (COOP and COEP headers): playing on one thread.');
      threads = 1;
    }
    state.threadsBuild = useThreads;
    const base = useThreads ? 'threads/' : '';
    try {
      await loadScript(base + 'wendril-web.js');
    } catch (e) {
      return fail('The program did not load: ' + e.message + '.');
    }
    try {
      Module = await window.WendrilModule({
        page,
        locateFile: (path) => base + path,
        wendrilWorkers: useThreads ? threads : 0,
        print: (text) => console.log(text),
        printErr: (text) => console.warn(text),
      });
    } catch (e) {
      return fail('The program did not start: ' + (e && e.message ? e.message : e) + '.');
    }
    state.module = Module;
    if (scaleText !== null) {
      const ok = Module.ccall('web_set_scale', 'number', ['string'], [scaleText]);
      if (!ok) return fail('?scale= wants a number from 1 to 8 (such as 2 or 4.5), not \'' + scaleText + '\'.');
      state.scale = +scaleText;
    }
    canvas.classList.toggle('sharp', state.scale === 1);
    if (useThreads) Module._web_set_threads(threads);
    else Module._web_set_threads(1);
    state.threads = Module._web_threads();
    const names = [];
    for (const hd of state.scale > 1 ? [0, 1] : [0]) {
      for (let i = 0; ; i++) {
        const p = Module._web_data_file(i, hd);
        if (!p) break;
        names.push(Module.UTF8ToString(p));
      }
    }
    showCard('Loading the data…', null, false);
    try {
      Module.FS.mkdir('/data');
      const worklet = fetch('audio-worklet.js').then(async (r) => {
        if (!r.ok) throw new Error('The sound\'s worklet audio-worklet.js is missing (HTTP ' + r.status + ').');
        workletUrl = URL.createObjectURL(new Blob([await r.text()], { type: 'text/javascript' }));
      });
      await Promise.all([fetchData(names), worklet]);
    } catch (e) {
      return fail(e.message);
    }
    Module.FS.chdir('/data');
    state.loaded = true;
    showCard('Sound starts with the demo.', 'Click to start', false);
  }

  load().catch((e) => fail('The page failed: ' + (e && e.message ? e.message : e)));

  // The demo's statistics for the goals: the program's time per animation frame,
  // and the frames the browser dropped (an interval of 1.5 periods or more).
  state.stats = function () {
    const t = state.rafTimes;
    const d = [];
    for (let i = 1; i < t.length; i++) d.push(t[i] - t[i - 1]);
    const sorted = d.slice().sort((a, b) => a - b);
    const period = sorted.length ? sorted[sorted.length >> 1] : 0;
    return {
      frames: Module ? Module._web_frames() : 0,
      workMeanMs: Module ? Module._web_work_ms_mean() : 0,
      workMaxMs: Module ? Module._web_work_ms_max() : 0,
      presentMsTotal: Module ? Module._web_host_present_ms() : 0,
      periodMs: period,
      dropped: d.filter((x) => x >= 1.5 * period).length,
      droppedAtSeconds: d.map((x, i) => (x >= 1.5 * period ? +((t[i] - t[0]) / 1000).toFixed(2) : -1)).filter((x) => x >= 0),
      clickToFirstFrameMs: state.firstFrameMs >= 0 ? state.firstFrameMs - state.clickMs : -1,
      underruns: audio.underruns,
    };
  };
  state.heard = () => (audio.open ? page.audioHeard() : -1);
  state.position = () => (Module ? { order: Module._web_order(), row: Module._web_row() } : null);
})();

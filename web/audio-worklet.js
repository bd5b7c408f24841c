// The sound's last step: plays the blocks the page posts (interleaved stereo at
// the context's rate, stream frames counted from 0) and reports where the stream
// meets the context's frames, so the page can tell which stream frame is heard:
// {ctx, stream} when playing starts or resumes, {starved} when it runs out.
'use strict';

class WendrilOutput extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.queue = [];
    this.head = 0;       // frames of queue[0] already played
    this.stream = 0;     // stream frames played
    this.epoch = 0;
    this.playing = false;
    // A test may ask for a copy of the first frames played.
    const record = (options.processorOptions && options.processorOptions.recordFrames) | 0;
    this.record = record > 0 ? new Float32Array(record * 2) : null;
    this.recorded = 0;
    this.port.onmessage = (e) => {
      const m = e.data;
      if (m.reset !== undefined) {
        this.queue = [];
        this.head = 0;
        this.stream = 0;
        this.epoch = m.reset;
        this.playing = false;
      } else if (m.epoch === this.epoch && m.samples) {
        this.queue.push(m.samples);
      }
    };
  }

  process(inputs, outputs) {
    const out = outputs[0];
    const left = out[0];
    const right = out[1] || out[0];
    const n = left.length;
    let i = 0;
    while (i < n && this.queue.length) {
      const block = this.queue[0];
      if (!this.playing) {
        this.playing = true;
        this.port.postMessage({ epoch: this.epoch, ctx: currentFrame + i, stream: this.stream });
      }
      const take = Math.min(n - i, block.length / 2 - this.head);
      for (let k = 0; k < take; k++) {
        left[i + k] = block[2 * (this.head + k)];
        right[i + k] = block[2 * (this.head + k) + 1];
      }
      if (this.record && this.recorded < this.record.length / 2) {
        const keep = Math.min(take, this.record.length / 2 - this.recorded);
        this.record.set(block.subarray(2 * this.head, 2 * (this.head + keep)), 2 * this.recorded);
        this.recorded += keep;
        if (this.recorded === this.record.length / 2) {
          this.port.postMessage({ recorded: this.record });
          this.record = null;
        }
      }
      i += take;
      this.head += take;
      this.stream += take;
      if (this.head * 2 === block.length) {
        this.queue.shift();
        this.head = 0;
      }
    }
    if (i < n) {
      left.fill(0, i);
      right.fill(0, i);
      if (this.playing) {
        this.playing = false;
        this.port.postMessage({ epoch: this.epoch, starved: this.stream });
      }
    }
    return true;
  }
}

registerProcessor('wendril-output', WendrilOutput);

'use strict';
// Runs MIDI files through the filter off the page's thread, one job at a
// time, with the WebAssembly module the page compiled once (its first
// message). It reads the file itself, so the page's thread never copies its
// bytes; it keeps the last run for the plot of another stream and for
// playing the output. The page ends this worker after a large run, which
// gives its memory back.
importScripts('veltrace.js');

const SHOWN_TRACKS = 20;        // the summary's rows of single tracks at most; the rest are folded into one
const PROGRESS_EVERY_MS = 50;   // the page hears of progress no more often than this

let ready = null;               // the module, once instantiated
let current = 0;                // the job under way, for its progress
let held = '';                  // which file and settings the module's last run was of
let lastProgress = 0;

function instantiate(compiled) {
  return VeltraceModule({
    instantiateWasm: (imports, done) => {
      WebAssembly.instantiate(compiled, imports).then((instance) => done(instance, compiled));
      return {};
    },
    onProgress: (done, total) => {
      const now = performance.now();
      if (done < total && now - lastProgress < PROGRESS_EVERY_MS) return;
      lastProgress = now;
      postMessage({job: current, progress: total > 0 ? done / total : 0});
    },
  });
}

onmessage = async (event) => {
  const message = event.data;
  if (message.kind === 'module') { ready = instantiate(message.module); return; }
  if (message.kind === 'close') { close(); return; }  // the page's word after a large run
  current = message.job;
  let M;
  try {
    M = await ready;
  } catch (error) {
    postMessage({job: message.job, ok: false, error: `the WebAssembly module did not start: ${error}`});
    return;
  }
  try {
    const [reply, transfer] = await doJob(M, message);
    reply.heapBytes = M.HEAPU8.length;
    postMessage(reply, transfer);
  } catch (error) {  // a trap in the module, or memory it could not give
    held = '';
    postMessage({job: message.job, ok: false, heapBytes: Infinity,
      error: `${message.name}: the filter could not run it (${error.message || error})`});
  }
};

// A job: 'run' a file, the 'plot' of another stream, or the 'schedule' of the
// output for playing it; each runs the file first unless the module holds it.
async function doJob(M, message) {
  const {job, kind} = message;
  const key = `${message.fileId}:${message.cells.join(',')}`;
  let ran = null;
  if (kind === 'run' || held !== key) {
    ran = await runFile(M, message);
    if (!ran.ok) return [ran, []];
    held = key;
  }
  if (kind === 'plot') {
    M._vt_plot_stream(message.track, message.channel);
    const plot = plotOf(M);
    return [{job, kind, ok: true, plot, track: message.track, channel: message.channel}, plot.map((p) => p.buffer)];
  }
  if (kind === 'schedule') {
    const count = M._vt_schedule();
    const times = M.HEAPF64.slice(M._vt_schedule_times() >> 3, (M._vt_schedule_times() >> 3) + count);
    const messages = M.HEAPU32.slice(M._vt_schedule_messages() >> 2, (M._vt_schedule_messages() >> 2) + count);
    return [{job, kind, ok: true, times, messages}, [times.buffer, messages.buffer]];
  }
  const plot = plotOf(M);
  const meters = M.HEAP32.slice(M._vt_meters_data() >> 2, (M._vt_meters_data() >> 2) + M._vt_meters_size());
  return [{...ran, kind, plot, meters}, [...plot.map((p) => p.buffer), meters.buffer]];
}

// One file through the module: the output as a Blob, the summary folded to
// a screenful, the streams the plot offers.
async function runFile(M, message) {
  const {job, name, file, cells} = message;
  const failed = () => ({job, ok: false, error: M.UTF8ToString(M._vt_error())});
  if (!withText(M, name, (text) => M._vt_check_size(file.size, text))) return failed();
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch (error) {
    return {job, ok: false, error: `${name}: cannot be read (${error.name || error})`};
  }
  lastProgress = 0;
  const data = M._malloc(Math.max(bytes.length, 1)), table = M._malloc(cells.length * 4);
  try {
    if (!data || !table) {
      withText(M, name, (text) => M._vt_no_memory(bytes.length, text));
      return failed();
    }
    M.HEAPU8.set(bytes, data);
    bytes = null;
    M.HEAP32.set(cells, table >> 2);
    if (!withText(M, name, (text) => M._vt_run_file(data, file.size, table, text))) return failed();
  } finally {
    M._free(data); M._free(table);
  }
  const start = M._vt_output_data();
  const output = new Blob([M.HEAPU8.subarray(start, start + M._vt_output_size())], {type: 'audio/midi'});
  const streams = [];
  for (let index = 0; index < M._vt_stream_count(); index++)
    streams.push([0, 1, 2, 3, 4].map((field) => M._vt_stream(index, field)));
  return {job, ok: true, output, summary: summaryOf(M), streams, busiest: M._vt_busiest_stream(),
    end: M._vt_plot_end(), division: M._vt_division()};
}

function withText(M, text, fn) {
  const size = M.lengthBytesUTF8(text) + 1, pointer = M._malloc(size);
  if (!pointer) return fn(0);
  try {
    M.stringToUTF8(text, pointer, size);
    return fn(pointer);
  } finally {
    M._free(pointer);
  }
}

// The first tracks one row each, the rest in one row, and the total: each
// row [first track, last track, events in, events out, master sent, repeats
// dropped, modifier consumed], tracks counted from 1.
function summaryOf(M) {
  const tracks = M._vt_track_count(), rows = [];
  const shown = tracks > SHOWN_TRACKS ? SHOWN_TRACKS - 1 : tracks;
  const folded = [shown + 1, tracks, 0, 0, 0, 0, 0], total = [1, tracks, 0, 0, 0, 0, 0];
  for (let track = 0; track < tracks; track++) {
    const figures = [0, 1, 2, 3, 4].map((column) => M._vt_summary(track, column));
    figures.forEach((value, column) => {
      total[2 + column] += value;
      if (track >= shown) folded[2 + column] += value;
    });
    if (track < shown) rows.push([track + 1, track + 1, ...figures]);
  }
  if (shown < tracks) rows.push(folded);
  return {rows, total};
}

function plotOf(M) {
  return [0, 1, 2].map((which) => {
    const p = M._vt_plot_data(which) >> 2;
    return M.HEAP32.slice(p, p + M._vt_plot_size(which));
  });
}

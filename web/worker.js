'use strict';
// Runs MIDI files through the filter off the page's thread: one job at a
// time; the page ends this worker when it no longer needs a job's result.
importScripts('veltrace.js');

let current = 0;
const ready = VeltraceModule({
  onProgress: (done, total) => postMessage({job: current, progress: total > 0 ? done / total : 0}),
});

onmessage = async (event) => {
  const {job, name, bytes, cells} = event.data;
  current = job;
  let M;
  try {
    M = await ready;
  } catch (error) {
    postMessage({job, ok: false, error: `the WebAssembly module did not load: ${error}`});
    return;
  }
  if (event.data.warm) return;
  try {
    postMessage(...runFile(M, job, name, bytes, cells));
  } catch (error) {  // a trap in the module, or memory it could not give
    postMessage({job, ok: false, error: `${name}: the filter could not run it (${error.message || error})`});
  }
};

// One file through the module: the message for the page and what it hands over.
function runFile(M, job, name, bytes, cells) {
  const nameSize = M.lengthBytesUTF8(name) + 1;
  const data = M._malloc(Math.max(bytes.length, 1)), table = M._malloc(cells.length * 4), text = M._malloc(nameSize);
  try {
    if (!data || !table || !text) throw new Error('out of memory');
    M.HEAPU8.set(bytes, data);
    M.HEAP32.set(cells, table >> 2);
    M.stringToUTF8(name, text, nameSize);
    if (!M._vt_run_file(data, bytes.length, table, text)) return [{job, ok: false, error: M.UTF8ToString(M._vt_error())}];
  } finally {
    M._free(data); M._free(table); M._free(text);
  }
  const start = M._vt_output_data();
  const output = M.HEAPU8.slice(start, start + M._vt_output_size());
  const summary = [];
  for (let track = 0; track < M._vt_track_count(); track++)
    summary.push([0, 1, 2, 3, 4].map((column) => M._vt_summary(track, column)));
  const plot = [0, 1, 2].map((which) => {
    const p = M._vt_plot_data(which) >> 2;
    return M.HEAP32.slice(p, p + M._vt_plot_size(which));
  });
  return [{job, ok: true, output, summary, plot, end: M._vt_plot_end()}, [output.buffer, ...plot.map((points) => points.buffer)]];
}

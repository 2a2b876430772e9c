'use strict';
// The page: the settings and their labels, the settings file and the live
// path on this thread through the WebAssembly module; MIDI files in a Web
// Worker (worker.js) running the same module, compiled once here. One job at
// a time: a job asked for while one runs waits in a single place, where a
// later one replaces it, so the latest settings win and no work piles up.
(() => {
  // From the filter's settings table, once the module is loaded: the
  // settings (the LV2 controls' symbols, in table order), the presets, the
  // number of cells and the settings stream's size.
  let SETTINGS = [];              // {symbol, name, minimum, maximum, isList, isController}
  let PRESETS = [];               // [label, values]
  let CELLS = 0, SETTINGS_BYTES = 0;
  let MODE = -1;                  // the setting whose value the others' labels follow
  const STORED = 'veltrace.settings';       // the settings stream in this browser's storage, base64
  const RELEASE_ABOVE = 128 * 1024 * 1024;  // a worker whose memory grew past this is ended after its job

  const $ = (selector) => document.querySelector(selector);
  const slider = (index) => document.querySelector(`[name="${SETTINGS[index].symbol}"]`);
  const typed = (index) => document.querySelector(`[data-typed="${SETTINGS[index].symbol}"]`);

  let M = null;                   // the module on this thread
  let compiled = null;            // the WebAssembly module, compiled once for this thread and every worker
  let cells = null;               // the table's cells, as the filter holds them
  let worker = null;
  let jobs = 0, files = 0;        // numbers given to jobs and to files opened
  let running = null;             // the job the worker has
  let waiting = null;             // the job to run next; a later one replaces it
  let opened = null;              // {file, name, fileId}: the file chosen last, until it is shown or refused
  let shown = null;               // the result on show: {file, name, fileId, cells, url, streams, plotted, …}
  let stream = null;              // {track, channel} chosen for the plot; null: where the master moves most

  // Buffers in the module's memory for one call.
  function call(bytes, name, cellsIn, fn) {
    const pointers = [];
    const take = (size) => { const p = M._malloc(Math.max(size, 1)); pointers.push(p); return p; };
    try {
      const data = take(bytes.length); M.HEAPU8.set(bytes, data);
      const size = M.lengthBytesUTF8(name) + 1, text = take(size); M.stringToUTF8(name, text, size);
      const table = take(CELLS * 4); if (cellsIn) M.HEAP32.set(cellsIn, table >> 2);
      return fn(data, text, table);
    } finally {
      pointers.forEach((p) => M._free(p));
    }
  }

  const label = (index, value, mode) => M.UTF8ToString(M._vt_label(index, value, mode));

  function alertLine(text) { $('#alert').textContent = text; }
  function status(text) { $('#status').textContent = text; }

  // --- settings -----------------------------------------------------------
  // The table as the module holds it, and a control for each setting.
  function readTable() {
    const text = (pointer) => M.UTF8ToString(pointer);
    CELLS = M._vt_cell_count();
    SETTINGS_BYTES = M._vt_settings_bytes();
    for (let index = 0; index < M._vt_setting_count(); index++) {
      SETTINGS.push({symbol: text(M._vt_setting_symbol(index)), name: text(M._vt_setting_name(index)),
        minimum: M._vt_setting_minimum(index), maximum: M._vt_setting_maximum(index),
        isList: M._vt_setting_is_list(index) === 1, isController: M._vt_setting_is_controller(index) === 1});
      if (SETTINGS[index].isList) MODE = index;
    }
    for (let preset = 0; preset < M._vt_preset_count(); preset++)
      PRESETS.push([text(M._vt_preset_label(preset)), SETTINGS.map((s, index) => M._vt_preset_value(preset, index))]);
  }

  // A slider and a field to type the number in, or a list for the mode;
  // the text beside them is the property page's, with a controller's name.
  function buildControls() {
    const form = $('#controls');
    SETTINGS.forEach((setting, index) => {
      const row = document.createElement('div');
      row.className = 'control';
      const name = document.createElement('label');
      name.htmlFor = setting.symbol; name.textContent = setting.name;
      let input, number = null;
      if (setting.isList) {
        input = document.createElement('select');
        for (let value = setting.minimum; value <= setting.maximum; value++) input.add(new Option('', String(value)));
      } else {
        input = document.createElement('input');
        input.type = 'range'; input.min = String(setting.minimum); input.max = String(setting.maximum);
        number = document.createElement('input');
        number.type = 'number'; number.min = input.min; number.max = input.max; number.step = '1';
        number.inputMode = 'numeric'; number.dataset.typed = setting.symbol;
        number.setAttribute('aria-label', `${setting.name}, typed`);
      }
      input.id = input.name = setting.symbol;
      const shownText = document.createElement('output');
      shownText.dataset.label = setting.symbol; shownText.htmlFor = setting.symbol;
      row.append(name, input, ...(number ? [number] : []), shownText);
      if (setting.isList) row.classList.add('list');
      form.append(row);
    });
  }

  function showSettings() {
    SETTINGS.forEach((setting, index) => {
      slider(index).value = String(cells[index]);
      if (!setting.isList) typed(index).value = String(cells[index]);
    });
    relabel();
  }

  // The text a setting's value is shown with.
  function shownText(index, value, mode) {
    const text = label(index, value, mode), name = SETTINGS[index].isController ? VeltraceControllerNames(value) : '';
    return name ? `${text} ${name}` : text;
  }

  function relabel() {
    const mode = MODE >= 0 ? cells[MODE] : 0;
    SETTINGS.forEach((setting, index) => {
      const text = shownText(index, cells[index], mode);
      $(`[data-label="${setting.symbol}"]`).textContent = text;
      if (setting.isList) {
        for (const option of slider(index).options) option.textContent = shownText(index, Number(option.value), mode);
      } else {
        slider(index).setAttribute('aria-valuetext', text);
      }
    });
  }

  function remember() {
    try {
      const bytes = written();
      localStorage.setItem(STORED, btoa(String.fromCharCode(...bytes)));
    } catch (error) {
      // No storage here (a private window, or the user's choice): the page works, it only forgets.
    }
  }

  // The settings the live path filters with.
  function sendLiveSettings() {
    call([], '', cells, (d, t, table) => M._vt_live_settings(table));
  }

  // After showSettings: the labels are already the new settings'.
  function settingsChanged() {
    remember();
    sendLiveSettings();
    const file = opened || shown;
    if (file) runFile(file);
  }

  function setCell(index, value) {
    if (value === cells[index]) return;
    cells[index] = value;
    $('#preset').value = '';
    showSettings();
    settingsChanged();
  }

  function onControl(event) {
    const symbol = event.target.dataset.typed || event.target.name;
    const index = SETTINGS.findIndex((setting) => setting.symbol === symbol);
    if (index < 0) return;
    if (event.target.dataset.typed) {
      if (event.type !== 'change') return;  // typed numbers count once they are entered
      const setting = SETTINGS[index], text = event.target.value.trim();
      const value = Number(text);
      if (text === '' || !Number.isInteger(value) || value < setting.minimum || value > setting.maximum) {
        alertLine(`${setting.name} takes a whole number from ${setting.minimum} to ${setting.maximum}; ` +
          `"${event.target.value}" was not applied.`);
        event.target.value = String(cells[index]);
        return;
      }
      alertLine('');
      setCell(index, value);
      return;
    }
    setCell(index, parseInt(event.target.value, 10));
  }

  function useCells(values) {
    values.forEach((value, index) => { cells[index] = value; });
    showSettings();
    settingsChanged();
  }

  function choosePreset() {
    const preset = PRESETS[Number($('#preset').value)];
    if (preset) useCells(preset[1]);
  }

  function resetSettings() {
    $('#preset').value = '';
    alertLine('');
    useCells(defaultCells());
  }

  function defaultCells() {
    const values = new Int32Array(CELLS);
    call([], '', null, (d, t, table) => {
      M._vt_default_cells(table);
      values.set(M.HEAP32.subarray(table >> 2, (table >> 2) + CELLS));
    });
    return values;
  }

  // A settings stream checked as the tool checks one: {cells} or {error}.
  function readStream(bytes, name) {
    const read = new Int32Array(CELLS);
    const ok = call(bytes, name, cells, (data, text, table) => {
      const good = M._vt_read_settings(data, bytes.length, text, table);
      read.set(M.HEAP32.subarray(table >> 2, (table >> 2) + CELLS));
      return good;
    });
    return ok ? {cells: read} : {error: M.UTF8ToString(M._vt_error())};
  }

  async function openSettings(event) {
    const chosen = event.target.files[0];
    event.target.value = '';
    if (!chosen) return;
    const read = readStream(new Uint8Array(await chosen.arrayBuffer()), chosen.name);
    if (read.error) {
      alertLine(read.error);  // the settings, and the result on show, stay as they are
      return;
    }
    alertLine('');
    $('#preset').value = '';
    useCells(read.cells);
  }

  function written() {
    return call([], '', cells, (d, t, table) => {
      const p = M._vt_write_settings(table);
      return M.HEAPU8.slice(p, p + SETTINGS_BYTES);
    });
  }

  function saveSettings() {
    const url = URL.createObjectURL(new Blob([written()], {type: 'application/octet-stream'}));
    const link = document.createElement('a');
    link.href = url; link.download = 'veltrace-settings.bin';
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
  }

  // The settings this browser kept from the last visit, or the defaults.
  function storedCells() {
    let text = null;
    try { text = localStorage.getItem(STORED); } catch (error) { return defaultCells(); }
    if (text === null) return defaultCells();
    let read;
    try {
      read = readStream(Uint8Array.from(atob(text), (c) => c.charCodeAt(0)), 'the settings kept in this browser');
    } catch (error) {
      read = {error: 'the settings kept in this browser: not base64'};
    }
    if (read.cells) return read.cells;
    alertLine(`${read.error}; the defaults are shown.`);
    try { localStorage.removeItem(STORED); } catch (error) { /* as above */ }
    return defaultCells();
  }

  // --- files and jobs -----------------------------------------------------
  function newWorker() {
    const w = new Worker('worker.js');
    w.onmessage = onWorkerMessage;
    w.onerror = (e) => {
      e.preventDefault();
      const job = running;
      endWorker();
      running = null;
      alertLine(`the page's worker failed: ${e.message}`);
      if (job) refused(job);
      next();
    };
    w.postMessage({kind: 'module', module: compiled});
    return w;
  }

  function endWorker() {
    if (worker) worker.terminate();
    worker = null;
  }

  // An idle worker's memory goes back to the system: it closes itself, on
  // its own thread (ended from here, the page's thread would wait for its
  // memory to be unmapped).
  function releaseWorker() {
    worker.postMessage({kind: 'close'});
    worker = null;
  }

  // Asks for a job: at once when the worker is free, else in the waiting
  // place (replacing what waited there). A new file ends a job under way,
  // whose result nobody wants any more.
  function submit(job) {
    job.id = ++jobs;
    if (running && job.newFile) { endWorker(); running = null; }
    if (running) { waiting = job; return; }
    begin(job);
  }

  function begin(job) {
    if (!worker) worker = newWorker();
    running = job; waiting = null;
    worker.postMessage({kind: job.kind, job: job.id, file: job.file, name: job.name, fileId: job.fileId,
      cells: Array.from(job.cells), track: job.track, channel: job.channel});
    if (job.kind === 'run') {
      const progress = $('#progress');
      progress.hidden = false; progress.value = 0;
      status(`${job.name}: working…`);
      $('#download-slot').hidden = true;  // the link on offer is for other settings or another file
    }
    showPlayable();
  }

  function next() {
    const job = waiting;
    waiting = null;
    if (job) begin(job);
    showPlayable();
  }

  function runFile(file, newFile = false) {
    submit({kind: 'run', file: file.file, name: file.name, fileId: file.fileId, cells: cells.slice(), newFile,
      since: performance.now()});
  }

  function onWorkerMessage(event) {
    const message = event.data;
    if (!running || message.job !== running.id) return;
    if ('progress' in message) { $('#progress').value = message.progress; return; }
    const job = running;
    running = null;
    if (message.heapBytes > RELEASE_ABOVE) releaseWorker();
    if (waiting && waiting.kind === 'run') { next(); return; }  // a later run makes this result stale
    if (!message.ok) {
      alertLine(message.error);
      refused(job);
    } else if (job.kind === 'run') {
      showResult(job, message);
    } else if (job.kind === 'plot') {
      shown.plot = message.plot; shown.plotted = {track: message.track, channel: message.channel};
      drawPlot();
    } else if (job.kind === 'schedule' && job.fileId === shown?.fileId) {
      VeltraceLive.play(message.times, message.messages, outputName(shown.name));
    }
    next();
    plotIfChosen();
  }

  // A run that did not go through: the last good result stays on show.
  function refused(job) {
    $('#progress').hidden = true;
    if (job.kind === 'run' && opened && job.fileId === opened.fileId) opened = null;
    status(shown ? `Still showing ${shown.name}.` : 'No file yet.');
    $('#download-slot').hidden = !shown;
  }

  // What the filtered file is called: the input's name, its extension replaced.
  const outputName = (name) => `${name.replace(/\.(mid|midi|smf)$/i, '')}-veltrace.mid`;

  function showResult(job, message) {
    $('#progress').hidden = true;
    alertLine('');
    if (shown && shown.fileId !== job.fileId) stream = null;  // another file: the busiest stream first
    if (shown) URL.revokeObjectURL(shown.url);
    const busiest = message.streams[message.busiest];
    shown = {file: job.file, name: job.name, fileId: job.fileId, cells: job.cells, url: URL.createObjectURL(message.output),
      streams: message.streams, plot: message.plot, end: message.end, division: message.division, meters: message.meters,
      plotted: busiest ? {track: busiest[0], channel: busiest[1]} : null};
    opened = null;
    const ms = performance.now() - job.since;
    const link = document.createElement('a');
    link.href = shown.url; link.download = outputName(job.name);
    link.textContent = `Download ${link.download}`;
    const slot = $('#download-slot');
    slot.replaceChildren(link);
    slot.hidden = false;
    status(`${job.name}: ${message.summary.total[2]} channel events through the filter in ${Math.round(ms)} ms.`);
    $('#status').dataset.ms = ms.toFixed(1);
    showSummary(message.summary);
    showStreams();
    drawPlot();
  }

  // The output on offer is for the file before: it goes at once.
  function openMidi(chosen) {
    if (!chosen) return;
    VeltraceLive.stop();
    opened = {file: chosen, name: chosen.name, fileId: ++files};
    runFile(opened, true);
  }

  function showSummary(summary) {
    const body = $('#summary tbody');
    const rows = summary.rows.map(([first, last, ...figures]) => {
      const tr = document.createElement('tr');
      [first === last ? String(first) : `${first}–${last}`, ...figures].forEach((text) => {
        tr.insertCell().textContent = String(text);
      });
      return tr;
    });
    const total = document.createElement('tr');
    ['total', ...summary.total.slice(2)].forEach((text) => { total.insertCell().textContent = String(text); });
    body.replaceChildren(...rows, total);
  }

  // --- the plot -------------------------------------------------------------
  const streamKey = (s) => `${s.track}:${s.channel}`;
  const sameStream = (a, b) => Boolean(a) && Boolean(b) && a.track === b.track && a.channel === b.channel;

  function showStreams() {
    const select = $('#stream');
    select.replaceChildren(...shown.streams.map(([track, channel, masterIn, masterOut, modifierIn]) =>
      new Option(`Track ${track + 1}, channel ${channel + 1}: master ${masterIn} in, ${masterOut} out; ` +
        `modifier ${modifierIn}`, streamKey({track, channel}))));
    select.disabled = shown.streams.length === 0;
    if (shown.plotted) select.value = streamKey(shown.plotted);
  }

  function chooseStream() {
    const [track, channel] = $('#stream').value.split(':').map(Number);
    stream = {track, channel};
    plotIfChosen();
  }

  // The stream the user chose, plotted once nothing else runs.
  function plotIfChosen() {
    if (!running && shown && stream && !sameStream(stream, shown.plotted)) askPlot();
  }

  function askPlot() {
    submit({kind: 'plot', file: shown.file, name: shown.name, fileId: shown.fileId, cells: shown.cells,
      track: stream.track, channel: stream.channel});
  }

  function streamName(value) {
    const name = VeltraceControllerNames(value);
    return value > 0 ? `CC ${value}${name ? ' ' + name : ''}` : 'channel pressure';
  }

  function drawPlot() {
    const canvas = $('#plot');
    if (!shown) { VeltracePlot.draw(canvas, null); return; }
    const where = shown.plotted ? `track ${shown.plotted.track + 1}, channel ${shown.plotted.channel + 1}` : 'no stream';
    canvas.setAttribute('aria-label', `The master before and after the filter on ${where}, with the modifier underneath`);
    VeltracePlot.draw(canvas, {plot: shown.plot, end: shown.end, division: shown.division, meters: shown.meters,
      master: streamName(shown.cells[0]), modifier: streamName(shown.cells[1])});
  }

  // --- playing the output -----------------------------------------------------
  let playState = {canPlay: false, playing: false};
  function showPlayable(state = playState) {
    playState = state;
    $('#play').disabled = !shown || !state.canPlay || state.playing || Boolean(running);
    $('#stop').disabled = !state.playing;
  }

  function play() {
    if (!shown) return;
    submit({kind: 'schedule', file: shown.file, name: shown.name, fileId: shown.fileId, cells: shown.cells});
  }

  // --- start --------------------------------------------------------------
  async function startPage() {
    compiled = await WebAssembly.compileStreaming(fetch('veltrace.wasm'));
    M = await VeltraceModule({
      instantiateWasm: (imports, done) => {
        WebAssembly.instantiate(compiled, imports).then((instance) => done(instance, compiled));
        return {};
      },
    });
    readTable();
    buildControls();
    PRESETS.forEach(([name], index) => $('#preset').add(new Option(name, String(index))));
    cells = storedCells();
    showSettings();
    sendLiveSettings();

    $('#controls').addEventListener('input', onControl);
    $('#controls').addEventListener('change', onControl);
    $('#preset').addEventListener('change', choosePreset);
    $('#reset').addEventListener('click', resetSettings);
    $('#midi-file').addEventListener('change', (e) => { openMidi(e.target.files[0]); e.target.value = ''; });
    $('input[data-kind="settings"]').addEventListener('change', openSettings);
    $('#save-settings').addEventListener('click', saveSettings);
    $('#stream').addEventListener('change', chooseStream);
    $('#play').addEventListener('click', play);
    $('#stop').addEventListener('click', () => VeltraceLive.stop());
    const drop = $('#drop');
    drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
    drop.addEventListener('dragleave', () => drop.classList.remove('over'));
    drop.addEventListener('drop', (e) => {
      e.preventDefault(); drop.classList.remove('over');
      openMidi(e.dataTransfer.files[0]);
    });
    VeltraceLive.start(M, showPlayable);
    let redraw = 0;
    new ResizeObserver(() => {
      cancelAnimationFrame(redraw);
      redraw = requestAnimationFrame(drawPlot);
    }).observe($('#plot'));
    worker = newWorker();  // it instantiates the module while a file is chosen
    document.documentElement.dataset.ready = 'yes';
  }

  startPage().catch((error) => alertLine(`the page could not start its WebAssembly module: ${error}`));
})();

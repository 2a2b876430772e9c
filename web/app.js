'use strict';
// The page: settings and their labels, the live path and the settings file
// on this thread through the WebAssembly module; MIDI files in a Web Worker
// (worker.js) running the same module, so a large file never freezes the page.
(() => {
  // From the filter's settings table, once the module is loaded: the
  // settings (the LV2 controls' symbols, in table order), the presets, the
  // number of cells and the settings stream's size.
  let SETTINGS = [];              // {symbol, name, minimum, maximum, isList}
  let PRESETS = [];               // [label, values]
  let CELLS = 0, SETTINGS_BYTES = 0;
  let MODE = -1;                  // the setting whose value the others' labels follow
  const NO_MIDI = 'This browser has no Web MIDI: the live path is off; MIDI files work as before.';

  const $ = (selector) => document.querySelector(selector);
  const control = (index) => document.querySelector(`[name="${SETTINGS[index].symbol}"]`);

  let M = null;                   // the module on this thread
  let cells = null;               // the table's cells, as the filter holds them
  let file = null;                // {name, bytes}: the last file that went through
  let worker = null, job = 0, busy = false, started = 0;
  let downloadUrl = null;
  let pending = null;             // the file of the run under way
  let opening = 0;                // the latest file asked for: older ones that arrive late are dropped
  let midiAccess = null, midiIn = null, midiOut = null;
  const live = {in: 0, out: 0, dropped: 0, starts: 0};

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

  // --- settings -----------------------------------------------------------
  // The table as the module holds it, and a control for each setting.
  function readTable() {
    const text = (pointer) => M.UTF8ToString(pointer);
    CELLS = M._vt_cell_count();
    SETTINGS_BYTES = M._vt_settings_bytes();
    for (let index = 0; index < M._vt_setting_count(); index++) {
      SETTINGS.push({symbol: text(M._vt_setting_symbol(index)), name: text(M._vt_setting_name(index)),
        minimum: M._vt_setting_minimum(index), maximum: M._vt_setting_maximum(index),
        isList: M._vt_setting_is_list(index) === 1});
      if (SETTINGS[index].isList) MODE = index;
    }
    for (let preset = 0; preset < M._vt_preset_count(); preset++)
      PRESETS.push([text(M._vt_preset_label(preset)), SETTINGS.map((s, index) => M._vt_preset_value(preset, index))]);
  }

  function buildControls() {
    const form = $('#controls');
    SETTINGS.forEach((setting, index) => {
      const row = document.createElement('div');
      row.className = 'control';
      const name = document.createElement('label');
      name.htmlFor = setting.symbol; name.textContent = setting.name;
      let input;
      if (setting.isList) {
        input = document.createElement('select');
        for (let value = setting.minimum; value <= setting.maximum; value++) input.add(new Option('', String(value)));
      } else {
        input = document.createElement('input');
        input.type = 'range'; input.min = String(setting.minimum); input.max = String(setting.maximum);
      }
      input.id = input.name = setting.symbol;
      const shown = document.createElement('output');
      shown.dataset.label = setting.symbol; shown.htmlFor = setting.symbol;
      row.append(name, input, shown);
      form.append(row);
    });
  }

  function showSettings() {
    SETTINGS.forEach((setting, index) => { control(index).value = String(cells[index]); });
    relabel();
  }

  function relabel() {
    const mode = MODE >= 0 ? cells[MODE] : 0;
    SETTINGS.forEach((setting, index) => {
      $(`[data-label="${setting.symbol}"]`).textContent = label(index, cells[index], mode);
      if (setting.isList)
        for (const option of control(index).options) option.textContent = label(index, Number(option.value), mode);
    });
  }

  function settingsChanged() {
    relabel();
    call([], '', cells, (d, t, table) => M._vt_live_settings(table));
    if (file) run(file);
  }

  function onControl(event) {
    const index = SETTINGS.findIndex((setting) => setting.symbol === event.target.name);
    if (index < 0) return;
    const value = parseInt(event.target.value, 10);
    if (value === cells[index]) return;
    cells[index] = value;
    $('#preset').value = '';
    settingsChanged();
  }

  function choosePreset() {
    const preset = PRESETS[Number($('#preset').value)];
    if (!preset) return;
    preset[1].forEach((value, index) => { cells[index] = value; });
    showSettings();
    settingsChanged();
  }

  async function openSettings(event) {
    const chosen = event.target.files[0];
    event.target.value = '';
    if (!chosen) return;
    const bytes = new Uint8Array(await chosen.arrayBuffer());
    const read = new Int32Array(CELLS);
    const ok = call(bytes, chosen.name, cells, (data, name, table) => {
      const good = M._vt_read_settings(data, bytes.length, name, table);
      read.set(M.HEAP32.subarray(table >> 2, (table >> 2) + CELLS));
      return good;
    });
    if (!ok) {
      // Nothing is offered for the refused file; the settings stay, and so
      // does a run of them under way.
      alertLine(M.UTF8ToString(M._vt_error()));
      dropDownload();
      return;
    }
    alertLine('');
    cells = read;
    $('#preset').value = '';
    showSettings();
    settingsChanged();
  }

  function saveSettings() {
    const bytes = call([], '', cells, (d, t, table) => {
      const p = M._vt_write_settings(table);
      return M.HEAPU8.slice(p, p + SETTINGS_BYTES);
    });
    const url = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
    const link = document.createElement('a');
    link.href = url; link.download = 'veltrace-settings.bin';
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
  }

  // --- files --------------------------------------------------------------
  function dropDownload() {
    $('#download-slot').replaceChildren();
    if (downloadUrl) URL.revokeObjectURL(downloadUrl);
    downloadUrl = null;
  }

  // No output is offered, and a run under way is of no use any more.
  function cancelRun() {
    dropDownload();
    job += 1;
    if (busy && worker) { worker.terminate(); worker = null; }
    busy = false;
    $('#progress').hidden = true;
  }

  function newWorker() {
    const w = new Worker('worker.js');
    w.onmessage = onWorkerMessage;
    w.onerror = (e) => {
      alertLine(`the page's worker failed: ${e.message}`);
      cancelRun();
      if (worker) { worker.terminate(); worker = null; }  // the next run starts a new one
      $('#status').textContent = file ? `Still showing ${file.name}.` : 'No file yet.';
    };
    return w;
  }

  // Runs `candidate` through the filter with the current settings; it
  // becomes the page's file once it went through.
  function run(candidate, since = performance.now()) {
    started = since;
    cancelRun();
    if (!worker) worker = newWorker();
    busy = true;
    const progress = $('#progress');
    progress.hidden = false; progress.value = 0;
    $('#status').textContent = `${candidate.name}: working…`;
    const bytes = candidate.bytes.slice();
    worker.postMessage({job, name: candidate.name, bytes, cells: Array.from(cells)}, [bytes.buffer]);
    pending = candidate;
  }

  function onWorkerMessage(event) {
    const message = event.data;
    if (message.job !== job) return;
    if ('progress' in message) { $('#progress').value = message.progress; return; }
    busy = false;
    $('#progress').hidden = true;
    if (!message.ok) {
      alertLine(message.error);
      $('#status').textContent = file ? `Still showing ${file.name}.` : 'No file yet.';
      return;
    }
    alertLine('');
    file = pending;
    const ms = performance.now() - started;
    const base = file.name.replace(/\.(mid|midi|smf)$/i, '');
    downloadUrl = URL.createObjectURL(new Blob([message.output], {type: 'audio/midi'}));
    const link = document.createElement('a');
    link.href = downloadUrl; link.download = `${base}-veltrace.mid`;
    link.textContent = `Download ${base}-veltrace.mid`;
    $('#download-slot').replaceChildren(link);
    const eventsIn = message.summary.reduce((sum, row) => sum + row[0], 0);
    const status = $('#status');
    status.textContent = `${file.name}: ${eventsIn} channel events through the filter in ${Math.round(ms)} ms.`;
    status.dataset.ms = ms.toFixed(1);
    showSummary(message.summary);
    drawPlot(message.plot, message.end);
  }

  // The output on offer is for the file before: it goes at once, and a file
  // that finishes reading after a later one was chosen is dropped.
  function openMidi(chosen) {
    if (!chosen) return;
    const since = performance.now(), token = ++opening;
    cancelRun();
    $('#status').textContent = `${chosen.name}: reading…`;
    chosen.arrayBuffer().then(
      (buffer) => { if (token === opening) run({name: chosen.name, bytes: new Uint8Array(buffer)}, since); },
      (error) => {
        if (token !== opening) return;
        alertLine(`${chosen.name}: cannot be read (${error.name || error})`);
        $('#status').textContent = file ? `Still showing ${file.name}.` : 'No file yet.';
      });
  }

  function showSummary(rows) {
    const body = $('#summary tbody');
    body.replaceChildren();
    const total = [0, 0, 0, 0, 0];
    const add = (name, figures) => {
      const tr = body.insertRow();
      [name, ...figures].forEach((text) => { tr.insertCell().textContent = String(text); });
    };
    rows.forEach((row, i) => { add(i + 1, row); row.forEach((v, c) => { total[c] += v; }); });
    add('total', total);
  }

  // The master before (grey) and after (blue) on top, the modifier
  // underneath: each series in columns of (lowest, highest, last) values.
  function drawPlot(plot, end) {
    const canvas = $('#plot'), g = canvas.getContext('2d');
    const W = canvas.width, H = canvas.height, left = 44, right = 10, gap = 26;
    const top = {y: 24, h: (H - 24 - gap - 22) * 0.62}, bottom = {};
    bottom.y = top.y + top.h + gap; bottom.h = H - bottom.y - 22;
    g.clearRect(0, 0, W, H);
    g.font = '12px system-ui, sans-serif';
    const frame = (panel, title) => {
      g.strokeStyle = '#d5dae0'; g.lineWidth = 1; g.strokeRect(left, panel.y, W - left - right, panel.h);
      g.fillStyle = '#5c6670'; g.fillText(title, left, panel.y - 6);
      g.fillText('127', 8, panel.y + 10); g.fillText('0', 8, panel.y + panel.h);
    };
    const trace = (columns, panel, colour) => {
      const count = columns.length / 3, x = (c) => left + (W - left - right) * c / (count - 1);
      const y = (v) => panel.y + panel.h - panel.h * v / 127;
      g.strokeStyle = colour; g.lineWidth = 1.5; g.beginPath();
      let last = -1;
      for (let c = 0; c < count; c++) {
        const low = columns[3 * c], high = columns[3 * c + 1], now = columns[3 * c + 2];
        if (now < 0) continue;
        if (last < 0) g.moveTo(x(c), y(now)); else g.lineTo(x(c), y(last));
        const from = last < 0 ? low : Math.min(low, last), to = last < 0 ? high : Math.max(high, last);
        g.moveTo(x(c), y(from)); g.lineTo(x(c), y(to)); g.moveTo(x(c), y(now));
        last = now;
      }
      if (last >= 0) g.lineTo(x(count - 1), y(last));
      g.stroke();
    };
    const name = (v) => (v > 0 ? `CC ${v}` : 'channel pressure');
    frame(top, `Master (${name(cells[0])}): before in grey, after in blue`);
    frame(bottom, `Modifier (${name(cells[1])})`);
    trace(plot[0], top, '#a3acb6');
    trace(plot[1], top, '#1f6fd1');
    trace(plot[2], bottom, '#d17a1f');
    g.fillStyle = '#5c6670'; g.textAlign = 'right'; g.fillText(`${end} ticks`, W - right, H - 6); g.textAlign = 'left';
  }

  // --- live ---------------------------------------------------------------
  function liveLine(text) { $('#live-status').textContent = text; }

  function showLiveCounts() {
    liveLine(`Live: ${live.in} in, ${live.out} out, ${live.dropped} dropped as repeats, ${live.starts} starts.`);
  }

  function send(bytes) {
    live.out += 1;
    if (midiOut) midiOut.send(bytes);
  }

  function onMidiMessage(event) {
    const d = event.data;
    if (!d || !d.length) return;
    const status = d[0];
    live.in += 1;
    if (status === 0xFA) {  // Start: the filter's start, and on to the output
      M._vt_live_start();
      live.starts += 1;
      send(Array.from(d));
    } else if (status >= 0x80 && status < 0xF0) {
      const out = M._vt_live_message(status, d[1] || 0, d[2] || 0);
      if (out < 0) { live.dropped += 1; } else {
        const s = out & 0xFF, kind = s & 0xF0;
        send(kind === 0xC0 || kind === 0xD0 ? [s, (out >> 8) & 0xFF] : [s, (out >> 8) & 0xFF, (out >> 16) & 0xFF]);
      }
    } else {
      send(Array.from(d));  // system messages pass unchanged
    }
    showLiveCounts();
  }

  function fillPorts() {
    const fill = (select, ports, chosen) => {
      const keep = chosen ? chosen.id : select.value;
      select.replaceChildren(new Option('(none)', ''));
      for (const port of ports.values()) select.add(new Option(port.name || port.id, port.id));
      select.value = [...ports.keys()].includes(keep) ? keep : '';
      select.disabled = false;
    };
    fill($('#midi-in'), midiAccess.inputs, midiIn);
    fill($('#midi-out'), midiAccess.outputs, midiOut);
  }

  function chooseInput() {
    if (midiIn) midiIn.onmidimessage = null;
    midiIn = midiAccess.inputs.get($('#midi-in').value) || null;
    if (midiIn) midiIn.onmidimessage = onMidiMessage;
    showLiveCounts();
  }

  function chooseOutput() {
    midiOut = midiAccess.outputs.get($('#midi-out').value) || null;
  }

  async function connectMidi() {
    if (!navigator.requestMIDIAccess) { liveLine(NO_MIDI); return; }
    try {
      midiAccess = await navigator.requestMIDIAccess({sysex: false});
    } catch (error) {
      liveLine(`Web MIDI was refused (${error.name || error}): the live path is off; MIDI files work as before.`);
      return;
    }
    // A device that comes or goes: the lists anew, and a chosen one that
    // went is let go.
    midiAccess.onstatechange = () => { fillPorts(); chooseInput(); chooseOutput(); };
    fillPorts();
    chooseInput(); chooseOutput();
    liveLine(`Web MIDI: ${midiAccess.inputs.size} inputs, ${midiAccess.outputs.size} outputs. Choose an input and an output.`);
  }

  // --- start --------------------------------------------------------------
  async function start() {
    M = await VeltraceModule();
    readTable();
    cells = new Int32Array(CELLS);
    call([], '', null, (d, t, table) => {
      M._vt_default_cells(table);
      cells.set(M.HEAP32.subarray(table >> 2, (table >> 2) + CELLS));
    });
    buildControls();
    PRESETS.forEach(([name], index) => $('#preset').add(new Option(name, String(index))));
    showSettings();
    call([], '', cells, (d, t, table) => M._vt_live_settings(table));

    $('#controls').addEventListener('input', onControl);
    $('#controls').addEventListener('change', onControl);
    $('#preset').addEventListener('change', choosePreset);
    $('#midi-file').addEventListener('change', (e) => { openMidi(e.target.files[0]); e.target.value = ''; });
    $('input[data-kind="settings"]').addEventListener('change', openSettings);
    $('#save-settings').addEventListener('click', saveSettings);
    $('#live-connect').addEventListener('click', connectMidi);
    $('#midi-in').addEventListener('change', chooseInput);
    $('#midi-out').addEventListener('change', chooseOutput);
    const drop = $('#drop');
    drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
    drop.addEventListener('dragleave', () => drop.classList.remove('over'));
    drop.addEventListener('drop', (e) => {
      e.preventDefault(); drop.classList.remove('over');
      openMidi(e.dataTransfer.files[0]);
    });
    if (!navigator.requestMIDIAccess) liveLine(NO_MIDI);
    worker = newWorker();  // its module loads while a file is chosen
    worker.postMessage({job: 0, warm: true});
    document.documentElement.dataset.ready = 'yes';
  }

  start().catch((error) => alertLine(`the page could not start its WebAssembly module: ${error}`));
})();

'use strict';
// Web MIDI on the page: live input through the filter's live path to the
// chosen output, and the processed file played to that output in time. The
// live line counts only what happened: a message is "out" once the output
// took it; one that is incomplete, or that the output refused, or that had
// no output to go to, is counted as such. A chosen device that leaves is
// shown gone and chosen again when it returns.
window.VeltraceLive = (() => {
  // A message packed as status | data1 << 8 | data2 << 16 | its size << 24, as its bytes.
  const bytesOf = (m) => [m & 0xFF, (m >> 8) & 0xFF, (m >> 16) & 0xFF].slice(0, m >>> 24);
  const REPEAT = -1, CUT_SHORT = -2;  // what the live path says when nothing leaves
  const START = 0xFA;
  const LOOKAHEAD_MS = 250, PLAY_EVERY_MS = 40, PLAY_DELAY_MS = 100;
  const ALL_NOTES_OFF = 123, SUSTAIN = 64;
  const NO_MIDI = 'This browser has no Web MIDI: the live path is off; MIDI files work as before.';

  const $ = (selector) => document.querySelector(selector);
  let M = null;
  let access = null;
  // Per direction: the port chosen by the user (kept while it is gone) and
  // the one attached now.
  const chosen = {input: null, output: null}, attached = {input: null, output: null};
  const counts = {in: 0, out: 0, repeats: 0, incomplete: 0, unsent: 0, refused: 0, starts: 0};
  let note = '';                  // the latest word on a device
  let refusedNote = false;        // that word is of a refused message: a delivered one takes it away
  let playing = null;             // {times, messages, next, start, name, last}
  let onPlayChange = () => {};

  const kindName = {input: 'Input', output: 'Output'};
  const present = (port) => Boolean(port) && port.state !== 'disconnected';
  const portsOf = (kind) => (kind === 'input' ? access.inputs : access.outputs);

  function showLine() {
    const c = counts;
    let text = `Live: ${c.in} in, ${c.out} out, ${c.repeats} dropped as repeats, ${c.incomplete} incomplete dropped, ` +
      `${c.starts} starts.`;
    if (c.unsent) text += ` ${c.unsent} not sent: no output.`;
    if (c.refused) text += ` ${c.refused} refused by the output.`;
    if (note) text += ` ${note}`;
    $('#live-status').textContent = text;
  }

  // Hands the output one message; true once it took it.
  function send(bytes, when) {
    const output = attached.output;
    if (!present(output)) { counts.unsent += 1; return false; }
    try {
      if (when === undefined) output.send(bytes); else output.send(bytes, when);
      if (refusedNote) { note = ''; refusedNote = false; }
      return true;
    } catch (error) {
      counts.refused += 1;
      note = `Output "${output.name}" refused a message (${error.name || error}).`;
      refusedNote = true;
      return false;
    }
  }

  function pass(bytes) { if (send(bytes)) counts.out += 1; }

  function onMessage(event) {
    const d = event.data;
    if (!d || !d.length) return;
    counts.in += 1;
    const status = d[0];
    if (status >= 0x80 && status < 0xF0) {
      const out = M._vt_live_message(status, d[1] | 0, d[2] | 0, d.length);
      if (out === CUT_SHORT) {
        counts.incomplete += 1;  // never padded into a message that was not played
      } else if (out === REPEAT) {
        counts.repeats += 1;
      } else {
        pass(bytesOf(out));
      }
    } else if (status < 0x80) {
      counts.incomplete += 1;  // data without a status
    } else {
      if (status === START) { M._vt_live_start(); counts.starts += 1; }  // the filter's start, and on to the output
      pass(Array.from(d));      // system messages pass unchanged
    }
    showLine();
  }

  function attach(kind, port) {
    if (attached[kind] === port) return;
    if (kind === 'input' && attached.input) attached.input.onmidimessage = null;
    attached[kind] = port;
    if (kind === 'input' && port) port.onmidimessage = onMessage;
  }

  function fillSelect(kind) {
    const select = $(kind === 'input' ? '#midi-in' : '#midi-out');
    select.replaceChildren(new Option('(none)', ''));
    for (const port of portsOf(kind).values())
      if (present(port)) select.add(new Option(port.name || port.id, port.id));
    select.value = present(attached[kind]) ? attached[kind].id : '';
    select.disabled = false;
  }

  // The ports anew: a chosen one that left is let go and shown gone; one
  // that came back (by its id, or else its name) is chosen again.
  function refresh() {
    for (const kind of ['input', 'output']) {
      const wanted = chosen[kind];
      if (wanted && !present(attached[kind])) {
        const ports = [...portsOf(kind).values()].filter(present);
        const back = ports.find((p) => p.id === wanted.id) || ports.find((p) => p.name === wanted.name);
        if (back) {
          attach(kind, back);
          note = `${kindName[kind]} "${wanted.name}" is back.`;
          refusedNote = false;
        } else if (attached[kind]) {
          attach(kind, null);
          note = `${kindName[kind]} "${wanted.name}" is gone; it is chosen again when it returns.`;
          refusedNote = false;
        }
      }
      fillSelect(kind);
    }
    showLine();
    onPlayChange();
  }

  function choose(kind) {
    const id = $(kind === 'input' ? '#midi-in' : '#midi-out').value;
    const port = id ? portsOf(kind).get(id) : null;
    chosen[kind] = port ? {id: port.id, name: port.name || port.id} : null;
    attach(kind, present(port) ? port : null);
    note = '';
    refusedNote = false;
    showLine();
    onPlayChange();
  }

  async function connect() {
    if (!navigator.requestMIDIAccess) { $('#live-status').textContent = NO_MIDI; return; }
    try {
      access = await navigator.requestMIDIAccess({sysex: false});
    } catch (error) {
      $('#live-status').textContent =
        `Web MIDI was refused (${error.name || error}): the live path is off; MIDI files work as before.`;
      return;
    }
    access.onstatechange = refresh;
    refresh();
    $('#live-status').textContent =
      `Web MIDI: ${access.inputs.size} inputs, ${access.outputs.size} outputs. Choose an input and an output.`;
  }

  // --- the processed file to the output ----------------------------------
  function canPlay() { return present(attached.output); }

  function playStatus(text) { $('#play-status').textContent = text; }

  // Sends what falls within the next moments, each at its own time.
  function playSome() {
    const p = playing, now = performance.now();
    while (p.next < p.times.length && p.start + p.times[p.next] <= now + LOOKAHEAD_MS) {
      const at = p.start + p.times[p.next];
      if (!send(bytesOf(p.messages[p.next]), at)) { stop(`Playing ${p.name} stopped: the output took no more.`); showLine(); return; }
      p.last = at;
      p.next += 1;
    }
    if (p.next >= p.times.length && now >= p.last) stop(`Played ${p.name}: ${p.times.length} messages.`);
  }

  function play(times, messages, name) {
    stop('');
    playing = {times, messages, next: 0, start: performance.now() + PLAY_DELAY_MS, name, last: 0,
      timer: setInterval(() => playSome(), PLAY_EVERY_MS)};
    playStatus(`Playing ${name} to "${attached.output.name}"…`);
    playSome();
    onPlayChange();
  }

  // Ends playing: what was sent for later stays sent, so every channel's
  // notes and sustain are let go after the last of it.
  function stop(text = playing ? `Stopped ${playing.name}.` : '') {
    if (playing) {
      clearInterval(playing.timer);
      const after = Math.max(performance.now(), playing.last + 1);
      if (present(attached.output))
        for (let channel = 0; channel < 16; channel++) {
          send([0xB0 | channel, SUSTAIN, 0], after);
          send([0xB0 | channel, ALL_NOTES_OFF, 0], after);
        }
      playing = null;
    }
    if (text !== '') playStatus(text);
    onPlayChange();
  }

  function start(module, playChanged) {
    M = module;
    onPlayChange = () => playChanged({canPlay: canPlay(), playing: Boolean(playing)});
    $('#live-connect').addEventListener('click', connect);
    $('#midi-in').addEventListener('change', () => choose('input'));
    $('#midi-out').addEventListener('change', () => choose('output'));
    if (!navigator.requestMIDIAccess) $('#live-status').textContent = NO_MIDI;
  }

  return {start, play, stop};
})();

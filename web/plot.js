'use strict';
// The plot of one stream (a track's channel): the master before (grey) and
// after (blue) the filter on top, the modifier underneath, over bars and
// beats. Drawn at the canvas's own size in CSS pixels, so its text stays
// 12 px on a phone as on a desktop.
window.VeltracePlot = (() => {
  const FONT_PX = 12;
  const MIN_LABEL_GAP = 44, MIN_TICK_GAP = 6;  // CSS pixels between bar labels, between tick marks
  const COLOURS = {frame: '#d5dae0', text: '#5c6670', before: '#a3acb6', after: '#1f6fd1', modifier: '#d17a1f'};

  // The time signatures as segments of equal bars: {from, to, bar (ticks),
  // beat (ticks), first (the number of its first bar)}; none for an SMPTE
  // division, whose ticks are no beats.
  function barSegments(end, division, meters) {
    if (division & 0x8000 || division <= 0) return [];
    const changes = [];
    for (let i = 0; i + 2 < meters.length; i += 3) changes.push([meters[i], meters[i + 1], meters[i + 2]]);
    if (!changes.length || changes[0][0] > 0) changes.unshift([0, 4, 2]);
    const segments = [];
    let first = 1;
    changes.forEach(([from, beats, power], index) => {
      const to = index + 1 < changes.length ? changes[index + 1][0] : end;
      const beat = division * 4 / 2 ** power, bar = beat * beats;
      if (to <= from || bar <= 0) return;
      segments.push({from, to, bar, beat, first});
      first += Math.ceil((to - from) / bar);
    });
    return segments;
  }

  function drawAxis(g, x, y, end, view, width) {
    g.fillStyle = COLOURS.text; g.strokeStyle = COLOURS.text; g.lineWidth = 1;
    const segments = barSegments(end, view.division, view.meters);
    if (!segments.length) {
      g.textAlign = 'right'; g.fillText(`${end} ticks`, x(end), y + 16); g.textAlign = 'left';
      return;
    }
    const perTick = width / end;
    g.beginPath();
    for (const s of segments) {
      if (s.beat * perTick >= MIN_TICK_GAP)  // beats, where they stand apart
        for (let tick = s.from; tick < s.to; tick += s.beat) { g.moveTo(x(tick), y); g.lineTo(x(tick), y + 3); }
      // Bars: every `step`th labelled, with steps that keep the labels apart.
      let step = 1;
      while (s.bar * step * perTick < MIN_LABEL_GAP) step *= 2;
      const every = s.bar * perTick >= MIN_TICK_GAP ? 1 : step;
      for (let n = 0; s.from + n * s.bar < s.to; n += every) {
        const tick = s.from + n * s.bar, number = s.first + n;
        g.moveTo(x(tick), y); g.lineTo(x(tick), y + 6);
        if (n % step === 0) g.fillText(String(number), x(tick) + 2, y + 16);
      }
    }
    g.stroke();
  }

  // view: {plot: [master in, master out, modifier in] columns, end, division,
  // meters, master, modifier (their names)}.
  function draw(canvas, view) {
    const ratio = window.devicePixelRatio || 1;
    const W = canvas.clientWidth, H = canvas.clientHeight;
    if (!W || !H) return;
    canvas.width = Math.round(W * ratio); canvas.height = Math.round(H * ratio);
    const g = canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, W, H);
    g.font = `${FONT_PX}px system-ui, sans-serif`;
    if (!view) return;
    const left = 30, right = 8, gap = 24, axis = 22, width = W - left - right;
    const top = {y: 20, h: (H - 20 - gap - axis) * 0.62};
    const bottom = {y: top.y + top.h + gap};
    bottom.h = H - bottom.y - axis;
    const x = (tick) => left + width * tick / view.end;
    const frame = (panel, title) => {
      g.strokeStyle = COLOURS.frame; g.lineWidth = 1; g.strokeRect(left, panel.y, width, panel.h);
      g.fillStyle = COLOURS.text; g.fillText(title, left, panel.y - 6);
      g.fillText('127', 2, panel.y + 10); g.fillText('0', 2, panel.y + panel.h);
    };
    const trace = (columns, panel, colour) => {
      const count = columns.length / 3, cx = (c) => left + width * c / (count - 1);
      const y = (v) => panel.y + panel.h - panel.h * v / 127;
      g.strokeStyle = colour; g.lineWidth = 1.5; g.beginPath();
      let last = -1;
      for (let c = 0; c < count; c++) {
        const low = columns[3 * c], high = columns[3 * c + 1], now = columns[3 * c + 2];
        if (now < 0) continue;
        if (last < 0) g.moveTo(cx(c), y(now)); else g.lineTo(cx(c), y(last));
        const from = last < 0 ? low : Math.min(low, last), to = last < 0 ? high : Math.max(high, last);
        g.moveTo(cx(c), y(from)); g.lineTo(cx(c), y(to)); g.moveTo(cx(c), y(now));
        last = now;
      }
      if (last >= 0) g.lineTo(cx(count - 1), y(last));
      g.stroke();
    };
    frame(top, `Master (${view.master}): before, after`);
    const legend = g.measureText(`Master (${view.master}): `).width;
    g.fillStyle = COLOURS.before; g.fillText('before', left + legend, top.y - 6);
    g.fillStyle = COLOURS.after;
    g.fillText('after', left + legend + g.measureText('before, ').width, top.y - 6);
    frame(bottom, `Modifier (${view.modifier})`);
    trace(view.plot[0], top, COLOURS.before);
    trace(view.plot[1], top, COLOURS.after);
    trace(view.plot[2], bottom, COLOURS.modifier);
    drawAxis(g, x, bottom.y + bottom.h, view.end, view, width);
  }

  return {draw};
})();

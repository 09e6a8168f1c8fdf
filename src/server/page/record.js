'use strict';
// A learner's 学習の記録 laid out from the server's numbers: the learner's
// own page and the teacher's dialog show the same tables and charts, in
// elements of the same ids.

const LearnerRecord = (() => {
  function cell(row, text, number) {
    const td = document.createElement('td');
    td.textContent = text;
    if (number) td.className = 'number';
    row.appendChild(td);
  }

  function drawRecord(p) {
    $('record-who').textContent = `学習者: ${p.learner}　　これまでの回答: ${p.answers}回`;
    $('record-aside').textContent = p.setAside;
    $('record-aside').hidden = !p.setAside;
    const series = $('record-series').tBodies[0];
    series.replaceChildren();
    if (p.answers === 0) {
      const row = series.insertRow();
      cell(row, 'まだ回答の記録がありません');
      row.cells[0].colSpan = 5;
    }
    for (const s of p.answers === 0 ? [] : p.series) {
      const row = series.insertRow();
      cell(row, s.title);
      row.cells[0].title = s.series;
      // Nothing seen has no rate, which is not the same as none right.
      [s.seen, s.seen > 0 ? s.rightPercent : '—', s.dueToday, s.dueThisWeek].forEach((n) => cell(row, n, true));
    }
    const terms = $('record-terms').tBodies[0];
    terms.replaceChildren();
    for (const t of p.terms) {
      const row = terms.insertRow();
      [t.heading, t.term, t.group].forEach((text) => cell(row, text));
      row.cells[0].title = t.series;
      cell(row, t.rightPercent, true);
      cell(row, `${t.right}/${t.firstChecks}`, true);
    }
    drawCharts(p);
  }

  // ---- the record's charts, as SVG drawn here --------------------------------------

  const Svg = 'http://www.w3.org/2000/svg';
  const ChartHeight = 240;
  const Plot = { left: 44, right: 18, top: 10, bottom: 26 };

  function svg(tag, attributes, parent) {
    const el = document.createElementNS(Svg, tag);
    for (const [name, value] of Object.entries(attributes)) el.setAttribute(name, value);
    if (parent) parent.appendChild(el);
    return el;
  }

  function label(parent, x, y, text, anchor) {
    const t = svg('text', { x, y, 'text-anchor': anchor }, parent);
    t.textContent = text;
  }

  // A chart the width of its place, in CSS pixels, so that its text is the
  // size the style sheet gives it; named by its title, told in words.
  function chart(figure, description) {
    figure.querySelector('svg')?.remove();
    const width = Math.max(280, Math.min(560, figure.clientWidth || 400));
    const el = svg('svg', { width, height: ChartHeight, viewBox: `0 0 ${width} ${ChartHeight}`, role: 'img' }, figure);
    el.setAttribute('aria-label', `${figure.querySelector('figcaption').textContent}: ${description}`);
    return { el, plotWidth: width - Plot.left - Plot.right, plotHeight: ChartHeight - Plot.top - Plot.bottom };
  }

  // The value axis from 0 to `top` in `steps` steps, with its grid.
  function valueAxis(c, top, steps, format) {
    for (let k = 0; k <= steps; ++k) {
      const y = Plot.top + c.plotHeight - (k * c.plotHeight) / steps;
      svg('line', { x1: Plot.left, x2: Plot.left + c.plotWidth, y1: y, y2: y, class: k ? 'grid' : 'axis' }, c.el);
      label(c.el, Plot.left - 6, y + 4, format((top * k) / steps), 'end');
    }
  }

  // The dates under `count` places: every `every`th, counting back from the
  // last, as the desktop names them.
  function dateAxis(c, dates, every) {
    const slot = c.plotWidth / dates.length;
    for (let i = (dates.length - 1) % every; i < dates.length; i += every) {
      const [, month, day] = dates[i].split('-').map(Number);
      label(c.el, Plot.left + slot * (i + 0.5), ChartHeight - 8, `${month}/${day}`, 'middle');
    }
    return slot;
  }

  function drawCharts(p) {
    const days = chart($('chart-days'), p.daysText);
    // Four steps of whole answers, so that no label repeats.
    const step = Math.max(1, Math.ceil(Math.max(0, ...p.days.map((d) => d.answers)) / 4));
    valueAxis(days, step * 4, 4, (v) => String(v));
    const slot = dateAxis(days, p.days.map((d) => d.day), 7);
    p.days.forEach((d, i) => {
      const h = (d.answers / (step * 4)) * days.plotHeight;
      svg('rect', { x: Plot.left + slot * (i + 0.15), y: Plot.top + days.plotHeight - h, width: slot * 0.7, height: h, class: 'data' }, days.el);
    });

    const weeks = chart($('chart-weeks'), p.weeksText);
    valueAxis(weeks, 100, 5, (v) => `${v}%`);
    const wslot = dateAxis(weeks, p.weeks.map((w) => w.monday), 2);
    // A week without reviews has no point; the line joins the others.
    const points = p.weeks.flatMap((w, i) => (w.reviews > 0
      ? [[Plot.left + wslot * (i + 0.5), Plot.top + weeks.plotHeight * (1 - w.rightPercent / 100)]] : []));
    if (points.length > 1) svg('polyline', { points: points.map((q) => q.join(',')).join(' '), class: 'line' }, weeks.el);
    for (const [x, y] of points) svg('circle', { cx: x, cy: y, r: 4, class: 'data' }, weeks.el);
  }

  return { draw: drawRecord, drawCharts };
})();

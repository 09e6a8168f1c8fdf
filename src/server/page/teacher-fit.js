// 復習の調整 under 結果, for the class shown: how well the review
// parameters predict the class's recall (the numbers, and predicted against
// recalled in ten bins as an SVG chart, for the defaults and the class's
// own), the reviews a day over the next 30 days at the class's retention,
// the fit run for the class and the retention set. Uses teacher.js's view,
// withClass and call; text goes in with textContent only.
'use strict';

const Svg = 'http://www.w3.org/2000/svg';
const fit = { shown: '', asking: false };

function svgNode(parent, name, attributes, text) {
  const node = document.createElementNS(Svg, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, String(value));
  if (text !== undefined) node.textContent = text;
  parent.append(node);
  return node;
}

// A chart's frame: its drawing area and the axes' titles.
function chartFrame(width, height, xTitle, yTitle) {
  const svg = document.createElementNS(Svg, 'svg');
  svg.setAttribute('viewBox', `0 0 ${width} ${height}`);
  svg.setAttribute('width', width);
  svg.setAttribute('height', height);
  svg.setAttribute('class', 'fit-chart');
  const area = { left: 52, top: 12, right: width - 20, bottom: height - 44 };
  svgNode(svg, 'rect', { class: 'fit-area', x: area.left, y: area.top,
    width: area.right - area.left, height: area.bottom - area.top });
  svgNode(svg, 'text', { class: 'fit-axis-title', x: (area.left + area.right) / 2, y: height - 6,
    'text-anchor': 'middle' }, xTitle);
  svgNode(svg, 'text', { class: 'fit-axis-title', x: 14, y: (area.top + area.bottom) / 2,
    'text-anchor': 'middle', transform: `rotate(-90 14 ${(area.top + area.bottom) / 2})` }, yTitle);
  return { svg, area };
}

const percent = (x) => `${Math.round(x * 100)}%`;

// Predicted recall against the share recalled, a point a bin with reviews
// (larger with more of them), each bin titled with its numbers; the
// diagonal is a perfect prediction.
function calibrationChart(report) {
  const { svg, area } = chartFrame(420, 340, '予測した思い出せる見込み', '実際に思い出せた割合');
  const x = (p) => area.left + p * (area.right - area.left);
  const y = (p) => area.bottom - p * (area.bottom - area.top);
  for (let t = 0; t <= 10; t += 2) {
    svgNode(svg, 'line', { class: 'fit-grid', x1: x(t / 10), y1: area.top, x2: x(t / 10), y2: area.bottom });
    svgNode(svg, 'line', { class: 'fit-grid', x1: area.left, y1: y(t / 10), x2: area.right, y2: y(t / 10) });
    svgNode(svg, 'text', { class: 'fit-tick', x: x(t / 10), y: area.bottom + 16, 'text-anchor': 'middle' }, percent(t / 10));
    svgNode(svg, 'text', { class: 'fit-tick', x: area.left - 6, y: y(t / 10) + 4, 'text-anchor': 'end' }, percent(t / 10));
  }
  svgNode(svg, 'line', { class: 'fit-diagonal', x1: x(0), y1: y(0), x2: x(1), y2: y(1) });
  const curves = [['default', '標準のパラメーター'], ['fitted', 'このクラスに合わせたパラメーター']];
  curves.forEach(([curve, name], i) => {
    const bins = report.calibration[curve];
    const most = Math.max(1, ...bins.map((b) => b.reviews));
    const group = svgNode(svg, 'g', { class: `fit-curve fit-${curve}`, 'data-curve': curve });
    const points = bins.filter((b) => b.reviews > 0).map((b) => `${x(b.predicted)},${y(b.recalled)}`);
    svgNode(group, 'polyline', { points: points.join(' ') });
    for (const b of bins) {
      const bin = svgNode(group, 'g', { class: 'fit-bin' });
      svgNode(bin, 'title', {}, `${name}: 予測 ${percent(b.from)}〜${percent(b.to)}、復習 ${b.reviews}件` +
        (b.reviews > 0 ? `、予測の平均 ${percent(b.predicted)}、実際 ${percent(b.recalled)}` : ''));
      if (b.reviews > 0) svgNode(bin, 'circle', { cx: x(b.predicted), cy: y(b.recalled), r: 2 + 4 * Math.sqrt(b.reviews / most) });
    }
    const legend = svgNode(svg, 'g', { class: `fit-legend fit-${curve}` });
    svgNode(legend, 'circle', { cx: area.left + 14, cy: area.top + 14 + i * 18, r: 4 });
    svgNode(legend, 'text', { x: area.left + 24, y: area.top + 18 + i * 18 }, name);
  });
  return svg;
}

// The reviews due each day, overdue ones on the first.
function forecastChart(forecast) {
  const { svg, area } = chartFrame(420, 240, '日', '復習の数');
  const counts = forecast.reviews;
  const top = Math.max(1, ...counts);
  const step = (area.right - area.left) / counts.length;
  const from = new Date(`${forecast.from}T00:00`);
  counts.forEach((n, i) => {
    const height = (n / top) * (area.bottom - area.top);
    const day = new Date(from);
    day.setDate(from.getDate() + i);
    const bar = svgNode(svg, 'rect', { class: 'fit-bar', x: area.left + i * step + 1, y: area.bottom - height,
      width: Math.max(1, step - 2), height });
    svgNode(bar, 'title', {}, `${day.getMonth() + 1}月${day.getDate()}日: ${n}件`);
    if (i % 5 === 0) {
      svgNode(svg, 'text', { class: 'fit-tick', x: area.left + (i + 0.5) * step, y: area.bottom + 16,
        'text-anchor': 'middle' }, `${day.getMonth() + 1}/${day.getDate()}`);
    }
  });
  for (const value of [0, Math.round(top / 2), top]) {
    const y = area.bottom - (value / top) * (area.bottom - area.top);
    svgNode(svg, 'text', { class: 'fit-tick', x: area.left - 6, y: y + 4, 'text-anchor': 'end' }, String(value));
  }
  return svg;
}

function numberCell(row, value) {
  const td = row.insertCell();
  td.textContent = typeof value === 'number' ? value.toFixed(4) : '—';
}

// A row a measure, a column for the defaults and one for the class's own.
function showNumbers(report) {
  const table = $('fit-numbers');
  table.caption.textContent = `復習 ${report.reviews.toLocaleString('ja-JP')}件（問題ごとの2回目から）、学習者 ${report.learners}人`;
  const body = table.tBodies[0];
  body.replaceChildren();
  const rows = [['対数損失', (m) => m?.logLoss], ['RMSE(ビン)', (m) => m?.rmseBins]];
  for (const [where, measures] of [['同じ復習で', report], ['学習者を分けて', report.heldOut]]) {
    for (const [name, value] of rows) {
      const row = body.insertRow();
      const th = document.createElement('th');
      th.textContent = `${where} ${name}`;
      row.append(th);
      // Without reviews there is nothing measured: a dash, not 0.0000.
      numberCell(row, report.reviews > 0 ? value(measures?.default) : undefined);
      numberCell(row, report.reviews > 0 ? value(measures?.fitted) : undefined);
    }
  }
}

function showKept(kept) {
  const retention = kept.retention.toFixed(2);
  $('fit-kept').textContent = kept.fitted
    ? `このクラスに合わせたパラメーターで復習の予定を立てています（${new Date(kept.fittedAt).toLocaleString('ja-JP')} に学習者 ${kept.learners}人の復習 ${kept.reviews.toLocaleString('ja-JP')}件から）。目指す思い出せる見込み ${retention}。`
    : `FSRS-6 の標準のパラメーターで復習の予定を立てています。目指す思い出せる見込み ${retention}。`;
  if (kept.problem) $('fit-kept').textContent += ` ${kept.problem}`;
  if (document.activeElement !== $('fit-retention-value')) $('fit-retention-value').value = retention;
}

function showFit(body) {
  showKept(body.kept);
  showNumbers(body.report);
  $('fit-calibration').replaceChildren(calibrationChart(body.report));
  $('fit-forecast').replaceChildren(forecastChart(body.report.forecast));
  const overdue = body.report.forecast.reviews[0] ?? 0;
  $('fit-forecast-caption').textContent =
    `これから30日の1日あたりの復習の数（目指す見込み ${body.report.retention.toFixed(2)}` +
    (overdue > 0 ? `、初日の${overdue}件は期限を過ぎた分を含む）` : '）');
  $('fit-shown').hidden = false;
}

// Asks and shows; the buttons wait while a fit runs.
async function askFit(method, path, data) {
  fit.asking = true;
  for (const b of document.querySelectorAll('#fit button')) b.disabled = true;
  const asked = fit.shown;
  try {
    const reply = await call(method, withClass(path), data);
    if (asked !== fit.shown) return;
    $('fit-told').className = reply.status === 200 ? '' : 'error';
    if (reply.status === 200) {
      $('fit-told').textContent = reply.body.told || '';
      showFit(reply.body);
    } else {
      $('fit-told').textContent = reply.body.error || `できませんでした（${reply.status}）`;
    }
  } finally {
    fit.asking = false;
    for (const b of document.querySelectorAll('#fit button')) b.disabled = false;
  }
}

// Shown for one class (not 全クラス) when 結果 is.
function followView() {
  const one = view.classes !== undefined && view.chosen !== 'all';
  $('fit').hidden = !one;
  const key = one && view.section === 'results' ? `${view.chosen}` : '';
  if (key === fit.shown) return;
  fit.shown = key;
  $('fit-shown').hidden = true;
  $('fit-told').textContent = '';
  if (key) askFit('GET', '/api/teacher/fit');
}

$('fit-run').addEventListener('click', () => {
  $('fit-told').className = '';
  $('fit-told').textContent = '調整しています…';
  askFit('POST', '/api/teacher/fit', {});
});

$('fit-retention').addEventListener('submit', (event) => {
  event.preventDefault();
  askFit('POST', '/api/teacher/retention', { retention: Number($('fit-retention-value').value) });
});

window.addEventListener('hashchange', followView);
window.setInterval(followView, 500);

// The teacher's page, 問題集: the catalogue's series with what the reader
// finds in them; new series, titles, order, removal, upload and download.
// Uses call, button, showError and withClass of teacher.js. Text goes in with
// textContent only.
'use strict';

const MaxUploadBytes = 45 * 1024; // SeriesFiles::MaxFileBytes

function findingsList(findings) {
  const list = document.createElement('ul');
  list.setAttribute('role', 'region');
  list.setAttribute('aria-label', '指摘');
  if (findings.length === 0) {
    const li = document.createElement('li');
    li.textContent = '指摘はありません';
    list.appendChild(li);
  }
  for (const f of findings) {
    const li = document.createElement('li');
    li.className = f.error ? 'finding-error' : 'finding-warning';
    li.textContent = `${f.line > 0 ? `${f.line}行目: ` : ''}${f.error ? 'エラー' : '注意'}: ${f.message}`;
    list.appendChild(li);
  }
  return list;
}

// A change of the catalogue; the list is read again after it.
async function seriesChange(verb, data) {
  const reply = await call('POST', `/api/teacher/series/${verb}`, data);
  if (reply.status !== 200) { showError(reply); return reply; }
  $('message').textContent = '';
  await refreshSeries();
  return reply;
}

function seriesTools(s) {
  const tools = document.createElement('div');
  tools.className = 'series-tools';
  const title = document.createElement('input');
  title.value = s.title;
  title.maxLength = 60;
  title.setAttribute('aria-label', '題名');
  tools.appendChild(title);
  button(tools, '題名を変える', () => seriesChange('rename', { file: s.file, title: title.value.trim() }));
  button(tools, '上へ', () => seriesChange('move', { file: s.file, by: -1 }));
  button(tools, '下へ', () => seriesChange('move', { file: s.file, by: 1 }));
  button(tools, '一覧から外す', () => {
    if (window.confirm(`「${s.title}」を一覧から外しますか？ファイルは「削除済み」フォルダーに残ります。`)) {
      seriesChange('remove', { file: s.file });
    }
  });
  for (const [text, href] of [['ダウンロード', `/teacher/series/download?file=${encodeURIComponent(s.file)}`],
    ['編集', `/teacher/editor?file=${encodeURIComponent(s.file)}`]]) {
    const a = document.createElement('a');
    a.textContent = text;
    a.href = href;
    if (text === 'ダウンロード') a.download = s.file;
    tools.appendChild(a);
  }
  return tools;
}

function showSeriesList(series) {
  const place = $('series');
  place.replaceChildren();
  for (const s of series) {
    const item = document.createElement('article');
    item.setAttribute('aria-label', s.title);
    const h = document.createElement('h3');
    h.textContent = s.problems === undefined ? `${s.title}（${s.file}）`
      : `${s.title}（${s.file}、${s.encoding === 'UTF-8' ? 'UTF-8、' : ''}使える問題 ${s.problems}問）`;
    item.appendChild(h);
    if (!s.catalogue) item.appendChild(seriesTools(s));
    item.appendChild(findingsList(s.findings));
    place.appendChild(item);
  }
  window.seriesAssign?.show(series);
}

async function refreshSeries() {
  const reply = await call('GET', withClass('/api/teacher/series'));
  if (reply.status === 200) showSeriesList(reply.body);
}

$('series-new').addEventListener('submit', async (event) => {
  event.preventDefault();
  // A name typed without its .TXT gets it.
  const name = $('series-new-file').value.trim();
  const file = !name || /\.txt$/i.test(name) ? name : `${name}.TXT`;
  const reply = await seriesChange('new', { title: $('series-new-title').value.trim(), file });
  if (reply.status === 200) event.target.reset();
});

// The file's bytes as base64, for the JSON body.
function base64Of(file) {
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(reader.result.slice(reader.result.indexOf(',') + 1));
    reader.onerror = () => reject(reader.error);
    reader.readAsDataURL(file);
  });
}

// First only checked: its findings are shown, and it is added when the
// teacher says so.
$('series-upload').addEventListener('submit', async (event) => {
  event.preventDefault();
  const file = $('series-upload-file').files[0];
  if (!file) return;
  // The server's own limit, told before a large file is sent at all.
  if (file.size > MaxUploadBytes) {
    $('message').textContent = `ファイルが大きすぎます。アップロードできるのは${MaxUploadBytes / 1024}KBまでです`;
    return;
  }
  const upload = { file: file.name, title: $('series-upload-title').value.trim() || file.name.replace(/\.[^.]*$/, ''),
    data: await base64Of(file), add: false };
  const result = $('series-upload-result');
  result.replaceChildren();
  result.hidden = true;
  const reply = await call('POST', '/api/teacher/series/upload', upload);
  if (reply.status !== 200) { showError(reply); return; }
  $('message').textContent = '';
  const p = document.createElement('p');
  p.textContent = `${file.name}（${reply.body.encoding}、使える問題 ${reply.body.problems}問）`;
  result.append(p, findingsList(reply.body.findings));
  // A name listed already: its file is replaced, the old one kept in 履歴.
  const listed = reply.body.listed;
  if (typeof listed === 'string') {
    const note = document.createElement('p');
    note.textContent = `「${file.name}」は「${listed}」として一覧にあります。置き換えると、今のファイルは「履歴」フォルダーに残ります。`;
    result.appendChild(note);
  }
  button(result, typeof listed === 'string' ? '置き換える' : '一覧に追加', async () => {
    if (typeof listed === 'string' && !window.confirm(`「${listed}」（${file.name}）を、このファイルで置き換えますか？今のファイルは「履歴」フォルダーに残ります。`)) return;
    const replace = typeof listed === 'string';
    // Replaced without a title typed, it keeps the one it has.
    const title = replace ? $('series-upload-title').value.trim() || listed : upload.title;
    if ((await seriesChange('upload', { ...upload, title, add: true, replace })).status !== 200) return;
    result.hidden = true;
    event.target.reset();
  });
  result.hidden = false;
});

window.seriesSection = { show: showSeriesList, refresh: refreshSeries };

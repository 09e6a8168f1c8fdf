// The teacher's page: sign-in, the report, the learners and their codes,
// the series and their findings. Text goes in with textContent only.
'use strict';

const $ = (id) => document.getElementById(id);

async function call(method, path, data) {
  const options = { method, credentials: 'same-origin', headers: {} };
  if (data !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(data);
  }
  const response = await fetch(path, options);
  let body = {};
  try { body = await response.json(); } catch (e) { body = {}; }
  return { status: response.status, body };
}

function cell(row, text) {
  const td = document.createElement('td');
  td.textContent = text;
  row.appendChild(td);
  return td;
}

function button(parent, text, action) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.addEventListener('click', action);
  parent.appendChild(b);
}

function showError(reply) {
  $('message').textContent = reply.body.error || `うまくいきませんでした（${reply.status}）`;
}

async function learnerAction(path, name, question) {
  if (question && !window.confirm(question)) return;
  const reply = await call('POST', path, { name });
  if (reply.status !== 200) { showError(reply); return; }
  $('message').textContent = '';
  if (reply.body.code) {
    $('new-code').hidden = false;
    $('new-code').textContent = `${reply.body.name} さんのコード: ${reply.body.code}（コードは保存されません。あとで見られるのは、このサインインのコード表だけです）`;
  }
  await load();
}

function showLearners(names) {
  const body = $('learners').tBodies[0];
  body.replaceChildren();
  for (const name of names) {
    const row = body.insertRow();
    cell(row, name);
    button(cell(row, ''), 'コードを作り直す', () => learnerAction('/api/teacher/reset', name,
      `${name} さんのコードを作り直しますか？今のコードは使えなくなります。`));
    button(cell(row, ''), '削除', () => learnerAction('/api/teacher/remove', name,
      `${name} さんと、そのマークと記録を削除しますか？`));
  }
}

function showSheet(made) {
  const body = $('sheet').tBodies[0];
  body.replaceChildren();
  for (const { name, code } of made) {
    const row = body.insertRow();
    cell(row, name);
    cell(row, code);
  }
  $('print').disabled = made.length === 0;
}

function showSeries(series) {
  const place = $('series');
  place.replaceChildren();
  for (const s of series) {
    const h = document.createElement('h3');
    h.textContent = s.problems === undefined ? `${s.title}（${s.file}）`
      : `${s.title}（${s.file}、使える問題 ${s.problems}問）`;
    place.appendChild(h);
    const list = document.createElement('ul');
    if (s.findings.length === 0) {
      const li = document.createElement('li');
      li.textContent = '指摘はありません';
      list.appendChild(li);
    }
    for (const f of s.findings) {
      const li = document.createElement('li');
      li.className = f.error ? 'finding-error' : 'finding-warning';
      li.textContent = `${f.line > 0 ? `${f.line}行目: ` : ''}${f.error ? 'エラー' : '注意'}: ${f.message}`;
      list.appendChild(li);
    }
    place.appendChild(list);
  }
}

async function load() {
  const reply = await call('GET', '/api/teacher/state');
  if (reply.status === 401) {
    $('teacher').hidden = true;
    $('signin').hidden = false;
    $('password').focus();
    return;
  }
  if (reply.status !== 200) { showError(reply); return; }
  $('signin').hidden = true;
  $('teacher').hidden = false;
  showLearners(reply.body.learners);
  showSheet(reply.body.made);
  showSeries(reply.body.series);
  $('report').src = `/teacher/report?${Date.now()}`;
}

$('signin-form').addEventListener('submit', async (event) => {
  event.preventDefault();
  const submit = event.target.querySelector('button');
  submit.disabled = true;
  $('signin-error').textContent = '';
  const reply = await call('POST', '/api/teacher/signin', { password: $('password').value });
  submit.disabled = false;
  $('password').value = '';
  if (reply.status !== 200) {
    $('signin-error').textContent = reply.body.error || `サインインできません（${reply.status}）`;
    return;
  }
  await load();
});

$('add-form').addEventListener('submit', async (event) => {
  event.preventDefault();
  const name = $('new-name').value.trim();
  await learnerAction('/api/teacher/add', name);
  if (!$('message').textContent) $('new-name').value = '';
});

$('signout').addEventListener('click', async () => {
  await call('POST', '/api/teacher/signout');
  $('new-code').hidden = true;
  await load();
});

// The cards open as a page of their own, the same sheet as --add-learners writes.
$('print').addEventListener('click', () => window.open('/teacher/cards', '_blank'));

// The report is as tall as its content: the page scrolls, not the frame.
$('report').addEventListener('load', () => {
  const doc = $('report').contentDocument;
  if (doc && doc.documentElement) $('report').style.height = `${doc.documentElement.scrollHeight + 4}px`;
});

load();

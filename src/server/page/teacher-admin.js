// The teacher's page, 学習者, for the administrator alone: a class added
// by its name, a teacher with a password (typed twice, never shown) and the
// classes they see. Uses call, showError, loadClasses and showView of teacher.js.
'use strict';

function showAdmin(shown) {
  $('admin').hidden = !shown.admin;
  if (!shown.admin) return;
  const place = $('teacher-new-classes');
  place.querySelectorAll('label').forEach((l) => l.remove());
  for (const c of shown.classes || []) {
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.value = String(c.id);
    const label = document.createElement('label');
    label.append(box, ` ${c.name}`);
    place.appendChild(label);
  }
}

// What was added, told beside the forms; what went wrong, under the bar.
function told(text) {
  $('admin-said').textContent = text;
  if (text) $('message').textContent = '';
}

$('class-new').addEventListener('submit', async (event) => {
  event.preventDefault();
  const reply = await call('POST', '/api/teacher/admin/class', { name: $('class-new-name').value.trim() });
  if (reply.status !== 200) { told(''); showError(reply); return; }
  event.target.reset();
  // The chooser and the new teacher's classes name it at once.
  await loadClasses();
  showView();
  showAdmin(view);
  told(`クラス「${reply.body.name}」を追加しました`);
});

$('teacher-new').addEventListener('submit', async (event) => {
  event.preventDefault();
  const password = $('teacher-new-password').value;
  if (password !== $('teacher-new-again').value) {
    told('');
    showError({ status: 400, body: { error: '2回のパスワードが違います' } });
    $('teacher-new-again').value = '';
    $('teacher-new-again').focus();
    return;
  }
  const classes = [...$('teacher-new-classes').querySelectorAll('input:checked')].map((b) => Number(b.value));
  const reply = await call('POST', '/api/teacher/admin/teacher',
    { name: $('teacher-new-name').value.trim(), password, classes });
  $('teacher-new-password').value = '';
  $('teacher-new-again').value = '';
  if (reply.status !== 200) { told(''); showError(reply); return; }
  event.target.reset();
  told(`先生「${reply.body.name}」を追加しました。名前とパスワードでサインインできます`);
});

window.teacherAdmin = { show: showAdmin };

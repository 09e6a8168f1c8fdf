// Pictures of the teacher's page: three learners have answered, one was
// added on the page, so its code is on the sheet, and is working on another
// series; all three are signed in now; one series file is missing. Each
// section at 1366 × 768 (teacher-live.png … teacher-series.png; teacher.png
// is 授業中, the picture in docs/), 結果 at 1920 × 1080 and 授業中 in the
// dark scheme.
//   node teacher_screenshot.mjs PATH/TO/velmorant-server OUTDIR
import { appendFileSync } from 'node:fs';
import { join } from 'node:path';
import { startServer, client, teacherClient, setTeacherPassword, solveSample } from './serverLib.mjs';
import { launch, aria } from './browserLib.mjs';

const [program, out] = process.argv.slice(2);
const server = await startServer(program, { learners: ['aoi', 'ren', 'sora'] });
// A catalogue line whose file is missing, for the check's findings.
appendFileSync(join(server.dir, 'ZQCList.TXT'), 'Chemistry,Chem1.TXT\r\n');
const { browser, close } = await launch();
try {
  await solveSample(server.url, server.codes.aoi, 2);
  await solveSample(server.url, server.codes.ren, 2, [0, 1]);
  await solveSample(server.url, server.codes.sora, 1, [0]);
  setTeacherPassword(program, server.dir, 'kyoushitsu-2026');
  const teacher = teacherClient(server.url);
  await teacher.signIn('kyoushitsu-2026');
  const added = await teacher.post('/api/teacher/add', { name: 'hana' });
  const hana = client(server.url);
  await hana.signIn(added.json.code);
  await hana.post('/api/open', { entry: 2 });
  await hana.post('/api/move', { term: 0, frame: 0 });
  const [name, value] = teacher.cookie.split('=');
  const page = await browser.newPage();
  await page.setCookie({ name, value, url: server.url });
  const shoot = async (file, section) => {
    await page.locator(aria(section, 'link')).click();
    if (section === '結果') {
      await page.waitForFunction(() => document.getElementById('report').contentDocument?.querySelector('.bar'));
    }
    await new Promise((resolve) => setTimeout(resolve, 300));
    await page.screenshot({ path: join(out, file) });
  };
  await page.setViewport({ width: 1366, height: 768 });
  await page.goto(`${server.url}teacher`);
  await page.waitForFunction(() => document.querySelectorAll('#now tbody tr').length === 4);
  for (const [file, section] of [['teacher-results.png', '結果'], ['teacher-learners.png', '学習者'],
    ['teacher-series.png', '問題集'], ['teacher-live.png', '授業中'], ['teacher.png', '授業中']]) {
    await shoot(file, section);
  }
  await page.setViewport({ width: 1920, height: 1080 });
  await shoot('teacher-1920-results.png', '結果');
  await shoot('teacher-1920-live.png', '授業中');
  await page.setViewport({ width: 1366, height: 768 });
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'dark' }]);
  await shoot('teacher-dark-live.png', '授業中');
  await shoot('teacher-dark-series.png', '問題集');
} finally {
  await close();
  await server.stop();
}

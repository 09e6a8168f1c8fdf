// The editor's keystroke to the redrawn preview board, over 200 keystrokes
// in the last term of a problem of 21 terms and 6 groups, against its floor
// measured in the same page: the editor's wait after a keystroke, one
// request of the preview's state and the next frame of the board; in
// ./bench's form.
//   node bench_editor.mjs PATH/TO/velmorant-server [KEYSTROKES]
import { launch, teacherSignIn, newSeries, openInEditor, typeProblem, previewFrame, keystrokesToBoard } from './browserLib.mjs';
import { startServer, setTeacherPassword } from './serverLib.mjs';
import { quantile } from './benchLib.mjs';

const [program, countArg] = process.argv.slice(2);
const count = Number(countArg || 200);
const Debounce = 100; // editor.js
const Terms = Array.from({ length: 21 }, (_, t) => `語${t + 1}`);
const Groups = ['節足動物', '軟体動物', '棘皮動物', '脊索動物', '刺胞動物', '環形動物'];
const server = await startServer(program);
const { browser, close } = await launch();
try {
  setTeacherPassword(program, server.dir, 'kyoushitsu-2026');
  const page = await browser.newPage();
  await page.setViewport({ width: 1500, height: 1100 });
  await teacherSignIn(page, server.url, 'kyoushitsu-2026');
  await openInEditor(page, await newSeries(page, '計測', 'Bench.TXT'));
  await typeProblem(page, 0, '次の生物を分類しなさい。', Terms, Groups, (t) => t % 6);
  const frame = await previewFrame(page);
  await frame.waitForFunction((n) => document.querySelectorAll('.term').length === n, {}, Terms.length);
  const times = await keystrokesToBoard(page, frame, Terms[Terms.length - 1], Terms.length, count);
  const floor = await page.evaluate(async (n, wait) => {
    const board = document.getElementById('board').contentWindow;
    const out = [];
    for (let k = 0; k < n; ++k) {
      const start = performance.now();
      await new Promise((r) => setTimeout(r, wait));
      await (await fetch('/api/teacher/preview/state')).json();
      await new Promise((r) => board.requestAnimationFrame(r));
      out.push(performance.now() - start);
    }
    return out;
  }, count, Debounce);
  const ns = (ms) => Math.round(ms * 1e6);
  const [median, p99, floorMedian] = [quantile(times, 0.5), quantile(times, 0.99), quantile(floor, 0.5)];
  console.log(`server_editor_keystroke_to_board: ${ns(median)} ns, p99 ${ns(p99)} ns, floor wait_state_frame ${ns(floorMedian)} ns, ratio ${(median / floorMedian).toFixed(2)}`);
} finally {
  await close();
  await server.stop();
}

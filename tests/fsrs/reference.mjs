// The fit of velmorant-check --fit against the reference optimizer's own
// (@open-spaced-repetition/binding, fsrs-rs): a made-up class whose
// learners remember by known FSRS-6 parameters, written by the program's
// own statement writer (made_up_class --remembering), is fitted by both;
// the reference evaluates both fits and the defaults on the same reviews.
// Then a class with too few reviews keeps the defaults, --due schedules
// with the fitted parameters, and the same answers in a server's store
// (made_up_store --records) give the same parameters as from the logs, kept
// for the store's class, which --due then uses.
//   node reference.mjs VELMORANT_CHECK MADE_UP_CLASS MADE_UP_STORE WORK_FOLDER
import { spawnSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';

const require = createRequire(import.meta.url);
const { FSRSBinding, FSRSBindingItem, FSRSBindingReview, computeParameters } =
    require('@open-spaced-repetition/binding');

const [check, madeUp, madeUpStore, work] = process.argv.slice(2);
// How this class remembers: far from the defaults in the stabilities after
// a first rating, the difficulty, the growth of stability and the decay.
const Truth = [0.4, 0.9, 3.0, 10.0, 5.5, 1.1, 2.2, 0.02, 1.4, 0.25, 1.1, 1.9, 0.1, 0.35, 1.2,
               0.5, 1.9, 0.5425, 0.0912, 0.0658, 0.3];
const Defaults = [0.212, 1.2931, 2.3065, 8.2956, 6.4133, 0.8334, 3.0194, 0.001, 1.8722, 0.1666,
                  0.796, 1.4835, 0.0614, 0.2629, 1.6483, 0.6014, 1.8729, 0.5425, 0.0912, 0.0658,
                  0.1542];
// Every folder's learners' days are Japan's.
const env = { ...process.env, TZ: 'Asia/Tokyo', QT_QPA_PLATFORM: 'offscreen' };

let failures = 0;
function expect(ok, what) {
    console.log(`${ok ? 'ok' : 'FAILED'}: ${what}`);
    failures += ok ? 0 : 1;
}

function run(program, args) {
    const r = spawnSync(program, args, { env, encoding: 'utf8', maxBuffer: 1 << 26 });
    if (r.status !== 0) {
        throw new Error(`${program} ${args.join(' ')}: ${r.status}\n${r.stderr}`);
    }
    return r;
}

// A class of `learners` over `days` school days: its folder and its reviews
// as [problem, rating, days since the problem's last review], in time order.
function makeClass(name, learners, days) {
    const dir = join(work, name);
    rmSync(dir, { recursive: true, force: true });
    mkdirSync(dir, { recursive: true });
    const file = join(work, `${name}.json`);
    run(madeUp, ['--remembering', Truth.join(','), dir, String(learners), String(days), file]);
    return { dir, reviews: JSON.parse(readFileSync(file, 'utf8')) };
}

// One reference item a review after a problem's first, with the problem's
// reviews up to it, in time order (the reference weighs later ones more).
function itemsOf(reviews) {
    const byProblem = new Map();
    const items = [];
    for (const [problem, rating, days] of reviews) {
        const history = byProblem.get(problem) ?? [];
        history.push([rating, history.length === 0 ? 0 : days]);
        byProblem.set(problem, history);
        if (history.length > 1) {
            items.push(new FSRSBindingItem(history.map(([r, t]) => new FSRSBindingReview(r, t))));
        }
    }
    return items;
}

const show = (e) => `log loss ${e.logLoss.toFixed(4)}, RMSE(bins) ${e.rmseBins.toFixed(4)}`;

// The fit against the reference's.
const started = Date.now();
const year = makeClass('remembering', 24, 140);
const items = itemsOf(year.reviews);
const before = run(check, ['--due', year.dir]);
const fit = JSON.parse(run(check, ['--fit', '--json', year.dir]).stdout);
expect(fit.reviews === items.length,
       `the program took in the reviews the class made (${fit.reviews} of ${items.length})`);
const reference = await computeParameters(items, { enableShortTerm: false });
const byDefaults = new FSRSBinding(Defaults).evaluate(items);
const byProgram = new FSRSBinding(fit.parameters).evaluate(items);
const byReference = new FSRSBinding(reference).evaluate(items);
const byTruth = new FSRSBinding(Truth).evaluate(items);
console.log(`reviews ${items.length}, learners ${fit.learners}, evaluated by the reference:`);
console.log(`  defaults             ${show(byDefaults)}`);
console.log(`  the program's fit    ${show(byProgram)}`);
console.log(`  the reference's fit  ${show(byReference)}`);
console.log(`  the true parameters  ${show(byTruth)}`);
console.log(`the program's own measures: defaults ${show(fit.default)}; fitted ${show(fit.fitted)}`);
console.log(`  held out by learner (${fit.heldOut.folds} folds): defaults ${show(fit.heldOut.default)};` +
            ` fitted ${show(fit.heldOut.fitted)}`);
console.log(`the program's parameters: ${fit.parameters.map((w) => w.toFixed(4)).join(' ')}`);
console.log(`the reference's:          ${reference.map((w) => w.toFixed(4)).join(' ')}`);
expect(byProgram.logLoss <= byReference.logLoss * 1.02,
       'the program\'s fit predicts within 2 % of the reference\'s log loss');
expect(byProgram.logLoss < byDefaults.logLoss, 'and better than the defaults');
expect(fit.heldOut.fitted.logLoss < fit.heldOut.default.logLoss,
       'held out by learner, the fit still predicts better than the defaults');
expect(fit.kept && existsSync(fit.kept), `the parameters are kept in ${fit.kept}`);

// --due schedules with them, and says so.
const after = run(check, ['--due', year.dir]);
expect(/このクラスに合わせたパラメーター/.test(after.stderr) && /標準のパラメーター/.test(before.stderr),
       '--due names the parameters it schedules with');
expect(after.stdout !== before.stdout && after.stdout.split('\n').length > 100,
       '--due lists the class\'s reviews by the fitted parameters');

// Too few reviews keep the defaults and say how many more it needs.
const few = makeClass('few', 2, 6);
const small = JSON.parse(run(check, ['--fit', '--json', few.dir]).stdout);
expect(small.reviews === itemsOf(few.reviews).length && small.reviews < 400 &&
       small.reviewsNeeded === 400 - small.reviews,
       `a class of ${small.reviews} reviews needs ${small.reviewsNeeded} more`);
expect(JSON.stringify(small.parameters) === JSON.stringify(Defaults) && small.kept === null &&
       !existsSync(join(few.dir, 'records', '.fsrs-parameters.json')),
       'and keeps the defaults');
const told = run(check, ['--fit', few.dir]).stdout;
expect(told.includes(`あと ${small.reviewsNeeded}件`), 'the teacher is told how many more');

// The same answers read from a server's store: a smaller class, as a
// store is written a statement at a time.
const logs = makeClass('logs', 6, 60);
const server = join(work, 'server');
rmSync(server, { recursive: true, force: true });
mkdirSync(server);
copyFileSync(join(logs.dir, 'Many.TXT'), join(server, 'Many.TXT'));
run(madeUpStore, ['--records', logs.dir, server]);
const fromLogs = JSON.parse(run(check, ['--fit', '--json', logs.dir]).stdout);
const fromStore = JSON.parse(run(check, ['--fit', '--json', server]).stdout);
expect(fromLogs.reviews >= 400 && fromStore.reviews === fromLogs.reviews &&
       fromStore.parameters.every((w, i) => w === fromLogs.parameters[i]) &&
       fromStore.parameters.some((w, i) => w !== Defaults[i]),
       `the store's answers give the logs' parameters (${fromStore.reviews} reviews)`);
expect(/クラス「server」/.test(fromStore.kept ?? ''), `kept for the store's class: ${fromStore.kept}`);
const storeDue = run(check, ['--due', server]).stderr;
expect(/server: 復習の予定: このクラスに合わせたパラメーター（サーバーの記録のクラス「server」/.test(storeDue),
       `--due on the server's folder schedules the class with its own: ${storeDue.slice(0, 300)}`);

console.log(`${failures === 0 ? 'passed' : 'failed'} in ${((Date.now() - started) / 1000).toFixed(1)} s`);
process.exit(failures === 0 ? 0 : 1);

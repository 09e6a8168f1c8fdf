// Makes agreement.tsv, the FSRS-6 results of the reference scheduler ts-fsrs
// that tests/core/FsrsTest.cpp replays, and days.tsv, the schedule a
// learner's checks make when ts-fsrs is given their reviews. Run it from
// tests/fsrs, where the test tools pin ts-fsrs:
//   cd tests/fsrs && npm ci && node ../data/fsrs/generate.mjs
// The same ts-fsrs version always writes the same file (the random numbers
// are seeded).
import { createRequire } from 'node:module';
import { writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const require = createRequire(join(process.cwd(), 'package.json'));
const { fsrs, createEmptyCard, Rating, FSRSVersion } = require('ts-fsrs');

const Sequences = 1000;
const MaxReviews = 30;
const Minute = 60 * 1000;
const Day = 24 * 60 * Minute;

// mulberry32: small, seeded, the same everywhere.
function random(seed) {
    let a = seed >>> 0;
    return () => {
        a = (a + 0x6d2b79f5) >>> 0;
        let t = a;
        t = Math.imul(t ^ (t >>> 15), t | 1);
        t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
        return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
}
const next = random(20261208);
const between = (lo, hi) => lo + Math.floor(next() * (hi - lo + 1));

// Half the gaps anywhere from a minute to a year (evenly on a log scale), the
// other half near the card's due date, as a learner keeps to the schedule.
function gapMinutes(card) {
    if (card.reps > 0 && next() < 0.5) {
        const due = card.scheduled_days * 24 * 60;
        return Math.max(1, Math.round(due * (0.5 + next())));
    }
    return Math.round(Math.exp(next() * Math.log(365 * 24 * 60)));
}

// Eight significant digits: well inside the test's 1e-6.
const compact = (x) => String(Number(x.toPrecision(8)));

const scheduler = fsrs({ enable_fuzz: false, enable_short_term: false, request_retention: 0.9 });
const lines = [
    `# FSRS-6 reference results from ts-fsrs ${FSRSVersion}: default parameters, retention 0.9, no fuzz, no short-term steps.`,
    '# One review a line. minute: "@" and minutes since 1970 (UTC) starts a sequence, else minutes since the last review.',
    '# rating 1-4; stability, difficulty and interval (days) after the review; recall: retrievability at the next review\'s time ("-" after the last).',
    'minute\trating\tstability\tdifficulty\tinterval\trecall',
];
let reviews = 0;
for (let s = 0; s < Sequences; ++s) {
    // 2020 to 2030, any minute of the day.
    let minute = between(26297280, 31556160);
    let card = createEmptyCard(new Date(minute * Minute));
    let previous = card;
    const count = between(1, MaxReviews);
    const rows = [];
    for (let i = 0; i < count; ++i) {
        const gap = i === 0 ? 0 : gapMinutes(card);
        minute += gap;
        const rating = between(Rating.Again, Rating.Easy);
        card = scheduler.next(card, new Date(minute * Minute), rating).card;
        if (card.due.getTime() !== minute * Minute + card.scheduled_days * Day) {
            throw new Error('due is not the review plus whole days');
        }
        rows.push([i === 0 ? `@${minute}` : String(gap), rating, compact(card.stability),
                   compact(card.difficulty), card.scheduled_days]);
        if (i > 0) {
            const recall = scheduler.get_retrievability(previous, new Date(minute * Minute), false);
            rows[i - 1].push(compact(recall));
        }
        previous = card;
    }
    rows[count - 1].push('-');
    reviews += count;
    for (const row of rows) {
        lines.push(row.join('\t'));
    }
}
const out = join(dirname(fileURLToPath(import.meta.url)), 'agreement.tsv');
writeFileSync(out, lines.join('\n') + '\n');
console.log(`${out}: ${Sequences} sequences, ${reviews} reviews, ts-fsrs ${FSRSVersion}`);

// days.tsv: checks of one problem by a learner in Japan (UTC+9, no clock
// changes) whose day starts at 04:00. The first check of a learner's day is
// the review: all terms right is Good, at most one in five wrong Hard, else
// Again; ts-fsrs gets it at the learner's clock, local time four hours back,
// so that its UTC days are the learner's days.
const dayNext = random(20261209);
const dayBetween = (lo, hi) => lo + Math.floor(dayNext() * (hi - lo + 1));
const ClockShift = (9 - 4) * 60 * Minute;
const learnerDay = (ms) => Math.floor((ms + ClockShift) / Day);
const dayLines = [
    `# A learner's checks and the schedule from ts-fsrs ${FSRSVersion} (as agreement.tsv), local time UTC+9, the day starting at 04:00.`,
    '# One check a line. minute: "@" and minutes since 1970 (UTC) starts a problem, else minutes since the last check.',
    '# use: R review, P practice; stability, difficulty and due (the learner\'s day, UTC+9 from 04:00) after the check.',
    'minute\tterms\tright\tuse\tstability\tdifficulty\tdue',
];
let dayChecks = 0;
for (let s = 0; s < 300; ++s) {
    let minute = dayBetween(26297280, 31556160);
    let card = createEmptyCard(new Date((minute + ClockShift / Minute) * Minute));
    let lastReview = null;
    const count = dayBetween(1, 40);
    for (let i = 0; i < count; ++i) {
        // Retries within minutes, evenings either side of 04:00, or days on.
        const kind = dayNext();
        const gap = i === 0 ? 0
            : kind < 0.35 ? dayBetween(1, 20)
            : kind < 0.55 ? dayBetween(60, 12 * 60)
            : dayBetween(12 * 60, 40 * 24 * 60);
        minute += gap;
        const terms = dayBetween(4, 21);
        const r = dayNext();
        const right = r < 0.5 ? terms : r < 0.8 ? terms - 1 : dayBetween(0, terms);
        const review = lastReview === null || learnerDay(minute * Minute) > learnerDay(lastReview);
        if (review) {
            const wrong = terms - right;
            const rating = wrong === 0 ? Rating.Good : wrong * 5 <= terms ? Rating.Hard : Rating.Again;
            card = scheduler.next(card, new Date(minute * Minute + ClockShift), rating).card;
            lastReview = minute * Minute;
        }
        const due = card.due.toISOString().slice(0, 10);
        dayLines.push([i === 0 ? `@${minute}` : String(gap), terms, right, review ? 'R' : 'P',
                       compact(card.stability), compact(card.difficulty), due].join('\t'));
        ++dayChecks;
    }
}
const dayOut = join(dirname(fileURLToPath(import.meta.url)), 'days.tsv');
writeFileSync(dayOut, dayLines.join('\n') + '\n');
console.log(`${dayOut}: 300 problems, ${dayChecks} checks`);

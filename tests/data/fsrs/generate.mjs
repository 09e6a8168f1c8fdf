// Makes agreement.tsv, the FSRS-6 results of the reference scheduler ts-fsrs
// that tests/core/FsrsTest.cpp replays. Run it from a folder where ts-fsrs is
// installed, outside the repository:
//   mkdir -p /tmp/fsrs-gen && cd /tmp/fsrs-gen && npm install ts-fsrs@5.4.2
//   node /path/to/repo/tests/data/fsrs/generate.mjs
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

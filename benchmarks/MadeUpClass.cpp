#include "MadeUpClass.h"

#include "files/FileLookup.h"
#include "files/TextFile.h"
#include "record/AnswerLog.h"
#include "record/ProblemId.h"
#include "record/Schedule.h"
#include "record/Statements.h"
#include "series/SeriesLoader.h"
#include "series/SeriesParser.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <random>

namespace MadeUpClass
{

namespace
{

struct Shown {
    QString series;
    Problem problem;
    QString hash;
};

QList<Shown> sampleProblems(const QString& folder)
{
    QList<Shown> out;
    for (const char* name : {"Bio1.TXT", "Bio2.TXT", "Bio3.TXT", "Bio4.TXT"}) {
        const QString series = QString::fromLatin1(name);
        const QList<Problem> problems = SeriesLoader::load(QDir(folder).filePath(series)).usable;
        const QStringList keys = ProblemIds::keysOf(problems);
        for (qsizetype i = 0; i < problems.size(); ++i) {
            out.append({series, problems.at(i), keys.at(i)});
        }
    }
    return out;
}

// Pseudo-random, but a version 4 id all the same.
QUuid idFrom(std::mt19937& random)
{
    QByteArray bytes(16, '\0');
    for (char& b : bytes) {
        b = char(random() & 0xff);
    }
    bytes[6] = char((bytes[6] & 0x0f) | 0x40);
    bytes[8] = char((bytes[8] & 0x3f) | 0x80);
    return QUuid::fromRfc4122(bytes);
}

Answer check(const QString& learner, const Shown& s, int attempt, double skill, qint64 at,
             std::mt19937& random)
{
    Answer a;
    a.learner = a.learnerName = learner;
    a.series = s.series;
    a.problemHash = s.hash;
    a.heading = s.problem.heading;
    a.question = s.problem.question;
    a.terms = s.problem.terms;
    a.groups = s.problem.groups;
    a.correct = s.problem.groupOfTerm;
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    for (const int group : a.correct) {
        const bool right = chance(random) < skill + 0.2 * (attempt - 1);
        a.placed.append(right ? group : group % int(a.groups.size()) + 1);
        a.right += right ? 1 : 0;
    }
    a.success = a.right == a.terms.size();
    a.durationMs = 5000 + qint64(random() % 40000);
    a.timestampMs = at;
    a.id = idFrom(random);
    a.attempt = attempt;
    return a;
}

} // namespace

QString eachCheck(const QString& folder, const QStringList& learners, int perDay, int days,
                  const std::function<QString(qsizetype, const Answer&)>& take)
{
    const QDir data(QStringLiteral(VELMORANT_SOURCE_DIR "/data"));
    QDir(folder).mkpath(QStringLiteral("."));
    for (const QString& name : data.entryList({QStringLiteral("*.TXT")}, QDir::Files)) {
        QFile::copy(data.filePath(name), QDir(folder).filePath(name));
    }
    const QList<Shown> problems = sampleProblems(folder);
    if (problems.isEmpty()) {
        return QStringLiteral("no sample problems in %1").arg(data.path());
    }
    std::mt19937 random(20261208);
    const qint64 start = QDateTime(QDate(2025, 12, 1), QTime(8, 0)).toMSecsSinceEpoch();
    for (qsizetype l = 0; l < learners.size(); ++l) {
        const double skill = 0.8 + 0.18 * double(l) / double(learners.size());
        for (int day = 0; day < days; ++day) {
            qint64 at = start + qint64(day) * 86400000 + qint64(l) * 60000;
            for (int checks = 0; checks < perDay;) {
                const Shown& s = problems.at(int(random() % problems.size()));
                for (int attempt = 1; attempt <= 3 && checks < perDay; ++attempt) {
                    const Answer a = check(learners.at(l), s, attempt, skill, at += 30000, random);
                    if (const QString failed = take(l, a); !failed.isEmpty()) {
                        return failed;
                    }
                    ++checks;
                    if (a.success) {
                        break;
                    }
                }
            }
        }
    }
    return {};
}

QStringList learnerNames(int learners)
{
    QStringList names;
    for (int l = 0; l < learners; ++l) {
        names.append(QStringLiteral("生徒%1").arg(l + 1, 2, 10, QLatin1Char('0')));
    }
    return names;
}

// Each learner's log of statements.
QString writeLogs(const QString& folder, const QStringList& names, const QList<QByteArray>& lines)
{
    QDir(folder).mkpath(QStringLiteral("records"));
    for (qsizetype l = 0; l < names.size(); ++l) {
        QFile log(
            QDir(folder).filePath(QStringLiteral("records/") + AnswerLog::fileNameOf(names.at(l))));
        if (!log.open(QIODevice::WriteOnly) || log.write(lines.at(l)) != lines.at(l).size()) {
            return log.errorString();
        }
    }
    return {};
}

QString write(const QString& folder, int learners, int perDay, int days)
{
    const QStringList names = learnerNames(learners);
    QList<QByteArray> lines(names.size());
    const QString failed =
        eachCheck(folder, names, perDay, days, [&lines](qsizetype l, const Answer& a) {
            lines[l] += Statements::line(a) + '\n';
            return QString();
        });
    return failed.isEmpty() ? writeLogs(folder, names, lines) : failed;
}

QByteArray seriesOf(int problems)
{
    const QDir data(QStringLiteral(VELMORANT_SOURCE_DIR "/data"));
    QByteArray all;
    while (true) {
        for (const char* name : {"Bio1.TXT", "Bio2.TXT", "Bio3.TXT", "Bio4.TXT"}) {
            QFile file(data.filePath(QString::fromLatin1(name)));
            if (!file.open(QIODevice::ReadOnly)) {
                return {};
            }
            all += file.readAll();
            if (!all.endsWith("\r\n")) {
                all += "\r\n";
            }
        }
        const TextFile::ReadResult file = TextFile::decode(all);
        const SeriesParser::Result parsed = SeriesParser::parse(file.texts());
        if (parsed.problems.size() > problems) {
            // Cut just before the heading of the problem after the last.
            const int line = parsed.problems.at(problems).problem.lines.heading;
            return all.left(file.lines.at(line - 1).byteOffset);
        }
    }
}

namespace
{

// The terms right of a showing rated `grade`, where partial credit allows it.
int termsRight(int terms, int grade, std::mt19937& random)
{
    if (grade == 3 || (grade == 2 && terms < 5)) {
        return terms;
    }
    return grade == 2 ? terms - 1 : int(random() % quint64(terms / 2 + 1));
}

// A remembering class, school day by school day.
class RememberingClass
{
public:
    RememberingClass(const Remembering& r, const QList<Problem>& problems)
        : r_(r), problems_(problems), keys_(ProblemIds::keysOf(problems)),
          names_(learnerNames(r.learners)), random_(std::uint32_t(r.seed)),
          learners_(r.learners,
                    {Schedule(), Fsrs::Scheduler(Fsrs::Parameters{r.truth}), {}, {}, {}})
    {
    }

    // Each learner's review of the day, then the day's new problems.
    void day(const QDate& date)
    {
        for (int l = 0; l < r_.learners; ++l) {
            Learner& who = learners_[l];
            qint64 at = QDateTime(date, QTime(8, 30 + l % 20)).toMSecsSinceEpoch();
            QList<qsizetype> shown;
            for (const ScheduledProblem& due : who.schedule.dueBy(at)) {
                shown.append(keys_.indexOf(due.problemHash));
            }
            for (qsizetype n = 0; n < r_.newPerDay && who.numbers.size() + n < problems_.size();
                 ++n) {
                shown.append((who.numbers.size() + n + l * 37) % problems_.size());
            }
            for (const qsizetype p : shown) {
                show(l, p, &at);
            }
        }
    }

    // The reviews in time order.
    QList<QList<int>> reviews()
    {
        std::stable_sort(taken_.begin(), taken_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<QList<int>> out;
        for (const auto& t : std::as_const(taken_)) {
            out.append(t.second);
        }
        return out;
    }

    QString writeLogs(const QString& folder) const
    {
        QList<QByteArray> lines;
        for (const Learner& who : learners_) {
            lines.append(who.lines);
        }
        return MadeUpClass::writeLogs(folder, names_, lines);
    }

private:
    // What the program schedules, and what the learner remembers.
    struct Learner {
        Schedule schedule;
        Fsrs::Scheduler memory;
        QHash<QString, Fsrs::Card> cards; // what the learner remembers, by problem id
        QHash<QString, int> numbers;      // each problem's number in the class
        QByteArray lines;
    };

    // Problem p shown to learner l: answered as remembered, and once more,
    // right, when forgotten.
    void show(int l, qsizetype p, qint64* at)
    {
        Learner& who = learners_[l];
        Answer a = Statements::about(problems_[p], QStringLiteral("Many.TXT"), keys_[p]);
        a.learner = a.learnerName = names_[l];
        Fsrs::Card& card = who.cards[a.problemId()];
        const int days = Fsrs::Scheduler::elapsedDays(card, who.schedule.days().clockOf(*at));
        const double recall = card.reps == 0
                                  ? r_.firstRecall
                                  : who.memory.recall(card, card.lastReviewMs + days * 86400000LL);
        const int grade = chance() >= recall ? 1 : chance() < 0.3 ? 2 : 3;
        for (int attempt = 1; attempt <= (grade == 1 ? 2 : 1); ++attempt) {
            a.attempt = attempt;
            a.right = attempt == 1 ? termsRight(int(a.terms.size()), grade, random_)
                                   : int(a.terms.size());
            a.placed = a.correct;
            for (int t = a.right; t < a.terms.size(); ++t) {
                a.placed[t] = a.correct[t] % int(a.groups.size()) + 1;
            }
            a.success = a.right == a.terms.size();
            a.timestampMs = *at += 40000;
            a.durationMs = 30000;
            a.id = idFrom(random_);
            Schedule::Review review;
            if (who.schedule.add(a, *at, &review) == Schedule::Use::Review) {
                if (!who.numbers.contains(review.problemId)) {
                    who.numbers.insert(review.problemId, numbered_++);
                }
                taken_.append({*at,
                               {who.numbers.value(review.problemId), int(review.rating),
                                review.elapsedDays}});
                card = who.memory.review(card, review.rating, review.clockMs);
            }
            who.lines += Statements::line(a) + '\n';
        }
    }

    double chance() { return double(random_()) / 4294967296.0; }

    const Remembering& r_;
    const QList<Problem>& problems_;
    const QStringList keys_;
    const QStringList names_;
    std::mt19937 random_;
    QList<Learner> learners_;
    QList<std::pair<qint64, QList<int>>> taken_; // each review at its time
    int numbered_ = 0;
};

} // namespace

QString writeRemembering(const QString& folder, const Remembering& r, QList<QList<int>>* reviews)
{
    QDir(folder).mkpath(QStringLiteral("."));
    const QByteArray bytes = seriesOf(200);
    QFile series(QDir(folder).filePath(QStringLiteral("Many.TXT")));
    if (bytes.isEmpty() || !series.open(QIODevice::WriteOnly) ||
        series.write(bytes) != bytes.size()) {
        return QStringLiteral("Many.TXT: %1").arg(series.errorString());
    }
    series.close();
    const QList<Problem> problems = SeriesLoader::load(series.fileName()).usable;
    RememberingClass remembering(r, problems);
    for (int day = 0, schoolDays = 0; schoolDays < r.days; ++day) {
        const QDate date = QDate(2025, 4, 7).addDays(day);
        if (date.dayOfWeek() <= 5) {
            remembering.day(date);
            ++schoolDays;
        }
    }
    *reviews = remembering.reviews();
    return remembering.writeLogs(folder);
}

} // namespace MadeUpClass

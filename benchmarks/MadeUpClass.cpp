#include "MadeUpClass.h"

#include "files/FileLookup.h"
#include "record/AnswerLog.h"
#include "record/ProblemId.h"
#include "record/Statements.h"
#include "series/SeriesLoader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

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

QString write(const QString& folder, int learners, int perDay, int days)
{
    QStringList names;
    for (int l = 0; l < learners; ++l) {
        names.append(QStringLiteral("生徒%1").arg(l + 1, 2, 10, QLatin1Char('0')));
    }
    QList<QByteArray> lines(names.size());
    const QString failed =
        eachCheck(folder, names, perDay, days, [&lines](qsizetype l, const Answer& a) {
            lines[l] += Statements::line(a) + '\n';
            return QString();
        });
    if (!failed.isEmpty()) {
        return failed;
    }
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

} // namespace MadeUpClass

#include "app/CheckRecords.h"

#include "app/CheckReport.h"
#include "app/ClassAnswers.h"
#include "files/FileLookup.h"
#include "marks/MarksFile.h"
#include "record/AnswerLog.h"
#include "record/ClassParameters.h"
#include "record/EndedHistories.h"
#include "record/ProblemIndex.h"
#include "record/Schedule.h"
#include "series/SeriesLoader.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <functional>

#include <algorithm>

namespace
{

struct DueLine {
    QString learner;
    ScheduledProblem problem;
    double recall = 0;
};

// A field of a tab-separated line: its own tabs and line ends would split it.
QString field(QString text)
{
    for (const QChar c : {QChar(u'\t'), QChar(u'\n'), QChar(u'\r')}) {
        text.replace(c, QLatin1Char(' '));
    }
    return text;
}

} // namespace

void CheckRecords::warnEndedHistories(const QString& dir,
                                      const std::function<QString(const QString&)>& shownAs)
{
    ClassFolder::Read read;
    ClassAnswers::read(dir, {}, &read); // a store it cannot open is told by --report and --due
    ProblemIndex index(dir);
    const QList<EndedHistories::Answered> answered =
        EndedHistories::of(std::move(read.answers), index);
    QStringList series;
    for (const EndedHistories::Answered& e : answered) {
        if (!series.contains(e.series) &&
            e.series.compare(QLatin1String(MarksFile::FileName), Qt::CaseInsensitive) != 0) {
            series.append(e.series);
        }
    }
    for (const QString& name : series) {
        const QString path = FileLookup::resolve(dir, name);
        if (!QFileInfo::exists(path)) {
            continue; // a series taken off altogether
        }
        CheckReport::Report report(shownAs(path));
        for (const Finding& f :
             EndedHistories::warnings(answered, name, SeriesLoader::load(path).usable)) {
            report.add(f);
        }
    }
}

int CheckRecords::check(const QString& dir, const std::function<QString(const QString&)>& shownAs)
{
    int errors = 0;
    for (const QString& path : AnswerLogs::files(dir)) {
        CheckReport::Report report(shownAs(path));
        const LogRead read = AnswerLogs::readFile(path);
        for (const LogFinding& f : read.findings) {
            report.add({f.line, Finding::Kind::Error, f.message});
        }
        if (QFileInfo(path).size() > read.end) {
            report.add({static_cast<int>(read.findings.size() + read.answers.size() + 1),
                        Finding::Kind::Error,
                        QStringLiteral("最後の行が途中で切れています（次の記録のときに別の"
                                       "ファイルへ移します）")});
        }
        report.summary(QStringLiteral("回答 %1件").arg(read.answers.size()));
        errors += report.errors();
    }
    if (const QString problem = ClassParameters::read(dir).problem; !problem.isEmpty()) {
        CheckReport::Report report(shownAs(ClassParameters::path(dir)));
        report.add({1, Finding::Kind::Error, problem});
        errors += report.errors();
    }
    return errors;
}

namespace
{

// Which parameters the schedule is made with (kept in `where`), for
// standard error.
QString parametersUsed(const ClassParameters::Kept& kept, const QString& where)
{
    const QString retention = QString::number(kept.parameters.retention, 'f', 2);
    if (!kept.fitted()) {
        return QStringLiteral("復習の予定: FSRS-6 の標準のパラメーター、目指す思い出せる見込み %1")
            .arg(retention);
    }
    return QStringLiteral("復習の予定: このクラスに合わせたパラメーター（%1、%2 に学習者 %3人の"
                          "復習 %4件から）、目指す思い出せる見込み %5")
        .arg(where, kept.fittedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
             QString::number(kept.learners), QString::number(kept.reviews), retention);
}

// The parameters of each learner's schedule: on a server's folder their
// class's, kept in the store; else the folder's. Tells which on standard
// error.
std::function<Fsrs::Parameters(const QString&)>
parametersOf(const QString& dir, const QHash<QString, ClassAnswers::ClassOf>& classes)
{
    if (classes.isEmpty()) {
        const ClassParameters::Kept kept = ClassParameters::read(dir);
        if (!kept.problem.isEmpty()) {
            CheckReport::printError(kept.problem);
        }
        CheckReport::printError(
            parametersUsed(kept, QDir::toNativeSeparators(ClassParameters::path(dir))));
        return [p = kept.parameters](const QString&) { return p; };
    }
    QMap<QString, ClassParameters::Kept> byClass;
    for (const ClassAnswers::ClassOf& c : classes) {
        byClass.insert(c.name, c.kept);
    }
    for (auto it = byClass.cbegin(); it != byClass.cend(); ++it) {
        const QString where = QStringLiteral("サーバーの記録のクラス「%1」").arg(it.key());
        if (!it->problem.isEmpty()) {
            CheckReport::printError(QStringLiteral("%1: %2").arg(where, it->problem));
        }
        CheckReport::printError(QStringLiteral("%1: %2").arg(it.key(), parametersUsed(*it, where)));
    }
    return [classes](const QString& learner) { return classes.value(learner).kept.parameters; };
}

} // namespace

QString CheckRecords::printDue(const QString& dir, const QString& database, const QString& learner,
                               qint64 nowMs, const LearnerDays& days)
{
    // Each learner's answers in the order they were written, learner by
    // learner as the logs hold them, scheduled as they are read.
    QHash<QString, ClassAnswers::ClassOf> classes;
    std::function<Fsrs::Parameters(const QString&)> parameters;
    QMap<QString, Schedule> schedules;
    auto current = schedules.end();
    ProblemIndex problems(dir);
    const auto take = [&](Answer&& a) {
        if (!parameters) {
            parameters = parametersOf(dir, classes);
        }
        if (!learner.isEmpty() && a.learner != learner) {
            return;
        }
        problems.update(a);
        if (current == schedules.end() || current.key() != a.learner) {
            current = schedules.find(a.learner);
        }
        if (current == schedules.end()) {
            current = schedules.insert(a.learner, Schedule(days, parameters(a.learner)));
        }
        current->add(a, nowMs);
    };
    QList<ClassReport::LeftOut> leftOut;
    if (QString failed = ClassAnswers::each(dir, database, take, &leftOut, nullptr, &classes);
        !failed.isEmpty()) {
        return failed;
    }
    if (!parameters) {
        parametersOf(dir, classes);
    }
    if (!learner.isEmpty() && schedules.isEmpty()) {
        return QStringLiteral("学習者「%1」の記録がありません").arg(learner);
    }
    QList<DueLine> lines;
    for (auto it = schedules.cbegin(); it != schedules.cend(); ++it) {
        if (const QString note = it->setAsideNote(); !note.isEmpty()) {
            CheckReport::printError(QStringLiteral("学習者「%1」: %2").arg(it.key(), note));
        }
        for (const ScheduledProblem& p : it->problems()) {
            if (problems.find(p.series, p.problemHash)) {
                lines.append({it.key(), p, it->recall(p, nowMs)});
            }
        }
    }
    std::stable_sort(lines.begin(), lines.end(), [](const DueLine& a, const DueLine& b) {
        return std::tie(a.problem.dueDay, a.learner, a.problem.problemId) <
               std::tie(b.problem.dueDay, b.learner, b.problem.problemId);
    });
    for (const DueLine& l : lines) {
        CheckReport::print(
            QStringList{field(l.learner), field(l.problem.series), field(l.problem.heading),
                        l.problem.dueDay.toString(Qt::ISODate), QString::number(l.recall, 'f', 3)}
                .join(QLatin1Char('\t')));
    }
    return {};
}

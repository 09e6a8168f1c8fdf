#include "app/CheckRecords.h"

#include "app/CheckReport.h"
#include "record/AnswerLog.h"
#include "record/ProblemIndex.h"
#include "record/Schedule.h"

#include <QDateTime>
#include <QFileInfo>

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
    return errors;
}

bool CheckRecords::printDue(const QString& dir, const QString& learner, qint64 nowMs,
                            const LearnerDays& days)
{
    QStringList files = AnswerLogs::files(dir);
    if (!learner.isEmpty()) {
        const QString path = AnswerLog(dir, learner).path();
        if (!QFileInfo::exists(path)) {
            return false;
        }
        files = {path};
    }
    ProblemIndex problems(dir);
    QList<DueLine> lines;
    for (const QString& path : files) {
        const LogRead read = AnswerLogs::readFile(path);
        Schedule schedule(days);
        for (const Answer& a : read.answers) {
            schedule.add(a, nowMs);
        }
        const QString who = read.answers.isEmpty() ? QString() : read.answers.constLast().learner;
        if (const QString note = schedule.setAsideNote(); !note.isEmpty()) {
            CheckReport::printError(QStringLiteral("学習者「%1」: %2").arg(who, note));
        }
        for (const ScheduledProblem& p : schedule.problems()) {
            if (problems.find(p.series, p.problemHash)) {
                lines.append({who, p, schedule.recall(p, nowMs)});
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
    return true;
}

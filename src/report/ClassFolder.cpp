#include "report/ClassFolder.h"

#include "files/FileLookup.h"
#include "record/AnswerLog.h"
#include "record/ProblemIndex.h"
#include "record/StatementIds.h"
#include "series/Catalog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace ClassFolder
{

namespace
{

// The line a cut last line starts on: lines before `end` plus one.
int lineAt(const QString& path, qint64 end)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return int(file.read(end).count('\n')) + 1;
}

// Every log, read on as many threads as there are cores (four at most): a
// class's year is a few hundred megabytes, read each file whole by one.
QList<LogRead> readAll(const QStringList& paths)
{
    QList<LogRead> logs(paths.size());
    std::atomic<qsizetype> next{0};
    const auto readSome = [&] {
        for (qsizetype i = next++; i < paths.size(); i = next++) {
            logs[i] = AnswerLogs::readFile(paths.at(i));
        }
    };
    const unsigned helpers =
        std::min({std::max(std::thread::hardware_concurrency(), 1u), 4u, unsigned(paths.size())});
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < helpers; ++t) {
        threads.emplace_back(readSome);
    }
    readSome();
    for (std::thread& t : threads) {
        t.join();
    }
    return logs;
}

} // namespace

Read read(const QString& folder)
{
    Read out;
    StatementIdSet seen;
    const QDir dir(QFileInfo(folder).absoluteFilePath());
    const QStringList paths = AnswerLogs::files(folder);
    QList<LogRead> logs = readAll(paths);
    for (qsizetype file = 0; file < paths.size(); ++file) {
        const QString& path = paths.at(file);
        const QString shown = dir.relativeFilePath(QFileInfo(path).absoluteFilePath());
        LogRead log = std::move(logs[file]);
        for (const LogFinding& f : log.findings) {
            out.leftOut.append({shown, f.line, f.message});
        }
        const qint64 size = QFileInfo(path).size();
        if (log.end < size) {
            out.leftOut.append({shown, lineAt(path, log.end),
                                QStringLiteral("最後の行が途中で切れています（書き込みの途中で"
                                               "止まったようです）")});
        }
        int again = 0;
        for (Answer& a : log.answers) {
            if (!a.id.isNull() && !seen.insert(a.id).second) {
                ++again;
                continue;
            }
            out.answers.append(std::move(a));
        }
        if (again > 0) {
            out.leftOut.append({shown, 0,
                                QStringLiteral("%1件の文は前に読んだ文と同じ id です（同じ答えを"
                                               "二度は数えません）")
                                    .arg(again)});
        }
    }
    return out;
}

ClassReport::Report report(QList<Answer> answers, QList<ClassReport::LeftOut> leftOut,
                           const QString& workDir)
{
    ProblemIndex index(workDir);
    for (Answer& a : answers) {
        index.update(a);
    }
    const auto lineOf = [&index](const QString& series, const QString& key) {
        const std::optional<Problem> p = index.find(series, key);
        return p ? std::max(p->lines.heading, 1) : 0;
    };
    ClassReport::Report out = ClassReport::of(answers, std::move(leftOut), lineOf);
    nameSeries(&out, workDir);
    return out;
}

// A catalogue that cannot be read leaves the series named by their files.
void nameSeries(ClassReport::Report* report, const QString& workDir)
{
    const Catalog::Result catalog =
        Catalog::read(FileLookup::resolve(workDir, QLatin1String(Catalog::FileName)));
    for (const Catalog::Entry& e : catalog.entries) {
        if (!e.fileName.isEmpty() && !e.title.isEmpty() && report->series.contains(e.fileName)) {
            report->titles.insert(e.fileName, e.title);
        }
    }
}

ClassReport::Report report(const QString& folder)
{
    Read input = read(folder);
    return report(std::move(input.answers), std::move(input.leftOut), folder);
}

} // namespace ClassFolder

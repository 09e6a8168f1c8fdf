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
#include <condition_variable>
#include <mutex>
#include <optional>
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
// Each is given to `take` on this thread, in order, as soon as it and
// those before it are read, and let go: taking them overlaps the reading.
void readAll(const QStringList& paths, const std::function<void(qsizetype, LogRead&&)>& take)
{
    QList<std::optional<LogRead>> logs(paths.size());
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<qsizetype> next{0};
    const auto readSome = [&] {
        for (qsizetype i = next++; i < paths.size(); i = next++) {
            LogRead log = AnswerLogs::readFile(paths.at(i));
            const std::lock_guard<std::mutex> lock(mutex);
            logs[i] = std::move(log);
            ready.notify_all();
        }
    };
    const unsigned readers =
        std::min({std::max(std::thread::hardware_concurrency(), 1u), 4u, unsigned(paths.size())});
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < readers; ++t) {
        threads.emplace_back(readSome);
    }
    for (qsizetype i = 0; i < paths.size(); ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [&] { return logs[i].has_value(); });
        LogRead log = std::move(*logs[i]);
        logs[i].reset();
        lock.unlock();
        take(i, std::move(log));
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

} // namespace

void eachAnswer(const QString& folder, const std::function<void(Answer&&)>& take,
                QList<ClassReport::LeftOut>* leftOut, StatementIdSet* seen)
{
    const QDir dir(QFileInfo(folder).absoluteFilePath());
    const QStringList paths = AnswerLogs::files(folder);
    readAll(paths, [&](qsizetype file, LogRead&& log) {
        const QString& path = paths.at(file);
        const QString shown = dir.relativeFilePath(QFileInfo(path).absoluteFilePath());
        for (const LogFinding& f : log.findings) {
            leftOut->append({shown, f.line, f.message});
        }
        const qint64 size = QFileInfo(path).size();
        if (log.end < size) {
            leftOut->append({shown, lineAt(path, log.end),
                             QStringLiteral("最後の行が途中で切れています（書き込みの途中で"
                                            "止まったようです）")});
        }
        int again = 0;
        for (Answer& a : log.answers) {
            if (!a.id.isNull() && !seen->insert(a.id).second) {
                ++again;
                continue;
            }
            take(std::move(a));
        }
        if (again > 0) {
            leftOut->append({shown, 0,
                             QStringLiteral("%1件の文は前に読んだ文と同じ id です（同じ答えを"
                                            "二度は数えません）")
                                 .arg(again)});
        }
    });
}

Read read(const QString& folder)
{
    Read out;
    StatementIdSet seen;
    eachAnswer(
        folder, [&out](Answer&& a) { out.answers.append(std::move(a)); }, &out.leftOut, &seen);
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

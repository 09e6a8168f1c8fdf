#pragma once

#include "record/Answer.h"

#include <QList>
#include <QString>
#include <QStringList>

// A line of a learner's log that is no statement: skipped, left in the file.
struct LogFinding {
    QString file;
    int line = 0;    // 1-based; 0: the file as a whole
    QString message; // in Japanese
};

struct LogRead {
    QList<Answer> answers;
    QList<LogFinding> findings;
    qint64 end = 0; // where the next read starts: after the last whole line read
};

// One learner's answers, one statement a line, in records/<learner>.jsonl
// of the work folder. Each append is one write with the file locked, as
// the marks file is when changed in place, and is synced before it returns, so a kill never leaves
// part of a line that is read as an answer, and copies of the program sharing the folder never lose
// or double a line.
class AnswerLog
{
public:
    static constexpr const char* FolderName = "records";

    AnswerLog(QString folder, QString learner);

    // The learner's id as a file name that every system takes: what could
    // make it another folder, a hidden file or an unprintable name is
    // percent-encoded; Japanese letters stay. With ".jsonl".
    static QString fileNameOf(const QString& learner);
    QString path() const;
    const QString& folder() const { return folder_; }

    // The statements from byte `from` on, whole lines only: a last line cut
    // short by a kill is not read.
    LogRead read(qint64 from = 0) const;
    // "" when the answer is in the file and synced; else why not, in
    // Japanese, with nothing of it written. A cut last line is first set
    // aside into <name>.jsonl.damaged. An answer without an id is given one.
    QString append(const Answer& answer);

private:
    QString folder_;
    QString learner_;
};

namespace AnswerLogs
{

// Every learner's log in the work folder, by file name.
QStringList files(const QString& folder);
LogRead readFile(const QString& path, qint64 from = 0);

} // namespace AnswerLogs

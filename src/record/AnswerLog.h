#pragma once

#include "record/Answer.h"

#include <QList>
#include <QString>
#include <QStringList>

// Placeholder of the answer log's interface, as agreed.
struct LogFinding {
    QString file;
    int line = 0;
    QString message;
};
struct LogRead {
    QList<Answer> answers;
    QList<LogFinding> findings;
    qint64 end = 0;
};
class AnswerLog
{
public:
    AnswerLog(QString folder, QString learner);
    static QString fileNameOf(const QString& learner);
    QString path() const;
    LogRead read(qint64 from = 0) const;
    QString append(const Answer& a);

private:
    QString folder_;
    QString learner_;
};
namespace AnswerLogs
{
QStringList files(const QString& folder);
LogRead readFile(const QString& path, qint64 from = 0);
} // namespace AnswerLogs

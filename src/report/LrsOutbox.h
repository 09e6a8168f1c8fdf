#pragma once

#include "record/Answer.h"
#include "record/StatementIds.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

// What of a work folder's answer logs a learning record store has accepted,
// kept in records/.lrs-sent.json per store address: for each log, the
// offset up to which every statement was accepted, and the ids accepted
// after it. Marked only once the store said so, so a statement is sent at
// least once and never dropped; one sent twice the store keeps once (same id).
class LrsOutbox
{
public:
    static constexpr const char* StateName = ".lrs-sent.json";

    // The statements of one log not yet accepted.
    struct Pending {
        QString file;          // the log's file name in records/
        QList<Answer> answers; // in file order
        qint64 end = 0;        // where the log was read up to
        QStringList damaged;   // lines that are no statements, "LINE: why"
    };

    LrsOutbox(QString folder, QString endpoint);

    // Reads the state; "" or, in Japanese, why it was unreadable (then
    // everything counts as unsent: sending again loses nothing).
    QString load();
    QList<Pending> pending() const;
    // Notes statements of `p` as accepted; once all of them are, the log
    // counts as sent up to p.end. Kept in memory until save().
    void accepted(const Pending& p, const QList<QUuid>& ids);
    // Writes the state in one step; "" or why not, in Japanese.
    QString save() const;
    QString statePath() const;

private:
    struct Sent {
        qint64 offset = 0;
        StatementIdSet ids;
    };
    QString folder_;
    QString endpoint_;
    QHash<QString, Sent> sent_;
};

#pragma once

#include "report/LrsOutbox.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;

// Sends answer statements to an xAPI 1.0.3 statement endpoint: batches of
// statements as one JSON array, POST {endpoint}/statements with Basic
// authentication. Blocks in an event loop of its own: needs a
// QCoreApplication, and the thread it runs on waits.
class LrsSender
{
public:
    struct Settings {
        QUrl endpoint;            // the statement endpoint's base, e.g. https://lrs.example/xapi
        QByteArray authorization; // "Basic ..." header value
        int batchSize = 50;
        int tries = 6;          // per batch, before the store counts as down
        int firstWaitMs = 1000; // doubled after each failed try
        int timeoutMs = 30000;  // per request
    };

    // The header value from a file holding one line "user:password", or
    // why not (in Japanese): a file others may read is refused.
    static QString readAuthFile(const QString& path, QByteArray* authorization);

    enum class Outcome {
        Accepted,     // stored
        Known,        // 409: the store has a statement of one of these ids
        Refused,      // 400 and the like: the store will not take them
        Unauthorized, // the store refuses the user and password
        Unreachable   // down, or failing, after every try
    };
    struct Result {
        Outcome outcome = Outcome::Accepted;
        QString message; // in Japanese when not accepted
    };

    explicit LrsSender(Settings settings);
    ~LrsSender();

    // One batch of statements (compact JSON objects), tried again with
    // back-off while the store is down or failing (5xx, 429, no answer).
    Result post(const QList<QByteArray>& statements);

    struct Summary {
        int sent = 0;
        int unsent = 0;
        QStringList problems; // in Japanese, one line each
    };
    // Every pending statement of the outbox's folder; what was accepted is
    // marked and saved, what was not stays for the next run.
    Summary sendFolder(LrsOutbox& outbox);

    // One batch; a batch refused as a whole goes again one statement at a
    // time. False when sending has to stop (the store is down or refuses
    // the user); true when every statement was accepted or refused.
    bool sendBatch(const QList<Answer>& batch, QList<QUuid>* accepted, Summary* summary);

private:
    Result postOnce(const QByteArray& body, bool* again);

    Settings settings_;
    std::unique_ptr<QNetworkAccessManager> network_;
};

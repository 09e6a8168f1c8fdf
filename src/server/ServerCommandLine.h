#pragma once

#include <QString>
#include <QStringList>

// velmorant-server's command line.
namespace ServerCommandLine
{

struct Request {
    enum class Action {
        Serve,
        AddLearner,
        ListLearners,
        RemoveLearner,
        SetTeacherPassword,
        Backup,
        Restore,
        AddLearners,
        Help,
        Version,
        BadUsage
    };
    Action action = Action::Serve;
    QString listen = QStringLiteral("127.0.0.1");
    int port = 8080;
    QString database;     // empty: the SQLite file in the folder
    QString group;        // that may read the SQLite file too
    QString trustedProxy; // whose X-Forwarded-For names the learner's address
    QString tlsCert;
    QString tlsKey;
    QString lrs;         // a learning record store's statement endpoint
    QString lrsAuth;     // the file of its "user:password"
    QString learner;     // AddLearner, RemoveLearner
    QString file;        // Backup, Restore, AddLearners (the class list)
    QString address;     // AddLearners: the class's address on the cards
    QStringList folders; // the work folder, when one is given
    QString error;       // BadUsage, in Japanese

    // Seconds before a connection with no request, or one whose request
    // (or TLS handshake) has begun and not ended, is closed.
    int idleTimeoutSeconds = 30;
    int requestTimeoutSeconds = 10;
};

// `arguments` starts with the program's name.
Request read(const QStringList& arguments);
QString helpText();

} // namespace ServerCommandLine

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
        RemoveClass,
        AddTeacher,
        ListTeachers,
        RemoveTeacher,
        TeacherClasses,
        Help,
        Version,
        BadUsage
    };
    Action action = Action::Serve;
    QString listen = QStringLiteral("127.0.0.1");
    int port = 8080;
    // Named by --port or velmorant.conf: a port taken is then not moved on from.
    bool portNamed = false;
    QString database;     // empty: the SQLite file in the folder
    QString group;        // that may read the SQLite file too
    QString trustedProxy; // whose X-Forwarded-For names the learner's address
    QString tlsCert;
    QString tlsKey;
    QString lrs;          // a learning record store's statement endpoint
    QString lrsAuth;      // the file of its "user:password"
    QString learner;      // AddLearner, RemoveLearner
    QString className;    // --class; RemoveClass
    QString teacher;      // AddTeacher, RemoveTeacher, TeacherClasses
    QStringList classes;  // TeacherClasses
    bool yes = false;     // --yes: RemoveClass asks nothing
    QString file;         // Backup, Restore, AddLearners (the class list)
    QString address;      // on the code cards; its host is a name of the server
    QStringList folders;  // the work folder, when one is given
    QString error;        // BadUsage, in Japanese
    bool samples = false; // a folder without ZQCList.TXT is given the samples
    QStringList given;    // the options given with a value, such as "--port"
    // The names learners' browsers reach the server by (ServerNames).
    QStringList serverNames;

    // Seconds before a connection with no request, or one whose request
    // (or TLS handshake) has begun and not ended, is closed.
    int idleTimeoutSeconds = 30;
    int requestTimeoutSeconds = 10;
    // Minutes without an action before a learner is signed out.
    int signOutAfterMinutes = 30;
};

// `arguments` starts with the program's name.
Request read(const QStringList& arguments);

// Sets the option `option` (such as "--port", one that takes a value and
// names no learner) to `value`; false when the value is wrong.
bool takeValue(Request& r, const QString& option, const QString& value);

// What is wrong with the options taken together, in Japanese; "" if nothing.
QString conflict(const Request& r);
QString helpText();

} // namespace ServerCommandLine

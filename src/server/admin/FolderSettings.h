#pragma once

#include "server/admin/ServerCommandLine.h"

#include <QList>
#include <QString>

// A class folder's own settings, DIR/velmorant.conf (UTF-8): lines
// "key = value" whose keys are the command line's options without their
// dashes (database, group, listen, port, tls-cert, tls-key, trusted-proxy,
// lrs, lrs-auth, idle-timeout, request-timeout, sign-out-after, address,
// server-name); blank lines
// and "#" comments are skipped. velmorant-server reads it for serving and for
// every command on the folder, so that a command acts on the very store the
// folder's server uses.
namespace FolderSettings
{

struct Setting {
    QString option; // as on the command line: "--port"
    QString value;  // a relative path made absolute from the folder
    int line = 0;
};

struct Settings {
    QString path; // DIR/velmorant.conf
    QList<Setting> values;
    // Why the file cannot be used, in Japanese, naming the file and the
    // line; empty when it can (or there is none).
    QString error;
};

// The folder's settings; none when it has no velmorant.conf.
Settings read(const QString& folder);

// Puts the settings under the command line's: an option given there wins,
// but --database and --group must agree with the file where it names them.
// "" or why not, in Japanese.
QString merge(const Settings& settings, ServerCommandLine::Request& r);

} // namespace FolderSettings

#pragma once

#include <QString>
#include <QStringList>

// What velmorant-server asks and tells on the teacher's terminal.
namespace ServerConsole
{

// A teacher's password, typed here or on the administrator's page.
constexpr int MinPasswordLength = 8;

// The teacher's new password: from a terminal, asked for twice without
// showing it; from a pipe, its one line. "" or why not, in Japanese.
QString readNewPassword(QString* password);

// Whether the administrator agrees to `question`: asked on a terminal, one
// line read from a pipe; y, yes or はい agrees.
bool confirm(const QString& question);

// The addresses learners open for a server on `listen` and `port`: for the
// any-address, each address of this machine that another one can reach
// (none when it has none); otherwise the one address.
QStringList learnerUrls(const QString& listen, int port, bool secure);

} // namespace ServerConsole

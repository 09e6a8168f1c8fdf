#pragma once

#include "server/admin/CommandOutcome.h"

#include <QByteArray>
#include <QList>
#include <QString>

class Store;

// The sheet of sign-in code cards a teacher prints and cuts up: A4, 3 × 8
// cards a page, each with the learner's name, code and the class's address.
namespace CodeCards
{

struct Card {
    QString name;
    QString code;
};

// The sheet's HTML; `title` names the class list on each card.
QByteArray sheet(const QList<Card>& cards, const QString& address, const QString& title);

// The address learners open: `listen` when it is one they can reach, else
// this machine's first LAN address (IPv4), with the port.
QString classAddress(const QString& listen, int port, bool secure);

// Registers everyone on the class list at `listPath` and writes their
// cards beside it (NAME-コード表.html, mode 0600: it holds the codes). A
// fault in the list registers no one. A name already registered is named
// and passed over, and the status is then 1; every learner registered has
// a card: if the sheet cannot be written, they are removed again.
CommandOutcome addLearners(Store& store, const QString& listPath, const QString& address);

} // namespace CodeCards

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
    QString className;
    QString name;
    QString code;
};

// The sheet's HTML; each card names its class, or `title` when it has none.
QByteArray sheet(const QList<Card>& cards, const QString& address, const QString& title);

// The address learners open: `listen` when it is one they can reach, else
// this machine's first LAN address (IPv4), with the port.
QString classAddress(const QString& listen, int port, bool secure);

// Registers everyone on the class list at `listPath` and writes their
// cards beside it (NAME-コード表.html, mode 0600: it holds the codes), by
// class and 番号. Learners of a list without a 組 column join `className`,
// or the store's one class. A fault in the list, or a learner already
// registered in their class, registers no one and is named by its line;
// every learner registered has a card: if the sheet cannot be written,
// they are removed again.
CommandOutcome addLearners(Store& store, const QString& listPath, const QString& className,
                           const QString& address);

} // namespace CodeCards

#pragma once

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// The names a request's Host may give this server: the address it listens
// on, `localhost`, the machine's own addresses, and the names the folder's
// settings give (server-name, and the host of `address`), each with or
// without a port. A page elsewhere whose name is made to point here (DNS
// rebinding) sends its own name, and is refused before anything is done.
// Used on the event loop's thread only.
class ServerNames
{
public:
    ServerNames() = default;
    ServerNames(const QHostAddress& listen, const QStringList& names);

    enum class Verdict { Ours, Foreign, Malformed };
    // The value of a request's one Host header.
    Verdict judge(QByteArrayView host);

    // The host of a Host header ("name", "name:port", "[v6]:port"),
    // lower-case, without a trailing dot; empty when it is malformed.
    static QString hostOf(QByteArrayView host);
    // A name as a setting gives it (an address, or a name in any script,
    // with or without a port) as a Host header would carry it; empty when
    // it is none.
    static QString settingName(const QString& setting);

private:
    bool ourAddress(const QHostAddress& address);

    QStringList names_;
    QList<QHostAddress> addresses_;
    // The machine's addresses, read again (at most once in a while) when
    // an address is not among them: a lease renewed or a network joined
    // since the start.
    QList<QHostAddress> machine_;
    qint64 machineReadMs_ = 0;
};

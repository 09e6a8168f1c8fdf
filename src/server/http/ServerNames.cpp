#include "server/http/ServerNames.h"

#include <QDateTime>
#include <QNetworkInterface>
#include <QUrl>

#include <algorithm>

namespace
{

constexpr qint64 MachineRereadMs = 10000;

bool isDigits(QByteArrayView text)
{
    return !text.isEmpty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Letters, digits, '-', '_' and '.': what a host name in a Host header
// holds (IDNs come as xn-- names).
bool isName(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.';
    });
}

} // namespace

ServerNames::ServerNames(const QHostAddress& listen, const QStringList& names)
{
    if (listen != QHostAddress::AnyIPv4 && listen != QHostAddress::AnyIPv6 &&
        listen != QHostAddress::Any && !listen.isNull()) {
        addresses_.append(listen);
    }
    names_.append(QStringLiteral("localhost"));
    for (const QString& setting : names) {
        const QString name = settingName(setting);
        if (const QHostAddress address(name); !address.isNull()) {
            addresses_.append(address);
        } else if (!name.isEmpty()) {
            names_.append(name);
        }
    }
}

QString ServerNames::hostOf(QByteArrayView host)
{
    QByteArrayView name = host;
    QByteArrayView port;
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        if (close < 0) {
            return {};
        }
        name = host.sliced(1, close - 1);
        const QByteArrayView rest = host.sliced(close + 1);
        if (!rest.isEmpty() && !(rest.startsWith(':') && isDigits(rest.sliced(1)))) {
            return {};
        }
        const QHostAddress six(QString::fromLatin1(name));
        return six.protocol() == QAbstractSocket::IPv6Protocol ? six.toString() : QString();
    }
    if (const qsizetype colon = host.indexOf(':'); colon >= 0) {
        name = host.first(colon);
        port = host.sliced(colon + 1);
        if (!isDigits(port)) {
            return {};
        }
    }
    if (name.endsWith('.')) {
        name.chop(1);
    }
    return isName(name) ? QString::fromLatin1(name).toLower() : QString();
}

QString ServerNames::settingName(const QString& setting)
{
    const QString trimmed = setting.trimmed();
    // A bare IPv6 address has colons of its own.
    if (const QHostAddress address(trimmed); !address.isNull()) {
        return address.toString();
    }
    if (trimmed.startsWith(u'[')) {
        return hostOf(trimmed.toLatin1());
    }
    const qsizetype colon = trimmed.lastIndexOf(u':');
    const QString host = colon < 0 ? trimmed : trimmed.left(colon);
    // A name in Japanese is sent in its ASCII form (xn--...).
    return hostOf(QUrl::toAce(host) + (colon < 0 ? QByteArray() : trimmed.mid(colon).toLatin1()));
}

ServerNames::Verdict ServerNames::judge(QByteArrayView host)
{
    const QString name = hostOf(host);
    if (name.isEmpty()) {
        return Verdict::Malformed;
    }
    if (names_.contains(name)) {
        return Verdict::Ours;
    }
    const QHostAddress address(name);
    return !address.isNull() && ourAddress(address) ? Verdict::Ours : Verdict::Foreign;
}

bool ServerNames::ourAddress(const QHostAddress& address)
{
    const auto among = [&address](const QList<QHostAddress>& list) {
        return std::any_of(list.begin(), list.end(), [&address](const QHostAddress& a) {
            return a.isEqual(address, QHostAddress::TolerantConversion);
        });
    };
    if (among(addresses_) || among(machine_)) {
        return true;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (machineReadMs_ != 0 && now - machineReadMs_ < MachineRereadMs) {
        return false;
    }
    machineReadMs_ = now;
    machine_ = QNetworkInterface::allAddresses();
    return among(machine_);
}

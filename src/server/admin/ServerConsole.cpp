#include "server/admin/ServerConsole.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace ServerConsole
{

using ServerConsole::MinPasswordLength;

namespace
{

// The terminal as it was, put back if the teacher presses Ctrl+C while the
// password is not shown: else the shell is left typing blind.
termios shown;
volatile std::sig_atomic_t hiding = 0;

void showAgainAndStop(int signal)
{
    if (hiding != 0) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &shown);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

QString readLine()
{
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return QString::fromStdString(line);
}

// One line typed with echo off; the line end alone is shown.
QString askHidden(const QString& prompt)
{
    // Hidden before the prompt shows: what is typed after it is never echoed.
    termios quiet = shown;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    hiding = 1;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::fputs(qUtf8Printable(prompt), stderr);
    std::fflush(stderr);
    const QString line = readLine();
    ::tcsetattr(STDIN_FILENO, TCSANOW, &shown);
    hiding = 0;
    return line;
}

QString tooShort(const QString& where)
{
    return QStringLiteral("パスワードは%1文字以上にしてください%2")
        .arg(MinPasswordLength)
        .arg(where);
}

// This machine's addresses of `family` that other machines can reach.
QList<QHostAddress> reachableAddresses(QAbstractSocket::NetworkLayerProtocol family)
{
    QList<QHostAddress> found;
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const QNetworkInterface& card : QNetworkInterface::allInterfaces()) {
        if ((card.flags() & wanted) != wanted || card.flags() & QNetworkInterface::IsLoopBack) {
            continue;
        }
        for (const QNetworkAddressEntry& entry : card.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == family && !ip.isLoopback() && !ip.isLinkLocal()) {
                found.append(ip);
            }
        }
    }
    return found;
}

} // namespace

QString readNewPassword(QString* password)
{
    if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &shown) != 0) {
        // The password is one line of standard input, so that it stays out
        // of the shell's history and the process list.
        *password = readLine();
        return password->size() < MinPasswordLength
                   ? tooShort(QStringLiteral("（標準入力の1行から読みます）"))
                   : QString();
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        std::signal(signal, showAgainAndStop);
    }
    *password =
        askHidden(QStringLiteral("先生のページのパスワード（%1文字以上。画面には出ません）: ")
                      .arg(MinPasswordLength));
    if (password->size() < MinPasswordLength) {
        return tooShort(QString());
    }
    if (askHidden(QStringLiteral("確認のため、もう一度: ")) != *password) {
        password->clear();
        return QStringLiteral("2回のパスワードが違います。設定しませんでした");
    }
    return {};
}

bool confirm(const QString& question)
{
    if (::isatty(STDIN_FILENO) != 0) {
        std::fputs(qUtf8Printable(question + QStringLiteral(" [y/N]: ")), stderr);
        std::fflush(stderr);
    }
    const QString answer = readLine().trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes") ||
           answer == QStringLiteral("はい");
}

QStringList learnerUrls(const QString& listen, int port, bool secure)
{
    const QHostAddress address(listen);
    const bool any = address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6;
    const QList<QHostAddress> hosts =
        any ? reachableAddresses(address.protocol()) : QList<QHostAddress>{address};
    QStringList urls;
    for (const QHostAddress& host : hosts) {
        const QString name = host.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QLatin1Char('[') + host.toString() + QLatin1Char(']')
                                 : host.toString();
        urls.append(QStringLiteral("%1://%2:%3/")
                        .arg(secure ? QStringLiteral("https") : QStringLiteral("http"), name,
                             QString::number(port)));
    }
    return urls;
}

} // namespace ServerConsole

#include "server/admin/FolderSettings.h"

#include "files/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>

namespace FolderSettings
{

namespace
{

const QStringList Keys = {QStringLiteral("database"),        QStringLiteral("group"),
                          QStringLiteral("listen"),          QStringLiteral("port"),
                          QStringLiteral("tls-cert"),        QStringLiteral("tls-key"),
                          QStringLiteral("trusted-proxy"),   QStringLiteral("lrs"),
                          QStringLiteral("lrs-auth"),        QStringLiteral("idle-timeout"),
                          QStringLiteral("request-timeout"), QStringLiteral("sign-out-after"),
                          QStringLiteral("address"),         QStringLiteral("server-name")};

const QStringList PathKeys = {QStringLiteral("tls-cert"), QStringLiteral("tls-key"),
                              QStringLiteral("lrs-auth")};

// A "#" at the start or after a blank begins a comment; one inside a value,
// as in a URL's fragment, does not.
QString withoutComment(const QString& line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == u'#' && (i == 0 || line.at(i - 1).isSpace())) {
            return line.left(i);
        }
    }
    return line;
}

// One line into `into`; "" or why it cannot be used.
QString readLine(const QString& folder, const QString& text, int number, Settings& into)
{
    const QString line = withoutComment(text).trimmed();
    if (line.isEmpty()) {
        return {};
    }
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) {
        return QStringLiteral("「項目 = 値」の形ではありません");
    }
    const QString key = line.left(equals).trimmed();
    QString value = line.mid(equals + 1).trimmed();
    if (!Keys.contains(key)) {
        return QStringLiteral("知らない項目「%1」です（使える項目: %2）")
            .arg(key, Keys.join(QStringLiteral(", ")));
    }
    const QString option = QStringLiteral("--") + key;
    for (const Setting& earlier : std::as_const(into.values)) {
        if (earlier.option == option) {
            return QStringLiteral("「%1」は%2行目にもあります")
                .arg(key, QString::number(earlier.line));
        }
    }
    ServerCommandLine::Request check;
    if (value.isEmpty() || !ServerCommandLine::takeValue(check, option, value)) {
        return QStringLiteral("%1 の値「%2」が正しくありません").arg(key, value);
    }
    if (PathKeys.contains(key)) {
        value = QDir::cleanPath(QDir(folder).absoluteFilePath(value));
    }
    into.values.append({option, value, number});
    return {};
}

// A password in the database's URL is a secret like the TLS key.
QString refuseSharedPassword(const Settings& s)
{
    for (const Setting& setting : s.values) {
        if (setting.option == QLatin1String("--database") &&
            !QUrl(setting.value).password().isEmpty()) {
            return PrivateFile::refuseShared(s.path, QStringLiteral("設定ファイル"));
        }
    }
    return {};
}

} // namespace

Settings read(const QString& folder)
{
    Settings s;
    s.path = QDir(folder).filePath(QStringLiteral("velmorant.conf"));
    if (!QFileInfo::exists(s.path)) {
        return s;
    }
    QFile file(s.path);
    if (!file.open(QIODevice::ReadOnly)) {
        s.error =
            QStringLiteral("設定ファイル「%1」を読めません: %2").arg(s.path, file.errorString());
        return s;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(file.readAll());
    if (utf8.hasError()) {
        s.error = QStringLiteral("設定ファイル「%1」は UTF-8 で保存してください").arg(s.path);
        return s;
    }
    if (text.startsWith(QChar(0xfeff))) {
        text.remove(0, 1);
    }
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (const QString why = readLine(folder, lines.at(i), i + 1, s); !why.isEmpty()) {
            s.values.clear();
            s.error = QStringLiteral("設定ファイル「%1」の%2行目: %3")
                          .arg(s.path, QString::number(i + 1), why);
            return s;
        }
    }
    s.error = refuseSharedPassword(s);
    return s;
}

QString merge(const Settings& settings, ServerCommandLine::Request& r)
{
    for (const Setting& s : settings.values) {
        if (!r.given.contains(s.option)) {
            ServerCommandLine::takeValue(r, s.option, s.value);
            continue;
        }
        const QString& given = s.option == QLatin1String("--database") ? r.database
                               : s.option == QLatin1String("--group")  ? r.group
                                                                       : s.value;
        // Neither value is shown: a database's URL may hold a password.
        if (given != s.value) {
            return QStringLiteral("%1 が設定ファイル「%2」の%3行目と違います。"
                                  "このフォルダの記録はそちらのものです")
                .arg(s.option, settings.path, QString::number(s.line));
        }
    }
    const QString why = ServerCommandLine::conflict(r);
    return why.isEmpty() || settings.values.isEmpty()
               ? why
               : QStringLiteral("設定ファイル「%1」と合わせると: %2").arg(settings.path, why);
}

} // namespace FolderSettings

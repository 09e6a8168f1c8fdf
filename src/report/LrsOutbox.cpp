#include "report/LrsOutbox.h"

#include "files/SafeWrite.h"
#include "record/AnswerLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

LrsOutbox::LrsOutbox(QString folder, QString endpoint)
    : folder_(std::move(folder)), endpoint_(std::move(endpoint))
{
}

QString LrsOutbox::statePath() const
{
    return QDir(folder_).filePath(QStringLiteral("records/") + QLatin1String(StateName));
}

QString LrsOutbox::load()
{
    sent_.clear();
    QFile file(statePath());
    if (!file.exists()) {
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument doc = file.open(QIODevice::ReadOnly)
                                  ? QJsonDocument::fromJson(file.readAll(), &error)
                                  : QJsonDocument();
    if (!doc.isObject()) {
        return QStringLiteral("送信済みの記録「%1」を読めません。すべての文をもう一度送ります"
                              "（記録の保管庫は同じ id の文を二度は記録しません）")
            .arg(statePath());
    }
    const QJsonObject logs = doc.object().value(endpoint_).toObject();
    for (auto it = logs.begin(); it != logs.end(); ++it) {
        Sent& s = sent_[it.key()];
        s.offset = it.value().toObject().value(QStringLiteral("offset")).toInteger();
        for (const QJsonValue& id : it.value().toObject().value(QStringLiteral("ids")).toArray()) {
            s.ids.insert(QUuid::fromString(id.toString()));
        }
    }
    return {};
}

QList<LrsOutbox::Pending> LrsOutbox::pending() const
{
    QList<Pending> out;
    for (const QString& path : AnswerLogs::files(folder_)) {
        const QString name = QFileInfo(path).fileName();
        const Sent sent = sent_.value(name);
        const LogRead read = AnswerLogs::readFile(path, sent.offset);
        Pending p{name, {}, read.end, {}};
        for (const Answer& a : read.answers) {
            if (!sent.ids.contains(a.id)) {
                p.answers.append(a);
            }
        }
        for (const LogFinding& f : read.findings) {
            p.damaged.append(QStringLiteral("%1: %2").arg(QString::number(f.line), f.message));
        }
        if (!p.answers.isEmpty() || !p.damaged.isEmpty() || read.end != sent.offset) {
            out.append(p);
        }
    }
    return out;
}

void LrsOutbox::accepted(const Pending& p, const QList<QUuid>& ids)
{
    Sent& s = sent_[p.file];
    for (const QUuid& id : ids) {
        s.ids.insert(id);
    }
    for (const Answer& a : p.answers) {
        if (!s.ids.contains(a.id)) {
            return;
        }
    }
    s = Sent{p.end, {}};
}

QString LrsOutbox::save() const
{
    QJsonObject all;
    QFile file(statePath());
    if (file.open(QIODevice::ReadOnly)) {
        all = QJsonDocument::fromJson(file.readAll()).object(); // other stores' states stay
    }
    QJsonObject logs;
    for (auto it = sent_.begin(); it != sent_.end(); ++it) {
        QJsonArray ids;
        for (const QUuid& id : it.value().ids) {
            ids.append(id.toString(QUuid::WithoutBraces));
        }
        logs.insert(it.key(), QJsonObject{{QStringLiteral("offset"), it.value().offset},
                                          {QStringLiteral("ids"), ids}});
    }
    all.insert(endpoint_, logs);
    const QString failure =
        WriteFileAtomically(statePath(), QJsonDocument(all).toJson(QJsonDocument::Indented));
    return failure.isEmpty()
               ? QString()
               : QStringLiteral("送信済みの記録「%1」を書けません: %2").arg(statePath(), failure);
}

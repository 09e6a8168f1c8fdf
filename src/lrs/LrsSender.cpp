#include "lrs/LrsSender.h"

#include "files/PrivateFile.h"
#include "record/Statements.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

LrsSender::LrsSender(Settings settings)
    : settings_(std::move(settings)), network_(std::make_unique<QNetworkAccessManager>())
{
}

LrsSender::~LrsSender() = default;

QString LrsSender::readAuthFile(const QString& path, QByteArray* authorization)
{
    QFile file(path);
    if (!file.exists()) {
        return QStringLiteral("認証のファイル「%1」が見つかりません").arg(path);
    }
    if (QString shared = PrivateFile::refuseShared(path, QStringLiteral("認証のファイル"));
        !shared.isEmpty()) {
        return shared;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("認証のファイル「%1」を読めません: %2").arg(path, file.errorString());
    }
    const QByteArray line = file.readLine().trimmed();
    if (line.indexOf(':') <= 0) {
        return QStringLiteral(
                   "認証のファイル「%1」の1行目は「ユーザー名:パスワード」の形にしてください")
            .arg(path);
    }
    *authorization = "Basic " + line.toBase64();
    return {};
}

LrsSender::Result LrsSender::postOnce(const QByteArray& body, bool* again)
{
    QUrl url = settings_.endpoint;
    url.setPath(url.path().endsWith(QLatin1Char('/')) ? url.path() + QLatin1String("statements")
                                                      : url.path() + QLatin1String("/statements"));
    QNetworkRequest request(url);
    request.setRawHeader("X-Experience-API-Version", "1.0.3");
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Authorization", settings_.authorization);
    request.setTransferTimeout(settings_.timeoutMs);
    std::unique_ptr<QNetworkReply> reply(network_->post(request, body));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString said =
        reply->isOpen() ? QString::fromUtf8(reply->readAll().left(300)).simplified() : QString();
    *again = false;
    if (status == 200 || status == 204) {
        return {Outcome::Accepted, {}};
    }
    if (status == 409) {
        return {Outcome::Known, {}};
    }
    if (status == 401 || status == 403) {
        return {Outcome::Unauthorized,
                QStringLiteral("記録の保管庫がユーザー名かパスワードを受け付けません（%1）")
                    .arg(status)};
    }
    if (status >= 400 && status < 500 && status != 408 && status != 429) {
        return {Outcome::Refused, QStringLiteral("記録の保管庫が文を受け付けません（%1 %2）")
                                      .arg(QString::number(status), said)};
    }
    *again = true;
    const QString why = status > 0 ? QStringLiteral("%1 %2").arg(QString::number(status), said)
                                   : reply->errorString();
    return {Outcome::Unreachable, QStringLiteral("記録の保管庫「%1」に送れません（%2）")
                                      .arg(settings_.endpoint.toDisplayString(), why)};
}

LrsSender::Result LrsSender::post(const QList<QByteArray>& statements)
{
    const QByteArray body = '[' + statements.join(',') + ']';
    int waitMs = settings_.firstWaitMs;
    Result result;
    for (int attempt = 1; attempt <= settings_.tries; ++attempt) {
        bool again = false;
        result = postOnce(body, &again);
        if (!again) {
            return result;
        }
        if (attempt < settings_.tries) {
            QThread::msleep(static_cast<unsigned long>(waitMs));
            waitMs *= 2;
        }
    }
    return result;
}

// Sends one batch; a batch refused as a whole goes again one statement at a
// time, so that one known or bad statement keeps no other back. Returns
// false when sending has to stop.
bool LrsSender::sendBatch(const QList<Answer>& batch, QList<QUuid>* accepted, Summary* summary)
{
    QList<QByteArray> lines;
    for (const Answer& a : batch) {
        lines.append(Statements::line(a));
    }
    const Result whole = post(lines);
    if (whole.outcome == Outcome::Accepted ||
        (whole.outcome == Outcome::Known && batch.size() == 1)) {
        for (const Answer& a : batch) {
            accepted->append(a.id);
        }
        return true;
    }
    if (whole.outcome == Outcome::Unauthorized || whole.outcome == Outcome::Unreachable) {
        summary->problems.append(whole.message);
        return false;
    }
    if (batch.size() == 1) {
        summary->problems.append(
            QStringLiteral("文 %1: %2")
                .arg(batch.first().id.toString(QUuid::WithoutBraces), whole.message));
        return true;
    }
    for (const Answer& a : batch) {
        if (!sendBatch({a}, accepted, summary)) {
            return false;
        }
    }
    return true;
}

LrsSender::Summary LrsSender::sendFolder(LrsOutbox& outbox)
{
    Summary summary;
    bool going = true;
    for (const LrsOutbox::Pending& p : outbox.pending()) {
        for (const QString& damaged : p.damaged) {
            summary.problems.append(
                QStringLiteral("records/%1:%2（文ではないので送りません）").arg(p.file, damaged));
        }
        QList<QUuid> accepted;
        for (qsizetype at = 0; going && at < p.answers.size(); at += settings_.batchSize) {
            going = sendBatch(p.answers.mid(at, settings_.batchSize), &accepted, &summary);
        }
        outbox.accepted(p, accepted);
        summary.sent += int(accepted.size());
        summary.unsent += int(p.answers.size() - accepted.size());
        if (const QString failure = outbox.save(); !failure.isEmpty()) {
            summary.problems.append(failure);
            going = false;
        }
    }
    return summary;
}

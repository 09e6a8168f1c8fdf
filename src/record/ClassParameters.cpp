#include "record/ClassParameters.h"

#include "files/FileLookup.h"
#include "files/SafeWrite.h"
#include "record/AnswerLog.h"
#include "record/FsrsFit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace ClassParameters
{

namespace
{

// Anything longer is not this file.
constexpr qint64 LongestFile = 64 * 1024;

// A whole number from 0 up, or -1.
int count(const QJsonValue& v)
{
    const double d = v.toDouble(-1);
    return d >= 0 && d <= 1e9 && d == std::floor(d) ? int(d) : -1;
}

} // namespace

QString fromJson(const QByteArray& bytes, Kept* kept)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (!doc.isObject()) {
        return error.error != QJsonParseError::NoError
                   ? QStringLiteral("JSON として読めません（%1 文字目: %2）")
                         .arg(QString::number(error.offset), error.errorString())
                   : QStringLiteral("JSON のオブジェクトではありません");
    }
    const QJsonObject o = doc.object();
    const QJsonArray w = o.value(QLatin1String("parameters")).toArray();
    if (w.size() != 21) {
        return QStringLiteral("parameters が 21 個の数ではありません");
    }
    for (qsizetype i = 0; i < 21; ++i) {
        const double x = w.at(i).toDouble(NAN);
        const FsrsFit::Bound b = FsrsFit::Bounds[std::size_t(i)];
        if (!(x >= b.low && x <= b.high)) {
            return QStringLiteral("parameters の %1 番目（w%2）が %3 から %4 の数ではありません")
                .arg(QString::number(i + 1), QString::number(i), QString::number(b.low),
                     QString::number(b.high));
        }
        kept->parameters.w[std::size_t(i)] = x;
    }
    kept->parameters.retention = o.value(QLatin1String("retention")).toDouble(NAN);
    if (QString why = retentionProblem(kept->parameters.retention); !why.isEmpty()) {
        return QStringLiteral("retention: %1").arg(why);
    }
    kept->reviews = count(o.value(QLatin1String("reviews")));
    kept->learners = count(o.value(QLatin1String("learners")));
    if (kept->reviews < 0 || kept->learners < 0) {
        return QStringLiteral("reviews と learners が 0 以上の整数ではありません");
    }
    kept->fittedAt =
        QDateTime::fromString(o.value(QLatin1String("fittedAt")).toString(), Qt::ISODateWithMs);
    if (kept->fitted() && !kept->fittedAt.isValid()) {
        return QStringLiteral("fittedAt が日時ではありません");
    }
    return {};
}

QString path(const QString& folder)
{
    return QDir(FileLookup::resolve(folder, QString::fromLatin1(AnswerLog::FolderName)))
        .filePath(FileName);
}

QString retentionProblem(double retention)
{
    if (retention >= LowestRetention - 1e-9 && retention <= HighestRetention + 1e-9) {
        return {};
    }
    return QStringLiteral("目標の思い出せる見込みは %1 から %2 の間にしてください")
        .arg(QString::number(LowestRetention, 'f', 2), QString::number(HighestRetention, 'f', 2));
}

Kept read(const QString& folder)
{
    QFile file(path(folder));
    if (!file.exists()) {
        return {};
    }
    Kept kept;
    QString why;
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
    } else if (file.size() > LongestFile) {
        why = QStringLiteral("大きすぎます");
    } else {
        why = fromJson(file.readAll(), &kept);
    }
    if (why.isEmpty()) {
        return kept;
    }
    Kept defaults;
    defaults.problem =
        QStringLiteral("「%1」を使わず、標準のパラメーターで復習の予定を立てます: %2")
            .arg(QDir::toNativeSeparators(path(folder)), why);
    return defaults;
}

QByteArray toJson(const Kept& kept)
{
    QJsonArray w;
    for (const double x : kept.parameters.w) {
        w.append(x);
    }
    QJsonObject o{{QStringLiteral("parameters"), w},
                  {QStringLiteral("retention"), kept.parameters.retention},
                  {QStringLiteral("reviews"), kept.reviews},
                  {QStringLiteral("learners"), kept.learners}};
    if (kept.fittedAt.isValid()) {
        o.insert(QStringLiteral("fittedAt"), kept.fittedAt.toUTC().toString(Qt::ISODate));
    }
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QString write(const QString& folder, const Kept& kept)
{
    const QString file = path(folder);
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        return QStringLiteral("フォルダ「%1」を作れません")
            .arg(QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
    }
    if (const QString failed = WriteFileAtomically(file, toJson(kept)); !failed.isEmpty()) {
        return QStringLiteral("「%1」に書けません: %2").arg(QDir::toNativeSeparators(file), failed);
    }
    return {};
}

} // namespace ClassParameters

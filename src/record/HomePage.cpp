#include "record/HomePage.h"

#include <QDir>
#include <QFile>
#include <QUrl>

namespace HomePage
{

Setting read(const QString& workDir)
{
    QFile file(QDir(workDir).filePath(FileName));
    if (!file.exists()) {
        return {Default, {}};
    }
    const auto wrong = [](const QString& why) {
        return Setting{Default, QStringLiteral("「%1」を使わず「%2」にしました: %3")
                                    .arg(QString(FileName), QString(Default), why)};
    };
    if (!file.open(QIODevice::ReadOnly)) {
        return wrong(file.errorString());
    }
    // One short line: anything longer is no address.
    const QString line =
        QString::fromUtf8(file.read(2048)).section(QLatin1Char('\n'), 0, 0).trimmed();
    const QUrl url(line, QUrl::StrictMode);
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) ||
        url.host().isEmpty()) {
        return wrong(
            QStringLiteral("1行目「%1」が http:// か https:// で始まるアドレスではありません")
                .arg(line.left(200)));
    }
    return {line, {}};
}

bool isIri(const QString& text)
{
    if (text == Default || text == QLatin1String("urn:velmorant")) {
        return true;
    }
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty();
}

} // namespace HomePage

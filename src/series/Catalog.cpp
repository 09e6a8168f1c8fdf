#include "series/Catalog.h"

#include "files/TextFile.h"
#include "series/MarksFile.h"
#include "forms/Form1.h"

#include <QDir>

namespace Catalog
{

QStringList splitFields(const QString& line)
{
    QStringList fields;
    const qsizetype n = line.size();
    qsizetype pos = 0;
    while (true) {
        while (pos < n && line.at(pos) == QLatin1Char(' ')) {
            ++pos;
        }
        QString field;
        if (pos < n && line.at(pos) == QLatin1Char('"')) {
            const qsizetype close = line.indexOf(QLatin1Char('"'), pos + 1);
            const qsizetype end = close < 0 ? n : close;
            field = line.mid(pos + 1, end - pos - 1);
            // Whatever stands between the closing quote and the comma is not
            // part of any field.
            pos = close < 0 ? n : line.indexOf(QLatin1Char(','), close + 1);
            if (pos < 0) {
                pos = n;
            }
        } else {
            qsizetype comma = line.indexOf(QLatin1Char(','), pos);
            if (comma < 0) {
                comma = n;
            }
            field = line.mid(pos, comma - pos);
            while (field.endsWith(QLatin1Char(' '))) {
                field.chop(1);
            }
            pos = comma;
        }
        fields.append(field);
        if (pos >= n) {
            break;
        }
        ++pos; // past the comma
        if (pos >= n) {
            break; // a comma at the line end closes the last field, it opens none
        }
    }
    return fields;
}

} // namespace Catalog

void ReadSeriesCatalog(Form1& form)
{
    Module1& st = form.state;
    st.SeriesCatalog[0][0] = QStringLiteral("マークの付いた問題");
    st.SeriesCatalog[0][1] = QString::fromLatin1(MarksFile::FileName);
    form.List1.Items.append(st.SeriesCatalog[0][0]);

    const QString name = QString::fromLatin1(Catalog::FileName);
    const QString path = form.pathOf(name);
    const TextFile::ReadResult file = TextFile::read(path);
    switch (file.status) {
    case TextFile::ReadResult::Status::Missing:
        form.tell(QStringLiteral("問題集の一覧ファイル「%1」が見つかりません。\n"
                                 "探した場所: %2\n\n"
                                 "一覧には「マークの付いた問題」だけを表示します。")
                      .arg(name, QDir::toNativeSeparators(form.workDir)));
        return;
    case TextFile::ReadResult::Status::Unreadable:
        form.tell(QStringLiteral("問題集の一覧ファイル「%1」を読み込めません。\n"
                                 "場所: %2\n理由: %3")
                      .arg(name, QDir::toNativeSeparators(form.workDir), file.error));
        return;
    case TextFile::ReadResult::Status::BadEncoding:
        form.tell(QStringLiteral("問題集の一覧ファイル「%1」の%2行目に、シフトJIS"
                                 "（コードページ932）の文字として読めないバイトがあります。\n"
                                 "このファイルからは何も読み込みませんでした。")
                      .arg(name)
                      .arg(file.badLine));
        return;
    case TextFile::ReadResult::Status::Ok:
        break;
    }

    QStringList fields;
    for (const TextFile::Line& line : file.lines) {
        if (line.text.trimmed().isEmpty()) {
            continue; // an empty line never shifts the title/file pairing
        }
        fields += Catalog::splitFields(line.text);
    }
    const qsizetype entries = (fields.size() + 1) / 2;
    if (entries == 0) {
        form.tell(QStringLiteral("問題集の一覧ファイル「%1」に問題集が1つも書かれていません。\n"
                                 "1行に1つずつ「題名,ファイル名」の形で書いてください。")
                      .arg(name));
        return;
    }
    const qsizetype listed = std::min<qsizetype>(entries, Module1::MaxCatalogEntries);
    for (qsizetype i = 1; i <= listed; ++i) {
        const qsizetype f = 2 * (i - 1);
        auto& row = st.SeriesCatalog.at(static_cast<std::size_t>(i));
        row[0] = fields.at(f);
        row[1] = f + 1 < fields.size() ? fields.at(f + 1) : QString();
        form.List1.Items.append(row[0]);
    }
    if (entries > listed) {
        form.tell(QStringLiteral("問題集の一覧ファイル「%1」には%2件の問題集が書かれています。\n"
                                 "一覧に載せられるのは%3件までのため、最初の%3件だけを載せ、"
                                 "残りの%4件は載せていません。")
                      .arg(name)
                      .arg(entries)
                      .arg(Module1::MaxCatalogEntries)
                      .arg(entries - listed));
    }
}

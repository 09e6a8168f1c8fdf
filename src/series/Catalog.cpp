#include "series/Catalog.h"

#include "files/TextFile.h"
#include "series/SeriesState.h"
#include "series/TextFindings.h"

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

namespace
{

// A file that could not be used at all gets its one error finding; returns
// whether that was so.
bool unusable(const TextFile::ReadResult& file, Result* out)
{
    const Findings failure = TextFindings::readFailure(file.status, file.error);
    out->findings.append(failure);
    return !failure.isEmpty();
}

// One non-blank line of the file: an entry, or a finding when its bytes
// cannot be trusted.
void readLine(const TextFile::ReadResult& file, int lineNo, const QString& text, Result* out)
{
    if (file.badLines.contains(lineNo)) {
        // Only this line is lost: its title and file name cannot be trusted.
        out->linesWithBadBytes.append(lineNo);
        out->findings.append({lineNo, Finding::Kind::Error,
                              TextFindings::badBytes(lineNo) +
                                  QStringLiteral("。この行の問題集は一覧に載りません")});
        return;
    }
    const QStringList fields = splitFields(text);
    Entry entry;
    entry.title = fields.value(0);
    entry.fileName = fields.value(1);
    entry.line = lineNo;
    if (entry.fileName.trimmed().isEmpty()) {
        out->linesWithoutFileName.append(lineNo);
        out->findings.append({lineNo, Finding::Kind::Warning,
                              QStringLiteral("ファイル名が書かれていません（一覧には載りますが、"
                                             "開くことはできません）")});
    } else if (fields.size() > 2) {
        out->linesWithExtraFields.append(lineNo);
        out->findings.append({lineNo, Finding::Kind::Warning,
                              QStringLiteral("項目が%1個あります。最初の2つを題名とファイル名"
                                             "として使い、残りは使いません")
                                  .arg(fields.size())});
    }
    out->entries.append(entry);
}

// A catalogue with no entries, or with more than the list can hold.
void checkCount(Result* out)
{
    if (out->entries.isEmpty()) {
        out->findings.append({0, Finding::Kind::Error,
                              QStringLiteral("問題集が1つも書かれていません。1行に1つずつ"
                                             "「題名,ファイル名」の形で書いてください")});
    } else if (out->entries.size() > SeriesState::MaxCatalogEntries) {
        const qsizetype over = out->entries.size() - SeriesState::MaxCatalogEntries;
        out->findings.append(
            {out->entries.at(SeriesState::MaxCatalogEntries).line, Finding::Kind::Warning,
             QStringLiteral("一覧に載せられるのは%1件までです。この行から先の%2件は"
                            "載りません")
                 .arg(QString::number(SeriesState::MaxCatalogEntries), QString::number(over))});
    }
}

} // namespace

Result read(const QString& path)
{
    Result out;
    const TextFile::ReadResult file = TextFile::readLenient(path);
    out.status = file.status;
    out.error = file.error;
    out.badLine = file.badLine;
    if (unusable(file, &out)) {
        return out;
    }
    // One entry per line: a line that lacks a field or has one too many
    // never shifts the titles of the lines after it.
    for (qsizetype n = 0; n < file.lines.size(); ++n) {
        const QString& text = file.lines.at(n).text;
        if (!text.trimmed().isEmpty()) {
            readLine(file, static_cast<int>(n + 1), text, &out);
        }
    }
    out.findings += TextFindings::controlCharacters(file);
    checkCount(&out);
    return out;
}

} // namespace Catalog

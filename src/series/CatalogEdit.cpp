#include "series/CatalogEdit.h"

#include "files/FileLookup.h"
#include "files/SafeWrite.h"
#include "series/SeriesFiles.h"
#include "series/SeriesState.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace CatalogEdit
{

namespace
{

constexpr int MaxTitleLength = 60;

// The catalogue as read, and its lines as bytes without their line ends.
struct Open {
    QString path;
    Catalog::Result catalog;
    SeriesFiles::Form form;
    QByteArray head;         // before the first line: a byte order mark
    QList<QByteArray> lines; // each line's bytes, without its line end
    bool lastTerminated = true;
    QString error; // the catalogue cannot be changed
};

Open openCatalog(const QString& dir)
{
    Open o;
    o.path = FileLookup::resolve(dir, QLatin1String(Catalog::FileName));
    o.catalog = Catalog::read(o.path);
    if (o.catalog.status == TextFile::ReadResult::Status::Missing) {
        return o; // a new one, in code page 932 with CR LF
    }
    const TextFile::ReadResult file = TextFile::readLenient(o.path);
    if (!file.ok()) {
        o.error = QStringLiteral("問題集の一覧を読めないため、変えられません");
        return o;
    }
    o.form = SeriesFiles::formOf(file.bytes);
    o.head =
        file.bytes.left(file.lines.isEmpty() ? file.bytes.size() : file.lines.first().byteOffset);
    for (const TextFile::Line& line : file.lines) {
        QByteArray bytes = file.bytes.mid(line.byteOffset, line.byteEnd - line.byteOffset);
        while (bytes.endsWith('\n') || bytes.endsWith('\r')) {
            bytes.chop(1);
        }
        o.lines.append(bytes);
        o.lastTerminated = line.terminated;
    }
    return o;
}

Done write(const Open& o)
{
    QByteArray bytes = o.head;
    for (qsizetype n = 0; n < o.lines.size(); ++n) {
        bytes += o.lines.at(n);
        if (n + 1 < o.lines.size() || o.lastTerminated) {
            bytes += o.form.lineEnd;
        }
    }
    struct stat info {
    };
    const bool known = ::stat(QFile::encodeName(o.path).constData(), &info) == 0;
    const QString failed = WriteFileAtomically(o.path, bytes, known ? &info : nullptr);
    if (!failed.isEmpty()) {
        return {500, QStringLiteral("問題集の一覧を書き込めません（%1）").arg(failed)};
    }
    return {};
}

// "title,file" in the catalogue's encoding; a title with a comma or an
// outer space is quoted, as the reader takes it.
bool entryLine(const Open& o, const QString& title, const QString& file, QByteArray* out,
               QString* why)
{
    const bool quote = title.contains(QLatin1Char(',')) || title != title.trimmed();
    const QString text =
        (quote ? QLatin1Char('"') + title + QLatin1Char('"') : title) + QLatin1Char(',') + file;
    SeriesFiles::Form form = o.form;
    form.bom = false;
    if (!SeriesFiles::encode(text, form, out, why)) {
        *why = QStringLiteral("題名の「%1」はシフトJIS（コードページ932）の一覧に書けない文字です")
                   .arg(TextFile::firstUnencodable(title));
        return false;
    }
    return true;
}

// The entry of `file` and its place among the entries, or the refusal.
Done listed(const Open& o, const QString& file, qsizetype* index)
{
    if (!o.error.isEmpty()) {
        return {500, o.error};
    }
    for (qsizetype i = 0; i < o.catalog.entries.size(); ++i) {
        if (o.catalog.entries.at(i).fileName.compare(file, Qt::CaseInsensitive) == 0) {
            *index = i;
            return {};
        }
    }
    return {404, QStringLiteral("「%1」は問題集の一覧にありません").arg(file)};
}

} // namespace

QString badTitle(const QString& title)
{
    if (title.trimmed().isEmpty() || title.size() > MaxTitleLength) {
        return QStringLiteral("題名は1文字以上%1文字以内で入力してください").arg(MaxTitleLength);
    }
    for (const QChar c : title) {
        if (c.category() == QChar::Other_Control || c == QLatin1Char('"')) {
            return QStringLiteral("題名に「\"」や制御文字は使えません");
        }
    }
    return {};
}

std::optional<Catalog::Entry> find(const Catalog::Result& catalog, const QString& file)
{
    for (const Catalog::Entry& e : catalog.entries) {
        if (e.fileName.compare(file, Qt::CaseInsensitive) == 0) {
            return e;
        }
    }
    return std::nullopt;
}

Done add(const QString& dir, const QString& title, const QString& file)
{
    Open o = openCatalog(dir);
    if (!o.error.isEmpty()) {
        return {500, o.error};
    }
    if (find(o.catalog, file)) {
        return {409, QStringLiteral("「%1」はもう一覧にあります").arg(file)};
    }
    if (o.catalog.entries.size() >= SeriesState::MaxCatalogEntries) {
        return {
            409,
            QStringLiteral("一覧に載せられるのは%1件までです").arg(SeriesState::MaxCatalogEntries)};
    }
    QByteArray line;
    QString why;
    if (!entryLine(o, title, file, &line, &why)) {
        return {400, why};
    }
    o.lines.append(line);
    o.lastTerminated = true;
    return write(o);
}

Done rename(const QString& dir, const QString& file, const QString& title)
{
    Open o = openCatalog(dir);
    qsizetype i = 0;
    if (Done d = listed(o, file, &i); d.status != 200) {
        return d;
    }
    const Catalog::Entry& e = o.catalog.entries.at(i);
    QByteArray line;
    QString why;
    if (!entryLine(o, title, e.fileName, &line, &why)) {
        return {400, why};
    }
    o.lines[e.line - 1] = line;
    return write(o);
}

Done move(const QString& dir, const QString& file, int by)
{
    Open o = openCatalog(dir);
    qsizetype i = 0;
    if (Done d = listed(o, file, &i); d.status != 200) {
        return d;
    }
    const qsizetype other = i + (by < 0 ? -1 : 1);
    if (other < 0 || other >= o.catalog.entries.size()) {
        return {409, by < 0 ? QStringLiteral("いちばん上です") : QStringLiteral("いちばん下です")};
    }
    o.lines.swapItemsAt(o.catalog.entries.at(i).line - 1, o.catalog.entries.at(other).line - 1);
    return write(o);
}

Done remove(const QString& dir, const QString& file)
{
    Open o = openCatalog(dir);
    qsizetype i = 0;
    if (Done d = listed(o, file, &i); d.status != 200) {
        return d;
    }
    const qsizetype line = o.catalog.entries.at(i).line - 1;
    o.lines.removeAt(line);
    if (line == o.lines.size()) {
        o.lastTerminated = true; // the line before it keeps its line end
    }
    return write(o);
}

} // namespace CatalogEdit

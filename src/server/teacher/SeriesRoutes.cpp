#include "server/teacher/SeriesRoutes.h"

#include "files/FileLookup.h"
#include "files/TextFile.h"
#include "files/WriteLock.h"
#include "record/EndedHistories.h"
#include "series/CatalogEdit.h"
#include "series/SeriesFiles.h"
#include "series/SeriesLoader.h"
#include "series/SeriesSplice.h"
#include "server/http/ServerReplies.h"
#include "server/teacher/ClassHistories.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <functional>

namespace SeriesRoutes
{

namespace
{

using ServerReplies::json;
using ServerReplies::refusal;
using Answered = std::optional<QList<EndedHistories::Answered>>;

HttpReply arrayReply(const QJsonArray& array)
{
    HttpReply r;
    r.body = QJsonDocument(array).toJson(QJsonDocument::Compact);
    return r;
}

const QString HistoriesUnread = QStringLiteral("記録を読めないため、学習者の記録（復習の予定）が"
                                               "終わる問題があるかどうかは確かめていません");

QJsonObject seriesJson(const QString& workDir, const Catalog::Entry& e, const Answered& answered)
{
    const SeriesFiles::Bytes file = SeriesFiles::read(workDir, e.fileName);
    const SeriesLoader::Series series =
        file.error.isEmpty() ? SeriesLoader::read(file.bytes) : SeriesLoader::load(file.path);
    Findings found = series.findings();
    if (!series.error.isEmpty()) {
        found.prepend({0, Finding::Kind::Error, series.error});
    }
    // As velmorant-check warns of them, by line among the file's own.
    if (answered) {
        found += EndedHistories::warnings(*answered, e.fileName, series.usable);
        std::stable_sort(found.begin(), found.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
    } else {
        found.append({0, Finding::Kind::Warning, HistoriesUnread});
    }
    return {{QStringLiteral("file"), e.fileName},
            {QStringLiteral("title"), e.title},
            {QStringLiteral("problems"), series.loadedCount()},
            {QStringLiteral("findings"), findingsJson(found)},
            {QStringLiteral("encoding"),
             SeriesFiles::encodingName(SeriesFiles::formOf(file.bytes).encoding)},
            {QStringLiteral("version"),
             file.error.isEmpty() ? SeriesFiles::versionOf(file.bytes) : QString()}};
}

Catalog::Result catalogOf(const QString& dir)
{
    return Catalog::read(FileLookup::resolve(dir, QLatin1String(Catalog::FileName)));
}

// The file a request names, checked as a name and, unless `unlisted` is
// allowed, as one the catalogue lists; empty with *refused set otherwise.
QString fileIn(const QString& dir, const QString& given, bool mayBeUnlisted, HttpReply* refused)
{
    if (const QString bad =
            mayBeUnlisted ? SeriesFiles::badName(given) : SeriesFiles::badListedName(given);
        !bad.isEmpty()) {
        *refused = refusal(400, bad);
        return {};
    }
    if (mayBeUnlisted) {
        return given;
    }
    const std::optional<Catalog::Entry> e = CatalogEdit::find(catalogOf(dir), given);
    if (!e) {
        *refused = refusal(404, QStringLiteral("「%1」は問題集の一覧にありません").arg(given));
        return {};
    }
    return e->fileName;
}

HttpReply done(const CatalogEdit::Done& d)
{
    return d.status == 200 ? json(200, {}) : refusal(d.status, d.error);
}

// The text of the file's bytes, each line end a "\n"; empty with *refused
// when a byte cannot be read (a save would lose it).
QString textOf(const QByteArray& bytes, HttpReply* refused)
{
    const TextFile::ReadResult file = TextFile::decode(bytes);
    if (!file.ok()) {
        *refused = refusal(409, QStringLiteral("%1行目に読めないバイトがあるため、ここでは編集"
                                               "できません。ダウンロードして直してください")
                                    .arg(file.badLine));
        return {};
    }
    QString text = file.texts().join(QLatin1Char('\n'));
    if (!file.lines.isEmpty() && file.lines.last().terminated) {
        text += QLatin1Char('\n');
    }
    return text;
}

HttpReply text(const QString& dir, const QString& name)
{
    const SeriesFiles::Bytes file = SeriesFiles::read(dir, name);
    if (!file.error.isEmpty()) {
        return refusal(500, file.error);
    }
    HttpReply refused;
    const QString text = textOf(file.bytes, &refused);
    if (refused.status != 200) {
        return refused;
    }
    return json(200, {{QStringLiteral("text"), text},
                      {QStringLiteral("version"), SeriesFiles::versionOf(file.bytes)},
                      {QStringLiteral("encoding"),
                       SeriesFiles::encodingName(SeriesFiles::formOf(file.bytes).encoding)}});
}

// A name of ASCII letters, digits, '-', '_' and '.' as it is; any other
// (a Japanese name the catalogue lists) percent-encoded, with a plain
// name for a browser that takes only that.
QByteArray attachmentOf(const QString& fileName)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    if (plain.match(fileName).hasMatch()) {
        return "attachment; filename=\"" + fileName.toLatin1() + '"';
    }
    return "attachment; filename=\"series.TXT\"; filename*=UTF-8''" +
           QUrl::toPercentEncoding(fileName);
}

HttpReply download(const QString& dir, const QString& name)
{
    const SeriesFiles::Bytes file = SeriesFiles::read(dir, name);
    if (!file.error.isEmpty()) {
        return refusal(500, file.error);
    }
    HttpReply r;
    r.type = "application/octet-stream";
    r.body = file.bytes;
    r.headers.append(qMakePair(QByteArray("Content-Disposition"),
                               attachmentOf(QFileInfo(file.path).fileName())));
    r.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-store")));
    return r;
}

// A character the file's encoding cannot hold, told by the problem and
// field the form shows it in.
QString unencodableInForm(const QString& text, int line)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    const SeriesParser::Result read = SeriesParser::parse(lines);
    const SeriesSplice::Place at = SeriesSplice::placeOf(read, line);
    if (at.problem < 0 || line > lines.size()) {
        return {};
    }
    const QString bad = TextFile::firstUnencodable(lines.at(line - 1));
    const Problem& p = read.problems.at(at.problem).problem;
    const SeriesWriter::Field field =
        at.field == SeriesWriter::Field::Heading && !p.heading.contains(bad)
            ? SeriesWriter::Field::Question
            : at.field;
    return QStringLiteral("%1問目（%2）の%3の「%4」はシフトJIS（コードページ932）のファイルに"
                          "書けない文字です。ほかの文字にしてください")
        .arg(QString::number(at.problem + 1), p.heading, SeriesWriter::fieldLabel(field), bad);
}

HttpReply save(const QString& dir, const QString& name, const QJsonObject& o)
{
    const QString text = o.value(QStringLiteral("text")).toString();
    const SeriesFiles::Saved s =
        SeriesFiles::save(dir, name, text, o.value(QStringLiteral("version")).toString());
    if (s.status == 400 && s.line > 0 && o.value(QStringLiteral("form")).toBool()) {
        const QString inForm = unencodableInForm(text, s.line);
        return refusal(400, inForm.isEmpty() ? s.error : inForm);
    }
    if (s.status == 409) {
        HttpReply refused;
        return json(409, {{QStringLiteral("error"), s.error},
                          {QStringLiteral("text"), textOf(s.bytes, &refused)},
                          {QStringLiteral("version"), s.version}});
    }
    if (s.status != 200) {
        return refusal(s.status, s.error);
    }
    return json(200, {{QStringLiteral("version"), s.version}});
}

HttpReply makeNew(const QString& dir, const QString& name, const QString& title,
                  const QByteArray& bytes)
{
    if (const QString bad = CatalogEdit::badTitle(title); !bad.isEmpty()) {
        return refusal(400, bad);
    }
    if (CatalogEdit::find(catalogOf(dir), name)) {
        return refusal(409, QStringLiteral("「%1」はもう一覧にあります").arg(name));
    }
    const SeriesFiles::Saved made = SeriesFiles::create(dir, name, bytes);
    if (made.status != 200) {
        return refusal(made.status, made.error);
    }
    const CatalogEdit::Done added = CatalogEdit::add(dir, title, name);
    if (added.status != 200) {
        // Only just made, and not listed: nothing of the teacher's is lost.
        QFile::remove(FileLookup::resolve(dir, name));
    }
    return done(added);
}

// A listed series' file replaced by an upload, the old one kept in 履歴/,
// and its title the one given.
HttpReply replaceListed(const QString& dir, const Catalog::Entry& listed, const QString& title,
                        const QByteArray& bytes)
{
    if (const QString bad = CatalogEdit::badTitle(title); !bad.isEmpty()) {
        return refusal(400, bad);
    }
    const SeriesFiles::Saved replaced = SeriesFiles::replace(dir, listed.fileName, bytes);
    if (replaced.status != 200) {
        return refusal(replaced.status, replaced.error);
    }
    return title == listed.title ? json(200, {})
                                 : done(CatalogEdit::rename(dir, listed.fileName, title));
}

// Checked first (add false), then kept and listed (add true), or put in
// place of the listed file of that name (replace true).
HttpReply upload(const QString& dir, const QString& name, const QJsonObject& o)
{
    const QByteArray::FromBase64Result data =
        QByteArray::fromBase64Encoding(o.value(QStringLiteral("data")).toString().toLatin1(),
                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!data) {
        return refusal(400, QStringLiteral("ファイルの中身を読み取れません"));
    }
    if (data.decoded.size() > SeriesFiles::MaxFileBytes) {
        return refusal(413, QStringLiteral("ファイルが大きすぎます。アップロードできるのは"
                                           "%1KBまでです")
                                .arg(SeriesFiles::MaxFileBytes / 1024));
    }
    const SeriesLoader::Series series = SeriesLoader::read(data.decoded);
    const std::optional<Catalog::Entry> listed = CatalogEdit::find(catalogOf(dir), name);
    if (!o.value(QStringLiteral("add")).toBool()) {
        // A name listed already is offered to be replaced.
        return json(
            200, {{QStringLiteral("problems"), series.loadedCount()},
                  {QStringLiteral("findings"), findingsJson(series.findings())},
                  {QStringLiteral("encoding"),
                   SeriesFiles::encodingName(SeriesFiles::formOf(data.decoded).encoding)},
                  {QStringLiteral("listed"), listed ? QJsonValue(listed->title) : QJsonValue()}});
    }
    if (series.status != TextFile::ReadResult::Status::Ok) {
        return refusal(400,
                       QStringLiteral("このファイルはVelmorantで読めないため、追加できません"));
    }
    const QString title = o.value(QStringLiteral("title")).toString().trimmed();
    if (!listed || !o.value(QStringLiteral("replace")).toBool()) {
        return makeNew(dir, name, title, data.decoded);
    }
    return replaceListed(dir, *listed, title, data.decoded);
}

// The requests that change the folder, one at a time across every copy
// of the program on it.
HttpReply change(const QString& dir, const QString& path, const QString& name, const QJsonObject& o)
{
    const WriteLock lock(SeriesFiles::lockPath(dir));
    if (!lock.held()) {
        return ServerReplies::unavailable(lock.reason());
    }
    const QString title = o.value(QStringLiteral("title")).toString().trimmed();
    if (path.endsWith(QLatin1String("/new"))) {
        return makeNew(dir, name, title, {});
    }
    if (path.endsWith(QLatin1String("/rename"))) {
        const QString bad = CatalogEdit::badTitle(title);
        return bad.isEmpty() ? done(CatalogEdit::rename(dir, name, title)) : refusal(400, bad);
    }
    if (path.endsWith(QLatin1String("/move"))) {
        const int by = o.value(QStringLiteral("by")).toInt();
        return by == 1 || by == -1 ? done(CatalogEdit::move(dir, name, by))
                                   : refusal(400, QStringLiteral("動かす向きが正しくありません"));
    }
    if (path.endsWith(QLatin1String("/remove"))) {
        const CatalogEdit::Done removed = CatalogEdit::remove(dir, name);
        const QString failed = removed.status == 200 ? SeriesFiles::putAside(dir, name) : QString();
        return failed.isEmpty() ? done(removed) : refusal(500, failed);
    }
    if (path.endsWith(QLatin1String("/upload"))) {
        return upload(dir, name, o);
    }
    return save(dir, name, o);
}

// What a save of `text` would end: the learners' histories of problems
// the file holds now and the text no longer does, in velmorant-check's words.
HttpReply ended(const QString& dir, const QString& name, const QString& text,
                const Answered& answered)
{
    if (!answered) {
        return ServerReplies::unavailable(HistoriesUnread);
    }
    const SeriesFiles::Bytes now = SeriesFiles::read(dir, name);
    if (!now.error.isEmpty()) {
        return refusal(500, now.error);
    }
    // Read as the file will be; what the encoding cannot hold is the save's
    // to refuse, and read here as UTF-8.
    SeriesFiles::Form form = SeriesFiles::formOf(now.bytes);
    QByteArray bytes;
    QString why;
    if (!SeriesFiles::encode(text, form, &bytes, &why)) {
        form.encoding = TextEncoding::Encoding::Utf8;
        SeriesFiles::encode(text, form, &bytes, &why);
    }
    const Findings found = EndedHistories::endedBy(
        *answered, name, SeriesLoader::read(now.bytes).usable, SeriesLoader::read(bytes).usable);
    return json(200, {{QStringLiteral("findings"), findingsJson(found)}});
}

HttpReply post(const QString& dir, const QString& path, const QByteArray& body,
               const std::function<Answered()>& answered)
{
    static const QStringList changes{QStringLiteral("new"),    QStringLiteral("rename"),
                                     QStringLiteral("move"),   QStringLiteral("remove"),
                                     QStringLiteral("upload"), QStringLiteral("save"),
                                     QStringLiteral("ended")};
    const QString verb = path.mid(QStringLiteral("/api/teacher/series/").size());
    if (!path.startsWith(QLatin1String("/api/teacher/series/")) || !changes.contains(verb)) {
        return refusal(404, QStringLiteral("見つかりません"));
    }
    const QJsonObject o = QJsonDocument::fromJson(body).object();
    const bool unlisted = verb == QLatin1String("new") || verb == QLatin1String("upload");
    HttpReply refused;
    const QString name =
        fileIn(dir, o.value(QStringLiteral("file")).toString(), unlisted, &refused);
    if (name.isEmpty()) {
        return refused;
    }
    // An upload is first only checked: nothing changes.
    if (verb == QLatin1String("upload") && !o.value(QStringLiteral("add")).toBool()) {
        return upload(dir, name, o);
    }
    if (verb == QLatin1String("ended")) {
        return ended(dir, name, o.value(QStringLiteral("text")).toString(), answered());
    }
    return change(dir, path, name, o);
}

} // namespace

QJsonArray findingsJson(const Findings& findings)
{
    QJsonArray out;
    for (const Finding& f : findings) {
        out.append(QJsonObject{{QStringLiteral("line"), f.line},
                               {QStringLiteral("error"), f.kind == Finding::Kind::Error},
                               {QStringLiteral("message"), f.message}});
    }
    return out;
}

QJsonArray listJson(const QString& workDir, Store& store, ClassHistories& histories)
{
    const Catalog::Result catalog = catalogOf(workDir);
    const Answered answered = histories.answered(store);
    QJsonArray out;
    out.append(QJsonObject{{QStringLiteral("file"), QLatin1String(Catalog::FileName)},
                           {QStringLiteral("title"), QStringLiteral("問題集の一覧")},
                           {QStringLiteral("catalogue"), true},
                           {QStringLiteral("findings"), findingsJson(catalog.findings)}});
    for (const Catalog::Entry& e : catalog.entries) {
        if (!e.fileName.isEmpty()) {
            out.append(seriesJson(workDir, e, answered));
        }
    }
    return out;
}

HttpReply listReply(const QString& workDir, Store& store, ClassHistories& histories)
{
    return arrayReply(listJson(workDir, store, histories));
}

namespace
{

// The file a request's query names (?file=…), checked as fileIn checks it;
// empty with *refused set when it names none.
QString queriedFile(const QString& workDir, const HttpRequest& request, HttpReply* refused)
{
    const qsizetype q = request.target.indexOf('?');
    const QString given =
        QUrlQuery(QString::fromLatin1(q < 0 ? QByteArray() : request.target.mid(q + 1)))
            .queryItemValue(QStringLiteral("file"), QUrl::FullyDecoded);
    return fileIn(workDir, given, false, refused);
}

} // namespace

HttpReply textReply(const QString& workDir, const HttpRequest& request)
{
    HttpReply refused;
    const QString name = queriedFile(workDir, request, &refused);
    return name.isEmpty() ? refused : SeriesRoutes::text(workDir, name);
}

HttpReply downloadReply(const QString& workDir, const HttpRequest& request)
{
    HttpReply refused;
    const QString name = queriedFile(workDir, request, &refused);
    return name.isEmpty() ? refused : download(workDir, name);
}

HttpReply changeReply(const QString& workDir, const QString& path, const QByteArray& body,
                      Store& store, ClassHistories& histories)
{
    return post(workDir, path, body, [&store, &histories] { return histories.answered(store); });
}

} // namespace SeriesRoutes

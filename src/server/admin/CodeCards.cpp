#include "server/admin/CodeCards.h"

#include "server/admin/ClassList.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QSet>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace CodeCards
{

namespace
{

// Millimetres of A4 less a 10 mm margin, split 3 × 8; the dashed borders
// are where the sheet is cut.
const char* const Style = R"(@page { size: A4 portrait; margin: 10mm; }
* { box-sizing: border-box; }
body { margin: 0; font-family: "Noto Sans CJK JP", "Yu Gothic", "Hiragino Sans", sans-serif; color: #000; }
.sheet { width: 190mm; height: 277mm; display: grid; grid-template-columns: repeat(3, 1fr);
  grid-template-rows: repeat(8, 1fr); break-after: page; page-break-after: always; background: #fff; }
.sheet:last-of-type { break-after: auto; page-break-after: auto; }
.card { border: 0.3mm dashed #777; padding: 2mm 3mm; display: flex; flex-direction: column;
  justify-content: space-between; overflow: hidden; }
.class { font-size: 7pt; color: #444; overflow: hidden; white-space: nowrap; text-overflow: ellipsis; }
.name { font-size: 12pt; font-weight: bold; line-height: 1.2; overflow-wrap: anywhere; }
.name.long { font-size: 8pt; }
.code { font-family: "DejaVu Sans Mono", "Noto Sans Mono", monospace; font-size: 15pt; letter-spacing: 0.1em; }
.label { font-size: 7pt; color: #444; margin-right: 1.5mm; }
.address { font-size: 8pt; overflow-wrap: anywhere; }
.note { font-size: 11pt; margin: 5mm auto; width: 190mm; }
@media screen { body { background: #ccc; padding: 1px 0; } .note { margin-bottom: 15mm; }
  .sheet { margin: 0 auto 25mm; outline: 10mm solid #fff; } }
@media print { .note { display: none; } }
)";

QString card(const Card& c, const QString& address, const QString& title)
{
    return QStringLiteral("<div class=\"card\"><div class=\"class\">%1</div>"
                          "<div class=\"name%2\">%3</div>"
                          "<div><span class=\"label\">コード</span><span class=\"code\">%4</span>"
                          "</div><div class=\"address\">%5</div></div>\n")
        .arg((c.className.isEmpty() ? title : c.className).toHtmlEscaped(),
             c.name.size() > 12 ? QStringLiteral(" long") : QString(), c.name.toHtmlEscaped(),
             c.code.toHtmlEscaped(), address.toHtmlEscaped());
}

// The sheet's name beside the list, one not taken, made at once (0600)
// so that nothing else takes it; -1 when none can be made.
int reserveSheet(const QString& listPath, QString* sheetPath)
{
    const QFileInfo list(listPath);
    for (int n = 1; n < 100; ++n) {
        *sheetPath = list.dir().filePath(
            QStringLiteral("%1-コード表%2.html")
                .arg(list.completeBaseName(), n == 1 ? QString() : QStringLiteral("-%1").arg(n)));
        const int fd = ::open(QFile::encodeName(*sheetPath).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

QString writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) {
            return QString::fromLocal8Bit(std::strerror(errno));
        }
        done += n > 0 ? n : 0;
    }
    return ::fsync(fd) == 0 ? QString() : QString::fromLocal8Bit(std::strerror(errno));
}

// The list's learners in their classes, each with a new code; or, with
// `faults` set, none: a learner of a class already registered, or a list
// without classes given none when the store has several.
QList<Store::NewLearner> newLearners(Store& store, const ClassList::Read& list,
                                     const QString& className, QStringList* faults)
{
    QString failed;
    QString onlyClass = className;
    if (!list.classColumn && onlyClass.isEmpty()) {
        onlyClass = store.soleClass(&failed).value_or(QString());
    }
    const std::optional<QList<Store::Learner>> known = store.learners(0, &failed);
    if (!failed.isEmpty() || !known) {
        faults->append(failed);
        return {};
    }
    QSet<QString> registered;
    for (const Store::Learner& l : *known) {
        registered.insert(l.className + QLatin1Char('\n') + l.name);
    }
    QList<Store::NewLearner> out;
    for (const ClassList::Learner& l : list.learners) {
        const QString inClass = l.className.isEmpty() ? onlyClass : l.className;
        if (registered.contains(inClass + QLatin1Char('\n') + l.name)) {
            faults->append(QStringLiteral("%1行目: %2の「%3」はもう登録されています")
                               .arg(QString::number(l.line), inClass, l.name));
        }
        out.append({inClass, l.number, l.name, SignInCodes::newCode(), {}});
    }
    return faults->isEmpty() ? out : QList<Store::NewLearner>{};
}

// The cards in the school's order: by class, then 番号, then name.
QList<Card> inOrder(Store& store, const QList<Store::NewLearner>& made)
{
    QList<Card> cards;
    for (const Store::Learner& l : store.learners().value_or(QList<Store::Learner>{})) {
        for (const Store::NewLearner& m : made) {
            if (m.className == l.className && m.name == l.name) {
                cards.append({l.className, l.name, m.code});
            }
        }
    }
    return cards;
}

} // namespace

QByteArray sheet(const QList<Card>& cards, const QString& address, const QString& title)
{
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta "
                                  "charset=\"utf-8\">\n<title>サインインのコード表 - %1</title>\n"
                                  "<style>\n%2</style>\n</head>\n<body>\n")
                       .arg(title.toHtmlEscaped(), QString::fromUtf8(Style));
    html += QStringLiteral("<p class=\"note\">%1 人分。印刷して点線で切り分け、一人に1枚ずつ"
                           "渡してください。このファイルにはコードがあるので、印刷したら消して"
                           "ください。</p>\n")
                .arg(cards.size());
    // 24 cards a page, and each class from a page of its own, so that a
    // class's cards are cut and handed out together.
    qsizetype onPage = 0;
    for (qsizetype i = 0; i < cards.size(); ++i) {
        const bool classEnds =
            i + 1 == cards.size() || cards.at(i + 1).className != cards.at(i).className;
        html += onPage == 0 ? QStringLiteral("<section class=\"sheet\">\n") : QString();
        html += card(cards.at(i), address, title);
        onPage = classEnds || onPage == 23 ? 0 : onPage + 1;
        html += onPage == 0 ? QStringLiteral("</section>\n") : QString();
    }
    return (html + QStringLiteral("</body>\n</html>\n")).toUtf8();
}

QString classAddress(const QString& listen, int port, bool secure)
{
    QHostAddress host(listen);
    if (host.isNull() || host.isLoopback() || host == QHostAddress(QHostAddress::AnyIPv4) ||
        host == QHostAddress(QHostAddress::AnyIPv6)) {
        host = QHostAddress();
        for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() &&
                !a.isLinkLocal()) {
                host = a;
                break;
            }
        }
    }
    QUrl url;
    url.setScheme(secure ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(host.isNull() ? QHostInfo::localHostName() : host.toString());
    url.setPort(port == (secure ? 443 : 80) ? -1 : port);
    url.setPath(QStringLiteral("/"));
    return url.toString();
}

CommandOutcome addLearners(Store& store, const QString& listPath, const QString& className,
                           const QString& address)
{
    const ClassList::Read list = ClassList::read(listPath);
    const QString none = QStringLiteral("\n名簿を直してから、もう一度してください（だれも登録して"
                                        "いません）");
    if (!list.errors.isEmpty()) {
        return CommandOutcome::failed(list.errors.join(QLatin1Char('\n')) + none);
    }
    QStringList faults;
    const QList<Store::NewLearner> added = newLearners(store, list, className, &faults);
    if (!faults.isEmpty()) {
        return CommandOutcome::failed(faults.join(QLatin1Char('\n')) + none);
    }
    QString sheetPath;
    const int fd = reserveSheet(listPath, &sheetPath);
    if (fd < 0) {
        return CommandOutcome::failed(
            QStringLiteral("コード表を「%1」に書けません: %2")
                .arg(sheetPath, QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (const QString failed = store.addLearners(added); !failed.isEmpty()) {
        ::close(fd);
        QFile::remove(sheetPath);
        return CommandOutcome::failed(failed + none);
    }
    const QString unwritten =
        writeAll(fd, sheet(inOrder(store, added), address, QFileInfo(listPath).completeBaseName()));
    ::close(fd);
    if (!unwritten.isEmpty()) {
        QFile::remove(sheetPath);
        for (const Store::NewLearner& l : added) {
            store.removeLearner(l.className + QLatin1Char('/') + l.name);
        }
        return CommandOutcome::failed(
            QStringLiteral("コード表を「%1」に書けないので、登録を取り消しました: %2")
                .arg(sheetPath, unwritten));
    }
    const QString above =
        list.headerLine > 1
            ? QStringLiteral("%1行目を見出しとして読み、その上の行は読み飛ばしました\n")
                  .arg(list.headerLine)
            : QString();
    return {0,
            above + QStringLiteral(
                        "学習者 %1 人を登録しました。コード表: %2\n（印刷したら、このファイルは"
                        "消してください）\n")
                        .arg(QString::number(added.size()), sheetPath),
            {}};
}

} // namespace CodeCards

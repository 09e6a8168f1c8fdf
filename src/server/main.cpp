// velmorant-server: the classroom's problems in every learner's browser.

#include "files/PrivateFile.h"
#include "files/WorkFolder.h"
#include "measure/Offscreen.h"
#include "measure/QtFonts.h"
#include "measure/QtTextMeasure.h"
#include "record/HomePage.h"
#include "server/ClassroomServer.h"
#include "server/admin/CodeCards.h"
#include "server/admin/FolderSettings.h"
#include "server/admin/LrsForwarder.h"
#include "server/admin/ServerCommandLine.h"
#include "server/admin/ServerConsole.h"
#include "server/admin/StoreBackup.h"
#include "server/http/EpollDispatcher.h"
#include "server/http/HttpServer.h"
#include "server/learner/Requests.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"

#include <QFile>
#include <QGuiApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QSslConfiguration>
#include <QSslKey>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace
{

int stopPipe[2] = {-1, -1};

void print(const QString& line)
{
    std::fputs(qUtf8Printable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

int fail(const QString& why, int status = 1)
{
    std::fprintf(stderr, "velmorant-server: %s\n", qUtf8Printable(why));
    return status;
}

// What a command on the folder ended with, printed; its status.
int finish(const CommandOutcome& done)
{
    std::fputs(qUtf8Printable(done.out), stdout);
    if (!done.err.isEmpty()) {
        std::fprintf(stderr, "velmorant-server: %s\n", qUtf8Printable(done.err));
    }
    return done.status;
}

int addLearner(Store& store, const QString& name, const QString& className)
{
    QString failed;
    const std::optional<QString> in =
        className.isEmpty() ? store.soleClass(&failed) : std::optional<QString>(className);
    const QString code = SignInCodes::newCode();
    if (!in) {
        return fail(failed);
    }
    if (const QString added = store.addLearners({{*in, 0, name, code, {}}}); !added.isEmpty()) {
        return fail(added);
    }
    print(QStringLiteral("学習者「%1」（%2）を登録しました。サインインのコード:").arg(name, *in));
    print(code);
    return 0;
}

// A teacher's password, asked for as the administrator's is.
int setPassword(Store& store, const QString& teacher, bool admin)
{
    QString password;
    if (const QString failed = ServerConsole::readNewPassword(&password); !failed.isEmpty()) {
        return fail(failed);
    }
    const QByteArray salt = SignInCodes::newSalt();
    if (const QString failed = store.setTeacherPassword(
            teacher, salt, SignInCodes::passwordHash(password, salt), admin);
        !failed.isEmpty()) {
        return fail(failed);
    }
    print(QStringLiteral("%1のパスワードを設定しました。/teacher で名前「%1」とパスワードで"
                         "サインインします")
              .arg(teacher));
    return 0;
}

int removeClass(Store& store, const ServerCommandLine::Request& r)
{
    if (!r.yes && !ServerConsole::confirm(QStringLiteral("クラス「%1」の学習者全員と、そのマーク"
                                                         "と記録を削除しますか？")
                                              .arg(r.className))) {
        return fail(QStringLiteral("削除しませんでした"));
    }
    int removed = 0;
    if (const QString failed = store.removeClass(r.className, &removed); !failed.isEmpty()) {
        return fail(failed);
    }
    print(QStringLiteral("クラス「%1」と学習者 %2 人を削除しました")
              .arg(r.className, QString::number(removed)));
    return 0;
}

// Each learner: their name alone while the store has one class, else
// class, 番号 and name, tab-separated; in the school's order.
int listLearners(Store& store)
{
    QString failed;
    const std::optional<QList<Store::Learner>> learners = store.learners(0, &failed);
    const std::optional<QList<Store::SchoolClass>> classes = store.classes(&failed);
    if (!learners || !classes) {
        return fail(failed);
    }
    for (const Store::Learner& l : *learners) {
        print(classes->size() > 1
                  ? QStringLiteral("%1\t%2\t%3")
                        .arg(l.className, l.number > 0 ? QString::number(l.number) : QString(),
                             l.name)
                  : l.name);
    }
    return 0;
}

int listTeachers(Store& store)
{
    QString failed;
    const std::optional<QList<Store::Teacher>> teachers = store.teachers(&failed);
    const std::optional<QList<Store::SchoolClass>> classes = store.classes(&failed);
    if (!teachers || !classes) {
        return fail(failed);
    }
    for (const Store::Teacher& t : *teachers) {
        QStringList names;
        for (const Store::SchoolClass& c : *classes) {
            if (t.admin || t.classIds.contains(c.id)) {
                names.append(c.name);
            }
        }
        print(QStringLiteral("%1\t%2").arg(
            t.name, t.admin ? QStringLiteral("すべてのクラス（管理者）") : names.join(u',')));
    }
    return 0;
}

int teacherClasses(Store& store, const ServerCommandLine::Request& r)
{
    QString failed;
    const std::optional<QList<Store::SchoolClass>> classes = store.classes(&failed);
    if (!classes) {
        return fail(failed);
    }
    QList<qint64> ids;
    for (const QString& name : r.classes) {
        const auto found = std::find_if(classes->begin(), classes->end(),
                                        [&name](const auto& c) { return c.name == name; });
        if (found == classes->end()) {
            return fail(QStringLiteral("クラス「%1」はありません").arg(name));
        }
        ids.append(found->id);
    }
    if (const QString set = store.setTeacherClasses(r.teacher, ids); !set.isEmpty()) {
        return fail(set);
    }
    print(QStringLiteral("%1の見るクラス: %2")
              .arg(r.teacher, r.classes.isEmpty() ? QStringLiteral("なし") : r.classes.join(u',')));
    return 0;
}

int manageTeachers(const ServerCommandLine::Request& r, Store& store)
{
    using Action = ServerCommandLine::Request::Action;
    switch (r.action) {
    case Action::SetTeacherPassword:
        return setPassword(store, Store::AdminName, true);
    case Action::AddTeacher: {
        const QString refused = store.newTeacherRefused(r.teacher);
        return refused.isEmpty() ? setPassword(store, r.teacher, false) : fail(refused);
    }
    case Action::RemoveTeacher: {
        const QString failed = store.removeTeacher(r.teacher);
        return failed.isEmpty()
                   ? (print(QStringLiteral("先生「%1」を削除しました").arg(r.teacher)), 0)
                   : fail(failed);
    }
    case Action::TeacherClasses:
        return teacherClasses(store, r);
    default:
        return listTeachers(store);
    }
}

// The learner named (in `className` when given; a learner of the last
// release by their name) removed with everything kept for them.
QString removeLearner(Store& store, const QString& name, const QString& className)
{
    QString failed;
    const std::optional<QList<Store::Learner>> learners = store.learners(0, &failed);
    if (!learners) {
        return failed;
    }
    QStringList keys;
    for (const Store::Learner& l : *learners) {
        if ((l.name == name && (className.isEmpty() || l.className == className)) ||
            (className.isEmpty() && l.key == name && l.name != name)) {
            keys.append(l.key);
        }
    }
    if (keys.size() > 1) {
        return QStringLiteral("「%1」は%2つのクラスにいます。--class でクラスを指定してください")
            .arg(name, QString::number(keys.size()));
    }
    return keys.isEmpty() ? QStringLiteral("学習者「%1」は登録されていません").arg(name)
                          : store.removeLearner(keys.first());
}

int manageLearners(const ServerCommandLine::Request& r, Store& store)
{
    using Action = ServerCommandLine::Request::Action;
    switch (r.action) {
    case Action::AddLearner:
        return addLearner(store, r.learner, r.className);
    case Action::AddLearners:
        return finish(CodeCards::addLearners(
            store, r.file, r.className,
            r.address.isEmpty() ? CodeCards::classAddress(r.listen, r.port, !r.tlsCert.isEmpty())
                                : r.address));
    case Action::RemoveLearner: {
        const QString failed = removeLearner(store, r.learner, r.className);
        return failed.isEmpty()
                   ? (print(QStringLiteral("学習者「%1」を削除しました").arg(r.learner)), 0)
                   : fail(failed);
    }
    case Action::RemoveClass:
        return removeClass(store, r);
    case Action::ListLearners:
        return listLearners(store);
    default:
        return manageTeachers(r, store);
    }
}

// Secrets that others can read are not used; the owner is told how to fix it.
QString refuseSharedSecrets(const ServerCommandLine::Request& r)
{
    if (!r.tlsKey.isEmpty()) {
        if (QString shared =
                PrivateFile::refuseShared(r.tlsKey, QStringLiteral("秘密鍵のファイル"));
            !shared.isEmpty()) {
            return shared;
        }
    }
    return r.lrsAuth.isEmpty()
               ? QString()
               : PrivateFile::refuseShared(r.lrsAuth, QStringLiteral("認証のファイル"));
}

// TLS straight from the server, when a certificate is given.
QString setUpTls(HttpServer& server, const ServerCommandLine::Request& r)
{
    QFile certFile(r.tlsCert);
    QFile keyFile(r.tlsKey);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        return QStringLiteral("証明書か秘密鍵のファイルを読めません");
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyBytes = keyFile.readAll();
    QSslKey key(keyBytes, QSsl::Rsa, QSsl::Pem);
    if (key.isNull()) {
        key = QSslKey(keyBytes, QSsl::Ec, QSsl::Pem);
    }
    if (chain.isEmpty() || key.isNull()) {
        return QStringLiteral("証明書か秘密鍵を PEM として読めません");
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    server.useTls(config);
    return {};
}

// Why the server cannot listen as `r` asks, in Japanese.
QString listenFailure(const ServerCommandLine::Request& r, QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::SocketAddressNotAvailableError) {
        return QStringLiteral("%1 はこの機械のアドレスではないので、待ち受けられません")
            .arg(r.listen);
    }
    if (error == QAbstractSocket::SocketAccessError) {
        return QStringLiteral("%1 のポート %2 で待ち受ける権限がありません（1024 より小さい"
                              "ポートは root だけが使えます）")
            .arg(r.listen, QString::number(r.port));
    }
    if (error != QAbstractSocket::AddressInUseError) {
        return QStringLiteral("%1 のポート %2 で待ち受けられません")
            .arg(r.listen, QString::number(r.port));
    }
    if (!r.portNamed) {
        return QStringLiteral("%1 のポート %2 から %3 までは、どれもほかのプログラムが使って"
                              "います。--port で空いているポートを指定してください")
            .arg(r.listen, QString::number(r.port), QString::number(r.port + 99));
    }
    return QStringLiteral("%1 のポート %2（%3 で指定）は、ほかのプログラムが使っています。別の"
                          "クラスのサーバーかもしれません。そのプログラムを止めるか、空いている"
                          "ポートを指定してください")
        .arg(r.listen, QString::number(r.port),
             r.given.contains(QLatin1String("--port")) ? QStringLiteral("--port")
                                                       : QStringLiteral("velmorant.conf"));
}

struct Listening {
    quint16 port = 0;
    QString failure; // why there is no port, in Japanese
    int status = 1;  // 2: the port named is taken
};

// A port the teacher named (the one on the class's code cards) is used or
// none is: another class's server may be on it. Only the default port moves
// on to the next free one.
Listening listenOn(HttpServer& server, const ServerCommandLine::Request& r)
{
    const QHostAddress address(r.listen);
    const int last = r.portNamed ? r.port : std::min(r.port + 99, 65535);
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    for (int p = r.port; p <= last; ++p) {
        if (const quint16 got = server.listen(address, static_cast<quint16>(p), &error); got != 0) {
            return {got, {}, 0};
        }
        if (error != QAbstractSocket::AddressInUseError) {
            break;
        }
    }
    const bool namedTaken = r.portNamed && error == QAbstractSocket::AddressInUseError;
    return {0, listenFailure(r, error), namedTaken ? 2 : 1};
}

// Ctrl+C, SIGTERM and SIGHUP (the terminal it was started from closed) end
// the event loop through a pipe; the learners' open series are then stored
// as leaving them would store them.
void stopOnSignals(QGuiApplication& app)
{
    if (::pipe(stopPipe) != 0) {
        return;
    }
    const auto handler = [](int) {
        const char one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &one, 1);
    };
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
    // Started with nohup, it is meant to outlive the terminal.
    if (struct sigaction hangUp{};
        ::sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN) {
        std::signal(SIGHUP, handler);
    }
    auto* notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QGuiApplication::quit);
}

// The addresses learners open: the any-address itself is none of them.
void printAddresses(const QString& listen, quint16 port, bool secure)
{
    const QStringList urls = ServerConsole::learnerUrls(listen, port, secure);
    if (urls.isEmpty()) {
        const bool six = QHostAddress(listen).protocol() == QAbstractSocket::IPv6Protocol;
        print(QStringLiteral("この機械には、ほかの機械から開けるアドレスがありません。"
                             "ネットワークにつながっているか確かめてください。この機械からは:"));
        print(ServerConsole::learnerUrls(six ? QStringLiteral("::1") : QStringLiteral("127.0.0.1"),
                                         port, secure)
                  .front());
        return;
    }
    if (urls.size() > 1) {
        print(QStringLiteral("学習者はどれか一つのアドレスを開きます:"));
    }
    for (const QString& url : urls) {
        print(url);
    }
}

// The statements sent on to a learning record store, when one is named.
QString startForwarder(const ServerCommandLine::Request& r, const QString& folder,
                       std::unique_ptr<LrsForwarder>* forwarder)
{
    if (r.lrs.isEmpty()) {
        return {};
    }
    LrsSender::Settings settings;
    settings.endpoint = QUrl(r.lrs);
    if (QString failed = LrsSender::readAuthFile(r.lrsAuth, &settings.authorization);
        !failed.isEmpty()) {
        return failed;
    }
    *forwarder = std::make_unique<LrsForwarder>(folder, r.database, settings);
    return {};
}

// What the server serves and where learners open it.
void printStarted(const ServerCommandLine::Request& r, const QString& folder, Store& store,
                  quint16 port)
{
    if (!r.portNamed && port != r.port) {
        print(QStringLiteral("ポート %1 はほかのプログラムが使っているので、%2 で待ち受けます"
                             "（--add-learners のコード表のポートは %1 のままです。ポートは "
                             "--port か velmorant.conf の port で決めておけます）")
                  .arg(QString::number(r.port), QString::number(port)));
    }
    print(QStringLiteral("フォルダ: %1").arg(folder));
    print(QStringLiteral("記録: %1").arg(store.where()));
    const HomePage::Setting homePage = HomePage::read(folder);
    print(QStringLiteral("学習者のアカウントのホームページ: %1").arg(homePage.url));
    if (!homePage.problem.isEmpty()) {
        print(homePage.problem);
    }
    printAddresses(r.listen, port, !r.tlsCert.isEmpty());
}

int serve(QGuiApplication& app, const ServerCommandLine::Request& r, const QString& folder,
          Store& store)
{
    const QtTextMeasure measure;
    const bool secure = !r.tlsCert.isEmpty();
    ClassroomServer classroom(folder, r.database, measure, secure);
    if (!r.trustedProxy.isEmpty()) {
        classroom.trustProxy(QHostAddress(r.trustedProxy));
    }
    classroom.setSignOutAfter(r.signOutAfterMinutes);
    classroom.setNames(
        ServerNames(QHostAddress(r.listen), r.serverNames + QStringList{QUrl(r.address).host()}));
    QString keyFailed;
    const QByteArray deviceKey = store.deviceKey(&keyFailed);
    if (!keyFailed.isEmpty()) {
        return fail(keyFailed);
    }
    classroom.setDeviceKey(deviceKey);
    HttpServer server(
        [&classroom](const HttpRequest& request, const HttpResponder& respond) {
            classroom.handle(request, respond);
        },
        {r.idleTimeoutSeconds, r.requestTimeoutSeconds}, Requests::MaxBody);
    if (secure) {
        if (const QString failed = setUpTls(server, r); !failed.isEmpty()) {
            return fail(failed);
        }
    }
    std::unique_ptr<LrsForwarder> forwarder;
    if (const QString failed = startForwarder(r, folder, &forwarder); !failed.isEmpty()) {
        return fail(failed);
    }
    const Listening listening = listenOn(server, r);
    if (listening.port == 0) {
        return fail(listening.failure, listening.status);
    }
    printStarted(r, folder, store, listening.port);
    stopOnSignals(app);
    // Every action is stored as it is taken: nothing is left to store.
    return QGuiApplication::exec();
}

// The folder named, its settings under the command line's, and the store
// they name: the same store for serving and for every command.
// The command, or the server, on the folder's store as its settings name it.
int useStore(QGuiApplication& app, const ServerCommandLine::Request& r, const QString& folder)
{
    using Action = ServerCommandLine::Request::Action;
    if (r.action == Action::Backup || r.action == Action::Restore) {
        return finish((r.action == Action::Backup ? StoreBackup::backup : StoreBackup::restore)(
            r.file, folder, r.database));
    }
    Store::Options options;
    options.readOnly = r.action == Action::ListLearners || r.action == Action::ListTeachers;
    // Held until the end: a restore is refused while this process uses the store.
    if (const QString busy =
            r.database.isEmpty() ? StoreBackup::holdShared(folder, !options.readOnly) : QString();
        !busy.isEmpty()) {
        return fail(busy);
    }
    Store store;
    options.group = r.group;
    if (const QString failed = store.open(folder, r.database, options); !failed.isEmpty()) {
        return fail(failed);
    }
    if (r.action != Action::Serve) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(QStringLiteral("記録: %1").arg(store.where())));
        return manageLearners(r, store);
    }
    return serve(app, r, folder, store);
}

int run(QGuiApplication& app, ServerCommandLine::Request r)
{
    const WorkFolder::Choice folder =
        WorkFolder::prepare(r.folders, WorkFolder::Places::ofThisProcess(),
                            r.samples ? WorkFolder::Named::Fill : WorkFolder::Named::Refuse);
    if (folder.noCatalog) {
        return fail(folder.error +
                        QStringLiteral("\n見本の問題集を入れて始めるときは --samples を付けます。"),
                    2);
    }
    if (!folder.error.isEmpty()) {
        return fail(folder.error);
    }
    const FolderSettings::Settings settings = FolderSettings::read(folder.folder);
    if (!settings.error.isEmpty()) {
        return fail(settings.error, 2);
    }
    if (const QString failed = FolderSettings::merge(settings, r); !failed.isEmpty()) {
        return fail(failed, 2);
    }
    if (const QString shared = refuseSharedSecrets(r); !shared.isEmpty()) {
        return fail(shared);
    }
    return useStore(app, r, folder.folder);
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList words;
    for (int i = 0; i < argc; ++i) {
        words.append(QFile::decodeName(argv[i]));
    }
    using Action = ServerCommandLine::Request::Action;
    const ServerCommandLine::Request r = ServerCommandLine::read(words);
    switch (r.action) {
    case Action::Help:
        std::fputs(qUtf8Printable(ServerCommandLine::helpText()), stdout);
        return 0;
    case Action::Version:
        std::fputs("velmorant-server " VELMORANT_VERSION "\n", stdout);
        return 0;
    case Action::BadUsage:
        std::fprintf(
            stderr, "velmorant-server: %s\n%s\n", qUtf8Printable(r.error),
            qUtf8Printable(QStringLiteral("使い方は velmorant-server --help で表示します。")));
        return 2;
    default:
        break;
    }
    // Text is measured with the window's fonts, on no display.
    Offscreen::usePlatform();
    QCoreApplication::setEventDispatcher(new EpollDispatcher);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QtFonts::installSubstitutions();
    return run(app, r);
}

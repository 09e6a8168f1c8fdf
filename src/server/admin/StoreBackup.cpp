#include "server/admin/StoreBackup.h"

#include "files/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StoreBackup
{

namespace
{

const QString BeforeRestore = QStringLiteral(".before-restore");

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

QString storeIn(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("velmorant.sqlite"));
}

// The store's lock file, made private where the folder may be written.
int openLock(const QString& folder, bool create)
{
    const QByteArray path = local(storeIn(folder) + QStringLiteral(".lock"));
    int fd = create ? ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
    if (fd < 0) {
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    }
    return fd;
}

QString shellQuoted(QString word)
{
    word.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + word + QLatin1Char('\'');
}

// libpq takes the store's URL as it is; the password is left to ~/.pgpass
// or PGPASSWORD, so that it is not shown.
QString postgresUrl(const QString& database)
{
    return shellQuoted(QUrl(database).toString(QUrl::RemovePassword));
}

CommandOutcome postgresBackup(const QString& file, const QString& database)
{
    return {2,
            QStringLiteral("pg_dump --format=custom --file=%1 %2\n")
                .arg(shellQuoted(file), postgresUrl(database)),
            QStringLiteral("記録は PostgreSQL のデータベースにあります。サーバーを動かしたまま、"
                           "次の pg_dump で書き出してください（パスワードは ~/.pgpass か "
                           "PGPASSWORD から読みます）")};
}

CommandOutcome postgresRestore(const QString& file, const QString& database)
{
    return {2,
            QStringLiteral("pg_restore --clean --if-exists --no-owner --single-transaction "
                           "--dbname=%2 %1\n")
                .arg(shellQuoted(file), postgresUrl(database)),
            QStringLiteral("記録は PostgreSQL のデータベースにあります。pg_dump で書き出した"
                           "ファイルは、そのデータベースを使うサーバーをすべて止めてから、"
                           "次の pg_restore で戻してください")};
}

// A connection of its own to one SQLite file, closed and removed with it.
class Connection
{
public:
    explicit Connection(const QString& path) : name_(QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        opened_ = db.open();
        if (!opened_) {
            error_ = db.lastError().text();
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection()
    {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }

    // "" or why not; `values` gets every column of every row.
    QString run(const QString& sql, const QVariantList& binds = {}, QStringList* values = nullptr)
    {
        if (!opened_) {
            return error_;
        }
        QSqlQuery q(QSqlDatabase::database(name_, false));
        q.prepare(sql);
        for (const QVariant& v : binds) {
            q.addBindValue(v);
        }
        if (!q.exec()) {
            return q.lastError().text();
        }
        while (values != nullptr && q.next()) {
            for (int i = 0; i < q.record().count(); ++i) {
                values->append(q.value(i).toString());
            }
        }
        return {};
    }
    QStringList tables() const { return QSqlDatabase::database(name_, false).tables(); }

private:
    QString name_;
    bool opened_ = false;
    QString error_;
};

struct Checked {
    QString error;
    QString learners;
    QString answers;
};

Checked refused(const QString& why)
{
    Checked c;
    c.error = why;
    return c;
}

// Whether `path` is a whole store of this program: SQLite's own check
// passes and the tables are there. It is left in rollback-journal mode, one
// file with nothing beside it; a server puts it back into WAL on opening.
Checked check(const QString& path, const QString& shownAs)
{
    Connection c(path);
    QStringList rows;
    if (const QString why = c.run(QStringLiteral("PRAGMA integrity_check"), {}, &rows);
        !why.isEmpty()) {
        return refused(
            QStringLiteral("「%1」は Velmorant の記録として読めません: %2").arg(shownAs, why));
    }
    if (rows != QStringList{QStringLiteral("ok")}) {
        return refused(QStringLiteral("「%1」は壊れています: %2")
                           .arg(shownAs, rows.mid(0, 3).join(QStringLiteral(" / "))));
    }
    const QStringList tables = c.tables();
    for (const char* table : {"schema_version", "learners", "statements"}) {
        if (!tables.contains(QLatin1String(table))) {
            return refused(
                QStringLiteral("「%1」は Velmorant の記録ではありません（表 %2 がありません）")
                    .arg(shownAs, QLatin1String(table)));
        }
    }
    QStringList counts;
    QString why = c.run(QStringLiteral("SELECT (SELECT count(*) FROM learners),"
                                       " (SELECT count(*) FROM statements)"),
                        {}, &counts);
    if (why.isEmpty()) {
        why = c.run(QStringLiteral("PRAGMA journal_mode=DELETE"));
    }
    if (!why.isEmpty() || counts.size() != 2) {
        return refused(QStringLiteral("「%1」を読めません: %2").arg(shownAs, why));
    }
    return {{}, counts.at(0), counts.at(1)};
}

// A new private file beside `path` for its content to be made in; -1 when
// it cannot be made.
int makeBeside(const QString& path, QString* part)
{
    QByteArray name = local(path + QStringLiteral(".part-XXXXXX"));
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    *part = QFile::decodeName(name);
    return fd;
}

// `part` under the name `file`, unless a file of that name has come
// meanwhile; the folder is synced so that the name survives a power cut.
QString publish(const QString& part, const QString& file)
{
    const QString exists =
        QStringLiteral("「%1」はもうあります。上書きはしないので、別の名前を指定してください")
            .arg(file);
    if (::renameat2(AT_FDCWD, local(part).constData(), AT_FDCWD, local(file).constData(),
                    RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) {
            return exists;
        }
        // A file system that cannot promise it (FAT on a USB stick).
        if (errno != EINVAL && errno != ENOSYS) {
            return QStringLiteral("「%1」を作れません: %2").arg(file, systemError());
        }
        if (QFileInfo::exists(file)) {
            return exists;
        }
        if (::rename(local(part).constData(), local(file).constData()) != 0) {
            return QStringLiteral("「%1」を作れません: %2").arg(file, systemError());
        }
    }
    SyncFolderOf(file);
    return {};
}

} // namespace

QString holdShared(const QString& folder, bool create)
{
    const int fd = openLock(folder, create);
    // Held by the open descriptor until the process ends.
    if (fd < 0 || ::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        return {};
    }
    ::close(fd);
    return QStringLiteral("フォルダ「%1」の記録を戻しているところです。終わってから、もう一度"
                          "してください")
        .arg(folder);
}

// SQLite's VACUUM INTO reads the store in one transaction: the copy is the
// store as it was at one commit, whatever the server writes meanwhile.
CommandOutcome backup(const QString& file, const QString& folder, const QString& database)
{
    if (!database.isEmpty()) {
        return postgresBackup(file, database);
    }
    const QString store = storeIn(folder);
    if (!QFileInfo::exists(store)) {
        return CommandOutcome::failed(
            QStringLiteral("フォルダ「%1」に記録 velmorant.sqlite がありません").arg(folder));
    }
    if (QFileInfo::exists(file) || QFileInfo(file).isSymLink()) {
        return CommandOutcome::failed(
            QStringLiteral("「%1」はもうあります。上書きはしないので、別の名前を指定してください")
                .arg(file));
    }
    if (const QString busy = holdShared(folder, true); !busy.isEmpty()) {
        return CommandOutcome::failed(busy);
    }
    QString part;
    const int fd = makeBeside(file, &part);
    if (fd < 0) {
        return CommandOutcome::failed(
            QStringLiteral("「%1」を作れません: %2").arg(file, systemError()));
    }
    Checked made;
    if (const QString why = Connection(store).run(QStringLiteral("VACUUM INTO ?"), {part});
        !why.isEmpty()) {
        made.error = QStringLiteral("記録を書き出せません: %1").arg(why);
    } else {
        made = check(part, file);
    }
    if (made.error.isEmpty() && ::fsync(fd) != 0) {
        made.error = QStringLiteral("「%1」を書き込めません: %2").arg(file, systemError());
    }
    ::close(fd);
    if (made.error.isEmpty()) {
        made.error = publish(part, file);
    }
    if (!made.error.isEmpty()) {
        QFile::remove(part);
        return CommandOutcome::failed(made.error);
    }
    return {0,
            QStringLiteral("記録を「%1」に書き出しました（学習者 %2 人、回答 %3 件）\n")
                .arg(file, made.learners, made.answers),
            {}};
}

namespace
{

QString copyBytes(const QString& from, int fd)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        return QStringLiteral("「%1」を読めません: %2").arg(from, in.errorString());
    }
    while (!in.atEnd()) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty() && in.error() != QFileDevice::NoError) {
            return QStringLiteral("「%1」を読めません: %2").arg(from, in.errorString());
        }
        for (qsizetype done = 0; done < block.size();) {
            const ssize_t n = ::write(fd, block.constData() + done, block.size() - done);
            if (n < 0 && errno != EINTR) {
                return QStringLiteral("記録を書き込めません: %1").arg(systemError());
            }
            done += n > 0 ? n : 0;
        }
    }
    return {};
}

// The new store takes the old one's owner (when root restores a service's
// folder), group and mode.
bool takeOwner(int fd, const struct stat& old)
{
    if (::geteuid() == 0 && ::fchown(fd, old.st_uid, static_cast<gid_t>(-1)) != 0) {
        return false;
    }
    return TakeAccessOf(fd, old);
}

// The store being replaced, under the name .before-restore with the side
// files SQLite pairs with it by name, so that it opens as it was: a -wal
// left beside the new store would be read into it and break it. The -shm
// is only an index of the -wal and goes.
QString setAside(const QString& store)
{
    const QString before = store + BeforeRestore;
    if (::link(local(store).constData(), local(before).constData()) != 0 &&
        ::rename(local(store).constData(), local(before).constData()) != 0) {
        return QStringLiteral("「%1」を作れません: %2").arg(before, systemError());
    }
    for (const QString& side : {QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        if (QFileInfo::exists(store + side) &&
            ::rename(local(store + side).constData(), local(before + side).constData()) != 0) {
            return QStringLiteral("「%1」を移せません: %2").arg(store + side, systemError());
        }
    }
    if (::unlink(local(store + QStringLiteral("-shm")).constData()) != 0 && errno != ENOENT) {
        return QStringLiteral("「%1-shm」を消せません: %2").arg(store, systemError());
    }
    return {};
}

// Copied beside the store, checked, given the old store's access and
// synced; then the old store is set aside and the copy renamed over it.
CommandOutcome replaceStore(const QString& file, const QString& store)
{
    QString part;
    const int fd = makeBeside(store, &part);
    if (fd < 0) {
        return CommandOutcome::failed(
            QStringLiteral("「%1」のフォルダに書き込めません: %2").arg(store, systemError()));
    }
    const QString copied = copyBytes(file, fd);
    Checked restored = copied.isEmpty() ? check(part, file) : refused(copied);
    struct stat old {
    };
    const bool hadStore = ::stat(local(store).constData(), &old) == 0;
    if (restored.error.isEmpty() && hadStore && !takeOwner(fd, old)) {
        restored.error = QStringLiteral("元の記録と同じ持ち主と権限にできません");
    }
    if (restored.error.isEmpty() && ::fsync(fd) != 0) {
        restored.error = QStringLiteral("記録を書き込めません: %1").arg(systemError());
    }
    ::close(fd);
    if (restored.error.isEmpty() && hadStore) {
        restored.error = setAside(store);
    }
    if (restored.error.isEmpty() && ::rename(local(part).constData(), local(store).constData())) {
        restored.error = QStringLiteral("「%1」を置き換えられません: %2").arg(store, systemError());
    }
    if (!restored.error.isEmpty()) {
        QFile::remove(part);
        return CommandOutcome::failed(restored.error);
    }
    SyncFolderOf(store);
    QString said = QStringLiteral("記録を「%1」から戻しました（学習者 %2 人、回答 %3 件）\n")
                       .arg(file, restored.learners, restored.answers);
    if (hadStore) {
        said += QStringLiteral("前の記録は「%1」に残しました\n").arg(store + BeforeRestore);
    }
    return {0, said, {}};
}

} // namespace

CommandOutcome restore(const QString& file, const QString& folder, const QString& database)
{
    if (!database.isEmpty()) {
        return postgresRestore(file, database);
    }
    const QString store = storeIn(folder);
    if (!QFileInfo(file).isFile()) {
        return CommandOutcome::failed(QStringLiteral("「%1」がありません").arg(file));
    }
    if (QFileInfo::exists(store + BeforeRestore)) {
        return CommandOutcome::failed(
            QStringLiteral("前に戻したときの「%1」が残っています。要らなければ消すか、別の場所へ"
                           "移してから、もう一度してください")
                .arg(store + BeforeRestore));
    }
    const int lock = openLock(folder, true);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const bool inUse = lock >= 0 && errno == EWOULDBLOCK;
        const QString why = systemError();
        if (lock >= 0) {
            ::close(lock);
        }
        return CommandOutcome::failed(
            inUse ? QStringLiteral("フォルダ「%1」の記録を、動いているサーバーかコマンドが使って"
                                   "います。サーバーを止めてから戻してください")
                        .arg(folder)
                  : QStringLiteral("フォルダ「%1」の記録をロックできません: %2").arg(folder, why));
    }
    CommandOutcome done = replaceStore(file, store);
    ::close(lock);
    return done;
}

} // namespace StoreBackup

#include "server/teacher/ReportCache.h"

#include "report/ReportFiles.h"
#include "server/store/Store.h"
#include "server/store/StoreReport.h"

#include <QDir>
#include <QFile>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/stat.h>

ReportCache::ReportCache(QString workDir, QString url, QString title)
    : workDir_(std::move(workDir)), url_(std::move(url)), title_(std::move(title))
{
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

ReportCache::~ReportCache()
{
    // A connection is closed by the thread that opened it.
    QMetaObject::invokeMethod(
        worker_, [this] { store_.reset(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void ReportCache::files(Done done)
{
    QMetaObject::invokeMethod(worker_, [this, done = std::move(done)] { serve(done); });
}

void ReportCache::serve(const Done& done)
{
    if (!store_) {
        store_ = std::make_unique<Store>();
        Store::Options options;
        options.longReads = true;
        if (const QString failed = store_->open(workDir_, url_, options); !failed.isEmpty()) {
            store_.reset(); // opened again next time: the database may be back
            done(nullptr, failed);
            return;
        }
    }
    const qint64 failuresBefore = store_->failureCount();
    // Asked again for each request: a store shared with other servers
    // changes without this one knowing, and a series file may be changed by
    // any of them or by hand.
    const QString statements = store_->statementsState();
    const QString state =
        statements.isEmpty() ? QString() : statements + QLatin1Char('\n') + folderState(workDir_);
    if (!files_ || state.isEmpty() || state != builtFor_) {
        files_.reset();
        files_ = build();
        builtFor_ = state;
#ifdef __GLIBC__
        // The statements read and the report summed up from them are gone:
        // give their pages back rather than keep them for the next build.
        malloc_trim(0);
#endif
    }
    if (store_->failureCount() != failuresBefore) {
        store_.reset();
        files_.reset();
        done(nullptr, QStringLiteral("記録を読めません。しばらくしてからもう一度開いてください"));
        return;
    }
    done(files_, {});
}

QString ReportCache::folderState(const QString& workDir)
{
    QStringList out;
    const QDir dir(workDir);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        // The store's file and its journal change with every answer, and the
        // statements' own state tells that.
        if (name.startsWith(QLatin1String("velmorant.sqlite"))) {
            continue;
        }
        // In nanoseconds and with the inode: a file saved twice within a
        // second, or replaced by one of the same size, is told apart.
        struct stat st {
        };
        if (::stat(QFile::encodeName(dir.filePath(name)).constData(), &st) != 0) {
            continue;
        }
        out.append(QStringLiteral("%1 %2 %3.%4 %5")
                       .arg(name, QString::number(qint64(st.st_size)),
                            QString::number(qint64(st.st_mtim.tv_sec)),
                            QString::number(qint64(st.st_mtim.tv_nsec)),
                            QString::number(quint64(st.st_ino))));
    }
    return out.join(QLatin1Char('\n'));
}

std::shared_ptr<const ReportCache::Files> ReportCache::build()
{
    const ClassReport::Report report = StoreReport::of(*store_, workDir_);
    auto files = std::make_shared<Files>();
    files->page = ReportFiles::indexHtml(report, title_);
    for (const QString& name : ReportFiles::spreadsheetNames()) {
        files->spreadsheets.insert(name, ReportFiles::spreadsheet(name, report));
    }
    return files;
}

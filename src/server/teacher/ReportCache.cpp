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

void ReportCache::files(Chosen chosen, Done done)
{
    QMetaObject::invokeMethod(worker_, [this, chosen = std::move(chosen), done = std::move(done)] {
        serve(chosen, done);
    });
}

// What the report of `chosen` is made from, asked again for each request: a
// store shared with other servers changes without this one knowing, and a
// series file may be changed by any of them or by hand. The learners of a
// class change too. Empty when the store cannot tell.
QString ReportCache::currentState(const Chosen& chosen)
{
    const QString statements = store_->statementsState();
    const std::optional<QList<Store::Learner>> learners = store_->learners();
    if (statements.isEmpty() || !learners) {
        return {};
    }
    QStringList keys;
    for (const Store::Learner& l : *learners) {
        keys.append(QStringLiteral("%1 %2").arg(QString::number(l.classId), l.key));
    }
    // Series hidden from a class are left out of its report.
    for (const qint64 id : chosen.classIds) {
        keys.append(StoreReport::hiddenFrom(*store_, id).join(QLatin1Char('/')));
    }
    return statements + QLatin1Char('\n') + folderState(workDir_) + QLatin1Char('\n') +
           keys.join(QLatin1Char('\n'));
}

// The classes and days asked for, as the key their report is kept under.
QString ReportCache::chosenKey(const Chosen& chosen)
{
    QStringList ids;
    for (const qint64 id : chosen.classIds) {
        ids.append(QString::number(id));
    }
    return QStringLiteral("%1 %2 %3")
        .arg(ids.join(QLatin1Char(',')), chosen.from.toString(Qt::ISODate),
             chosen.to.toString(Qt::ISODate));
}

void ReportCache::serve(const Chosen& chosen, const Done& done)
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
    const QString state = currentState(chosen);
    const QString which = chosenKey(chosen);
    // Each class and range asked for is kept: a few, not every range a
    // term's worth of requests names.
    const auto whole = built_.constFind(which);
    const bool wholeServes = chosen.gradebookOnly && whole != built_.cend() && whole->files &&
                             !state.isEmpty() && whole->state == state;
    const QString key =
        chosen.gradebookOnly && !wholeServes ? which + QStringLiteral(" 成績一覧") : which;
    if (!built_.contains(key) && built_.size() >= MaxKept) {
        built_.clear();
    }
    Built& built = built_[key];
    if (!built.files || state.isEmpty() || state != built.state) {
        built.files.reset();
        built.files = build(chosen);
        built.state = state;
#ifdef __GLIBC__
        // The statements read and the report summed up from them are gone:
        // give their pages back rather than keep them for the next build.
        malloc_trim(0);
#endif
    }
    if (store_->failureCount() != failuresBefore) {
        store_.reset();
        built_.clear();
        done(nullptr, QStringLiteral("記録を読めません。しばらくしてからもう一度開いてください"));
        return;
    }
    done(built.files, {});
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

std::shared_ptr<const ReportCache::Files> ReportCache::build(const Chosen& chosen)
{
    if (chosen.gradebookOnly) {
        auto files = std::make_shared<Files>();
        files->spreadsheets.insert(
            QStringLiteral("gradebook.csv"),
            ReportFiles::gradebookCsv(StoreReport::marksOfClasses(
                *store_, workDir_, chosen.classIds, chosen.from, chosen.to)));
        return files;
    }
    const ClassReport::Report report =
        StoreReport::ofClasses(*store_, workDir_, chosen.classIds, chosen.from, chosen.to);
    QString title = title_;
    if (report.classes.size() == 1) {
        title = QStringLiteral("%1 の結果").arg(report.classes.first());
    }
    if (chosen.from.isValid() || chosen.to.isValid()) {
        title += QStringLiteral("（%1〜%2）")
                     .arg(chosen.from.toString(Qt::ISODate), chosen.to.toString(Qt::ISODate));
    }
    auto files = std::make_shared<Files>();
    files->page = ReportFiles::indexHtml(report, title);
    for (const QString& name : ReportFiles::spreadsheetNames()) {
        files->spreadsheets.insert(name, ReportFiles::spreadsheet(name, report));
    }
    return files;
}

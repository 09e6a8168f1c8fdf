#include "server/ReportCache.h"

#include "report/ReportFiles.h"
#include "server/Store.h"
#include "server/StoreReport.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

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
        failure_ = store_->open(workDir_, url_);
    }
    if (!failure_.isEmpty()) {
        done(nullptr, failure_);
        return;
    }
    // Asked again after each request: a store shared with other servers
    // changes without this one knowing.
    const QString state = store_->statementsState();
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
    done(files_, {});
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

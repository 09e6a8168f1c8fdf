#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

class Store;

// The teacher's report files, built on a thread of their own with their own
// connection to the store, so that no answer waits for them. They are built
// once for each state of the statements and shared by the page and every
// spreadsheet; a request made during a build waits for it and takes its
// files.
class ReportCache
{
public:
    struct Files {
        QByteArray page;                         // index.html
        QHash<QString, QByteArray> spreadsheets; // by ReportFiles' names
    };
    // Called on the report's thread: the files, or none and the reason.
    using Done = std::function<void(std::shared_ptr<const Files>, const QString& failure)>;

    // The store as Store::open takes it; `title` heads the page.
    ReportCache(QString workDir, QString url, QString title);
    ~ReportCache();
    ReportCache(const ReportCache&) = delete;
    ReportCache& operator=(const ReportCache&) = delete;

    // The files of the statements as they are when the thread comes to it.
    void files(Done done);

private:
    // On thread_:
    void serve(const Done& done);
    std::shared_ptr<const Files> build();

    const QString workDir_;
    const QString url_;
    const QString title_;
    QThread thread_;
    QObject* worker_ = nullptr; // lives on thread_
    // Made, used and ended on thread_.
    std::unique_ptr<Store> store_;
    QString failure_;
    QString builtFor_; // the statements' state the files were built for
    std::shared_ptr<const Files> files_;
};

#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

class Store;

// The teacher's report files, built on a thread of their own with their own
// connection to the store, so that no answer waits for them. They are built
// once for each state of the statements and of the folder's files (a series
// saved in the editor, uploaded, renamed or changed by hand on disk tells
// which problems changed) and shared by the page and every spreadsheet; a
// request made during a build waits for it and takes its files.
class ReportCache
{
public:
    struct Files {
        QByteArray page;                         // index.html
        QHash<QString, QByteArray> spreadsheets; // by ReportFiles' names
    };
    // Called on the report's thread: the files, or none and the reason in
    // Japanese (the store cannot be read just now).
    using Done = std::function<void(std::shared_ptr<const Files>, const QString& failure)>;

    // The store as Store::open takes it; `title` heads the page.
    ReportCache(QString workDir, QString url, QString title);
    ~ReportCache();
    ReportCache(const ReportCache&) = delete;
    ReportCache& operator=(const ReportCache&) = delete;

    // Which classes, and which local days (a null date leaves that end
    // open).
    struct Chosen {
        QList<qint64> classIds;
        QDate from;
        QDate to;
        // The grade book alone, from a lighter pass over the statements
        // (the files built for the same classes and days serve it when they
        // are up to date): its spreadsheet is then the only one.
        bool gradebookOnly = false;
    };
    // The files of the statements of the chosen classes and days as they
    // are when the thread comes to it; the page's title names the class
    // when there is one, and the days.
    void files(Chosen chosen, Done done);

    // What changes whenever a file of the folder the report reads (a series
    // file, the catalogue) is written, replaced, added or removed: each
    // file's name, size, time and inode; the store's own files left out.
    static QString folderState(const QString& workDir);

private:
    // On thread_:
    void serve(const Chosen& chosen, const Done& done);
    QString currentState(const Chosen& chosen);
    static QString chosenKey(const Chosen& chosen);
    std::shared_ptr<const Files> build(const Chosen& chosen);

    const QString workDir_;
    const QString url_;
    const QString title_;
    QThread thread_;
    QObject* worker_ = nullptr; // lives on thread_
    // Made, used and ended on thread_.
    std::unique_ptr<Store> store_;
    // By the classes asked for: the statements' and folder's state the files
    // were built for, and the files.
    struct Built {
        QString state;
        std::shared_ptr<const Files> files;
    };
    QHash<QString, Built> built_;
    static constexpr qsizetype MaxKept = 16;
};

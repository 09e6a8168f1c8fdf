#pragma once

#include "server/http/HttpServer.h"

#include <QString>
#include <QThread>

#include <memory>
#include <optional>

class Store;

// 復習の調整: a class's review parameters fitted, measured and given a
// retention on a thread of their own with their own connection to the
// store, one at a time: a fit over a year of a class's answers takes
// seconds, and no other request waits for it.
class ClassFits
{
public:
    ClassFits(QString workDir, QString url);
    ~ClassFits();
    ClassFits(const ClassFits&) = delete;
    ClassFits& operator=(const ClassFits&) = delete;

    // What `classId`'s kept parameters make of its answers now (without
    // `fit` and `retention`), or the class fitted (`fit`) or given a
    // retention, each answered to `respond` from the fits' thread.
    void ask(qint64 classId, bool fit, std::optional<double> retention, HttpResponder respond);

private:
    HttpReply serve(qint64 classId, bool fit, std::optional<double> retention);

    const QString workDir_;
    const QString url_;
    QThread thread_;
    QObject* worker_ = nullptr;    // lives on thread_
    std::unique_ptr<Store> store_; // made, used and ended on thread_
};

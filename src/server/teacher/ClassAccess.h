#pragma once

#include "server/http/HttpServer.h"
#include "server/store/Store.h"

#include <QList>
#include <QString>

#include <optional>

// Which classes a teacher sees (the administrator every one, another
// teacher those given them) and which of them a request asks for by its
// `class` id; another class's id is refused.
class ClassAccess
{
public:
    // What the teacher's routes answer when the store cannot be read.
    static inline const QString StoreDown =
        QStringLiteral("記録を読めません。しばらくしてからもう一度試してください");

    // None when the store failed.
    static std::optional<ClassAccess> of(Store& store, const QString& teacher);

    bool admin() const { return admin_; }
    // The classes the teacher sees, in the school's order.
    const QList<Store::SchoolClass>& classes() const { return classes_; }
    bool sees(qint64 classId) const;

    // The classes a request asks for: the one its `class` id names (in the
    // query, or the JSON body of a POST), or without one every class the
    // teacher sees (全クラス). A class the teacher does not see is refused
    // (403), a malformed id too (400).
    std::optional<QList<qint64>> chosen(const HttpRequest& request, HttpReply* refused) const;
    // The one class a request acts on: its `class` id, or the teacher's
    // only class when it names none.
    std::optional<qint64> one(const HttpRequest& request, HttpReply* refused) const;
    // The learner a request names by `name` (as shown) in that class.
    std::optional<Store::Learner> learner(Store& store, const HttpRequest& request,
                                          HttpReply* refused) const;

    static HttpReply notYours();

    // chosen() and one() of the teacher's access read from the store; none
    // with `refused` set (503 when the store failed).
    static std::optional<QList<qint64>> chosenBy(Store& store, const QString& teacher,
                                                 const HttpRequest& request, HttpReply* refused);
    static std::optional<qint64> oneBy(Store& store, const QString& teacher,
                                       const HttpRequest& request, HttpReply* refused);

private:
    // The `class` id a request gives: 0 when none, -1 when malformed.
    static qint64 classParameter(const HttpRequest& request);

    bool admin_ = false;
    QList<Store::SchoolClass> classes_;
};

#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

// A table of routes, one per area of a server: each names its method, its
// path, who may call it and its handler, so that the access rules of an
// area are read in one place. Who calls is checked by the server that owns
// the tables, once, before any handler runs.
namespace HttpRoutes
{

// Who may call a route: anyone, or only a browser holding a learner's or
// the teacher's session.
enum class Access { Anyone, LearnerSession, TeacherSession };

template <typename Handler> struct Route {
    QByteArrayView method; // "GET" or "POST"
    // The path as sent; one ending in '*' takes every path that begins with
    // what comes before it.
    QStringView path;
    Access access = Access::Anyone;
    Handler handler;
};

template <typename Handler> using Table = QList<Route<Handler>>;

inline bool matches(QStringView pattern, QStringView path)
{
    return pattern.endsWith(u'*') ? path.startsWith(pattern.chopped(1)) : path == pattern;
}

// The first route of `table` for `method` and `path`; nullptr when there
// is none, with *pathKnown set when a route of another method has the path
// (405 rather than 404).
template <typename Handler>
const Route<Handler>* find(const Table<Handler>& table, QByteArrayView method, QStringView path,
                           bool* pathKnown)
{
    for (const Route<Handler>& r : table) {
        if (matches(r.path, path)) {
            if (r.method == method) {
                return &r;
            }
            *pathKnown = true;
        }
    }
    return nullptr;
}

} // namespace HttpRoutes

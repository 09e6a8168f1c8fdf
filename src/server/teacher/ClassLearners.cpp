#include "server/teacher/ClassLearners.h"

#include "server/learner/LearnerRoutes.h"
#include "server/log/ServerLog.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"

ClassLearners::Made ClassLearners::add(Store& store, const QString& name,
                                       const QByteArray& teacherSession)
{
    return make(store, name, teacherSession, true);
}

// The learner's sessions known in memory are looked up again: the store
// has them still, as a new code ends none.
ClassLearners::Made ClassLearners::newCode(Store& store, const QString& name,
                                           const QByteArray& teacherSession)
{
    return make(store, name, teacherSession, false);
}

ClassLearners::Made ClassLearners::make(Store& store, const QString& name,
                                        const QByteArray& teacherSession, bool add)
{
    const QString code = SignInCodes::newCode();
    const QString failed = add ? store.addLearner(name, code) : store.setLearnerCode(name, code);
    if (!failed.isEmpty()) {
        return {{}, failed};
    }
    if (!add) {
        learners_.forgetSessionsOf(name);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    made_[teacherSession].append(qMakePair(name, code));
    return {code, {}};
}

// A removed learner's open series and known sessions go with them.
QString ClassLearners::remove(Store& store, const QString& name)
{
    const QString failed = store.removeLearner(name);
    learners_.forgetLearner(name);
    return failed;
}

std::optional<int> ClassLearners::signOut(Store& store, const QString& name)
{
    const std::optional<int> ended = store.removeSessions(name);
    if (!ended) {
        return std::nullopt;
    }
    learners_.forgetLearner(name);
    if (*ended > 0) {
        ServerLog::line(
            QStringLiteral("サインアウト（先生による） %1").arg(ServerLog::clean(name)));
    }
    return ended;
}

QList<QPair<QString, QString>> ClassLearners::made(const QByteArray& teacherSession)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return made_.value(teacherSession);
}

void ClassLearners::forget(const QByteArray& teacherSession)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    made_.remove(teacherSession);
}

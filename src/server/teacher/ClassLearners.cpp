#include "server/teacher/ClassLearners.h"

#include "server/learner/LearnerRoutes.h"
#include "server/log/ServerLog.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"

ClassLearners::Made ClassLearners::add(Store& store, const QString& className, const QString& name,
                                       const QByteArray& teacherSession)
{
    const QString code = SignInCodes::newCode();
    if (const QString failed = store.addLearners({{className, 0, name, code, {}}});
        !failed.isEmpty()) {
        return {{}, failed};
    }
    keep(teacherSession, {className, name, code});
    return {code, {}};
}

// The learner's sessions known in memory are looked up again: the store
// has them still, as a new code ends none.
ClassLearners::Made ClassLearners::newCode(Store& store, const Store::Learner& learner,
                                           const QByteArray& teacherSession)
{
    const QString code = SignInCodes::newCode();
    if (const QString failed = store.setLearnerCode(learner.key, code); !failed.isEmpty()) {
        return {{}, failed};
    }
    learners_.forgetSessionsOf(learner.key);
    keep(teacherSession, {learner.className, learner.name, code});
    return {code, {}};
}

void ClassLearners::keep(const QByteArray& teacherSession, Card card)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    made_[teacherSession].append(std::move(card));
}

// A removed learner's open series and known sessions go with them.
QString ClassLearners::remove(Store& store, const QString& key)
{
    const QString failed = store.removeLearner(key);
    learners_.forgetLearner(key);
    return failed;
}

std::optional<int> ClassLearners::signOut(Store& store, const QString& key)
{
    const std::optional<int> ended = store.removeSessions(key);
    if (!ended) {
        return std::nullopt;
    }
    learners_.forgetLearner(key);
    if (*ended > 0) {
        ServerLog::line(QStringLiteral("サインアウト（先生による） %1").arg(ServerLog::clean(key)));
    }
    return ended;
}

QList<ClassLearners::Card> ClassLearners::made(const QByteArray& teacherSession)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return made_.value(teacherSession);
}

void ClassLearners::forget(const QByteArray& teacherSession)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    made_.remove(teacherSession);
}

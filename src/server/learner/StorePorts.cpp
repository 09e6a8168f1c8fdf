#include "server/learner/StorePorts.h"

#include "record/Statements.h"
#include "series/SeriesParser.h"
#include "server/store/ClassSchedules.h"
#include "server/store/Store.h"

#include <QDateTime>

StoreAnswers::StoreAnswers(Store& store, QString learner, const QString& workDir, QString homePage)
    : store_(&store), learner_(std::move(learner)),
      shownName_(store.learner(learner_).value_or(Store::Learner{{}, 0, {}, 0, learner_}).name),
      homePage_(std::move(homePage)), problems_(workDir)
{
    takeParameters();
    const std::optional<Store::Reviews> kept = store_->reviews(learner_);
    if (!kept) {
        return; // the store failed, as its failures tell the caller
    }
    if (kept->answers >= 0) {
        takeUp(*kept);
        return;
    }
    // Kept from now on, within an action's transaction: a page load only
    // reads, so that it never waits for a writer. What is not kept here is
    // kept with the learner's next answer.
    if (readAnswers() && store_->inTransaction()) {
        keepBuilt();
    }
}

// The learner's class's parameters as the store has them now: the schedule
// is made with them from here on.
bool StoreAnswers::takeParameters()
{
    const std::optional<Store::KeptParameters> row = store_->learnerParameters(learner_);
    if (!row) {
        return false;
    }
    parametersVersion_ = row->version;
    const Fsrs::Parameters p = ClassSchedules::parametersOf(*row).parameters;
    if (p.w != schedule_.parameters().w || p.retention != schedule_.parameters().retention) {
        schedule_ = Schedule(schedule_.days(), p);
    }
    return true;
}

void StoreAnswers::keepBuilt()
{
    const Store::Reviews built{schedule_.problems(), schedule_.setAsideCounts(), answers_.size()};
    if (store_->saveReviews(learner_, built).isEmpty()) {
        taken_ = built.answers;
    }
}

qint64 StoreAnswers::now() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString StoreAnswers::name() const
{
    return QStringLiteral("教室のサーバー");
}

void StoreAnswers::count(const Answer& answer)
{
    Answer a = answer;
    problems_.update(a);
    if (answersRead_) {
        answers_.append(a);
    }
    schedule_.add(a, now());
    unstored_.append(std::move(a));
}

QString StoreAnswers::store(const Answer& answer)
{
    Answer a = answer;
    a.registration = registration_;
    if (QString failed = store_->appendStatement(learner_, a.id.toString(QUuid::WithoutBraces),
                                                 a.problemId(), a.timestampMs, Statements::line(a));
        !failed.isEmpty()) {
        return failed;
    }
    problems_.update(a);
    // The state as the store has it, with this answer: another server's
    // answers are in it, and none counted here and not stored yet.
    // The class's parameters may have changed since (its kept review state
    // with them): the answer is scheduled as the store's state is.
    const qint64 version = parametersVersion_;
    const std::optional<Store::Reviews> kept = store_->reviews(learner_, a.problemId());
    if (!kept || !takeParameters()) {
        return QStringLiteral("復習の予定を読めません");
    }
    const auto stored = [this, &a] {
        unstored_.removeIf([&a](const Answer& u) { return u.id == a.id; });
        return QString();
    };
    if (kept->answers < 0) {
        // Not kept yet: built from the statements, this one among them, and
        // kept with it; a build cut short is done again next time.
        stored();
        if (unstored_.isEmpty() && readAnswers()) {
            keepBuilt();
        }
        return {};
    }
    Schedule one(schedule_.days(), schedule_.parameters());
    one.restore(kept->problems, kept->setAside);
    one.add(a, now());
    const Store::Reviews next{one.problems(), one.setAsideCounts(), kept->answers + 1};
    if (QString failed = store_->updateReviews(learner_, next); !failed.isEmpty()) {
        return failed;
    }
    taken_ = kept->answers == taken_ && version == parametersVersion_ ? next.answers : -1;
    return stored();
}

QList<LogFinding> StoreAnswers::refresh()
{
    qint64 version = 0;
    const qint64 kept = store_->reviewedAnswers(learner_, &version);
    if (kept < 0 || (kept == taken_ && version == parametersVersion_)) {
        return {};
    }
    if (version != parametersVersion_ && !takeParameters()) {
        return {};
    }
    if (const std::optional<Store::Reviews> reviews = store_->reviews(learner_);
        reviews && reviews->answers >= 0) {
        takeUp(*reviews);
    }
    return {};
}

void StoreAnswers::takeUp(const Store::Reviews& kept)
{
    schedule_.restore(kept.problems, kept.setAside);
    for (const Answer& a : std::as_const(unstored_)) {
        schedule_.add(a, now());
    }
    taken_ = kept.answers;
    answers_.clear();
    answersRead_ = false;
}

const QList<Answer>& StoreAnswers::answers() const
{
    if (!answersRead_) {
        readAnswers();
    }
    return answers_;
}

bool StoreAnswers::readAnswers() const
{
    QString failed;
    const QList<QByteArray> lines = store_->statements(learner_, &failed);
    if (!failed.isEmpty()) {
        return false; // the schedule stays as it was
    }
    answers_.clear();
    Schedule all = ClassSchedules::scheduleOf(lines, problems_, schedule_.days(),
                                              schedule_.parameters(), now(), &answers_);
    for (const Answer& a : unstored_) {
        all.add(a, now());
        answers_.append(a);
    }
    schedule_ = std::move(all);
    answersRead_ = true;
    return true;
}

StoreMarks::StoreMarks(Store& store, QString learner) : store_(&store), learner_(std::move(learner))
{
}

int StoreMarks::read(SeriesState& st, QList<MarksFinding>* /*findings*/)
{
    positions_.clear();
    int row = 0;
    for (const Store::Mark& m : store_->marks(learner_)) {
        if (row == SeriesState::MaxProblems) {
            break;
        }
        Problem p = Problems::fromRecord(m.record);
        if (SeriesParser::trimBlanks(p.fullQuestion()).isEmpty() || (leaveOut_ && leaveOut_(p))) {
            continue;
        }
        ++row;
        st.problems.at(row) = std::move(p);
        st.marked.at(row) = true;
        positions_.append(m.position);
    }
    return row > 0 ? row : -1;
}

QList<Problem> StoreMarks::problems()
{
    QList<Problem> out;
    for (const Store::Mark& m : store_->marks(learner_)) {
        Problem p = Problems::fromRecord(m.record);
        if (!leaveOut_ || !leaveOut_(p)) {
            out.append(std::move(p));
        }
    }
    return out;
}

MarksWrite StoreMarks::append(const QStringList& record)
{
    pending_.append(record);
    return savePending();
}

MarksWrite StoreMarks::savePending()
{
    MarksWrite out;
    while (!pending_.isEmpty()) {
        if (const QString failed = store_->appendMark(learner_, pending_.first());
            !failed.isEmpty()) {
            return out.failed(failed);
        }
        pending_.removeFirst();
    }
    return out;
}

MarksWrite StoreMarks::rewrite(const SeriesState& st)
{
    QList<qint64> gone;
    for (int r = 1; r <= st.problemCount && r <= positions_.size(); ++r) {
        if (!st.marked.at(r)) {
            gone.append(positions_.at(r - 1));
        }
    }
    MarksWrite out = savePending();
    if (!gone.isEmpty()) {
        if (const QString failed = store_->removeMarks(learner_, gone); !failed.isEmpty()) {
            return out.failed(failed);
        }
    }
    return out;
}

void StoreMarks::takeBackLast()
{
    if (!pending_.isEmpty()) {
        pending_.removeLast();
    }
}

QString StoreMarks::where() const
{
    return QStringLiteral("教室のサーバー");
}

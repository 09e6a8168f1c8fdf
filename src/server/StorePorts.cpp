#include "server/StorePorts.h"

#include "record/Statements.h"
#include "series/SeriesParser.h"
#include "server/Store.h"

#include <QDateTime>

StoreAnswers::StoreAnswers(Store& store, QString learner, const QString& workDir, QString homePage)
    : store_(&store), learner_(std::move(learner)), homePage_(std::move(homePage)),
      problems_(workDir)
{
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
    if (counted_.insert(answer.id).second) {
        Answer a = answer;
        problems_.update(a);
        answers_.append(a);
        schedule_.add(a, now());
    }
}

QString StoreAnswers::store(const Answer& answer)
{
    return store_->appendStatement(learner_, answer.id.toString(QUuid::WithoutBraces),
                                   answer.problemId(), answer.timestampMs,
                                   Statements::line(answer));
}

QList<LogFinding> StoreAnswers::refresh()
{
    for (const QByteArray& line : store_->statements(learner_)) {
        QString why;
        if (const std::optional<Answer> a = Statements::parse(line, &why)) {
            count(*a);
        }
    }
    return {};
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
        if (SeriesParser::trimBlanks(p.fullQuestion()).isEmpty()) {
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
        out.append(Problems::fromRecord(m.record));
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

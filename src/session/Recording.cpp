#include "session/Recording.h"

#include "marks/MarksFile.h"
#include "record/AnswerStore.h"
#include "record/ProblemId.h"
#include "record/Progress.h"
#include "record/Statements.h"
#include "session/MainScreen.h"

#include <QDir>
#include <QUuid>

namespace
{

// The catalogue's series files, in list order.
QStringList catalogueFiles(const SeriesState& st)
{
    QStringList files;
    for (int row = 1; row <= SeriesState::MaxCatalogEntries; ++row) {
        const QString& file = st.catalog.at(static_cast<std::size_t>(row))[1];
        if (!file.trimmed().isEmpty()) {
            files.append(file);
        }
    }
    return files;
}

// The series file the problem on the board was read from. A marked problem
// counts as one of its series while a catalogue file still asks what it
// asks, so that marking it does not start its record anew.
QString seriesOfCurrent(MainScreen& screen, const Problem& problem)
{
    SeriesState& st = screen.state;
    QString& series = st.seriesFile.at(static_cast<std::size_t>(st.currentProblem));
    if (series.isEmpty() && st.markedSeries) {
        series = screen.problemIndex.seriesOf(problem, catalogueFiles(st));
    }
    if (series.isEmpty()) {
        series = st.catalog[0][1];
    }
    return series;
}

Answer answerOnBoard(MainScreen& screen, const Quiz::Check& check)
{
    const AnswerStore& record = *screen.record;
    const Quiz& quiz = screen.quiz;
    const Problem& problem =
        screen.state.problems.at(static_cast<std::size_t>(screen.state.currentProblem));
    const QString series = seriesOfCurrent(screen, problem);
    Answer a = Statements::about(problem, series, screen.problemIndex.keyOf(series, problem));
    a.learner = record.learner();
    a.learnerName = record.learnerName();
    a.homePage = record.homePage();
    // The board shows the problem as far as it has room for.
    a.terms = a.terms.mid(0, quiz.terms());
    a.groups = a.groups.mid(0, quiz.frames());
    a.correct.clear();
    for (int i = 0; i < quiz.terms(); ++i) {
        a.correct.append(quiz.answerOf(i) + 1);
        a.placed.append(quiz.frameOf(i) + 1);
    }
    a.success = check.outcome == Quiz::Outcome::Solved;
    a.right = check.right;
    a.timestampMs = record.now();
    a.durationMs = std::max<qint64>(0, a.timestampMs - screen.showing.shownAtMs);
    a.id = QUuid::createUuid();
    a.attempt = ++screen.showing.checks;
    return a;
}

// Stores the answers not yet stored, oldest first; "" once none is left,
// else why the first of them could not be.
QString storeUnsaved(MainScreen& screen)
{
    while (!screen.unsavedAnswers.isEmpty()) {
        if (QString failure = screen.record->store(screen.unsavedAnswers.first());
            !failure.isEmpty()) {
            return failure;
        }
        screen.unsavedAnswers.removeFirst();
    }
    return {};
}

void tellFindings(MainScreen& screen, const QList<LogFinding>& findings)
{
    if (findings.isEmpty()) {
        return;
    }
    constexpr qsizetype Shown = 15;
    QStringList lines;
    for (qsizetype i = 0; i < std::min(Shown, findings.size()); ++i) {
        const LogFinding& f = findings.at(i);
        lines.append(
            QStringLiteral("%1 %2行目: %3")
                .arg(QDir::toNativeSeparators(QDir(screen.workDir).relativeFilePath(f.file)),
                     QString::number(f.line), f.message));
    }
    if (findings.size() > Shown) {
        lines.append(QStringLiteral("ほか%1行").arg(findings.size() - Shown));
    }
    screen.tell(QStringLiteral("学習の記録の次の行は読めないため使いませんでした。"
                               "行はファイルに残してあります。\n\n%1")
                    .arg(lines.join(QLatin1Char('\n'))));
}

void setReviewEntry(MainScreen& screen)
{
    QStringList& entries = screen.seriesList.Entries;
    if (screen.reviewEntry >= 0 && screen.reviewEntry < entries.size()) {
        entries.removeAt(screen.reviewEntry);
    }
    screen.reviewEntry = -1;
    if (!screen.review.isEmpty()) {
        screen.reviewEntry = static_cast<int>(entries.size());
        const bool tuned = screen.record->schedule().parameters().w != Fsrs::DefaultWeights;
        entries.append(Recording::reviewEntry(screen.review.size(), tuned));
    }
}

} // namespace

QString Recording::reviewEntry(qsizetype count, bool tuned)
{
    return QString::fromUtf16(ReviewTitle) +
           (tuned ? QStringLiteral("（%1問、このクラスに合わせた復習）")
                  : QStringLiteral("（%1問）"))
               .arg(count);
}

std::optional<Problem> Recording::findDue(MainScreen& screen, const QString& series,
                                          const QString& hash)
{
    if (series != QLatin1String(MarksFile::FileName)) {
        return screen.problemIndex.find(series, hash);
    }
    for (const Problem& m : screen.marks.problems()) {
        if (hash.startsWith(ProblemIds::asked(m) + QLatin1Char('-'))) {
            return m;
        }
    }
    return std::nullopt;
}

void Recording::startShowing(MainScreen& screen)
{
    screen.showing = Showing{screen.record ? screen.record->now() : 0, 0};
}

void Recording::recordCheck(MainScreen& screen, const Quiz::Check& check)
{
    if (!screen.record) {
        return;
    }
    // An answer counts at once; one that cannot be stored is kept and
    // stored with the next, and the learner is told once.
    const bool failingAlready = !screen.unsavedAnswers.isEmpty();
    const Answer answer = answerOnBoard(screen, check);
    screen.record->count(answer);
    screen.unsavedAnswers.append(answer);
    screen.changes.answers.append(answer);
    const QString failure = storeUnsaved(screen);
    if (!failure.isEmpty() && !failingAlready) {
        screen.tell(QStringLiteral("学習の記録「%1」に回答を書けませんでした。\n%2\n\n"
                                   "回答は覚えておき、次に回答したときにもう一度書きます。")
                        .arg(screen.record->name(), failure));
    }
}

void Recording::saveBeforeEnd(MainScreen& screen)
{
    if (!screen.record || screen.unsavedAnswers.isEmpty()) {
        return;
    }
    const qsizetype unsaved = screen.unsavedAnswers.size();
    if (const QString failure = storeUnsaved(screen); !failure.isEmpty()) {
        screen.tell(
            QStringLiteral("学習の記録「%1」に、まだ書けていない回答が%2件あります。\n%3\n\n"
                           "この回答は記録されずに終わります。")
                .arg(screen.record->name(), QString::number(unsaved), failure));
    }
}

void Recording::updateReview(MainScreen& screen)
{
    if (!screen.record) {
        return;
    }
    storeUnsaved(screen);
    tellFindings(screen, screen.record->refresh());
    if (const QString setAside = screen.record->newlySetAside(); !setAside.isEmpty()) {
        screen.tell(setAside);
    }
    screen.review.clear();
    const QList<ScheduledProblem> due = screen.record->schedule().dueBy(screen.record->now());
    for (const ScheduledProblem& p : due) {
        if (screen.review.size() == MaxReview) {
            break;
        }
        // Nor is one of a series hidden from the learner's class.
        if (screen.hiddenSeries.contains(p.series, Qt::CaseInsensitive)) {
            continue;
        }
        // A problem whose text has gone from its file is not asked again.
        if (std::optional<Problem> problem = findDue(screen, p.series, p.problemHash)) {
            screen.review.append({p.series, std::move(*problem)});
        }
    }
    setReviewEntry(screen);
}

void Recording::showOnList(MainScreen& screen)
{
    // Whose record it is and today's review show once it has been read.
    if (!screen.record || !screen.record->readAheadDone()) {
        return;
    }
    screen.learnerLine.setCaption(
        QStringLiteral("学習の記録：%1").arg(screen.record->learnerName()));
    screen.learnerLine.Left = screen.seriesList.Left;
    screen.progressButton.Left = screen.seriesList.Left;
    screen.learnerLine.Visible = true;
    screen.progressButton.Visible = true;
    updateReview(screen);
    Assigned::labelRows(screen);
}

void Recording::recordRead(MainScreen& screen)
{
    if (screen.screen() == Screen::SeriesList) {
        showOnList(screen);
    }
}

void Recording::showProgress(MainScreen& screen)
{
    if (!screen.record) {
        return;
    }
    tellFindings(screen, screen.record->refresh());
    QList<ScheduledProblem> present;
    for (const ScheduledProblem& p : screen.record->schedule().problems()) {
        if (screen.problemIndex.find(p.series, p.problemHash)) {
            present.append(p);
        }
    }
    QList<std::pair<QString, QString>> catalogue;
    for (int row = 1; row <= SeriesState::MaxCatalogEntries; ++row) {
        const auto& entry = screen.state.catalog.at(static_cast<std::size_t>(row));
        if (!entry[1].trimmed().isEmpty()) {
            catalogue.append({entry[1], entry[0]});
        }
    }
    Prompt prompt;
    prompt.kind = Prompt::Kind::Progress;
    prompt.progress = std::make_shared<const Progress>(makeProgress(
        screen.record->learnerName(), screen.record->answers(), screen.record->schedule(), present,
        catalogue, QDateTime::fromMSecsSinceEpoch(screen.record->now())));
    screen.prompts.append(prompt);
}

bool Recording::openReview(MainScreen& screen)
{
    SeriesState& st = screen.state;
    if (screen.review.isEmpty()) {
        return false;
    }
    st.problems[1] = {};
    int row = 0;
    for (const ReviewProblem& p : std::as_const(screen.review)) {
        ++row;
        st.problems.at(static_cast<std::size_t>(row)) = p.problem;
        st.seriesFile.at(static_cast<std::size_t>(row)) = p.series;
        st.marked.at(static_cast<std::size_t>(row)) = false;
    }
    return true;
}

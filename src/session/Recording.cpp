#include "session/Recording.h"

#include "record/LearnerRecord.h"
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
    const LearnerRecord& record = *screen.record;
    const Quiz& quiz = screen.quiz;
    const Problem& problem = screen.state.problems.at(static_cast<std::size_t>(screen.state.currentProblem));
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

QString recordName(const MainScreen& screen)
{
    return QDir::toNativeSeparators(QDir(screen.workDir).relativeFilePath(screen.record->path()));
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
    QStringList& items = screen.seriesList.Items;
    if (screen.reviewEntry >= 0 && screen.reviewEntry < items.size()) {
        items.removeAt(screen.reviewEntry);
    }
    screen.reviewEntry = -1;
    if (!screen.review.isEmpty()) {
        screen.reviewEntry = static_cast<int>(items.size());
        items.append(QStringLiteral("今日の復習（%1問）").arg(screen.review.size()));
    }
}

} // namespace

void Recording::startShowing(MainScreen& screen)
{
    screen.showing = Showing{screen.record ? screen.record->now() : 0, 0};
}

void Recording::recordCheck(MainScreen& screen, const Quiz::Check& check)
{
    if (!screen.record) {
        return;
    }
    const bool failingAlready = screen.record->unsaved() > 0;
    const QString failure = screen.record->add(answerOnBoard(screen, check));
    if (!failure.isEmpty() && !failingAlready) {
        screen.tell(QStringLiteral("学習の記録「%1」に回答を書けませんでした。\n%2\n\n"
                                   "回答は覚えておき、次に回答したときにもう一度書きます。")
                        .arg(recordName(screen), failure));
    }
}

void Recording::saveBeforeEnd(MainScreen& screen)
{
    if (!screen.record || screen.record->unsaved() == 0) {
        return;
    }
    const qsizetype unsaved = screen.record->unsaved();
    if (const QString failure = screen.record->flush(); !failure.isEmpty()) {
        screen.tell(
            QStringLiteral("学習の記録「%1」に、まだ書けていない回答が%2件あります。\n%3\n\n"
                           "この回答は記録されずに終わります。")
                .arg(recordName(screen), QString::number(unsaved), failure));
    }
}

void Recording::updateReview(MainScreen& screen)
{
    if (!screen.record) {
        return;
    }
    screen.record->flush();
    tellFindings(screen, screen.record->refresh());
    screen.review.clear();
    const QList<ScheduledProblem> due = screen.record->schedule().dueBy(screen.record->now());
    for (const ScheduledProblem& p : due) {
        if (screen.review.size() == MaxReview) {
            break;
        }
        // A problem whose text has gone from its file is not asked again.
        if (std::optional<Problem> problem = screen.problemIndex.find(p.series, p.problemHash)) {
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
    screen.learnerLine.setCaption(QStringLiteral("学習の記録：%1").arg(screen.record->learnerName()));
    screen.learnerLine.Left = screen.seriesList.Left;
    screen.progressButton.Left = screen.seriesList.Left;
    screen.learnerLine.Visible = true;
    screen.progressButton.Visible = true;
    updateReview(screen);
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
    prompt.progress = std::make_shared<const Progress>(
        makeProgress(screen.record->learnerName(), screen.record->answers(), present, catalogue,
                     QDateTime::fromMSecsSinceEpoch(screen.record->now())));
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

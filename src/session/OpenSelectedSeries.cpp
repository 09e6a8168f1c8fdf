#include "session/OpenSelectedSeries.h"

#include "files/TextFile.h"
#include "record/Statements.h"
#include "series/SeriesLoader.h"
#include "session/MainScreen.h"
#include "session/MarksMessages.h"

namespace
{

// Lists what was left out; a long list is cut so that the message box still
// fits on the screen.
QString faultList(const QStringList& faults)
{
    constexpr qsizetype Shown = 15;
    if (faults.size() <= Shown) {
        return faults.join(QLatin1Char('\n'));
    }
    return faults.mid(0, Shown).join(QLatin1Char('\n')) +
           QStringLiteral("\nほか%1問").arg(faults.size() - Shown);
}

// Leaves the list screen for problem 1 of the series just read from
// `source`.
void finish(MainScreen& screen, const QString& title, int problemCount, SessionValue::Source source)
{
    SeriesState& st = screen.state;
    st.currentProblem = 1;
    st.problemCount = problemCount;
    screen.source = source;
    screen.openedEntry = screen.seriesList.ListIndex;
    screen.openedTextHash = screen.textHashOfRows();
    screen.openedRows.clear();
    if (source == SessionValue::Source::Review) {
        for (int row = 1; row <= problemCount; ++row) {
            const QString& series = st.seriesFile.at(row);
            screen.openedRows.append(
                {series, screen.problemIndex.keyOf(series, st.problems.at(row))});
        }
    }
    ShowSeriesOpened(screen, title);
    screen.showProblem(1);
}

void openMarkedSeries(MainScreen& screen)
{
    SeriesState& st = screen.state;
    const int k = ReadMarksFile(screen);
    if (SeriesParser::trimBlanks(st.problems[1].fullQuestion()).isEmpty()) {
        screen.tell(QStringLiteral("マークの付いた問題は登録されていません"));
        st.markedSeries = false;
        return;
    }
    st.seriesFile.fill(QString());
    finish(screen, st.catalog[0][0], k, SessionValue::Source::Marked);
    st.markedSeries = true;
}

// What the file holds that the program leaves out, a line each.
QStringList leftOutLines(const SeriesLoader::Series& series)
{
    QStringList faults;
    for (const Finding& f : series.leftOut) {
        faults.append(QStringLiteral("%1行目の問題: %2").arg(QString::number(f.line), f.message));
    }
    for (const Finding& f : series.warnings) {
        if (f.kind == Finding::Kind::Error) {
            faults.append(QStringLiteral("%1行目: %2").arg(QString::number(f.line), f.message));
        }
    }
    return faults;
}

// What the learner is told once a series is open: problems left out, and
// problems beyond what one series holds.
QStringList notesAfterLoading(const SeriesLoader::Series& series, const QStringList& faults,
                              int loaded)
{
    QStringList notes;
    if (!faults.isEmpty()) {
        notes.append(
            QStringLiteral("次の問題は表示できないため除きました。\n%1").arg(faultList(faults)));
    }
    if (series.usable.size() > loaded) {
        notes.append(QStringLiteral("1つの問題集に入れられるのは%1問までです。最初の%1問を"
                                    "読み込み、残りの%2問は読み込みませんでした。")
                         .arg(QString::number(SeriesState::MaxProblems),
                              QString::number(series.usable.size() - loaded)));
    }
    return notes;
}

void openSeriesFile(MainScreen& screen, int idx)
{
    SeriesState& st = screen.state;
    const auto& entry = st.catalog.at(static_cast<std::size_t>(idx));
    const QString name = entry[1];
    if (name.trimmed().isEmpty()) {
        screen.tell(QStringLiteral("問題集「%1」のファイル名が、一覧ファイル「ZQCList.TXT」に"
                                   "書かれていません。")
                        .arg(entry[0]));
        return;
    }
    const SeriesLoader::Series series = SeriesLoader::load(screen.pathOf(name));
    if (series.status != TextFile::ReadResult::Status::Ok) {
        screen.tell(
            MarksMessages::seriesReadFailure(series.status, name, series.error, screen.workDir));
        return;
    }
    if (series.empty) {
        screen.tell(QStringLiteral("問題集のファイル「%1」は空です。").arg(name));
        return;
    }
    if (series.noProblem) {
        screen.tell(QStringLiteral("問題集のファイル「%1」には問題がありません。\n"
                                   "問題は「問題」または「設問」で始まる行から書きます。")
                        .arg(name));
        return;
    }
    const QStringList faults = leftOutLines(series);
    if (!series.loads()) {
        screen.tell(QStringLiteral("問題集のファイル「%1」には表示できる問題がありません。\n\n%2")
                        .arg(name, faultList(faults)));
        return;
    }

    screen.quiz.forgetChecks();
    st.problems[1] = {};
    st.markedSeries = false;
    const int loaded = SeriesLoader::placeProblems(st, series);
    st.seriesFile.fill(name);
    finish(screen, entry[0], loaded, SessionValue::Source::Series);

    const QStringList notes = notesAfterLoading(series, faults, loaded);
    if (!notes.isEmpty()) {
        screen.tell(QStringLiteral("問題集のファイル「%1」について:\n\n%2")
                        .arg(name, notes.join(QStringLiteral("\n\n"))));
    }
}

// Today's review: the problems due now, most overdue first.
void openReview(MainScreen& screen)
{
    screen.quiz.forgetChecks();
    if (!Recording::openReview(screen)) {
        return;
    }
    screen.state.markedSeries = false;
    finish(screen, QString::fromUtf16(Recording::ReviewTitle),
           static_cast<int>(screen.review.size()), SessionValue::Source::Review);
}

} // namespace

void OpenSelectedSeries(MainScreen& screen)
{
    const int idx = screen.seriesList.ListIndex;
    if (idx >= 0 && idx == screen.reviewEntry) {
        openReview(screen);
        return;
    }
    if (idx < 0 || idx >= screen.seriesList.Entries.size() || idx >= SeriesState::CatalogRows) {
        return;
    }
    if (idx == 0) {
        screen.quiz.forgetChecks();
        screen.state.problems[1] = {};
        openMarkedSeries(screen);
    } else {
        openSeriesFile(screen, idx);
    }
}

void ShowSeriesOpened(MainScreen& screen, const QString& title)
{
    screen.titlePicture.Visible = false;
    screen.seriesList.Visible = false;
    screen.learnerLine.Visible = false;
    screen.progressButton.Visible = false;
    screen.Caption = QString::fromUtf16(MainScreen::DesignCaption) + QStringLiteral(" < ") + title +
                     QStringLiteral(" >");
    screen.instructionLine.setCaption(QString::fromUtf16(MainScreen::DragPrompt));
}

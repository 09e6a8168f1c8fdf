#include "session/MainScreen.h"

#include "record/ProblemId.h"
#include "record/Statements.h"
#include "series/SeriesLoader.h"
#include "session/Commands.h"
#include "session/OpenSelectedSeries.h"
#include "session/ShowProblem.h"

#include <QCryptographicHash>

#include <algorithm>

namespace
{

// Controls by their place in a value: the six result buttons, the two arrows.
template <std::size_t N> std::array<bool, N> shown(const std::array<Control, N>& controls)
{
    std::array<bool, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        out.at(i) = controls.at(i).Visible;
    }
    return out;
}

template <std::size_t N>
void show(std::array<Control, N>& controls, const std::array<bool, N>& visible)
{
    for (std::size_t i = 0; i < N; ++i) {
        controls.at(i).Visible = visible.at(i);
    }
}

} // namespace

QString MainScreen::textHashOfRows() const
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int row = 1; row <= state.problemCount && row < SeriesState::SeriesRows; ++row) {
        for (const QString& line : Problems::record(state.problems.at(row))) {
            hash.addData(line.toUtf8());
            hash.addData(QByteArrayView("\n"));
        }
    }
    return QString::fromLatin1(hash.result().toHex().left(32));
}

int MainScreen::followSavedSeries(int row)
{
    if (source != SessionValue::Source::Series || state.problemCount < 1) {
        return row;
    }
    const SeriesLoader::Series series = SeriesLoader::load(pathOf(state.seriesFile.at(1)));
    if (!series.loads()) {
        return row;
    }
    const QList<Problem> before = rowsShown();
    const std::array<bool, SeriesState::SeriesRows> marked = state.marked;
    const int count = SeriesLoader::placeProblems(state, series);
    if (textHashOfRows() == openedTextHash && count == state.problemCount) {
        return row;
    }
    // Rows go by the record's keys: a problem reworded keeps its key, one
    // that asks something else is new.
    const QStringList was = ProblemIds::keysOf(before);
    const QStringList now = ProblemIds::keysOf(series.usable.mid(0, count));
    for (int r = 1; r < SeriesState::SeriesRows; ++r) {
        const qsizetype old = r <= count ? was.indexOf(now.at(r - 1)) : -1;
        state.marked.at(r) = old >= 0 && marked.at(old + 1);
    }
    for (int r = count + 1; r <= state.problemCount; ++r) {
        state.problems.at(r) = {};
    }
    state.problemCount = count;
    openedTextHash = textHashOfRows();
    const qsizetype at = row >= 1 && row <= was.size() ? now.indexOf(was.at(row - 1)) : -1;
    return at >= 0 ? static_cast<int>(at) + 1 : std::clamp(row, 1, count);
}

SessionValue MainScreen::value() const
{
    SessionValue v;
    v.screen = screen();
    if (openQuestion) {
        v.question = openQuestion->question;
        v.questionText = openQuestion->text;
    }
    v.unsaved = unsavedAnswers;
    v.stayTakesMarkBack = stayTakesMarkBack;
    if (v.screen == Screen::SeriesList) {
        return v;
    }
    v.source = source;
    v.entry = openedEntry;
    v.file = source == SessionValue::Source::Series ? state.seriesFile.at(1) : QString();
    v.textHash = openedTextHash;
    v.rows = openedRows;
    if (source == SessionValue::Source::Series) {
        v.keys = keysShown();
    }
    for (int row = 1; row <= state.problemCount && row < SeriesState::SeriesRows; ++row) {
        v.marked.push_back(state.marked.at(row));
    }
    v.currentProblem = state.currentProblem;
    v.problemCount = state.problemCount;
    v.markPending = state.markPending;
    v.markOffered = markOffered;
    v.quiz = quiz.state();
    for (int i = 0; i < quiz.terms(); ++i) {
        const Control& t = terms.at(i);
        v.terms.append({t.Left, t.Top, t.BackColor});
    }
    v.resultShown = resultPanel.Visible;
    v.resultMessage = resultMessage.Caption();
    v.resultMessageShown = resultMessage.Visible;
    v.resultButtons = shown(resultButtons);
    v.arrows = shown(arrows);
    v.explanation = explanationPanel.Visible;
    v.carry = carry;
    v.showing = showing;
    return v;
}

// The problems of the series the value names, into the table as opening
// it put them there; false when they are gone or no longer the same.
bool MainScreen::restoreSeries(const SessionValue& v)
{
    SeriesState& st = state;
    st.problems[1] = {};
    st.markedSeries = v.source == SessionValue::Source::Marked;
    switch (v.source) {
    case SessionValue::Source::Series: {
        const bool listed = v.entry > 0 && v.entry < SeriesState::CatalogRows &&
                            st.catalog.at(v.entry)[1] == v.file;
        const SeriesLoader::Series series = SeriesLoader::load(pathOf(v.file));
        if (!listed || !series.loads()) {
            return false;
        }
        st.problemCount = SeriesLoader::placeProblems(st, series);
        st.seriesFile.fill(v.file);
        break;
    }
    case SessionValue::Source::Marked: {
        QList<MarksFinding> told; // told when the series was first opened
        st.problemCount = std::max(0, marks.read(st, &told));
        st.seriesFile.fill(QString());
        break;
    }
    case SessionValue::Source::Review:
        st.problemCount = 0;
        for (const SessionValue::ProblemRef& ref : v.rows) {
            std::optional<Problem> p = Recording::findDue(*this, ref.series, ref.hash);
            if (!p || st.problemCount + 1 >= SeriesState::SeriesRows) {
                return false;
            }
            ++st.problemCount;
            st.problems.at(st.problemCount) = std::move(*p);
            st.seriesFile.at(st.problemCount) = ref.series;
        }
        break;
    case SessionValue::Source::None:
        return false;
    }
    return st.problemCount == v.problemCount && v.currentProblem >= 1 &&
           v.currentProblem <= v.problemCount &&
           static_cast<int>(v.marked.size()) == v.problemCount && textHashOfRows() == v.textHash;
}

QList<Problem> MainScreen::rowsShown() const
{
    QList<Problem> rows;
    for (int row = 1; row <= state.problemCount && row < SeriesState::SeriesRows; ++row) {
        rows.append(state.problems.at(row));
    }
    return rows;
}

QStringList MainScreen::keysShown() const
{
    QList<Problem> rows = rowsShown();
    const auto asks = [](const Problem& a, const Problem& b) {
        return a.terms == b.terms && a.groups == b.groups && a.groupOfTerm == b.groupOfTerm;
    };
    if (rows.size() != keyedRows_.size() ||
        !std::equal(rows.cbegin(), rows.cend(), keyedRows_.cbegin(), asks)) {
        keys_ = ProblemIds::keysOf(rows);
        keyedRows_ = std::move(rows);
    }
    return keys_;
}

// The series as it reads now against what each problem asked when the
// value was taken: each mark goes with its problem, and the row where the
// problem shown is now; 0 when no problem asks what it asked, -1 when the
// value is older than the keys and cannot tell.
int MainScreen::followKeys(const SessionValue& v)
{
    const qsizetype count = v.problemCount;
    if (v.keys.size() != count || static_cast<qsizetype>(v.marked.size()) != count ||
        v.currentProblem < 1 || v.currentProblem > count) {
        return -1;
    }
    const QStringList now = ProblemIds::keysOf(rowsShown());
    for (int row = 1; row <= state.problemCount; ++row) {
        const qsizetype was = v.keys.indexOf(now.at(row - 1));
        state.marked.at(row) = was >= 0 && v.marked.at(static_cast<std::size_t>(was));
    }
    return static_cast<int>(now.indexOf(v.keys.at(v.currentProblem - 1))) + 1;
}

// The series was saved since the value was taken. A problem that still asks
// what it asked (only its wording changed) keeps its board, wherever it is
// now; one that asks something else is shown anew, and the learner told
// why, as the board of its old terms is never laid over the new ones.
bool MainScreen::continueSavedSeries(const SessionValue& v)
{
    if (v.source != SessionValue::Source::Series || state.problemCount < 1 ||
        state.seriesFile.at(1) != v.file) {
        return false;
    }
    const int row = followKeys(v);
    if (row > 0) {
        continueAt(v, row);
        return true;
    }
    for (int r = 1; row < 0 && r <= state.problemCount; ++r) {
        state.marked.at(r) =
            r <= static_cast<int>(v.marked.size()) && v.marked.at(static_cast<std::size_t>(r - 1));
    }
    state.currentProblem = std::clamp(v.currentProblem, 1, state.problemCount);
    source = v.source;
    openedEntry = v.entry;
    openedTextHash = textHashOfRows();
    ShowSeriesOpened(*this, state.catalog.at(v.entry)[0]);
    showProblem(static_cast<qint16>(state.currentProblem));
    tell(row < 0 ? QStringLiteral("問題集が書き換えられたため、この問題を初めから表示します。")
                 : QStringLiteral("先生が問題を直したため、この問題を最初からやり直します。"));
    return true;
}

// The value's screen on `row` of the problems in the table.
void MainScreen::continueAt(const SessionValue& v, int row)
{
    state.currentProblem = row;
    state.markPending = v.markPending;
    source = v.source;
    openedEntry = v.entry;
    openedTextHash = textHashOfRows();
    openedRows = v.rows;
    const QString title =
        v.source == SessionValue::Source::Review
            ? QString::fromUtf16(Recording::ReviewTitle)
            : state.catalog.at(v.source == SessionValue::Source::Marked ? 0 : v.entry)[0];
    ShowSeriesOpened(*this, title);
    ShowProblem(*this, static_cast<qint16>(row));
    restoreBoard(v);
    // A problem now at another place: its arrows are the place's.
    if (row != v.currentProblem && arrows[Arrow::Next].Visible) {
        arrows[Arrow::Previous].Visible = row > 1;
    }
}

void MainScreen::restoreBoard(const SessionValue& v)
{
    quiz.restore(v.quiz);
    for (int i = 0; i < quiz.terms() && i < v.terms.size(); ++i) {
        Control& t = terms.at(i);
        t.Left = v.terms.at(i).left;
        t.Top = v.terms.at(i).top;
        t.BackColor = v.terms.at(i).back;
    }
    OfferMark(*this, v.markOffered);
    resultPanel.Visible = v.resultShown;
    resultMessage.setCaption(v.resultMessage);
    resultMessage.Visible = v.resultMessageShown;
    show(resultButtons, v.resultButtons);
    show(arrows, v.arrows);
    explanationPanel.Visible = v.explanation;
    if (v.explanation) {
        explanationText.Text = state.problems.at(state.currentProblem).explanation;
    }
    carry = v.carry;
    showing = v.showing;
}

bool MainScreen::restore(const SessionValue& v)
{
    unsavedAnswers = v.unsaved;
    stayTakesMarkBack = v.stayTakesMarkBack;
    if (v.question) {
        // Still waiting for its answer: asked again.
        ask(*v.question, v.questionText,
            v.question == Question::Quit ? Dialogs::Icon::Exclamation : Dialogs::Icon::Critical);
    }
    if (v.screen == Screen::SeriesList) {
        return true;
    }
    if (!restoreSeries(v)) {
        if (continueSavedSeries(v)) {
            return true;
        }
        state.problemCount = 0;
        state.markedSeries = false;
        tell(QStringLiteral("開いていた問題集が変わったか、なくなったため、続きから始められません。"
                            "一覧から開き直してください。"));
        return false;
    }
    for (int row = 1; row <= v.problemCount; ++row) {
        state.marked.at(row) = v.marked.at(static_cast<std::size_t>(row - 1));
    }
    continueAt(v, v.currentProblem);
    return true;
}

#include "server/LearnerScreen.h"

#include "server/ScreenJson.h"
#include "server/Store.h"
#include "marks/MarksFile.h"
#include "session/ItemKeys.h"
#include "session/SoundCues.h"
#include "record/Statements.h"
#include "series/SeriesParser.h"

#include <QDateTime>
#include <QJsonArray>

#include <algorithm>

using Requests::Button;

void CuePlayers::open(SoundCue cue, const QString& fileName)
{
    fileNames.at(static_cast<std::size_t>(cue)) = fileName;
}

LearnerScreen::LearnerScreen(QString learner, const QString& workDir, const TextMeasure& measure,
                             Store& store)
    : learner_(std::move(learner)), store_(store),
      screen_(state_, measure, players_, dialogs_, workDir)
{
    screen_.load();
}

void LearnerScreen::newShowing()
{
    attempt_ = 0;
    shownAtMs_ = QDateTime::currentMSecsSinceEpoch();
}

void LearnerScreen::setReview(QList<ReviewProblem> due)
{
    if (screen_.screen() != Screen::SeriesList) {
        return;
    }
    QStringList& items = screen_.seriesList.Items;
    if (screen_.reviewEntry >= 0 && screen_.reviewEntry < items.size()) {
        items.removeAt(screen_.reviewEntry);
    }
    screen_.review = std::move(due);
    screen_.reviewEntry = -1;
    if (!screen_.review.isEmpty()) {
        screen_.reviewEntry = static_cast<int>(items.size());
        items.append(ScreenJson::reviewTitle(static_cast<int>(screen_.review.size())));
    }
}

// A marked problem counts as one of its series while a catalogue file still
// holds its text, as on the desktop; else as one of the marks.
QString LearnerScreen::seriesOfMarked(const Problem& problem)
{
    QStringList files;
    for (int row = 1; row <= SeriesState::MaxCatalogEntries; ++row) {
        const QString& file = state_.catalog.at(static_cast<std::size_t>(row))[1];
        if (!file.trimmed().isEmpty()) {
            files.append(file);
        }
    }
    const QString series = screen_.problemIndex.seriesOf(problem, files);
    return series.isEmpty() ? state_.catalog[0][1] : series;
}

// The marked series comes from the store, not from the folder's marks
// file; the rest is the desktop's opening of a series.
void LearnerScreen::openMarks()
{
    screen_.quiz.forgetChecks();
    state_.problems[1] = {};
    markPositions_.clear();
    int row = 0;
    for (const Store::Mark& m : store_.marks(learner_)) {
        if (row == SeriesState::MaxProblems) {
            break;
        }
        Problem p = Problems::fromRecord(m.record);
        if (SeriesParser::trimBlanks(p.fullQuestion()).isEmpty()) {
            continue;
        }
        ++row;
        state_.seriesFile.at(row) = seriesOfMarked(p);
        state_.problems.at(row) = std::move(p);
        state_.marked.at(row) = true;
        markPositions_.append(m.position);
    }
    if (row == 0) {
        screen_.tell(QStringLiteral("マークの付いた問題は登録されていません"));
        return;
    }
    state_.markedSeries = true;
    screen_.titlePicture.Visible = false;
    screen_.seriesList.Visible = false;
    screen_.Caption = QString::fromUtf16(MainScreen::DesignCaption) + QStringLiteral(" < ") +
                      state_.catalog[0][0] + QStringLiteral(" >");
    state_.currentProblem = 1;
    state_.problemCount = row;
    screen_.showProblem(1);
    screen_.instructionLine.setCaption(QString::fromUtf16(MainScreen::DragPrompt));
    newShowing();
}

std::optional<LearnerScreen::Refusal> LearnerScreen::open(int entry)
{
    if (screen_.screen() != Screen::SeriesList) {
        return Refusal{409, QStringLiteral("問題集は一覧の画面から開きます")};
    }
    if (entry >= screen_.seriesList.Items.size()) {
        return Refusal{400, QStringLiteral("その番号の問題集はありません")};
    }
    if (entry == 0) {
        openMarks();
    } else {
        // The catalogue's series and today's review, as the desktop opens them.
        screen_.seriesList.ListIndex = entry;
        screen_.seriesListDoubleClicked();
        newShowing();
    }
    return std::nullopt;
}

std::optional<LearnerScreen::Refusal> LearnerScreen::move(const Requests::Move& m)
{
    if (screen_.screen() != Screen::Problem || !screen_.quiz.open()) {
        return Refusal{409, QStringLiteral("いまは項目を動かせません")};
    }
    if (m.term >= screen_.quiz.terms() || m.frame >= screen_.quiz.frames()) {
        return Refusal{400, QStringLiteral("その番号の項目や枠はありません")};
    }
    if (m.frame >= 0) {
        ItemKeyDrop(screen_, m.term, m.frame);
    } else {
        // A drag, as the window's mouse events make it: press, move by the
        // offset to the place let go, release.
        const Control& label = screen_.terms.at(m.term);
        screen_.termMouseDown(m.term, 1, 0, 0.0F, 0.0F);
        screen_.termMouseMove(m.term, 1, 0, m.left - label.Left, m.top - label.Top);
        screen_.termMouseUp(m.term, 1, 0, m.left - label.Left, m.top - label.Top);
    }
    if (screen_.quiz.allPlaced()) {
        noteCheck();
    }
    return std::nullopt;
}

// Every move that leaves every term placed was checked by the quiz: the
// check's findings are the placement itself.
void LearnerScreen::noteCheck()
{
    const int current = std::clamp(state_.currentProblem, 0, SeriesState::SeriesRows - 1);
    Checked c;
    c.problem = state_.problems.at(current);
    c.series = state_.seriesFile.at(current);
    for (int i = 0; i < screen_.quiz.terms(); ++i) {
        c.correct.append(screen_.quiz.answerOf(i) + 1);
        c.placed.append(screen_.quiz.frameOf(i) + 1);
        c.right += screen_.quiz.answerOf(i) == screen_.quiz.frameOf(i) ? 1 : 0;
    }
    c.frames = screen_.quiz.frames();
    c.attempt = ++attempt_;
    c.durationMs = QDateTime::currentMSecsSinceEpoch() - shownAtMs_;
    checked_ = std::move(c);
}

bool LearnerScreen::mayPress(Button button) const
{
    const Screen now = screen_.screen();
    const auto shown = [](const Control& c) { return c.Visible; };
    switch (button) {
    case Button::Next:
    case Button::Retry:
    case Button::ToList:
    case Button::Previous:
    case Button::Explanation:
    case Button::Mark:
        return now == Screen::Result &&
               shown(screen_.resultButtons.at(static_cast<std::size_t>(button)));
    case Button::ArrowNext:
        return now == Screen::Problem && shown(screen_.arrows[Arrow::Next]);
    case Button::ArrowPrevious:
        return now == Screen::Problem && shown(screen_.arrows[Arrow::Previous]);
    case Button::Quit:
        return now != Screen::SeriesList;
    case Button::ExplanationBack:
        return now == Screen::Explanation;
    }
    return false;
}

std::optional<LearnerScreen::Refusal> LearnerScreen::press(Button button)
{
    if (!mayPress(button)) {
        return Refusal{409, QStringLiteral("いまはそのボタンを押せません")};
    }
    const int before = state_.currentProblem;
    switch (button) {
    case Button::Mark:
        screen_.resultButtonClicked(ResultButton::Mark);
        return std::nullopt;
    case Button::ToList:
    case Button::Quit:
        // Leaving: the marks go to the store first, so that the desktop's
        // handlers find nothing left to write to the folder's marks file.
        storePendingMark();
        storeUnmarks();
        button == Button::Quit ? screen_.quitClicked()
                               : screen_.resultButtonClicked(ResultButton::ToList);
        return std::nullopt;
    case Button::ArrowNext:
    case Button::ArrowPrevious:
        screen_.arrowClicked(button == Button::ArrowNext ? Arrow::Next : Arrow::Previous);
        break;
    case Button::ExplanationBack:
        screen_.explanationBackClicked();
        return std::nullopt;
    default:
        storePendingMark();
        screen_.resultButtonClicked(static_cast<int>(button));
        break;
    }
    const bool reshown = button == Button::Retry || state_.currentProblem != before;
    if (reshown && screen_.screen() == Screen::Problem) {
        newShowing();
    }
    return std::nullopt;
}

void LearnerScreen::storePendingMark()
{
    if (state_.markedSeries || !state_.markPending) {
        return;
    }
    state_.markPending = false;
    const QString failed =
        store_.appendMark(learner_, MarksFile::rowRecord(state_, state_.currentProblem));
    if (!failed.isEmpty()) {
        screen_.tell(failed);
    }
}

void LearnerScreen::storeUnmarks()
{
    if (!state_.markedSeries) {
        return;
    }
    QList<qint64> gone;
    for (int r = 1; r <= state_.problemCount && r <= markPositions_.size(); ++r) {
        if (!state_.marked.at(r)) {
            gone.append(markPositions_.at(r - 1));
        }
    }
    state_.markedSeries = false;
    state_.markPending = false;
    markPositions_.clear();
    if (!gone.isEmpty()) {
        if (const QString failed = store_.removeMarks(learner_, gone); !failed.isEmpty()) {
            screen_.tell(failed);
        }
    }
}

void LearnerScreen::leave()
{
    if (screen_.screen() != Screen::SeriesList) {
        storePendingMark();
        storeUnmarks();
    }
}

QJsonObject LearnerScreen::state()
{
    QJsonObject out = ScreenJson::of(screen_);
    if (players_.played) {
        out.insert(QStringLiteral("sound"), ScreenJson::cueName(*players_.played));
    }
    players_.played.reset();
    QStringList notices = std::exchange(notices_, {});
    for (const Prompt& p : std::exchange(screen_.prompts, {})) {
        if (p.kind == Prompt::Kind::Message) {
            notices.append(p.text);
        }
    }
    notices += std::exchange(dialogs_.messages, {});
    out.insert(QStringLiteral("notices"), QJsonArray::fromStringList(notices));
    return out;
}

#include "server/LearnerScreen.h"

#include "server/ScreenJson.h"
#include "server/Store.h"
#include "marks/MarksFile.h"
#include "session/ItemKeys.h"
#include "session/SoundCues.h"
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

// The desktop finishes opening a series this way; the marked series and the
// review come from the store, not from a file.
void LearnerScreen::openProblems(const QList<SourcedProblem>& problems, const QString& title,
                                 bool marked)
{
    screen_.quiz.forgetChecks();
    const int count = static_cast<int>(std::min<qsizetype>(problems.size(), SeriesState::MaxProblems));
    seriesOf_.clear();
    for (int r = 1; r <= count; ++r) {
        state_.problems.at(r) = problems.at(r - 1).problem;
        state_.marked.at(r) = marked;
        seriesOf_.append(problems.at(r - 1).series);
    }
    state_.markedSeries = marked;
    screen_.titlePicture.Visible = false;
    screen_.seriesList.Visible = false;
    screen_.Caption = QString::fromUtf16(MainScreen::DesignCaption) + QStringLiteral(" < ") + title +
                      QStringLiteral(" >");
    state_.currentProblem = 1;
    state_.problemCount = count;
    screen_.showProblem(1);
    screen_.instructionLine.setCaption(QString::fromUtf16(MainScreen::DragPrompt));
    newShowing();
}

void LearnerScreen::openMarks()
{
    const QList<Store::Mark> marks = store_.marks(learner_);
    QList<SourcedProblem> problems;
    markPositions_.clear();
    for (const Store::Mark& m : marks) {
        if (problems.size() == SeriesState::MaxProblems) {
            break;
        }
        Problem p = Problems::fromRecord(m.record);
        if (SeriesParser::trimBlanks(p.fullQuestion()).isEmpty()) {
            continue;
        }
        // A marked record does not say which series it came from: its
        // answers are recorded under the marks file's name.
        problems.append({std::move(p), QString::fromLatin1(MarksFile::FileName)});
        markPositions_.append(m.position);
    }
    if (problems.isEmpty()) {
        screen_.tell(QStringLiteral("マークの付いた問題は登録されていません"));
        return;
    }
    openProblems(problems, state_.catalog[0][0], true);
}

std::optional<LearnerScreen::Refusal> LearnerScreen::open(int entry)
{
    if (screen_.screen() != Screen::SeriesList) {
        return Refusal{409, QStringLiteral("問題集は一覧の画面から開きます")};
    }
    const int listed = static_cast<int>(screen_.seriesList.Items.size());
    if (entry == 0) {
        openMarks();
    } else if (entry < listed) {
        screen_.seriesList.ListIndex = entry;
        screen_.seriesListDoubleClicked();
        state_.markedSeries = false;
        seriesOf_ = QStringList(SeriesState::MaxProblems, state_.catalog.at(entry)[1]);
        newShowing();
    } else if (entry == listed && !review_.isEmpty()) {
        openProblems(review_, ScreenJson::reviewTitle(static_cast<int>(review_.size())), false);
    } else {
        return Refusal{400, QStringLiteral("その番号の問題集はありません")};
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
    c.series = seriesOf_.value(current - 1);
    for (int i = 0; i < screen_.quiz.terms(); ++i) {
        c.correct.append(screen_.quiz.answerOf(i) + 1);
        c.placed.append(screen_.quiz.frameOf(i) + 1);
        c.right += screen_.quiz.answerOf(i) == screen_.quiz.frameOf(i) ? 1 : 0;
    }
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
    QJsonObject out = ScreenJson::of(screen_, review_.size());
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

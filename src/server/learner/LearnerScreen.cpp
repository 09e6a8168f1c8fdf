#include "server/learner/LearnerScreen.h"

#include "session/OpenSelectedSeries.h"
#include "session/ScreenJson.h"

#include <QJsonArray>
#include <QJsonDocument>

using Requests::Button;

LearnerScreen::LearnerScreen(QString learner, const QString& workDir, const QString& homePage,
                             const TextMeasure& measure, Store& store, const QByteArray& value)
    : learner_(std::move(learner)),
      answers_(std::make_unique<StoreAnswers>(store, learner_, workDir, homePage)),
      marks_(std::make_unique<StoreMarks>(store, learner_)),
      screen_(state_, measure, players_, dialogs_, workDir, marks_.get())
{
    screen_.record = answers_.get();
    const Outcome started = screen_.start();
    if (value.isEmpty()) {
        take(started);
        return;
    }
    // What starting tells was told when the session began.
    dialogs_.messages.clear();
    screen_.prompts.clear();
    QString why;
    const std::optional<SessionValue> v =
        SessionValue::fromJson(QJsonDocument::fromJson(value).object(), &why);
    if (!v) {
        dialogs_.messages.append(
            QStringLiteral("続きを読めないため、一覧から始めます（%1）").arg(why));
        return;
    }
    screen_.restore(*v);
    // What restoring tells (a problem changed since) goes with the next
    // state the page is given.
    left_.prompts = std::exchange(screen_.prompts, {});
}

LearnerScreen::LearnerScreen(const QString& workDir, const TextMeasure& measure)
    : learner_(QStringLiteral("プレビュー")),
      screen_(state_, measure, players_, dialogs_, workDir, &noMarks_)
{
    // No record: the screen keeps no answer when it has none to keep them in.
    screen_.start();
    dialogs_.messages.clear();
    screen_.prompts.clear();
}

void LearnerScreen::showOnly(const Problem& problem, const QString& title)
{
    screen_.quiz.forgetChecks();
    state_.markedSeries = false;
    state_.problems[1] = problem;
    state_.seriesFile.fill(QString());
    state_.problemCount = 1;
    state_.currentProblem = 1;
    ShowSeriesOpened(screen_, title);
    screen_.showProblem(1);
    left_ = {};
}

void LearnerScreen::use(Store& store)
{
    if (answers_) {
        answers_->use(store);
        marks_->use(store);
    }
}

std::optional<LearnerScreen::Refusal> LearnerScreen::act(const Requests::Command& c)
{
    switch (c.kind) {
    case Requests::Kind::Open:
        return open(c.entry);
    case Requests::Kind::Move:
        return move(c.move);
    case Requests::Kind::Press:
        return press(c.button);
    case Requests::Kind::Carry:
        return carry(c);
    case Requests::Kind::SignIn:
        break;
    }
    return Refusal{400, QStringLiteral("この要求は使えません")};
}

QByteArray LearnerScreen::value() const
{
    return QJsonDocument(screen_.value().toJson()).toJson(QJsonDocument::Compact);
}

// What a verb left is kept until the page takes it; a later verb's focus
// and sound replace an earlier one's.
void LearnerScreen::take(Outcome outcome)
{
    left_.prompts += outcome.prompts;
    if (outcome.sound) {
        left_.sound = outcome.sound;
    }
    if (outcome.focus != nullptr) {
        left_.focus = outcome.focus;
    }
    left_.answers += outcome.answers;
}

std::optional<LearnerScreen::Refusal> LearnerScreen::open(int entry)
{
    if (screen_.screen() != Screen::SeriesList) {
        return Refusal{409, QStringLiteral("問題集は一覧の画面から開きます")};
    }
    if (entry >= screen_.seriesList.Items.size()) {
        return Refusal{400, QStringLiteral("その番号の問題集はありません")};
    }
    take(screen_.openEntry(entry));
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
    // A term put back into the frame it lies in changes nothing, and is
    // not checked again.
    if (m.frame >= 0 && screen_.quiz.frameOf(m.term) == m.frame && screen_.quiz.allPlaced()) {
        return std::nullopt;
    }
    take(m.frame >= 0 ? screen_.place(m.term, m.frame) : screen_.dropAt(m.term, m.left, m.top));
    return std::nullopt;
}

std::optional<LearnerScreen::Refusal> LearnerScreen::carry(const Requests::Command& c)
{
    if (screen_.screen() != Screen::Problem || !screen_.quiz.open()) {
        return Refusal{409, QStringLiteral("いまは項目を動かせません")};
    }
    using Requests::Carry;
    switch (c.carry) {
    case Carry::PickUp:
    case Carry::Toggle:
        if (c.move.term >= screen_.quiz.terms()) {
            return Refusal{400, QStringLiteral("その番号の項目はありません")};
        }
        take(c.carry == Carry::PickUp ? screen_.pickUp(c.move.term)
                                      : screen_.pickUpOrPutDown(c.move.term));
        break;
    case Carry::Left:
        take(screen_.carryOn(Direction::Left));
        break;
    case Carry::Right:
        take(screen_.carryOn(Direction::Right));
        break;
    case Carry::Up:
        take(screen_.carryOn(Direction::Up));
        break;
    case Carry::Down:
        take(screen_.carryOn(Direction::Down));
        break;
    case Carry::PutDown:
        take(screen_.putDown());
        break;
    case Carry::PutBack:
        take(screen_.putBack());
        break;
    }
    return std::nullopt;
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
    switch (button) {
    case Button::ArrowNext:
        take(screen_.pressArrow(Arrow::Next));
        break;
    case Button::ArrowPrevious:
        take(screen_.pressArrow(Arrow::Previous));
        break;
    case Button::Quit:
        take(screen_.leave());
        break;
    case Button::ExplanationBack:
        take(screen_.closeExplanation());
        break;
    default:
        take(screen_.pressResult(static_cast<int>(button)));
        break;
    }
    return std::nullopt;
}

QJsonObject LearnerScreen::state()
{
    QJsonObject out = ScreenJson::of(screen_);
    ScreenJson::addForesight(out, screen_);
    const Outcome left = std::exchange(left_, {});
    if (left.sound) {
        out.insert(QStringLiteral("sound"), ScreenJson::cueName(*left.sound));
    }
    QStringList notices;
    for (const Prompt& p : left.prompts) {
        if (p.kind == Prompt::Kind::Message) {
            notices.append(p.text);
        }
    }
    screen_.prompts.clear();
    notices += std::exchange(dialogs_.messages, {});
    out.insert(QStringLiteral("notices"), QJsonArray::fromStringList(notices));
    out.insert(QStringLiteral("focus"), ScreenJson::focusName(screen_, left.focus));
    if (screen_.screen() == Screen::SeriesList) {
        QJsonObject line = out.value(QStringLiteral("instruction")).toObject();
        line.insert(QStringLiteral("text"), QString::fromUtf16(ListPrompt));
        out.insert(QStringLiteral("instruction"), line);
    }
    return out;
}

std::optional<Progress> LearnerScreen::progress()
{
    const Outcome shown = screen_.showProgress();
    for (const Prompt& p : shown.prompts) {
        if (p.kind == Prompt::Kind::Progress && p.progress) {
            return *p.progress;
        }
    }
    return std::nullopt;
}

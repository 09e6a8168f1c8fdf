#include "session/Session.h"

#include "marks/MarksFile.h"
#include "session/Commands.h"
#include "session/OpenSelectedSeries.h"
#include "session/StartUp.h"
#include "session/TermCarry.h"
#include "session/TermDrop.h"

#include <utility>

namespace
{

std::unique_ptr<MarksPort> orFileMarks(std::unique_ptr<MarksPort> marks, const QString& workDir)
{
    // The marks file of the working folder keeps marks whose write failed:
    // every later write tries them again, so a mark is never lost to a full
    // disk.
    return marks ? std::move(marks) : std::make_unique<MarksStore>(workDir);
}

Outcome refused(Refusal::Kind kind, const QString& reason)
{
    Outcome out;
    out.refusal = Refusal{kind, reason};
    return out;
}

Outcome refused(const Refusal& refusal)
{
    return refused(refusal.kind, refusal.reason);
}

} // namespace

Session::Session(const QString& workDir, const TextMeasure& measure, SessionPorts ports)
    : record_(std::move(ports.record)), marks_(orFileMarks(std::move(ports.marks), workDir)),
      screen_(state_, measure, ports.players != nullptr ? *ports.players : silent_,
              ports.dialogs != nullptr ? *ports.dialogs : kept_, workDir, *marks_)
{
    screen_.record = record_.get();
    screen_.hiddenSeries = std::move(ports.hiddenSeries);
    screen_.dueSeries = std::move(ports.dueSeries);
}

template <typename F> Outcome Session::run(F&& handlers)
{
    MainScreen& s = screen_;
    s.changes = Outcome{};
    s.players.played.reset();
    s.focusRequest = nullptr;
    const qsizetype before = s.prompts.size();
    handlers();
    Outcome out = std::exchange(s.changes, {});
    out.prompts = s.prompts.mid(before);
    out.sound = std::exchange(s.players.played, std::nullopt);
    out.focus = s.focusRequest;
    return out;
}

bool Session::resume(const SessionValue& value)
{
    start();
    kept_.messages.clear();
    screen_.prompts.clear();
    return screen_.restore(value);
}

Outcome Session::start()
{
    return run([this] { RunStartUp(screen_); });
}

Outcome Session::open(int entry)
{
    if (screen_.screen() != Screen::SeriesList) {
        return refused(Refusal::Kind::NotNow, QStringLiteral("問題集は一覧の画面から開きます"));
    }
    if (entry < 0 || entry >= screen_.seriesList.Entries.size()) {
        return refused(Refusal::Kind::NoSuch, QStringLiteral("その番号の問題集はありません"));
    }
    return run([this, entry] {
        screen_.seriesList.ListIndex = entry;
        OpenSelectedSeries(screen_);
    });
}

std::optional<Refusal> Session::refusalToAnswer() const
{
    // While the problem takes answers, whatever panel lies over it.
    if (!screen_.quiz.open() || screen_.quiz.frames() == 0) {
        return Refusal{Refusal::Kind::NotNow, QStringLiteral("いまは項目を動かせません")};
    }
    return std::nullopt;
}

std::optional<Refusal> Session::refusalToMove(int term) const
{
    const Quiz& quiz = screen_.quiz;
    if (std::optional<Refusal> no = refusalToAnswer()) {
        return no;
    }
    if (term < 0 || term >= quiz.terms() || !screen_.terms.at(term).Visible) {
        return Refusal{Refusal::Kind::NoSuch, QStringLiteral("その番号の項目はありません")};
    }
    return std::nullopt;
}

Outcome Session::putIn(int term, int frame)
{
    if (const std::optional<Refusal> no = refusalToMove(term)) {
        return refused(*no);
    }
    if (frame < 0 || frame >= screen_.quiz.frames()) {
        return refused(Refusal::Kind::NoSuch, QStringLiteral("その番号の枠はありません"));
    }
    return run([this, term, frame] { PlaceTerm(screen_, term, frame); });
}

Outcome Session::putAt(int term, float left, float top)
{
    if (const std::optional<Refusal> no = refusalToMove(term)) {
        return refused(*no);
    }
    return run([this, term, left, top] {
        TermCarryCancel(screen_);
        DropTermAt(screen_, term, left, top);
        if (!screen_.quiz.open()) {
            screen_.focusRequest = FocusAfterDrop(screen_, term, false);
        }
    });
}

Outcome Session::pickUp(int term)
{
    if (const std::optional<Refusal> no = refusalToMove(term)) {
        return refused(*no);
    }
    return run([this, term] {
        TermCarryCancel(screen_);
        TermCarryPickUp(screen_, term);
        screen_.focusRequest = &screen_.terms.at(term);
    });
}

// With no term picked up, carrying and putting down or back do nothing: a
// page sends its keys as they come.
Outcome Session::carry(Direction way)
{
    if (const std::optional<Refusal> no = refusalToAnswer()) {
        return refused(*no);
    }
    return run([this, way] { TermCarryMove(screen_, way); });
}

Outcome Session::putDown()
{
    if (const std::optional<Refusal> no = refusalToAnswer()) {
        return refused(*no);
    }
    return run([this] { TermCarryPutDown(screen_); });
}

Outcome Session::putBack()
{
    if (const std::optional<Refusal> no = refusalToAnswer()) {
        return refused(*no);
    }
    return run([this] { TermCarryCancel(screen_); });
}

std::optional<Refusal> Session::refusalToPress(Button button) const
{
    const Screen now = screen_.screen();
    bool shown = false;
    switch (button) {
    case Button::Next:
    case Button::Retry:
    case Button::ToList:
    case Button::Previous:
    case Button::Explanation:
    case Button::Mark:
        shown = now == Screen::Result &&
                screen_.resultButtons.at(static_cast<std::size_t>(button)).Visible;
        break;
    case Button::ArrowNext:
        shown = now == Screen::Problem && screen_.arrows[Arrow::Next].Visible;
        break;
    case Button::ArrowPrevious:
        shown = now == Screen::Problem && screen_.arrows[Arrow::Previous].Visible;
        break;
    case Button::Quit:
        shown = now != Screen::SeriesList;
        break;
    case Button::ExplanationBack:
        shown = now == Screen::Explanation;
        break;
    }
    if (shown) {
        return std::nullopt;
    }
    return Refusal{Refusal::Kind::NotNow, QStringLiteral("いまはそのボタンを押せません")};
}

Outcome Session::press(Button button)
{
    if (const std::optional<Refusal> no = refusalToPress(button)) {
        return refused(*no);
    }
    return run([this, button] {
        switch (button) {
        case Button::ArrowNext:
            ArrowButtonClick(screen_, Arrow::Next);
            break;
        case Button::ArrowPrevious:
            ArrowButtonClick(screen_, Arrow::Previous);
            break;
        case Button::Quit:
            QuitButtonClick(screen_);
            break;
        case Button::ExplanationBack:
            ExplanationBackClick(screen_);
            break;
        default:
            ResultButtonClick(screen_, static_cast<int>(button));
            break;
        }
    });
}

Outcome Session::leave()
{
    return run([this] { QuitButtonClick(screen_); });
}

Outcome Session::showAbout()
{
    return run([this] {
        Prompt about;
        about.kind = Prompt::Kind::About;
        screen_.prompts.append(about);
    });
}

Outcome Session::showProgress()
{
    return run([this] { Recording::showProgress(screen_); });
}

Outcome Session::recordRead()
{
    return run([this] { Recording::recordRead(screen_); });
}

bool Session::closeRequested()
{
    return WindowClosing(screen_);
}

bool Session::answer(Question question, Dialogs::Answer answer)
{
    screen_.openQuestion.reset();
    return AnswerQuestion(screen_, question, answer);
}

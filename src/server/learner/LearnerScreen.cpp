#include "server/learner/LearnerScreen.h"

#include "files/JsonWriter.h"
#include "marks/NoMarks.h"
#include "record/ProblemIndex.h"
#include "series/SeriesLoader.h"
#include "session/OpenSelectedSeries.h"
#include "session/ScreenJson.h"

#include <QJsonDocument>

#include <functional>
#include <memory>
#include <utility>

namespace
{

// The learner's ports in the store; `answers` and `marks` are kept to move
// them to another thread's store.
SessionPorts storePorts(Store& store, const QString& learner, const QString& workDir,
                        const QString& homePage, StoreAnswers** answers, StoreMarks** marks)
{
    auto a = std::make_unique<StoreAnswers>(store, learner, workDir, homePage);
    auto m = std::make_unique<StoreMarks>(store, learner);
    *answers = a.get();
    *marks = m.get();
    SessionPorts ports;
    for (const Store::SeriesChoice& c :
         store.learnerSeries(learner).value_or(QList<Store::SeriesChoice>{})) {
        if (c.hidden) {
            ports.hiddenSeries.append(c.file);
        } else if (c.due.isValid()) {
            ports.dueSeries.append({c.file, c.due});
        }
    }
    if (!ports.hiddenSeries.isEmpty()) {
        // A marked problem one of them asks is the hidden series'.
        m->leaveOut([index = std::make_shared<ProblemIndex>(workDir), hidden = ports.hiddenSeries](
                        const Problem& p) { return !index->seriesOf(p, hidden).isEmpty(); });
    }
    ports.record = std::move(a);
    ports.marks = std::move(m);
    return ports;
}

SessionPorts previewPorts()
{
    // No record: the session keeps no answer when it has none to keep them in.
    SessionPorts ports;
    ports.marks = std::make_unique<NoMarks>();
    return ports;
}

} // namespace

LearnerScreen::LearnerScreen(QString learner, const QString& workDir, const QString& homePage,
                             const TextMeasure& measure, Store& store, const QByteArray& value)
    : learner_(std::move(learner)),
      session_(workDir, measure, storePorts(store, learner_, workDir, homePage, &answers_, &marks_))
{
    if (value.isEmpty()) {
        take(session_.start());
        return;
    }
    QString why;
    const std::optional<SessionValue> v =
        SessionValue::fromJson(QJsonDocument::fromJson(value).object(), &why);
    if (!v) {
        // What starting tells was told when the session began.
        session_.start();
        session_.takeMessagesKept();
        session_.screen().prompts.clear();
        Prompt told;
        told.text = QStringLiteral("続きを読めないため、一覧から始めます（%1）").arg(why);
        left_.prompts.append(told);
        return;
    }
    session_.resume(*v);
    // What resuming tells (a problem changed since) goes with the next
    // state the page is given.
    left_.prompts = std::exchange(session_.screen().prompts, {});
}

LearnerScreen::LearnerScreen(const QString& workDir, const TextMeasure& measure)
    : learner_(QStringLiteral("プレビュー")), session_(workDir, measure, previewPorts())
{
    session_.start();
    session_.takeMessagesKept();
    session_.screen().prompts.clear();
}

void LearnerScreen::showOnly(const Problem& problem, const QString& title)
{
    MainScreen& screen = session_.screen();
    SeriesState& state = session_.state();
    screen.quiz.forgetChecks();
    state.markedSeries = false;
    state.problems[1] = problem;
    state.seriesFile.fill(QString());
    state.problemCount = 1;
    state.currentProblem = 1;
    ShowSeriesOpened(screen, title);
    screen.showProblem(1);
    left_ = {};
}

QString LearnerScreen::showRound(const QString& series, int problem, const QString& round,
                                 int* problems)
{
    MainScreen& screen = session_.screen();
    const SeriesLoader::Series loaded = SeriesLoader::load(screen.pathOf(series));
    SeriesState scratch;
    const int count = loaded.loads() ? SeriesLoader::placeProblems(scratch, loaded) : 0;
    if (problems != nullptr) {
        *problems = count;
    }
    if (problem < 1 || problem > count) {
        return QStringLiteral("問題集「%1」に%2問目はありません")
            .arg(series, QString::number(problem));
    }
    showOnly(scratch.problems.at(static_cast<std::size_t>(problem)), series);
    // Taken as one problem to review, so that the session's value names it
    // and any server takes it up again.
    SeriesState& state = session_.state();
    state.seriesFile.fill(series);
    screen.source = SessionValue::Source::Review;
    screen.openedTextHash = screen.textHashOfRows();
    screen.openedRows = {{series, screen.problemIndex.keyOf(series, state.problems.at(1))}};
    setRound(round);
    return {};
}

void LearnerScreen::setRound(const QString& round)
{
    if (answers_ != nullptr) {
        answers_->setRegistration(round);
    }
}

void LearnerScreen::use(Store& store)
{
    if (answers_ != nullptr) {
        answers_->use(store);
        marks_->use(store);
    }
}

QByteArray LearnerScreen::value() const
{
    return session_.value().toJson();
}

Outcome LearnerScreen::verb(const Requests::Command& c)
{
    using Requests::Carry;
    switch (c.kind) {
    case Requests::Kind::Open:
        return session_.open(c.entry);
    case Requests::Kind::Move:
        return c.move.frame >= 0 ? session_.putIn(c.move.term, c.move.frame)
                                 : session_.putAt(c.move.term, c.move.left, c.move.top);
    case Requests::Kind::Press:
        return session_.press(c.button);
    case Requests::Kind::Carry:
        switch (c.carry) {
        case Carry::PickUp:
            return session_.pickUp(c.move.term);
        case Carry::Toggle:
            // Space and Enter on a term: put down when it is the one picked up.
            return session_.carried() == c.move.term ? session_.putDown()
                                                     : session_.pickUp(c.move.term);
        case Carry::Left:
            return session_.carry(Direction::Left);
        case Carry::Right:
            return session_.carry(Direction::Right);
        case Carry::Up:
            return session_.carry(Direction::Up);
        case Carry::Down:
            return session_.carry(Direction::Down);
        case Carry::PutDown:
            return session_.putDown();
        case Carry::PutBack:
            return session_.putBack();
        }
        break;
    case Requests::Kind::SignIn:
        break;
    }
    Outcome none;
    none.refusal = ::Refusal{::Refusal::Kind::NoSuch, QStringLiteral("この要求は使えません")};
    return none;
}

std::optional<LearnerScreen::Refusal> LearnerScreen::act(const Requests::Command& c)
{
    return take(verb(c));
}

// What a verb left is kept until the page takes it; a later verb's focus
// and sound replace an earlier one's.
std::optional<LearnerScreen::Refusal> LearnerScreen::take(Outcome outcome)
{
    if (outcome.refusal) {
        return Refusal{outcome.refusal->kind == ::Refusal::Kind::NoSuch ? 400 : 409,
                       outcome.refusal->reason};
    }
    left_.prompts += outcome.prompts;
    if (outcome.sound) {
        left_.sound = outcome.sound;
    }
    if (outcome.focus != nullptr) {
        left_.focus = outcome.focus;
    }
    left_.answers += outcome.answers;
    return std::nullopt;
}

void LearnerScreen::writeState(JsonWriter& out, const QList<QLatin1StringView>& buttons)
{
    MainScreen& screen = session_.screen();
    ScreenJson::Shown shown{nullptr, {}, buttons};
    ScreenJson::Foresight foresight;
    if (screen.screen() == Screen::SeriesList) {
        shown.instruction = QString::fromUtf16(ListPrompt);
    } else {
        foresight = ScreenJson::foresee(screen);
        shown.foresight = &foresight;
    }
    ScreenJson::write(out, screen, shown);
    const Outcome left = std::exchange(left_, {});
    if (left.sound) {
        out.key(QLatin1StringView("sound")).value(ScreenJson::cueName(*left.sound));
    }
    out.key(QLatin1StringView("notices")).openArray();
    for (const Prompt& p : left.prompts) {
        if (p.kind == Prompt::Kind::Message) {
            out.value(p.text);
        }
    }
    screen.prompts.clear();
    for (const QString& kept : session_.takeMessagesKept()) {
        out.value(kept);
    }
    out.closeArray().key(QLatin1StringView("focus"));
    const QString focus = ScreenJson::focusName(screen, left.focus);
    focus.isEmpty() ? out.null() : out.value(focus);
}

std::optional<Progress> LearnerScreen::progress()
{
    const Outcome shown = session_.showProgress();
    for (const Prompt& p : shown.prompts) {
        if (p.kind == Prompt::Kind::Progress && p.progress) {
            return *p.progress;
        }
    }
    return std::nullopt;
}

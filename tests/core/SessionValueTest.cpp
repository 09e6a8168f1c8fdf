#include "marks/MarksFile.h"
#include "record/AnswerStore.h"
#include "record/ProblemId.h"
#include "record/Statements.h"
#include "series/SeriesParser.h"
#include "session/ScreenJson.h"
#include "session/Session.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// A session taken as a value at any point, written to JSON and read back,
// goes on exactly as the one it was taken from: the same screen, the same
// outcomes and the same value after every later action. Random actions on
// the bundled series, with answers and marks kept in memory (their files
// are tested on their own) and writes that now and then fail.

namespace
{

// The learner's answers in memory; a store fails while `failing` is set.
class MemoryAnswers : public AnswerStore
{
public:
    const QString& learner() const override { return learner_; }
    const QString& learnerName() const override { return learner_; }
    const QString& homePage() const override { return homePage_; }
    qint64 now() const override { return *clock; }
    QString name() const override { return QStringLiteral("記録"); }
    void count(const Answer& a) override
    {
        answers_.append(a);
        schedule_.add(a, *clock);
    }
    QString store(const Answer& a) override
    {
        if (failing) {
            return QStringLiteral("書けません");
        }
        stored.append(a.problemHash);
        return {};
    }
    QList<LogFinding> refresh() override { return {}; }
    const Schedule& schedule() const override { return schedule_; }
    const QList<Answer>& answers() const override { return answers_; }

    const qint64* clock = nullptr;
    bool failing = false;
    QStringList stored;

private:
    QString learner_ = QStringLiteral("hanako");
    QString homePage_ = QStringLiteral("http://velmorant.invalid/");
    QList<Answer> answers_;
    Schedule schedule_;
};

// The learner's marks in memory, as records; writes fail while `failing`.
class MemoryMarks : public MarksPort
{
public:
    int read(SeriesState& st, QList<MarksFinding>* /*findings*/) override
    {
        read_ = records;
        for (int row = 1; row <= read_.size(); ++row) {
            st.problems.at(row) = Problems::fromRecord(read_.at(row - 1));
            st.marked.at(row) = true;
        }
        return read_.isEmpty() ? -1 : static_cast<int>(read_.size());
    }
    QList<Problem> problems() override
    {
        QList<Problem> out;
        for (const QStringList& r : std::as_const(records)) {
            out.append(Problems::fromRecord(r));
        }
        return out;
    }
    MarksWrite append(const QStringList& record) override
    {
        pending.append(record);
        return savePending();
    }
    MarksWrite savePending() override
    {
        MarksWrite out;
        if (failing && !pending.isEmpty()) {
            return out.failed(QStringLiteral("書けません"));
        }
        records += std::exchange(pending, {});
        return out;
    }
    MarksWrite rewrite(const SeriesState& st) override
    {
        MarksWrite out = savePending();
        for (int row = static_cast<int>(read_.size()); row >= 1; --row) {
            if (!st.marked.at(row)) {
                records.removeOne(read_.at(row - 1));
            }
        }
        return out;
    }
    qsizetype pendingCount() const override { return pending.size(); }
    void takeBackLast() override
    {
        if (!pending.isEmpty()) {
            pending.removeLast();
        }
    }
    QString where() const override { return QStringLiteral("メモリ"); }

    bool failing = false;
    QList<QStringList> records;
    QList<QStringList> pending;

private:
    QList<QStringList> read_;
};

// One learner's session with everything it uses; copies of the ports make
// a second session start from the same world.
struct Learner {
    Learner(const QString& folder, const MemoryAnswers& a, const MemoryMarks& m,
            const qint64* clock)
    {
        auto ownAnswers = std::make_unique<MemoryAnswers>(a);
        auto ownMarks = std::make_unique<MemoryMarks>(m);
        answers = ownAnswers.get();
        marks = ownMarks.get();
        answers->clock = clock;
        SessionPorts ports;
        ports.record = std::move(ownAnswers);
        ports.marks = std::move(ownMarks);
        ports.players = &players;
        ports.dialogs = &dialogs;
        session = std::make_unique<Session>(folder, measure, std::move(ports));
    }
    MemoryAnswers* answers = nullptr;
    MemoryMarks* marks = nullptr;
    FakeMeasure measure;
    FakePlayers players;
    FakeDialogs dialogs;
    std::unique_ptr<Session> session;
};

// The bundled series files, copied into `dir`.
bool withBundledSeries(const QTemporaryDir& dir)
{
    const QDir data(TestFiles::sourceDir() + QStringLiteral("/data"));
    const QStringList names = data.entryList({QStringLiteral("*.TXT")}, QDir::Files);
    return dir.isValid() && !names.isEmpty() &&
           std::all_of(names.begin(), names.end(), [&](const QString& name) {
               return QFile::copy(data.filePath(name), dir.filePath(name));
           });
}

// A learner of their own on a copy of the bundled series.
struct OnBundledSeries {
    QTemporaryDir dir;
    bool copied = withBundledSeries(dir);
    qint64 clock = 1'780'000'000'000;
    Learner learner{dir.path(), MemoryAnswers(), MemoryMarks(), &clock};
};

std::string drawn(const MainScreen& s)
{
    return QJsonDocument(ScreenJson::of(s)).toJson(QJsonDocument::Compact).toStdString();
}

// Answers' ids are new for every check: compared without them.
SessionValue withoutIds(SessionValue v)
{
    for (Answer& a : v.unsaved) {
        a.id = QUuid();
    }
    return v;
}

std::string text(const SessionValue& v)
{
    return QJsonDocument::fromJson(v.toJson()).toJson(QJsonDocument::Indented).toStdString();
}

// Compared as values; written out only when they differ.
#define EXPECT_SAME_VALUE(b, a, where)                                                             \
    if (const SessionValue va = withoutIds((a).value()), vb = withoutIds((b).value());             \
        !(va == vb)) {                                                                             \
        FAIL() << where << "\n" << text(vb) << "\n" << text(va);                                   \
    }
#define EXPECT_SAME_SCREEN(b, a, where)                                                            \
    if (ScreenJson::of((b).screen()) != ScreenJson::of((a).screen())) {                            \
        FAIL() << where << "\n" << drawn((b).screen()) << "\n" << drawn((a).screen());             \
    }

// A value names the keys of the problems on the rows now, whatever values
// were taken before.
#define EXPECT_KEYS_OF_THE_ROWS(s, where)                                                          \
    if (const SessionValue v = (s).value(); !v.keys.isEmpty()) {                                   \
        QList<Problem> rows;                                                                       \
        for (int row = 1; row <= (s).state().problemCount; ++row) {                                \
            rows.append((s).state().problems.at(row));                                             \
        }                                                                                          \
        ASSERT_EQ(v.keys, ProblemIds::keysOf(rows)) << where;                                      \
    }

std::string described(const Outcome& o, const MainScreen& s)
{
    QStringList parts;
    if (o.refusal) {
        parts.append(QString::number(static_cast<int>(o.refusal->kind)) + o.refusal->reason);
    }
    for (const Prompt& p : o.prompts) {
        parts.append(QString::number(static_cast<int>(p.kind)) + p.text);
    }
    parts.append(o.sound ? ScreenJson::cueName(*o.sound) : QStringLiteral("-"));
    for (const Answer& a : o.answers) {
        parts.append(a.problemHash + QString::number(a.right) + QString::number(a.attempt) +
                     QString::number(a.durationMs));
    }
    for (const MarkChange& m : o.marks) {
        parts.append(QString::number(static_cast<int>(m.kind)) + m.heading);
    }
    parts.append(ScreenJson::focusName(s, o.focus));
    parts.append(o.ended ? QStringLiteral("ended") : QString());
    return parts.join(QLatin1Char('|')).toStdString();
}

// One random action, mostly ones that move the learner on.
Outcome act(Session& session, QRandomGenerator& r, int kind)
{
    const MainScreen& s = session.screen();
    const int terms = std::max(1, s.quiz.terms());
    const int term = static_cast<int>(r.bounded(terms + 1)) - (r.bounded(20) == 0 ? 1 : 0);
    const int frame = s.quiz.answerOf(term) >= 0 && r.bounded(3) != 0
                          ? s.quiz.answerOf(term)
                          : static_cast<int>(r.bounded(7));
    const float x = static_cast<float>(r.bounded(9000));
    const float y = static_cast<float>(r.bounded(6000));
    switch (kind) {
    case 0:
        return session.open(
            static_cast<int>(r.bounded(static_cast<int>(s.seriesList.Entries.size()) + 1)));
    case 1:
        return session.putIn(term, frame);
    case 2:
        return session.putAt(term, x, y);
    case 3:
        return session.pickUp(term);
    case 4:
        return session.carry(static_cast<Direction>(r.bounded(4)));
    case 5:
        return session.putDown();
    case 6:
        return session.putBack();
    case 7:
        return session.press(static_cast<Button>(r.bounded(10)));
    case 8: {
        // Mostly a result button the screen offers.
        const int button = static_cast<int>(r.bounded(6));
        return session.press(s.resultButtons.at(button).Visible ? static_cast<Button>(button)
                                                                : Button::ArrowNext);
    }
    case 9:
        return session.leave();
    default: {
        Outcome o;
        if (s.openQuestion) {
            o.ended = session.answer(s.openQuestion->question,
                                     r.bounded(2) ? Dialogs::Answer::Ok : Dialogs::Answer::Cancel);
        } else {
            o.ended = session.closeRequested();
        }
        return o;
    }
    }
}

int kindFor(const MainScreen& s, QRandomGenerator& r)
{
    if (s.screen() == Screen::SeriesList && r.bounded(4) != 0) {
        return 0;
    }
    if (s.screen() == Screen::Problem && r.bounded(3) != 0) {
        return 1;
    }
    if (s.screen() == Screen::Result && r.bounded(2) != 0) {
        return 8;
    }
    return static_cast<int>(r.bounded(12));
}

// Fewer under AddressSanitizer, which GCC tells with __SANITIZE_ADDRESS__ and
// clang with __has_feature.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORANT_ADDRESS_SANITIZER
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VELMORANT_ADDRESS_SANITIZER)
constexpr int Sequences = 1000;
#else
constexpr int Sequences = 2500;
#endif

} // namespace

TEST(SessionValue, EverySessionTakenUpAgainFromItsValueGoesOnAsTheOriginal)
{
    QTemporaryDir dir;
    ASSERT_TRUE(withBundledSeries(dir));
    QRandomGenerator r(20261208);
    qint64 clock = 1'780'000'000'000;
    for (int sequence = 0; sequence < Sequences; ++sequence) {
        MemoryAnswers answers;
        MemoryMarks marks;
        Learner a(dir.path(), answers, marks, &clock);
        a.session->start();
        const int before = static_cast<int>(r.bounded(30));
        const int after = 1 + static_cast<int>(r.bounded(10));
        for (int step = 0; step < before; ++step) {
            clock += r.bounded(4) == 0 ? 86'400'000 * r.bounded(1, 5) : 5'000;
            a.answers->failing = r.bounded(8) == 0;
            a.marks->failing = r.bounded(8) == 0;
            act(*a.session, r, kindFor(a.session->screen(), r));
            EXPECT_KEYS_OF_THE_ROWS(*a.session, "sequence " << sequence << ", step " << step);
        }
        const SessionValue value = a.session->value();
        const QByteArray json = value.toJson();
        QString why;
        const std::optional<SessionValue> read =
            SessionValue::fromJson(QJsonDocument::fromJson(json).object(), &why);
        ASSERT_TRUE(read) << why.toStdString();
        ASSERT_EQ(*read, value) << "sequence " << sequence << ": " << json.toStdString();

        Learner b(dir.path(), *a.answers, *a.marks, &clock);
        ASSERT_TRUE(b.session->resume(*read))
            << "sequence " << sequence << ": " << json.toStdString();
        EXPECT_SAME_VALUE(*b.session, *a.session,
                          "sequence " << sequence << " after " << json.toStdString());
        EXPECT_SAME_SCREEN(*b.session, *a.session, "sequence " << sequence);
        for (int step = 0; step < after; ++step) {
            clock += 5'000;
            const bool answersFail = r.bounded(8) == 0;
            const bool marksFail = r.bounded(8) == 0;
            a.answers->failing = b.answers->failing = answersFail;
            a.marks->failing = b.marks->failing = marksFail;
            const int kind = kindFor(a.session->screen(), r);
            const quint32 seed = r.generate();
            QRandomGenerator ra(seed);
            QRandomGenerator rb(seed);
            const Outcome oa = act(*a.session, ra, kind);
            const Outcome ob = act(*b.session, rb, kind);
            ASSERT_EQ(described(ob, b.session->screen()), described(oa, a.session->screen()))
                << "sequence " << sequence << ", step " << step << " after " << json.toStdString();
            EXPECT_SAME_VALUE(*b.session, *a.session,
                              "sequence " << sequence << ", step " << step << ", kind " << kind);
            ASSERT_EQ(b.answers->stored, a.answers->stored);
            ASSERT_EQ(b.marks->records, a.marks->records);
        }
        // The screen follows from the value; drawn once at the end.
        EXPECT_SAME_SCREEN(*b.session, *a.session, "sequence " << sequence << " at its end");
    }
}

TEST(SessionValue, AChangedSeriesGoesOnAsItReadsNowKeepingABoardThatAsksTheSame)
{
    OnBundledSeries world;
    ASSERT_TRUE(world.copied);
    QTemporaryDir& dir = world.dir;
    qint64& clock = world.clock;
    Learner& a = world.learner;
    a.session->start();
    a.session->open(1);
    ASSERT_EQ(a.session->screen().screen(), Screen::Problem);
    a.session->putIn(0, 1);
    const SessionValue value = a.session->value();

    // A word of one problem changed: the value no longer fits the file.
    const QString file = dir.filePath(a.session->state().seriesFile.at(1));
    QByteArray bytes = TestFiles::readAll(file);
    const QByteArray term = TestFiles::cp932(a.session->state().problems.at(2).terms.at(0));
    ASSERT_TRUE(bytes.contains(term));
    bytes.replace(bytes.indexOf(term), term.size(), TestFiles::cp932(QStringLiteral("別の語")));
    TestFiles::write(file, bytes);

    // The problem shown asks what it asked: its board stays, nothing told.
    Learner kept(dir.path(), MemoryAnswers(), MemoryMarks(), &clock);
    EXPECT_TRUE(kept.session->resume(value));
    EXPECT_EQ(kept.session->state().currentProblem, 1);
    EXPECT_EQ(kept.session->value().quiz, value.quiz);
    EXPECT_TRUE(kept.session->screen().prompts.isEmpty());

    // A value of the last release, without the problems' keys: the learner
    // goes on at the same problem as the file reads now, shown anew, as the
    // board of the old text is never laid over the new one.
    SessionValue old = value;
    old.keys.clear();
    Learner b(dir.path(), MemoryAnswers(), MemoryMarks(), &clock);
    EXPECT_TRUE(b.session->resume(old));
    EXPECT_EQ(b.session->screen().screen(), Screen::Problem);
    EXPECT_EQ(b.session->state().currentProblem, 1);
    EXPECT_EQ(b.session->state().problems.at(2).terms.at(0), QStringLiteral("別の語"));
    EXPECT_NE(b.session->value().quiz, value.quiz);
    ASSERT_EQ(b.session->screen().prompts.size(), 1);
    EXPECT_TRUE(b.session->screen().prompts.at(0).text.contains(QStringLiteral("書き換えられた")));

    // A series gone is told, and the list shown.
    ASSERT_TRUE(QFile::remove(file));
    Learner c(dir.path(), MemoryAnswers(), MemoryMarks(), &clock);
    EXPECT_FALSE(c.session->resume(value));
    EXPECT_EQ(c.session->screen().screen(), Screen::SeriesList);
    ASSERT_EQ(c.session->screen().prompts.size(), 1);
    EXPECT_TRUE(c.session->screen().prompts.at(0).text.contains(QStringLiteral("変わった")));

    QString why;
    EXPECT_FALSE(SessionValue::fromJson(QJsonObject{{QStringLiteral("version"), 7}}, &why));
    EXPECT_FALSE(why.isEmpty());
}

// A control drawn again after anything it shows changed is drawn as it is
// now, not as one that looked the same before.
TEST(ScreenJson, DrawsAControlAsItIsNow)
{
    OnBundledSeries world;
    ASSERT_TRUE(world.copied);
    Learner& a = world.learner;
    a.session->start();
    MainScreen& s = a.session->screen();
    Control& line = s.instructionLine;
    const auto drawn = [&s](const char* field) {
        return ScreenJson::of(s)
            .value(QStringLiteral("instruction"))
            .toObject()
            .value(QLatin1String(field));
    };
    line.setCaption(QStringLiteral("分類しなさい"));
    EXPECT_EQ(drawn("text").toString(), QStringLiteral("分類しなさい"));
    line.setCaption(QStringLiteral("並べなさい"));
    EXPECT_EQ(drawn("text").toString(), QStringLiteral("並べなさい"));
    line.BackColor = 0x0000ff;
    EXPECT_EQ(drawn("back").toString(), QStringLiteral("#ff0000"));
    line.ForeColor = 0x00ff00;
    EXPECT_EQ(drawn("fore").toString(), QStringLiteral("#00ff00"));
    line.Font = {QString::fromUtf16(FontInfo::Gothic), 12.0, true};
    EXPECT_TRUE(drawn("font").toObject().value(QStringLiteral("bold")).toBool());
    line.Font.bold = false;
    EXPECT_FALSE(drawn("font").toObject().value(QStringLiteral("bold")).toBool());
    line.Font.points = 9.0;
    EXPECT_EQ(drawn("font").toObject().value(QStringLiteral("twips")).toDouble(), 180.0);
    line.Left += 15.0F;
    EXPECT_EQ(drawn("box").toArray().at(0).toDouble(), double(line.Left));
}

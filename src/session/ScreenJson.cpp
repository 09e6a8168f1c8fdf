#include "session/ScreenJson.h"

#include "session/MainScreen.h"
#include "session/TermCarry.h"
#include "session/Words.h"

#include <QHash>
#include <QJsonArray>

#include <array>

namespace ScreenJson
{

namespace
{

QString colour(quint32 c)
{
    // System colours are drawn as the browser's own button colours, as the
    // window draws them from the desktop's palette.
    if (Colors::isSystem(c)) {
        return c == Colors::ButtonFace ? QStringLiteral("ButtonFace")
                                       : QStringLiteral("ButtonText");
    }
    // Written digit by digit: a state names some sixty colours, and each
    // number formatted and padded on its own took an answer's time.
    constexpr char16_t Digits[] = u"0123456789abcdef";
    QString out(7, u'#');
    const int parts[] = {Colors::red(c), Colors::green(c), Colors::blue(c)};
    for (int i = 0; i < 3; ++i) {
        out[1 + 2 * i] = Digits[parts[i] >> 4 & 15];
        out[2 + 2 * i] = Digits[parts[i] & 15];
    }
    return out;
}

QJsonArray box(float left, float top, float width, float height)
{
    return {left, top, width, height};
}

// What a control is drawn from: the same looks make the same JSON.
struct Looks {
    std::array<float, 4> box{};
    QString text;
    quint32 back = 0;
    quint32 fore = 0;
    FontInfo font;

    bool operator==(const Looks& o) const
    {
        return box == o.box && text == o.text && back == o.back && fore == o.fore && font == o.font;
    }
};

size_t qHash(const Looks& l, size_t seed = 0)
{
    return qHashMulti(seed, l.box[0], l.box[1], l.box[2], l.box[3], l.text, l.back, l.fore,
                      l.font.face);
}

QJsonObject control(const Control& c)
{
    // A board's forty-odd controls barely change from one move to the next,
    // and building each one's object anew was a tenth of a move's processor
    // time: each thread keeps the objects it made, by what they show.
    thread_local QHash<Looks, QJsonObject> made;
    Looks looks{{c.Left, c.Top, c.Width, c.Height},
                c.Caption().trimmed(),
                c.BackColor,
                c.ForeColor,
                c.Font};
    if (const auto found = made.constFind(looks); found != made.constEnd()) {
        return *found;
    }
    QJsonObject o{{QStringLiteral("box"), box(c.Left, c.Top, c.Width, c.Height)},
                  {QStringLiteral("text"), looks.text},
                  {QStringLiteral("back"), colour(c.BackColor)},
                  {QStringLiteral("fore"), colour(c.ForeColor)}};
    if (!c.Font.isDefault()) {
        o.insert(QStringLiteral("font"),
                 QJsonObject{{QStringLiteral("face"), c.Font.face},
                             {QStringLiteral("twips"), c.Font.points * 20.0},
                             {QStringLiteral("bold"), c.Font.bold}});
    }
    if (made.size() >= 4096) {
        made.clear();
    }
    made.insert(std::move(looks), o);
    return o;
}

QJsonValue rightness(const MainScreen& s, int term)
{
    const std::optional<bool> right = Words::termRight(s, term);
    return right ? QJsonValue(*right) : QJsonValue(QJsonValue::Null);
}

QJsonObject board(const MainScreen& s)
{
    QJsonArray frames;
    for (int c = 0; c < s.quiz.frames(); ++c) {
        const Control& f = s.frames.at(c);
        frames.append(
            QJsonObject{{QStringLiteral("name"), Words::frameName(s, c)},
                        {QStringLiteral("box"), box(f.Left, f.Top, f.Width, f.Height)},
                        {QStringLiteral("fill"), f.Filled ? colour(f.FillColor) : QString()},
                        {QStringLiteral("border"), colour(f.BorderColor)},
                        {QStringLiteral("caption"), control(s.captions.at(c))}});
    }
    QJsonArray terms;
    for (int i = 0; i < s.quiz.terms(); ++i) {
        QJsonObject t = control(s.terms.at(i));
        t.insert(QStringLiteral("frame"), s.quiz.frameOf(i));
        t.insert(QStringLiteral("right"), rightness(s, i));
        t.insert(QStringLiteral("description"), Words::termDescription(s, i));
        terms.append(t);
    }
    QJsonValue carried = QJsonValue::Null;
    if (s.carry.term >= 0 && s.carry.term < s.quiz.terms() && s.carry.frame < s.quiz.frames()) {
        carried =
            QJsonObject{{QStringLiteral("term"), s.carry.term},
                        {QStringLiteral("frame"), s.carry.frame},
                        {QStringLiteral("name"),
                         QStringLiteral("移動先の%1").arg(Words::frameName(s, s.carry.frame))}};
    }
    return {{QStringLiteral("frames"), frames},
            {QStringLiteral("terms"), terms},
            {QStringLiteral("carry"), carried},
            {QStringLiteral("open"), s.quiz.open()},
            {QStringLiteral("heading"), control(s.headingText)},
            {QStringLiteral("question"), control(s.questionText)}};
}

struct NamedButton {
    const Control* control;
    const char* id;
};

QList<NamedButton> namedButtons(const MainScreen& s)
{
    return {
        {&s.arrows[Arrow::Previous], "arrowPrevious"},
        {&s.arrows[Arrow::Next], "arrowNext"},
        {&s.resultButtons[ResultButton::Next], "next"},
        {&s.resultButtons[ResultButton::Previous], "previous"},
        {&s.resultButtons[ResultButton::Retry], "retry"},
        {&s.resultButtons[ResultButton::Explanation], "explanation"},
        {&s.resultButtons[ResultButton::Mark], "mark"},
        {&s.resultButtons[ResultButton::ToList], "toList"},
        {&s.explanationBack, "explanationBack"},
        {&s.quitButton, "quit"},
    };
}

QJsonArray buttons(const MainScreen& s)
{
    const QList<NamedButton> all = namedButtons(s);
    const bool onResult = s.resultPanel.Visible && !s.explanationPanel.Visible;
    QJsonArray out;
    for (const NamedButton& b : all) {
        const bool isResult = b.control->Name == QLatin1String("resultButtons");
        if (!b.control->Shown() || (isResult && !onResult)) {
            continue;
        }
        QJsonObject o = control(*b.control);
        o.insert(QStringLiteral("id"), QLatin1String(b.id));
        o.insert(QStringLiteral("label"), Words::nameOf(s, *b.control));
        out.append(o);
    }
    return out;
}

QString screenName(Screen screen)
{
    switch (screen) {
    case Screen::SeriesList:
        return QStringLiteral("list");
    case Screen::Problem:
        return QStringLiteral("problem");
    case Screen::Result:
        return QStringLiteral("result");
    case Screen::Explanation:
        return QStringLiteral("explanation");
    }
    return {};
}

} // namespace

QJsonObject of(const MainScreen& s)
{
    const Screen screen = s.screen();
    QJsonObject out{{QStringLiteral("screen"), screenName(screen)},
                    {QStringLiteral("title"), s.Caption},
                    {QStringLiteral("client"), QJsonArray{s.clientWidth(), s.clientHeight()}},
                    {QStringLiteral("back"), colour(s.BackColor)},
                    {QStringLiteral("instruction"), control(s.instructionLine)}};
    if (screen == Screen::SeriesList) {
        out.insert(QStringLiteral("list"), QJsonArray::fromStringList(s.seriesList.Entries));
        out.insert(QStringLiteral("listBox"), control(s.seriesList));
        const Control& t = s.titlePicture;
        out.insert(QStringLiteral("titleBox"), box(t.Left, t.Top, t.Width, t.Height));
        if (s.progressButton.Visible) {
            out.insert(QStringLiteral("progressButton"), control(s.progressButton));
        }
        return out;
    }
    out.insert(QStringLiteral("board"), board(s));
    out.insert(QStringLiteral("buttons"), buttons(s));
    if (s.resultPanel.Visible) {
        const Control& p = s.resultPanel;
        out.insert(QStringLiteral("panel"),
                   QJsonObject{{QStringLiteral("box"), box(p.Left, p.Top, p.Width, p.Height)},
                               {QStringLiteral("fill"), colour(p.FillColor)},
                               {QStringLiteral("border"), colour(p.BorderColor)}});
    }
    if (s.resultMessage.Visible) {
        out.insert(QStringLiteral("message"), control(s.resultMessage));
    }
    if (s.explanationPanel.Visible) {
        QJsonObject e = control(s.explanationPanel);
        e.insert(QStringLiteral("body"), control(s.explanationText));
        e.insert(QStringLiteral("explanation"), s.explanationText.Text);
        out.insert(QStringLiteral("explanation"), e);
    }
    return out;
}

QJsonValue focusName(const MainScreen& s, const Control* focus)
{
    if (focus == nullptr) {
        return QJsonValue::Null;
    }
    for (int i = 0; i < s.quiz.terms(); ++i) {
        if (focus == &s.terms.at(i)) {
            return QStringLiteral("term:%1").arg(i);
        }
    }
    for (const NamedButton& b : namedButtons(s)) {
        if (focus == b.control) {
            return QStringLiteral("button:") + QLatin1String(b.id);
        }
    }
    return focus == &s.explanationText ? QJsonValue(QStringLiteral("explanation"))
                                       : QJsonValue::Null;
}

namespace
{

// The frames the arrow keys carry a term to from frame `from`: the carry
// verb's own answer, with the term `probe` carried there for the asking.
QJsonObject stepsFrom(MainScreen& s, int probe, int from)
{
    struct Way {
        const char* name;
        Direction direction;
    };
    constexpr std::array<Way, 4> Ways = {{{"left", Direction::Left},
                                          {"right", Direction::Right},
                                          {"up", Direction::Up},
                                          {"down", Direction::Down}}};
    QJsonObject steps;
    for (const Way& w : Ways) {
        s.carry = TermCarry{probe, from, 0};
        TermCarryMove(s, w.direction);
        steps.insert(QLatin1String(w.name), s.carry.frame);
    }
    return steps;
}

} // namespace

void addForesight(QJsonObject& state, MainScreen& s)
{
    if (!state.contains(QStringLiteral("board")) || s.quiz.terms() == 0) {
        return;
    }
    QJsonObject board = state.value(QStringLiteral("board")).toObject();
    QJsonArray frames = board.value(QStringLiteral("frames")).toArray();
    const BoardLayout& layout = s.board;
    const TermCarry kept = s.carry;
    for (int c = 0; c < frames.size() && c < layout.frames.size(); ++c) {
        QJsonObject f = frames.at(c).toObject();
        const Box first = layout.slot(c, 0, 0.0F);
        f.insert(QStringLiteral("slots"),
                 QJsonArray{first.left, first.top, layout.termHeight, layout.roomIn(c)});
        f.insert(QStringLiteral("steps"), stepsFrom(s, 0, c));
        frames.replace(c, f);
    }
    s.carry = kept;
    board.insert(QStringLiteral("frames"), frames);
    board.insert(QStringLiteral("park"), layout.parkTop());
    state.insert(QStringLiteral("board"), board);
}

QString cueName(SoundCue cue)
{
    switch (cue) {
    case SoundCue::Correct:
        return QStringLiteral("correct");
    case SoundCue::Wrong:
        return QStringLiteral("wrong");
    case SoundCue::MoreCorrect:
        return QStringLiteral("more");
    case SoundCue::NotMoreCorrect:
        return QStringLiteral("notmore");
    }
    return {};
}

} // namespace ScreenJson

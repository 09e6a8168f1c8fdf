#include "session/ScreenJson.h"

#include "session/MainScreen.h"
#include "session/TermCarry.h"
#include "session/Words.h"

#include "files/JsonWriter.h"

#include <QHash>
#include <QJsonDocument>

#include <array>

namespace ScreenJson
{

namespace
{

void writeColour(JsonWriter& out, quint32 c)
{
    // System colours are drawn as the browser's own button colours, as the
    // window draws them from the desktop's palette.
    if (Colors::isSystem(c)) {
        out.value(c == Colors::ButtonFace ? QLatin1StringView("ButtonFace")
                                          : QLatin1StringView("ButtonText"));
        return;
    }
    constexpr char Digits[] = "0123456789abcdef";
    char text[7] = {'#'};
    const int parts[] = {Colors::red(c), Colors::green(c), Colors::blue(c)};
    for (int i = 0; i < 3; ++i) {
        text[1 + 2 * i] = Digits[parts[i] >> 4 & 15];
        text[2 + 2 * i] = Digits[parts[i] & 15];
    }
    out.value(QLatin1StringView(text, 7));
}

void writeBox(JsonWriter& out, float left, float top, float width, float height)
{
    out.openArray().value(left).value(top).value(width).value(height).closeArray();
}

void writeBox(JsonWriter& out, const Control& c)
{
    writeBox(out, c.Left, c.Top, c.Width, c.Height);
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

QByteArray membersOf(const Looks& l)
{
    JsonWriter out;
    out.key(QLatin1StringView("box"));
    writeBox(out, l.box[0], l.box[1], l.box[2], l.box[3]);
    out.key(QLatin1StringView("text")).value(l.text);
    out.key(QLatin1StringView("back"));
    writeColour(out, l.back);
    out.key(QLatin1StringView("fore"));
    writeColour(out, l.fore);
    if (!l.font.isDefault()) {
        out.key(QLatin1StringView("font"))
            .open()
            .key(QLatin1StringView("face"))
            .value(l.font.face)
            .key(QLatin1StringView("twips"))
            .value(l.font.points * 20.0)
            .key(QLatin1StringView("bold"))
            .value(l.font.bold)
            .close();
    }
    return out.take();
}

// A control's members, into the object open: its box, text, colours and
// font; `text` in place of its caption when given.
void writeControlMembers(JsonWriter& out, const Control& c, const QString* text = nullptr)
{
    // A board's forty-odd controls barely change from one move to the next:
    // each thread keeps the text it wrote, by what the control shows.
    thread_local QHash<Looks, QByteArray> made;
    Looks looks{{c.Left, c.Top, c.Width, c.Height},
                text != nullptr ? *text : c.Caption().trimmed(),
                c.BackColor,
                c.ForeColor,
                c.Font};
    auto found = made.constFind(looks);
    if (found == made.constEnd()) {
        if (made.size() >= 4096) {
            made.clear();
        }
        QByteArray members = membersOf(looks);
        found = made.insert(std::move(looks), std::move(members));
    }
    out.members(*found);
}

void writeControl(JsonWriter& out, const Control& c)
{
    out.open();
    writeControlMembers(out, c);
    out.close();
}

void writeRightness(JsonWriter& out, const MainScreen& s, int term)
{
    const std::optional<bool> right = Words::termRight(s, term);
    right ? out.value(*right) : out.null();
}

void writeFrames(JsonWriter& out, const MainScreen& s, const Foresight* foresight)
{
    static constexpr std::array<const char*, 4> Ways = {"left", "right", "up", "down"};
    out.key(QLatin1StringView("frames")).openArray();
    for (int c = 0; c < s.quiz.frames(); ++c) {
        const Control& f = s.frames.at(c);
        out.open().key(QLatin1StringView("name")).value(Words::frameName(s, c));
        out.key(QLatin1StringView("box"));
        writeBox(out, f);
        out.key(QLatin1StringView("fill"));
        f.Filled ? writeColour(out, f.FillColor) : void(out.value(QLatin1StringView()));
        out.key(QLatin1StringView("border"));
        writeColour(out, f.BorderColor);
        out.key(QLatin1StringView("caption"));
        writeControl(out, s.captions.at(c));
        if (foresight != nullptr && c < foresight->frames.size()) {
            const Foresight::Frame& seen = foresight->frames.at(c);
            out.key(QLatin1StringView("slots")).openArray();
            out.value(seen.first[0]).value(seen.first[1]).value(seen.first[2]).value(seen.room);
            out.closeArray().key(QLatin1StringView("steps")).open();
            for (size_t w = 0; w < Ways.size(); ++w) {
                out.key(QLatin1StringView(Ways[w])).value(seen.steps[w]);
            }
            out.close();
        }
        out.close();
    }
    out.closeArray();
}

void writeBoard(JsonWriter& out, const MainScreen& s, const Foresight* foresight)
{
    out.key(QLatin1StringView("board")).open();
    writeFrames(out, s, foresight);
    out.key(QLatin1StringView("terms")).openArray();
    for (int i = 0; i < s.quiz.terms(); ++i) {
        out.open();
        writeControlMembers(out, s.terms.at(i));
        out.key(QLatin1StringView("frame")).value(s.quiz.frameOf(i));
        out.key(QLatin1StringView("right"));
        writeRightness(out, s, i);
        out.key(QLatin1StringView("description")).value(Words::termDescription(s, i));
        out.close();
    }
    out.closeArray().key(QLatin1StringView("carry"));
    if (s.carry.term >= 0 && s.carry.term < s.quiz.terms() && s.carry.frame < s.quiz.frames()) {
        out.open()
            .key(QLatin1StringView("term"))
            .value(s.carry.term)
            .key(QLatin1StringView("frame"))
            .value(s.carry.frame)
            .key(QLatin1StringView("name"))
            .value(QStringLiteral("移動先の%1").arg(Words::frameName(s, s.carry.frame)))
            .close();
    } else {
        out.null();
    }
    out.key(QLatin1StringView("open")).value(s.quiz.open());
    out.key(QLatin1StringView("heading"));
    writeControl(out, s.headingText);
    out.key(QLatin1StringView("question"));
    writeControl(out, s.questionText);
    if (foresight != nullptr && s.quiz.terms() > 0) {
        out.key(QLatin1StringView("park")).value(foresight->park);
    }
    out.close();
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

void writeButtons(JsonWriter& out, const MainScreen& s, const QList<QLatin1StringView>& only)
{
    const bool onResult = s.resultPanel.Visible && !s.explanationPanel.Visible;
    out.key(QLatin1StringView("buttons")).openArray();
    for (const NamedButton& b : namedButtons(s)) {
        const bool isResult = b.control->Name == QLatin1String("resultButtons");
        const QLatin1StringView id(b.id);
        if (!b.control->Shown() || (isResult && !onResult) ||
            (!only.isEmpty() && !only.contains(id))) {
            continue;
        }
        out.open();
        writeControlMembers(out, *b.control);
        out.key(QLatin1StringView("id")).value(id);
        out.key(QLatin1StringView("label")).value(Words::nameOf(s, *b.control));
        out.close();
    }
    out.closeArray();
}

QLatin1StringView screenName(Screen screen)
{
    switch (screen) {
    case Screen::SeriesList:
        return QLatin1StringView("list");
    case Screen::Problem:
        return QLatin1StringView("problem");
    case Screen::Result:
        return QLatin1StringView("result");
    case Screen::Explanation:
        return QLatin1StringView("explanation");
    }
    return {};
}

void writeList(JsonWriter& out, const MainScreen& s)
{
    out.key(QLatin1StringView("list")).openArray();
    for (const QString& entry : s.seriesList.Entries) {
        out.value(entry);
    }
    out.closeArray().key(QLatin1StringView("listBox"));
    writeControl(out, s.seriesList);
    out.key(QLatin1StringView("titleBox"));
    writeBox(out, s.titlePicture);
    if (s.progressButton.Visible) {
        out.key(QLatin1StringView("progressButton"));
        writeControl(out, s.progressButton);
    }
}

// The result panel, its message and the explanation, where shown.
void writeResult(JsonWriter& out, const MainScreen& s)
{
    if (s.resultPanel.Visible) {
        const Control& p = s.resultPanel;
        out.key(QLatin1StringView("panel")).open().key(QLatin1StringView("box"));
        writeBox(out, p);
        out.key(QLatin1StringView("fill"));
        writeColour(out, p.FillColor);
        out.key(QLatin1StringView("border"));
        writeColour(out, p.BorderColor);
        out.close();
    }
    if (s.resultMessage.Visible) {
        out.key(QLatin1StringView("message"));
        writeControl(out, s.resultMessage);
    }
    if (s.explanationPanel.Visible) {
        out.key(QLatin1StringView("explanation")).open();
        writeControlMembers(out, s.explanationPanel);
        out.key(QLatin1StringView("body"));
        writeControl(out, s.explanationText);
        out.key(QLatin1StringView("explanation")).value(s.explanationText.Text);
        out.close();
    }
}

} // namespace

void write(JsonWriter& out, const MainScreen& s, const Shown& shown)
{
    const Screen screen = s.screen();
    out.key(QLatin1StringView("screen")).value(screenName(screen));
    out.key(QLatin1StringView("title")).value(s.Caption);
    out.key(QLatin1StringView("client"))
        .openArray()
        .value(s.clientWidth())
        .value(s.clientHeight())
        .closeArray();
    out.key(QLatin1StringView("back"));
    writeColour(out, s.BackColor);
    out.key(QLatin1StringView("instruction")).open();
    writeControlMembers(out, s.instructionLine,
                        shown.instruction.isEmpty() ? nullptr : &shown.instruction);
    out.close();
    if (screen == Screen::SeriesList) {
        writeList(out, s);
        return;
    }
    writeBoard(out, s, shown.foresight);
    writeButtons(out, s, shown.buttons);
    writeResult(out, s);
}

QJsonObject of(const MainScreen& screen)
{
    JsonWriter out;
    out.open();
    write(out, screen);
    out.close();
    return QJsonDocument::fromJson(out.bytes()).object();
}

QString focusName(const MainScreen& s, const Control* focus)
{
    if (focus == nullptr) {
        return {};
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
    return focus == &s.explanationText ? QStringLiteral("explanation") : QString();
}

Foresight foresee(MainScreen& s)
{
    static constexpr std::array<Direction, 4> Ways = {Direction::Left, Direction::Right,
                                                      Direction::Up, Direction::Down};
    Foresight seen;
    if (s.quiz.terms() == 0) {
        return seen;
    }
    const BoardLayout& layout = s.board;
    const TermCarry kept = s.carry;
    for (int c = 0; c < s.quiz.frames() && c < layout.frames.size(); ++c) {
        const Box first = layout.slot(c, 0, 0.0F);
        Foresight::Frame f{{first.left, first.top, layout.termHeight}, layout.roomIn(c), {}};
        for (size_t w = 0; w < Ways.size(); ++w) {
            // The carry verb's own answer, with term 0 carried from frame c.
            s.carry = TermCarry{0, c, 0};
            TermCarryMove(s, Ways[w]);
            f.steps[w] = s.carry.frame;
        }
        seen.frames.append(f);
    }
    s.carry = kept;
    seen.park = layout.parkTop();
    return seen;
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

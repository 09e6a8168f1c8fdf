#include "support/Fakes.h"

#include <gtest/gtest.h>

QSizeF FakeMeasure::measure(const QString& text, const FontInfo& font) const
{
    const double height = font.points >= 12.0 ? 270.0 : 255.0;
    return {widthOf(text), height};
}

float FakeMeasure::widthOf(const QString& text)
{
    float w = 0.0F;
    for (const QChar c : text) {
        w += c.unicode() < 0x80 ? 15.0F : 30.0F;
    }
    return w;
}

void FakePlayers::configure(int player, const PlayerSettings& s)
{
    log.append(QStringLiteral("%1:configure %2 %3").arg(player).arg(s.deviceType, s.fileName));
    if (player >= 1 && player <= 4) {
        settings[player - 1] = s;
    }
}

void FakePlayers::command(int player, const QString& command)
{
    log.append(QStringLiteral("%1:%2").arg(player).arg(command));
}

QStringList FakePlayers::commands() const
{
    QStringList out;
    for (const QString& l : log) {
        if (!l.contains(QStringLiteral("configure"))) {
            out.append(l);
        }
    }
    return out;
}

Dialogs::Answer FakeDialogs::messageBox(const QString& text, Buttons buttons, Icon icon)
{
    if (handlerRunning) {
        ADD_FAILURE() << "a box came up while a handler ran: " << text.toStdString();
    }
    messages.append({text, buttons, icon});
    if (onShow) {
        onShow(text);
    }
    if (script.empty()) {
        return Answer::Ok;
    }
    const Answer a = script.front();
    script.pop_front();
    return a;
}

void FakeDialogs::showAbout()
{
    if (handlerRunning) {
        ADD_FAILURE() << "the About window came up while a handler ran";
    }
    ++aboutShown;
}

DrivenForm::Event::Event(Form1& form, FakeDialogs& dialogs) : form_(form), dialogs_(dialogs)
{
    dialogs_.handlerRunning = true;
}

DrivenForm::Event::~Event()
{
    dialogs_.handlerRunning = false;
    ShowPrompts(form_, dialogs_, [] { return true; });
}

Harness::Harness()
    : form(std::make_unique<Form1>(state, measure, players, dialogs, dir.path()), dialogs)
{
}

bool Harness::close()
{
    dialogs.handlerRunning = true;
    const bool closed = QueryClose(form.get(), dialogs, [this] {
        dialogs.handlerRunning = false;
        return true;
    });
    dialogs.handlerRunning = false;
    return closed;
}

void Harness::setRow(int n, const QString& question, const QString& items, const QString& groups,
                     const QString& answers, const QString& explanation)
{
    state.Problems.at(static_cast<std::size_t>(n)) =
        Problems::fromRecord({question, items, groups, answers, explanation});
}

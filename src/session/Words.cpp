#include "session/Words.h"

#include "session/MainScreen.h"

namespace Words
{

QString frameName(const MainScreen& screen, int frame)
{
    return QStringLiteral("枠%1「%2」")
        .arg(QString::number(frame + 1), screen.captions.at(frame).Caption().trimmed());
}

std::optional<bool> termRight(const MainScreen& screen, int term)
{
    const int frame = screen.quiz.frameOf(term);
    if (frame < 0) {
        return std::nullopt;
    }
    const bool right = screen.quiz.answerOf(term) == frame;
    // The answer is checked whenever every term is placed; a coloured term
    // stays right while another is moved out.
    if (screen.quiz.allPlaced()) {
        return right;
    }
    if (right && screen.terms.at(term).BackColor == Colors::GroupCaptions.at(frame)) {
        return true;
    }
    return std::nullopt;
}

QString termDescription(const MainScreen& screen, int term)
{
    if (screen.carry.term == term && screen.carry.frame < screen.quiz.frames()) {
        return QStringLiteral("持ち上げています。移動先は%1です。矢印キーで枠を選び、"
                              "スペースかEnterで置きます。枠をクリックしても置けます。"
                              "Escで元に戻します。")
            .arg(frameName(screen, screen.carry.frame));
    }
    const int frame = screen.quiz.frameOf(term);
    if (frame < 0) {
        return QStringLiteral("どの枠にもありません。数字キーで枠に入れます。");
    }
    QString text = QStringLiteral("%1にあります。").arg(frameName(screen, frame));
    if (const std::optional<bool> right = termRight(screen, term)) {
        text += *right ? QStringLiteral("正解です。") : QStringLiteral("不正解です。");
    }
    return text;
}

QString nameOf(const MainScreen& screen, const Control& control)
{
    // Two buttons say 終了 on a problem: their names tell them apart.
    if (&control == &screen.resultButtons[ResultButton::ToList]) {
        return QStringLiteral("終了：シリーズを終えて一覧に戻る");
    }
    if (&control == &screen.quitButton) {
        return screen.screen() == Screen::SeriesList
                   ? QStringLiteral("終了：プログラムを終える")
                   : QStringLiteral("終了：問題をやめてシリーズ一覧に戻る");
    }
    if (&control == &screen.resultPanel) {
        return QStringLiteral("結果");
    }
    if (&control == &screen.explanationText) {
        return screen.explanationPanel.Caption().trimmed();
    }
    if (&control == &screen.seriesList) {
        return QString::fromUtf16(MainScreen::ListPrompt);
    }
    if (&control == &screen.titlePicture) {
        return QStringLiteral("Velmorant バージョン情報");
    }
    for (int c = 0; c < screen.quiz.frames(); ++c) {
        if (&control == &screen.frames.at(c)) {
            return frameName(screen, c);
        }
    }
    return control.Caption().trimmed();
}

} // namespace Words

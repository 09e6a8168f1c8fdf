#include "session/AboutScreen.h"

#include <QtGlobal>

namespace
{
const quint32 Grey = Colors::rgb(224, 224, 224);
}

AboutScreen::AboutScreen()
    : Caption(QStringLiteral(" Velmorant バージョン情報")), BackColor(Grey),
      okButton(ControlKind::Button, QStringLiteral("okButton")),
      descriptionLabel(ControlKind::Label, QStringLiteral("descriptionLabel")),
      versionLabel(ControlKind::Label, QStringLiteral("versionLabel"))
{
    okButton.place(2160, 1620, 1095, 375);
    okButton.setCaption(QStringLiteral("OK"));
    okButton.TabIndex = 0;

    descriptionLabel.place(240, 240, 5295, 1035);
    descriptionLabel.BackColor = Grey;
    descriptionLabel.ForeColor = Colors::Black;

    versionLabel.place(120, 1320, 5535, 195);
    versionLabel.BackColor = Grey;
    versionLabel.ForeColor = Colors::rgb(0, 0, 255);
    versionLabel.setCaption(versionLine());
}

QString AboutScreen::description()
{
    return QStringLiteral("　生物学の用語は非常に多く学習を困難にしている一因になっています。") +
           QStringLiteral("それらをいくつかのカテゴリーに分類する作業は、用語の理解を") +
           QStringLiteral("深めるのに役立つと思われます。この作業をパソコンで行うために") +
           QStringLiteral("作られたものが「用語分類問題集 Velmorant」です。データの作成も") +
           QStringLiteral("簡単にできます(readme.txt参照)。");
}

QString AboutScreen::versionLine()
{
    return QStringLiteral("Qt %1 ").arg(QString::fromLatin1(qVersion())) +
           QStringLiteral("　作成日 1997.1.2") + QStringLiteral("　Ver.1.01 32bit");
}

void AboutScreen::load()
{
    descriptionLabel.setCaption(description());
    Loaded = true;
}

void AboutScreen::okClicked()
{
    Loaded = false;
}

#include "forms/Form2.h"

#include <QtGlobal>

namespace
{
const quint32 Grey = Colors::rgb(224, 224, 224);
}

Form2::Form2()
    : Caption(QStringLiteral(" Velmorant バージョン情報")), BackColor(Grey),
      Command1(ControlKind::Button, QStringLiteral("Command1")),
      Label1(ControlKind::Label, QStringLiteral("Label1")),
      Label2(ControlKind::Label, QStringLiteral("Label2"))
{
    Command1.place(2160, 1620, 1095, 375);
    Command1.setCaption(QStringLiteral("OK"));
    Command1.TabIndex = 0;

    Label1.place(240, 240, 5295, 1035);
    Label1.BackColor = Grey;
    Label1.ForeColor = Colors::Black;

    Label2.place(120, 1320, 5535, 195);
    Label2.BackColor = Grey;
    Label2.ForeColor = Colors::rgb(0, 0, 255);
    Label2.setCaption(versionLine());
}

QString Form2::description()
{
    return QStringLiteral("　生物学の用語は非常に多く学習を困難にしている一因になっています。") +
           QStringLiteral("それらをいくつかのカテゴリーに分類する作業は、用語の理解を") +
           QStringLiteral("深めるのに役立つと思われます。この作業をパソコンで行うために") +
           QStringLiteral("作られたものが「用語分類問題集 Velmorant」です。データの作成も") +
           QStringLiteral("簡単にできます(readme.txt参照)。");
}

QString Form2::versionLine()
{
    return QStringLiteral("Qt %1 ").arg(QString::fromLatin1(qVersion())) +
           QStringLiteral("　作成日 1997.1.2") + QStringLiteral("　Ver.1.01 32bit");
}

void Form2::Form_Load()
{
    Label1.setCaption(description());
    Loaded = true;
}

void Form2::Command1_Click()
{
    Loaded = false;
}

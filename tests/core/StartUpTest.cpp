#include "forms/Form2.h"
#include "series/Catalog.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace
{

void writeCatalog(Harness& h, const QStringList& lines)
{
    TestFiles::write(h.path("ZQCList.TXT"), TestFiles::lines(lines));
}

} // namespace

TEST(CatalogFields, QuotesBlanksAndEmptyFields)
{
    using Catalog::splitFields;
    EXPECT_EQ(splitFields(QStringLiteral("ウニの仲間,Uni.TXT")),
              (QStringList{QStringLiteral("ウニの仲間"), "Uni.TXT"}));
    EXPECT_EQ(splitFields(QStringLiteral("\"細胞, 組織\",Cell.TXT")),
              (QStringList{QStringLiteral("細胞, 組織"), "Cell.TXT"}));
    EXPECT_EQ(splitFields(QStringLiteral("   題名  ,  a.txt  ")),
              (QStringList{QStringLiteral("題名"), "a.txt"}));
    EXPECT_EQ(splitFields(QStringLiteral(",a.txt")), (QStringList{"", "a.txt"}));
    EXPECT_EQ(splitFields(QStringLiteral("a,,b")), (QStringList{"a", "", "b"}));
    EXPECT_EQ(splitFields(QStringLiteral("a,b,")), (QStringList{"a", "b"}));
    // A full-width space is text in the catalogue, not a blank to skip.
    EXPECT_EQ(splitFields(QStringLiteral("\u3000題,x")),
              (QStringList{QStringLiteral("\u3000題"), "x"}));
    // An unclosed quote runs to the line end.
    EXPECT_EQ(splitFields(QStringLiteral("\"a,b")), (QStringList{"a,b"}));
}

TEST(StartUp, ListsTheMarkedEntryFirstThenTheCatalogueInFileOrder)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("\"動物, 門\",A.TXT"), QStringLiteral(",B.TXT"), QString(),
                     QStringLiteral("  細胞 ,C.TXT"), QString(), QString()});
    h.form->Form_Load();
    EXPECT_EQ(h.form->List1.Items,
              (QStringList{QStringLiteral("マークの付いた問題"), QStringLiteral("動物, 門"), "",
                           QStringLiteral("細胞")}));
    EXPECT_EQ(h.state.SeriesCatalog[0][1], "Marked.txt");
    EXPECT_EQ(h.state.SeriesCatalog[2][1], "B.TXT") << "an empty title keeps its position";
    EXPECT_EQ(h.state.SeriesCatalog[3][1], "C.TXT") << "empty lines shift nothing";
    EXPECT_TRUE(h.state.SeriesCatalog[4][0].isEmpty());
    EXPECT_TRUE(h.dialogs.messages.isEmpty());
}

TEST(StartUp, EachLineIsOneEntryAndFaultyLinesAreToldOnce)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("一,1.TXT"), QStringLiteral("二"), QString(),
                     QStringLiteral("三,3.TXT,余分"), QStringLiteral("四,4.TXT"),
                     QStringLiteral("五")});
    h.form->Form_Load();
    ASSERT_EQ(h.form->List1.Items.size(), 6);
    EXPECT_EQ(h.state.SeriesCatalog[2][0], QStringLiteral("二"));
    EXPECT_TRUE(h.state.SeriesCatalog[2][1].isEmpty()) << "listed, without a file";
    EXPECT_EQ(h.state.SeriesCatalog[3][1], "3.TXT") << "the first two fields are used";
    EXPECT_EQ(h.state.SeriesCatalog[4][0], QStringLiteral("四"));
    EXPECT_EQ(h.state.SeriesCatalog[4][1], "4.TXT") << "no title moves onto another file";
    EXPECT_EQ(h.state.SeriesCatalog[5][0], QStringLiteral("五"));
    ASSERT_EQ(h.dialogs.messages.size(), 1);
    const QString msg = h.dialogs.messages[0].text;
    EXPECT_TRUE(msg.contains(QStringLiteral("の2、6行目には、ファイル名が"))) << msg.toStdString();
    EXPECT_TRUE(msg.contains(QStringLiteral("の4行目には、題名とファイル名のほか")));
}

TEST(StartUp, MissingCatalogueIsToldWithItsFolder)
{
    Harness h;
    h.form->Form_Load();
    EXPECT_EQ(h.form->List1.Items, QStringList{QStringLiteral("マークの付いた問題")});
    ASSERT_EQ(h.dialogs.messages.size(), 1);
    EXPECT_TRUE(h.dialogs.messages[0].text.contains("ZQCList.TXT"));
    EXPECT_TRUE(h.dialogs.messages[0].text.contains(h.dir.path()));
    EXPECT_TRUE(h.form->Label5.Visible) << "start-up still finishes";
    EXPECT_EQ(h.players.log.size(), 4);
}

TEST(StartUp, OverLongCatalogueListsFiftyAndSaysHowManyWereLeftOut)
{
    Harness h;
    QStringList lines;
    for (int i = 1; i <= 53; ++i) {
        lines.append(QStringLiteral("題%1,f%1.txt").arg(i));
    }
    writeCatalog(h, lines);
    h.form->Form_Load();
    EXPECT_EQ(h.form->List1.Items.size(), 51);
    EXPECT_EQ(h.state.SeriesCatalog[50][1], "f50.txt");
    ASSERT_EQ(h.dialogs.messages.size(), 1);
    EXPECT_TRUE(h.dialogs.messages[0].text.contains(QStringLiteral("残りの3件")));
}

TEST(StartUp, BadBytesNameTheLineAndLeaveOutOnlyIt)
{
    Harness h;
    QByteArray bytes = TestFiles::lines({QStringLiteral("一,1.TXT")});
    bytes += QByteArray("\x83\x7F\x80,2.TXT\r\n");
    bytes += TestFiles::lines({QStringLiteral("三,3.TXT")});
    TestFiles::write(h.path("ZQCList.TXT"), bytes);
    h.form->Form_Load();
    EXPECT_EQ(h.form->List1.Items, (QStringList{QStringLiteral("マークの付いた問題"),
                                                QStringLiteral("一"), QStringLiteral("三")}));
    ASSERT_EQ(h.dialogs.messages.size(), 1);
    EXPECT_TRUE(h.dialogs.messages[0].text.contains(QStringLiteral("2行目")));
}

TEST(StartUp, ControlsAfterStartUpFollowTheOuterWindowSize)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("一,1.TXT")});
    h.form->setClientSize(12000, 8000); // a resized window: outer 12120 x 8405
    h.form->Form_Load();
    Form1& f = *h.form;
    EXPECT_FLOAT_EQ(f.Label5.Top, 8405 - 900);
    EXPECT_FLOAT_EQ(f.Command3.Top, 8405 - 930);
    EXPECT_FLOAT_EQ(f.Picture1.Left, (12120 - 4920) / 2.0F);
    EXPECT_FLOAT_EQ(f.List1.Left, (12120 - 4395) / 2.0F);
    EXPECT_FALSE(f.Shape2.Visible);
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(f.Command2.at(i).Visible) << i;
        EXPECT_FALSE(f.Shape1.at(i).Visible) << i;
        EXPECT_FALSE(f.Label2.at(i).Visible) << i;
    }
    for (const Control& item : f.Label1) {
        EXPECT_FALSE(item.Visible);
    }
    EXPECT_FLOAT_EQ(f.Label1[0].Left, 360);
    EXPECT_FLOAT_EQ(f.Label1[0].Top, 720);
    EXPECT_TRUE(f.List1.Visible);
    EXPECT_TRUE(f.Picture1.Visible);
    EXPECT_TRUE(f.Command3.Visible);
    EXPECT_TRUE(f.Label5.Visible);
    EXPECT_EQ(f.Label5.Caption(), QString::fromUtf16(Form1::ListPrompt));
    EXPECT_EQ(f.Caption, QStringLiteral("用語分類問題集 Velmorant"));
    EXPECT_FALSE(f.Frame1.Visible);
    EXPECT_FALSE(f.Command1[0].Visible);
}

TEST(StartUp, DesignSizeAndTabOrder)
{
    Harness h;
    EXPECT_FLOAT_EQ(h.form->Width, 9330 + 120);
    EXPECT_FLOAT_EQ(h.form->Height, 6870 + 405);
    QStringList names;
    for (const Control* c : h.form->tabOrder()) {
        names.append(c->displayName());
    }
    EXPECT_EQ(names.join(' '), "Command1(0) List1 Command2(0) Command2(1) Command2(2) Picture1 "
                               "Command3 Command2(3) Command1(1) Command2(4) Command4 Command2(5)");
    // Frames lie behind every label, the result box in front of the items
    // and the message in front of the box.
    const auto order = h.form->stackingOrder();
    auto at = [&](const Control* c) {
        return std::find(order.begin(), order.end(), c) - order.begin();
    };
    EXPECT_LT(at(&h.form->Shape1[5]), at(&h.form->Label1[0]));
    EXPECT_LT(at(&h.form->Label2[5]), at(&h.form->Shape2));
    // A dragged item passes in front of the captions and the question.
    EXPECT_LT(at(&h.form->Label2[5]), at(&h.form->Label1[0]));
    EXPECT_LT(at(&h.form->Label3), at(&h.form->Label1[0]));
    EXPECT_LT(at(&h.form->Label1[20]), at(&h.form->Shape2));
    EXPECT_LT(at(&h.form->Shape2), at(&h.form->Label4));
    EXPECT_LT(at(&h.form->Label4), at(&h.form->Command2[0]));
}

TEST(StartUp, PlayersAreOpenedOnTheirFilesInOrder)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("一,1.TXT")});
    h.form->Form_Load();
    EXPECT_EQ(h.players.log,
              (QStringList{"Correct:open Seikai.WAV", "Wrong:open Machigai.WAV",
                           "MoreCorrect:open MusMax.WAV", "NotMoreCorrect:open MusMin.WAV"}));
}

TEST(StartUp, CatalogueIsReadOnlyBeforeTheFirstSeries)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("一,1.TXT")});
    h.state.CurrentProblem = 3;
    h.form->Form_Load();
    EXPECT_TRUE(h.form->List1.Items.isEmpty());
}

TEST(About, TextIsSetAnewOnEveryLoad)
{
    Form2 about;
    EXPECT_EQ(about.Caption, QStringLiteral(" Velmorant バージョン情報"));
    EXPECT_TRUE(about.Label1.Caption().isEmpty());
    about.Form_Load();
    const QString text = about.Label1.Caption();
    EXPECT_TRUE(text.startsWith(QStringLiteral("\u3000生物学の用語は")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("簡単にできます(readme.txt参照)。")));
    EXPECT_TRUE(text.contains(QStringLiteral("一因になっています。それらを")));
    EXPECT_TRUE(text.contains(QStringLiteral("用語の理解を深める")));
    about.Label1.setCaption(QString());
    about.Command1_Click();
    EXPECT_FALSE(about.Loaded);
    about.Form_Load();
    EXPECT_EQ(about.Label1.Caption(), text);
    EXPECT_TRUE(about.Label2.Caption().startsWith("Qt 6."));
    EXPECT_TRUE(about.Label2.Caption().endsWith(
        QStringLiteral(" \u3000作成日 1997.1.2\u3000Ver.1.01 32bit")));
}

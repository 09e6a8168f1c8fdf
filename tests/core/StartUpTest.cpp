#include "series/Catalog.h"
#include "session/AboutScreen.h"
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
    h.session->start();
    EXPECT_EQ(h.form->seriesList.Entries,
              (QStringList{QStringLiteral("マークの付いた問題"), QStringLiteral("動物, 門"), "",
                           QStringLiteral("細胞")}));
    EXPECT_EQ(h.state.catalog[0][1], "Marked.txt");
    EXPECT_EQ(h.state.catalog[2][1], "B.TXT") << "an empty title keeps its position";
    EXPECT_EQ(h.state.catalog[3][1], "C.TXT") << "empty lines shift nothing";
    EXPECT_TRUE(h.state.catalog[4][0].isEmpty());
    EXPECT_TRUE(h.dialogs.messages.isEmpty());
}

TEST(StartUp, EachLineIsOneEntryAndFaultyLinesAreToldOnce)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("一,1.TXT"), QStringLiteral("二"), QString(),
                     QStringLiteral("三,3.TXT,余分"), QStringLiteral("四,4.TXT"),
                     QStringLiteral("五")});
    h.session->start();
    ASSERT_EQ(h.form->seriesList.Entries.size(), 6);
    EXPECT_EQ(h.state.catalog[2][0], QStringLiteral("二"));
    EXPECT_TRUE(h.state.catalog[2][1].isEmpty()) << "listed, without a file";
    EXPECT_EQ(h.state.catalog[3][1], "3.TXT") << "the first two fields are used";
    EXPECT_EQ(h.state.catalog[4][0], QStringLiteral("四"));
    EXPECT_EQ(h.state.catalog[4][1], "4.TXT") << "no title moves onto another file";
    EXPECT_EQ(h.state.catalog[5][0], QStringLiteral("五"));
    ASSERT_EQ(h.dialogs.messages.size(), 1);
    const QString msg = h.dialogs.messages[0].text;
    EXPECT_TRUE(msg.contains(QStringLiteral("の2、6行目には、ファイル名が"))) << msg.toStdString();
    EXPECT_TRUE(msg.contains(QStringLiteral("の4行目には、題名とファイル名のほか")));
}

TEST(StartUp, MissingCatalogueIsToldWithItsFolder)
{
    Harness h;
    h.session->start();
    EXPECT_EQ(h.form->seriesList.Entries, QStringList{QStringLiteral("マークの付いた問題")});
    ASSERT_EQ(h.dialogs.messages.size(), 1);
    EXPECT_TRUE(h.dialogs.messages[0].text.contains("ZQCList.TXT"));
    EXPECT_TRUE(h.dialogs.messages[0].text.contains(h.dir.path()));
    EXPECT_TRUE(h.form->instructionLine.Visible) << "start-up still finishes";
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
    h.session->start();
    EXPECT_EQ(h.form->seriesList.Entries.size(), 51);
    EXPECT_EQ(h.state.catalog[50][1], "f50.txt");
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
    h.session->start();
    EXPECT_EQ(h.form->seriesList.Entries, (QStringList{QStringLiteral("マークの付いた問題"),
                                                     QStringLiteral("一"), QStringLiteral("三")}));
    ASSERT_EQ(h.dialogs.messages.size(), 1);
    EXPECT_TRUE(h.dialogs.messages[0].text.contains(QStringLiteral("2行目")));
}

TEST(StartUp, ControlsAfterStartUpFollowTheOuterWindowSize)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("一,1.TXT")});
    h.form->setClientSize(12000, 8000); // a resized window: outer 12120 x 8405
    h.session->start();
    MainScreen& f = *h.form;
    EXPECT_FLOAT_EQ(f.instructionLine.Top, 8405 - 900);
    EXPECT_FLOAT_EQ(f.quitButton.Top, 8405 - 930);
    EXPECT_FLOAT_EQ(f.titlePicture.Left, (12120 - 4920) / 2.0F);
    EXPECT_FLOAT_EQ(f.seriesList.Left, (12120 - 4395) / 2.0F);
    expectListScreen(f);
    EXPECT_FLOAT_EQ(f.terms[0].Left, 360);
    EXPECT_FLOAT_EQ(f.terms[0].Top, 720);
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
    EXPECT_EQ(
        names.join(' '),
        "arrows(0) seriesList resultButtons(0) resultButtons(1) resultButtons(2) titlePicture "
        "quitButton resultButtons(3) arrows(1) resultButtons(4) explanationBack resultButtons(5) "
        "progressButton");
    // Frames lie behind every label, the result box in front of the terms
    // and the message in front of the box.
    const auto order = h.form->stackingOrder();
    auto at = [&](const Control* c) {
        return std::find(order.begin(), order.end(), c) - order.begin();
    };
    EXPECT_LT(at(&h.form->frames[5]), at(&h.form->terms[0]));
    EXPECT_LT(at(&h.form->captions[5]), at(&h.form->resultPanel));
    // A dragged term passes in front of the captions and the question.
    EXPECT_LT(at(&h.form->captions[5]), at(&h.form->terms[0]));
    EXPECT_LT(at(&h.form->questionText), at(&h.form->terms[0]));
    EXPECT_LT(at(&h.form->terms[20]), at(&h.form->resultPanel));
    EXPECT_LT(at(&h.form->resultPanel), at(&h.form->resultMessage));
    EXPECT_LT(at(&h.form->resultMessage), at(&h.form->resultButtons[ResultButton::Next]));
}

TEST(StartUp, PlayersAreOpenedOnTheirFilesInOrder)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("一,1.TXT")});
    h.session->start();
    EXPECT_EQ(h.players.log,
              (QStringList{"Correct:open Seikai.WAV", "Wrong:open Machigai.WAV",
                           "MoreCorrect:open MusMax.WAV", "NotMoreCorrect:open MusMin.WAV"}));
}

TEST(StartUp, CatalogueIsReadOnlyBeforeTheFirstSeries)
{
    Harness h;
    writeCatalog(h, {QStringLiteral("一,1.TXT")});
    h.state.currentProblem = 3;
    h.session->start();
    EXPECT_TRUE(h.form->seriesList.Entries.isEmpty());
}

TEST(About, TextIsSetAnewOnEveryLoad)
{
    AboutScreen about;
    EXPECT_EQ(about.Caption, QStringLiteral(" Velmorant バージョン情報"));
    EXPECT_TRUE(about.descriptionLabel.Caption().isEmpty());
    about.load();
    const QString text = about.descriptionLabel.Caption();
    EXPECT_TRUE(text.startsWith(QStringLiteral("\u3000生物学の用語は")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("簡単にできます(readme.txt参照)。")));
    EXPECT_TRUE(text.contains(QStringLiteral("一因になっています。それらを")));
    EXPECT_TRUE(text.contains(QStringLiteral("用語の理解を深める")));
    about.descriptionLabel.setCaption(QString());
    about.okClicked();
    EXPECT_FALSE(about.Loaded);
    about.load();
    EXPECT_EQ(about.descriptionLabel.Caption(), text);
    EXPECT_TRUE(about.versionLabel.Caption().startsWith("Qt 6."));
    EXPECT_TRUE(about.versionLabel.Caption().endsWith(
        QStringLiteral(" \u3000作成日 1997.1.2\u3000Ver.1.01 32bit")));
}

#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace
{

// Roughly the widths of the real 11.25-point proportional face, so that the
// sample problems are laid out as a user sees them.
class ScreenLikeMeasure : public TextMeasure
{
public:
    QSizeF measure(const QString& text, const FontInfo& font) const override
    {
        double w = 0.0;
        for (const QChar c : text) {
            w += c.unicode() < 0x80 ? 80.0 : 225.0;
        }
        return {w, font.points >= 12.0 ? 270.0 : 255.0};
    }
};

} // namespace

TEST(SampleData, EverySeriesLoadsQuietlyAndEveryProblemCanBeSolved)
{
    Harness h;
    const QDir data(TestFiles::sourceDir() + "/data");
    for (const QString& name : data.entryList(QDir::Files)) {
        QFile::copy(data.filePath(name), h.path(name));
    }
    ScreenLikeMeasure measure;
    MainScreen form(h.state, measure, h.players, h.dialogs, h.dir.path());
    form.start();
    ASSERT_GE(form.seriesList.Items.size(), 4);
    EXPECT_TRUE(form.prompts.isEmpty());

    for (int series = 1; series < form.seriesList.Items.size(); ++series) {
        form.seriesList.ListIndex = series;
        form.openEntry(form.seriesList.ListIndex);
        ASSERT_FALSE(form.seriesList.Visible) << series;
        EXPECT_TRUE(form.prompts.isEmpty()) << form.prompts.value(0).text.toStdString();
        EXPECT_GE(h.state.problemCount, 5);
        for (int n = 1; n <= h.state.problemCount; ++n) {
            SCOPED_TRACE(QStringLiteral("series %1 problem %2").arg(series).arg(n).toStdString());
            EXPECT_FALSE(recordPart(h.state, n, 4).trimmed().isEmpty()) << "has an explanation";
            // Every item dropped on the centre of its own frame.
            for (int i = 0; i < h.form->quiz.terms(); ++i) {
                const int group = (h.form->quiz.answerOf(i) + 1);
                ASSERT_GE(group, 1);
                ASSERT_LE(group, h.form->quiz.frames());
                const Control& f = form.frames.at(group - 1);
                Control& item = form.terms.at(i);
                form.lift(i, 0, 0);
                item.Left = f.Left + f.Width / 2 - item.Width / 2;
                item.Top = f.Top + f.Height / 2 - item.Height / 2;
                form.letGo(i);
            }
            EXPECT_FALSE(h.form->quiz.open()) << "solved: every item found room in its frame";
            if (n < h.state.problemCount) {
                form.pressResult(0);
            }
        }
        form.leave();
    }
}

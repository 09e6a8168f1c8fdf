#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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
    QTemporaryDir dir;
    const QDir data(TestFiles::sourceDir() + "/data");
    for (const QString& name : data.entryList(QDir::Files)) {
        QFile::copy(data.filePath(name), dir.filePath(name));
    }
    ScreenLikeMeasure measure;
    Session session(dir.path(), measure);
    const MainScreen& form = session.screen();
    const SeriesState& state = session.state();
    EXPECT_TRUE(session.start().prompts.isEmpty());
    ASSERT_GE(form.seriesList.Entries.size(), 4);

    for (int series = 1; series < form.seriesList.Entries.size(); ++series) {
        const Outcome opened = session.open(series);
        ASSERT_FALSE(form.seriesList.Visible) << series;
        EXPECT_TRUE(opened.prompts.isEmpty()) << opened.prompts.value(0).text.toStdString();
        EXPECT_GE(state.problemCount, 5);
        for (int n = 1; n <= state.problemCount; ++n) {
            SCOPED_TRACE(QStringLiteral("series %1 problem %2").arg(series).arg(n).toStdString());
            EXPECT_FALSE(recordPart(state, n, 4).trimmed().isEmpty()) << "has an explanation";
            ASSERT_GT(form.quiz.terms(), 0);
            // Every term put down on the centre of its own frame.
            for (int i = 0; i < form.quiz.terms(); ++i) {
                const int group = form.quiz.answerOf(i) + 1;
                ASSERT_GE(group, 1);
                ASSERT_LE(group, form.quiz.frames());
                const Control& f = form.frames.at(group - 1);
                const Control& term = form.terms.at(i);
                session.putAt(i, f.Left + f.Width / 2 - term.Width / 2,
                              f.Top + f.Height / 2 - term.Height / 2);
            }
            EXPECT_FALSE(form.quiz.open()) << "solved: every term found room in its frame";
            if (n < state.problemCount) {
                session.press(Button::Next);
            }
        }
        session.leave();
    }
}

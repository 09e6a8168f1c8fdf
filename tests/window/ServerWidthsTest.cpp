#include "measure/QtTextMeasure.h"
#include "session/Session.h"
#include "support/BundledBoards.h"
#include "window/LabelWidget.h"
#include "window/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

void copyBundledSeries(const QString& folder)
{
    const QDir data(QStringLiteral(VELMORANT_SOURCE_DIR "/data"));
    const QStringList files = data.entryList({QStringLiteral("*.TXT"), QStringLiteral("*.txt")});
    ASSERT_FALSE(files.isEmpty()) << "no series in data/";
    for (const QString& name : files) {
        ASSERT_TRUE(QFile::copy(data.filePath(name), QDir(folder).filePath(name)))
            << name.toStdString();
    }
}

} // namespace

// The server measures text without widgets; every term and frame caption of
// every bundled board must come out exactly as wide as the window draws it
// (the text in the label's own font) and lie on the board at the same width.
TEST(ServerWidths, EveryBundledLabelIsAsWideAsInTheWindow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    copyBundledSeries(dir.path());

    QProcess server;
    server.start(QStringLiteral(SERVER_WIDTHS), {dir.path()});
    ASSERT_TRUE(server.waitForFinished(120000));
    ASSERT_EQ(server.exitCode(), 0) << server.readAllStandardError().toStdString();
    const QStringList measured =
        QString::fromUtf8(server.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);

    QtTextMeasure measure;
    Session session(dir.path(), measure);
    MainWindow view(session);
    view.show();
    view.load();
    const QStringList drawn = BundledBoards::widths(
        session,
        [&view](const Control& c) {
            const auto* label = qobject_cast<const LabelWidget*>(view.widgetOf(c));
            return label == nullptr
                       ? -1.0
                       : QFontMetricsF(label->font()).horizontalAdvance(label->text()) *
                             Control::TwipsPerPixel;
        },
        [&view] { view.sync(); });

    ASSERT_GT(drawn.size(), 100) << "the bundled series were not all shown";
    ASSERT_EQ(measured.size(), drawn.size()) << "the two processes showed other problems";
    int differing = 0;
    for (qsizetype i = 0; i < drawn.size(); ++i) {
        if (measured[i] != drawn[i] && ++differing <= 5) {
            ADD_FAILURE() << "server: " << measured[i].toStdString()
                          << "\nwindow: " << drawn[i].toStdString();
        }
    }
    EXPECT_EQ(differing, 0);
}

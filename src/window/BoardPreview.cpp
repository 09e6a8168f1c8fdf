#include "window/BoardPreview.h"

#include "marks/MarksFile.h"
#include "measure/QtFonts.h"
#include "measure/QtTextMeasure.h"
#include "series/SeriesState.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QSet>
#include <QUrl>

#include <algorithm>

namespace
{

// The program's main window, never shown on a screen, in the folder of one
// series file: start-up, the series list and showProblem run exactly as when a
// user opens the series and steps through it.
class PreviewWindow
{
public:
    explicit PreviewWindow(const QString& folder) : session_(folder, measure_), view_(session_)
    {
        view_.setAttribute(Qt::WA_DontShowOnScreen);
        view_.show();
        view_.load();
        // Start-up read the folder's catalogue; that file is not the series
        // being drawn.
        session_.takeMessagesKept();
    }

    // Opens the series as a double-click on its list entry does; returns the
    // number of problems loaded.
    int open(const QString& fileName, const QString& title)
    {
        int entry = 0;
        if (fileName != QLatin1String(MarksFile::FileName)) {
            // The series becomes the one entry of the list after the marked
            // problems.
            session_.state().catalog[1] = {title, fileName};
            session_.screen().seriesList.Entries =
                QStringList{session_.state().catalog[0][0], title};
            entry = 1;
        }
        session_.open(entry);
        view_.sync();
        ShowPrompts(session_, [] { return true; });
        notes_ = session_.takeMessagesKept();
        // A series that could not be opened leaves the list on the screen.
        return session_.screen().screen() == Screen::SeriesList
                   ? 0
                   : std::min(session_.state().problemCount, SeriesState::SeriesRows - 1);
    }

    QStringList notes() const { return notes_; }
    QString heading(int number) const
    {
        return session_.state().problems.at(static_cast<std::size_t>(number)).fullQuestion();
    }

    QImage draw(int number)
    {
        // As the arrow buttons step to a problem.
        session_.state().currentProblem = number;
        session_.screen().showProblem(static_cast<qint16>(number));
        view_.sync();
        // A picture shows the board, not where the keyboard happens to be.
        if (QWidget* focused = view_.focusWidget()) {
            focused->clearFocus();
        }
        QCoreApplication::sendPostedEvents();
        QImage image(view_.size(), QImage::Format_RGB32);
        view_.render(&image);
        return image;
    }

private:
    QtTextMeasure measure_;
    Session session_;
    MainWindow view_;
    QStringList notes_;
};

// Letters, digits, '.', '_' and '-' are safe in a file name on every system
// and in a link; anything else becomes '_'.
QString safeStem(const QString& fileName)
{
    QString stem;
    for (const QChar c : fileName) {
        const bool safe = c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_') ||
                          c == QLatin1Char('-');
        stem.append(safe ? c : QLatin1Char('_'));
    }
    if (stem.isEmpty() || stem.startsWith(QLatin1Char('.'))) {
        stem.prepend(QLatin1Char('_'));
    }
    return stem;
}

// Two series files of the same name (from different folders, or differing
// only in case on a system that ignores case) must not share pictures.
QString uniqueStem(const QString& fileName, QSet<QString>* used)
{
    const QString base = safeStem(fileName);
    QString stem = base;
    for (int k = 2; used->contains(stem.toCaseFolded()); ++k) {
        stem = base + QStringLiteral("_%1").arg(k);
    }
    used->insert(stem.toCaseFolded());
    return stem;
}

QString pictureName(const QString& stem, int number, int problemCount)
{
    // Enough digits for the names to sort in problem order.
    const int digits = problemCount >= 100 ? 3 : 2;
    return QStringLiteral("%1-%2.png")
        .arg(stem, QString::number(number).rightJustified(digits, u'0'));
}

// Replaces the file as one step, so that an interrupted run never leaves a
// half-written picture or index. (No fsync: the output can be drawn again.)
QString saveFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        return {};
    }
    const QString reason = file.errorString();
    file.cancelWriting();
    return reason.isEmpty() ? QStringLiteral("ディスクに書き込めません") : reason;
}

QString writeFailure(const QString& path, const QString& reason)
{
    return QStringLiteral("プレビューのファイル「%1」を書き込めません。\n理由: %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

// Control characters (a zero byte in a teacher's file) are never written
// raw into the page: each shows as U+FFFD.
QString escaped(const QString& text)
{
    QString out = text.toHtmlEscaped();
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t') || (u >= 0x7F && u <= 0x9F)) {
            c = QChar(0xFFFD);
        }
    }
    return out;
}

QString link(const QString& fileName)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(fileName));
}

const char* const PageHead = R"(<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="utf-8">
<title>問題の一覧 - 用語分類問題集 Velmorant</title>
<style>
body { font-family: sans-serif; margin: 1em 2em; background: #f6f6f6; }
section { margin-bottom: 3em; }
h2 { border-bottom: 1px solid #808080; }
h2 small { font-weight: normal; }
.note { white-space: pre-line; color: #a00000; }
figure { display: inline-block; vertical-align: top; margin: 0 1.5em 1.5em 0; }
figcaption { max-width: 622px; margin-bottom: 0.3em; }
img { border: 1px solid #808080; }
</style>
</head>
<body>
<h1>問題の一覧</h1>
)";

// The index page as it grows: its table of contents and one section per
// series.
struct IndexPage {
    QString contents;
    QString sections;

    void addSeries(const QString& stem, const QString& title, const QString& named,
                   const QStringList& notes)
    {
        contents += QStringLiteral("<li><a href=\"#%1\">%2</a>（%3）</li>\n")
                        .arg(escaped(stem), escaped(title), escaped(named));
        sections += QStringLiteral("<section id=\"%1\">\n<h2>%2 <small>（%3）</small></h2>\n")
                        .arg(escaped(stem), escaped(title), escaped(named));
        for (const QString& note : notes) {
            // cppcheck-suppress useStlAlgorithm
            sections += QStringLiteral("<p class=\"note\">%1</p>\n").arg(escaped(note));
        }
    }

    void addPicture(const QString& name, int number, const QString& heading, const QSize& size)
    {
        // One arg() call: a heading may itself hold "%1".
        sections +=
            QStringLiteral("<figure id=\"%1\"><figcaption>%2　%3</figcaption>"
                           "<a href=\"%4\"><img src=\"%4\" width=\"%5\" height=\"%6\" "
                           "alt=\"%3\" loading=\"lazy\"></a></figure>\n")
                .arg(escaped(name.chopped(4)), QString::number(number), escaped(heading),
                     link(name), QString::number(size.width()), QString::number(size.height()));
    }

    void endSeries() { sections += QStringLiteral("</section>\n"); }

    QString html() const
    {
        return QString::fromUtf8(PageHead) + QStringLiteral("<nav><ul>\n") + contents +
               QStringLiteral("</ul></nav>\n") + sections + QStringLiteral("</body>\n</html>\n");
    }
};

// Writes the picture as a PNG file; returns why it could not, or nothing.
QString writePicture(const QImage& image, const QString& path)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return writeFailure(path, QStringLiteral("PNG形式に変換できません"));
    }
    const QString reason = saveFile(path, png);
    return reason.isEmpty() ? QString() : writeFailure(path, reason);
}

// Draws every usable problem of one series into the output folder and adds
// the series to the index; returns why a file could not be written, or
// nothing.
QString writeSeries(const BoardPreview::Series& s, const QDir& out, QSet<QString>* usedStems,
                    IndexPage* index, BoardPreview::SeriesResult* result)
{
    const QFileInfo info(s.path);
    const QString fileName = info.fileName();
    const bool marks = fileName == QLatin1String(MarksFile::FileName);
    QString title = s.title;
    if (title.isEmpty()) {
        title = marks ? QStringLiteral("マークの付いた問題") : fileName;
    }
    const QString stem = uniqueStem(fileName, usedStems);

    PreviewWindow window(info.absolutePath());
    const int count = window.open(fileName, title);
    result->notes = window.notes();

    const QString summary = count > 0 ? QStringLiteral("%1問").arg(count)
                                      : QStringLiteral("表示できる問題はありません");
    const QString named = title == fileName ? summary : fileName + QStringLiteral("、") + summary;
    index->addSeries(stem, title, named, result->notes);
    for (int n = 1; n <= count; ++n) {
        const QString name = pictureName(stem, n, count);
        QSize size = s.keep ? QImageReader(out.filePath(name)).size() : QSize();
        if (!size.isValid()) {
            const QImage image = window.draw(n);
            if (QString failure = writePicture(image, out.filePath(name)); !failure.isEmpty()) {
                return failure;
            }
            size = image.size();
        }
        result->pictures.append(name);
        index->addPicture(name, n, window.heading(n), size);
    }
    index->endSeries();
    return {};
}

} // namespace

namespace BoardPreview
{

bool write(const QString& outDir, const QList<Series>& series, QString* error,
           QList<SeriesResult>* results)
{
    auto fail = [error](const QString& reason) {
        if (error != nullptr) {
            *error = reason;
        }
        return false;
    };
    QtFonts::installSubstitutions();
    const QDir out(outDir);
    if (!QDir().mkpath(outDir) || !QFileInfo(outDir).isDir()) {
        return fail(QStringLiteral("プレビューの出力先のフォルダ「%1」を作れません。")
                        .arg(QDir::toNativeSeparators(outDir)));
    }

    IndexPage page;
    QSet<QString> usedStems;
    for (const Series& s : series) {
        SeriesResult result{s.path, {}, {}};
        const QString failure = writeSeries(s, out, &usedStems, &page, &result);
        if (!failure.isEmpty()) {
            return fail(failure);
        }
        if (results != nullptr) {
            results->append(result);
        }
    }

    const QString index = out.filePath(QStringLiteral("index.html"));
    const QString reason = saveFile(index, page.html().toUtf8());
    if (!reason.isEmpty()) {
        return fail(writeFailure(index, reason));
    }
    return true;
}

} // namespace BoardPreview

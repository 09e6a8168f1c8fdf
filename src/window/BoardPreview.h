#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Pictures of every problem board, drawn by the program's own window, for the
// people who write series files: one PNG of the client area per usable
// problem and an index.html that shows them all, series by series.
namespace BoardPreview
{

// A series file and the title it has in the catalogue (empty: its file
// name). A file named like the marks file is read as the marks file.
struct Series {
    QString path;
    QString title;
    // The file has not changed since its pictures were drawn: those there
    // are listed as they are (velmorant-check --watch), the others drawn.
    bool keep = false;
};

// What became of one series: the pictures written (file names inside the
// output folder, in problem order) and what the loader had to say about the
// file, as the program would have told it in message boxes.
struct SeriesResult {
    QString path;
    QStringList pictures;
    QStringList notes;
};

// Loads each series as the program does and draws each of its usable
// problems at the window's design size. Needs a QApplication. Makes the
// output folder if it is missing. A series that cannot be loaded gets its
// notes and no pictures. Returns false with a reason in Japanese when a file
// could not be written; a file is then never left half-written.
bool write(const QString& outDir, const QList<Series>& series, QString* error,
           QList<SeriesResult>* results = nullptr);

} // namespace BoardPreview

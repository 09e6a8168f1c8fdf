#include "session/StartUp.h"

#include "marks/MarksFile.h"
#include "series/Catalog.h"
#include "session/MainScreen.h"
#include "session/MarksMessages.h"
#include "session/ShowProblem.h"
#include "session/SoundCues.h"

namespace
{

QString lineList(const QList<int>& lines)
{
    QStringList numbers;
    for (const int line : lines) {
        numbers.append(QString::number(line));
    }
    return numbers.join(QStringLiteral("、"));
}

// What the learner is told about lines of the catalogue that were listed
// other than as written, once `listed` entries are in the list.
QStringList notesOnEntries(const Catalog::Result& catalog, const QString& name, qsizetype listed)
{
    QStringList notes;
    const qsizetype entries = catalog.entries.size();
    if (!catalog.linesWithoutFileName.isEmpty()) {
        notes.append(QStringLiteral("問題集の一覧ファイル「%1」の%2行目には、ファイル名が"
                                    "書かれていません。\nその問題集は一覧に載せますが、"
                                    "開くことはできません。\n"
                                    "1行に1つずつ「題名,ファイル名」の形で書いてください。")
                         .arg(name, lineList(catalog.linesWithoutFileName)));
    }
    if (!catalog.linesWithExtraFields.isEmpty()) {
        notes.append(QStringLiteral("問題集の一覧ファイル「%1」の%2行目には、題名とファイル名の"
                                    "ほかにも項目があります。\n最初の2つを題名とファイル名として"
                                    "使い、残りは使いません。")
                         .arg(name, lineList(catalog.linesWithExtraFields)));
    }
    if (entries > listed) {
        notes.append(QStringLiteral("問題集の一覧ファイル「%1」には%2件の問題集が書かれています。\n"
                                    "一覧に載せられるのは%3件までのため、最初の%3件だけを載せ、"
                                    "残りの%4件は載せていません。")
                         .arg(name, QString::number(entries),
                              QString::number(SeriesState::MaxCatalogEntries),
                              QString::number(entries - listed)));
    }
    return notes;
}

// Reads the catalogue into catalog rows 1.. and seriesList, after the fixed
// marked-problems entry in row 0, and tells the user once what was wrong
// with it.
void ReadSeriesCatalog(MainScreen& screen)
{
    SeriesState& st = screen.state;
    st.catalog[0][0] = QStringLiteral("マークの付いた問題");
    st.catalog[0][1] = QString::fromLatin1(MarksFile::FileName);
    screen.seriesList.Entries.append(st.catalog[0][0]);

    const QString name = QString::fromLatin1(Catalog::FileName);
    Catalog::Result catalog = Catalog::read(screen.pathOf(name));
    catalog.entries.removeIf([&screen](const Catalog::Entry& e) {
        return screen.hiddenSeries.contains(e.fileName, Qt::CaseInsensitive);
    });
    Assigned::order(catalog.entries, screen.dueSeries);
    if (const QString failure =
            MarksMessages::catalogReadFailure(catalog.status, name, catalog.error, screen.workDir);
        !failure.isEmpty()) {
        screen.tell(failure);
        return;
    }

    QStringList notes;
    if (!catalog.linesWithBadBytes.isEmpty()) {
        notes.append(QStringLiteral("問題集の一覧ファイル「%1」の%2行目には、シフトJIS"
                                    "（コードページ932）の文字として読めないバイトがあります。\n"
                                    "その行の問題集は一覧に載せていません。")
                         .arg(name, lineList(catalog.linesWithBadBytes)));
    }
    const qsizetype entries = catalog.entries.size();
    if (entries == 0) {
        notes.append(QStringLiteral("問題集の一覧ファイル「%1」に問題集が1つも書かれていません。\n"
                                    "1行に1つずつ「題名,ファイル名」の形で書いてください。")
                         .arg(name));
        screen.tell(notes.join(QStringLiteral("\n\n")));
        return;
    }
    const qsizetype listed = std::min<qsizetype>(entries, SeriesState::MaxCatalogEntries);
    for (qsizetype i = 1; i <= listed; ++i) {
        const Catalog::Entry& entry = catalog.entries.at(i - 1);
        auto& row = st.catalog.at(static_cast<std::size_t>(i));
        row[0] = entry.title;
        row[1] = entry.fileName;
        screen.seriesList.Entries.append(row[0]);
    }

    Assigned::labelRows(screen);
    notes += notesOnEntries(catalog, name, listed);
    if (!notes.isEmpty()) {
        screen.tell(notes.join(QStringLiteral("\n\n")));
    }
}

} // namespace

void RunStartUp(MainScreen& screen)
{
    screen.instructionLine.Top = screen.Height - 900.0F;
    screen.quitButton.Top = screen.Height - 930.0F;
    screen.titlePicture.Left = (screen.Width - screen.titlePicture.Width) / 2.0F;
    screen.seriesList.Left = (screen.Width - screen.seriesList.Width) / 2.0F;
    screen.resultPanel.Visible = false;
    for (int i = 0; i <= 2; ++i) {
        screen.resultButtons.at(i).Visible = false;
    }
    ClearBoard(screen);
    if (screen.state.currentProblem == 0) {
        ReadSeriesCatalog(screen);
    }
    screen.instructionLine.setCaption(QString::fromUtf16(MainScreen::ListPrompt));
    screen.instructionLine.Visible = true;
    Recording::showOnList(screen);
    SoundCues::openAll(screen.players);
}

#include "support/BundledBoards.h"

#include "session/Prompts.h"
#include "session/Session.h"

namespace BundledBoards
{

namespace
{

QString line(const QString& where, const Control& label, double textWidth, float boardWidth)
{
    return QStringLiteral("%1 「%2」 %3 %4")
        .arg(where, label.Caption(), QString::number(textWidth, 'g', 17),
             QString::number(static_cast<double>(boardWidth), 'g', 9));
}

} // namespace

QStringList widths(Session& session, const std::function<double(const Control&)>& textWidth,
                   const std::function<void()>& shown)
{
    MainScreen& form = session.screen();
    QStringList lines;
    // Entry 0 is the marked problems, which are problems of these series.
    for (int entry = 1; entry < form.seriesList.Entries.size(); ++entry) {
        session.open(entry);
        ShowPrompts(session, [] { return true; });
        for (int n = 1; n <= form.state.problemCount; ++n) {
            form.state.currentProblem = n;
            form.showProblem(static_cast<qint16>(n));
            if (shown) {
                shown();
            }
            const QString at = QStringLiteral("%1/%2 ").arg(entry).arg(n);
            const BoardLayout& board = form.board;
            for (int i = 0; i < board.terms.size(); ++i) {
                const Control& term = form.terms.at(static_cast<std::size_t>(i));
                lines.append(line(at + QStringLiteral("term %1").arg(i), term, textWidth(term),
                                  board.terms.at(i).width));
            }
            for (int c = 0; c < board.captions.size(); ++c) {
                const Control& caption = form.captions.at(static_cast<std::size_t>(c));
                lines.append(line(at + QStringLiteral("caption %1").arg(c), caption,
                                  textWidth(caption), board.captions.at(c).width));
            }
        }
        form.ShowSeriesList();
    }
    return lines;
}

} // namespace BundledBoards

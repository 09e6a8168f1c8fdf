// Writes a made-up class into a folder, as the bench reads it, to look at
// its report: made_up_class FOLDER [LEARNERS PER_DAY DAYS]
// Or a class that remembers as FSRS-6 with the 21 parameters given says,
// and the reviews the schedule takes in, as JSON, into REVIEWS:
//   made_up_class --remembering W0,...,W20 FOLDER LEARNERS DAYS REVIEWS
#include "MadeUpClass.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <cstdio>

namespace
{

int fail(const QString& why)
{
    std::fprintf(stderr, "made_up_class: %s\n", qUtf8Printable(why));
    return 1;
}

int remembering(const QStringList& args)
{
    MadeUpClass::Remembering r;
    const QStringList w = args.at(2).split(QLatin1Char(','));
    if (w.size() != 21) {
        return fail(QStringLiteral("21 parameters, please"));
    }
    for (int i = 0; i < 21; ++i) {
        r.truth[std::size_t(i)] = w.at(i).toDouble();
    }
    r.learners = args.at(4).toInt();
    r.days = args.at(5).toInt();
    QList<QList<int>> reviews;
    if (const QString failed = MadeUpClass::writeRemembering(args.at(3), r, &reviews);
        !failed.isEmpty()) {
        return fail(failed);
    }
    QJsonArray out;
    for (const QList<int>& review : reviews) {
        out.append(QJsonArray{review.at(0), review.at(1), review.at(2)});
    }
    QFile file(args.at(6));
    const QByteArray bytes = QJsonDocument(out).toJson(QJsonDocument::Compact);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        return fail(file.errorString());
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 7 && args.at(1) == QLatin1String("--remembering")) {
        return remembering(args);
    }
    if (args.size() != 2 && args.size() != 5) {
        std::fputs("usage: made_up_class FOLDER [LEARNERS PER_DAY DAYS]\n"
                   "       made_up_class --remembering W0,...,W20 FOLDER LEARNERS DAYS REVIEWS\n",
                   stderr);
        return 2;
    }
    const bool sized = args.size() == 5;
    const QString failure =
        MadeUpClass::write(args.at(1), sized ? args.at(2).toInt() : 12,
                           sized ? args.at(3).toInt() : 10, sized ? args.at(4).toInt() : 60);
    return failure.isEmpty() ? 0 : fail(failure);
}

// Writes a made-up class into a folder, as the bench reads it, to look at
// its report: made_up_class FOLDER [LEARNERS PER_DAY DAYS]
#include "MadeUpClass.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 5) {
        std::fputs("usage: made_up_class FOLDER [LEARNERS PER_DAY DAYS]\n", stderr);
        return 2;
    }
    const bool sized = args.size() == 5;
    const QString failure =
        MadeUpClass::write(args.at(1), sized ? args.at(2).toInt() : 12,
                           sized ? args.at(3).toInt() : 10, sized ? args.at(4).toInt() : 60);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "made_up_class: %s\n", qUtf8Printable(failure));
        return 1;
    }
    return 0;
}

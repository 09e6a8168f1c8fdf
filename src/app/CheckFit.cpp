#include "app/CheckFit.h"

#include "app/CheckReport.h"
#include "app/ClassAnswers.h"
#include "record/ClassParameters.h"
#include "record/FitReport.h"
#include "record/FsrsFit.h"
#include "server/store/ClassSchedules.h"
#include "server/store/Store.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using CheckReport::print;
using CheckReport::printError;

namespace CheckFit
{

const char* const Usage =
    "\n"
    "        velmorant-check --fit [--retention 見込み] [--json] [--day-start 時刻]\n"
    "                        [--class クラス] [--database URL] [フォルダ]\n"
    "        velmorant-check --retention 見込み [--class クラス] [--database URL] [フォルダ]\n"
    "  --fit                   学習の記録（--report と同じもの）から、このクラスの復習に合わせた\n"
    "                          FSRS-6 "
    "のパラメーターを求め、標準のパラメーターと比べた予測の当たり\n"
    "                          具合（対数損失と "
    "RMSE(ビン)、同じ復習で、また学習者を分けて）を示し、\n"
    "                          records/.fsrs-parameters.json に記録します。Velmorant と --due は\n"
    "                          "
    "これを使って復習の予定を立てます。復習（問題ごとの2回目からの復習）が\n"
    "                          400件に満たないときは標準のままにし、あと何件要るかを示します\n"
    "  --json                  --fit の結果を JSON のオブジェクト1つで示します\n"
    "  --retention 見込み      復習の間隔が目指す、思い出せる見込み（0.70〜0.97、ないときは "
    "0.90）を\n"
    "                          記録します\n"
    "  --class クラス          サーバーのフォルダでは、そのクラスの学習者の記録から求め、\n"
    "                          サーバーの記録にそのクラスのものとして記録します（クラスが1つ\n"
    "                          のときは省けます）。サーバーはそのクラスの復習の予定をこれで\n"
    "                          立て直します\n";

namespace
{

enum Exit { Clean = 0, Failed = 1, BadUsage = 2 };

struct Options {
    bool fit = false;
    bool json = false;
    QString retention, dayStart, database, className;
    QStringList folders;
};

// Returns false (after saying why) when the command line cannot be used.
bool parse(const QStringList& args, Options* o)
{
    const CheckReport::ValuedOptions valued{{QStringLiteral("--retention"), &o->retention},
                                            {QStringLiteral("--day-start"), &o->dayStart},
                                            {QStringLiteral("--database"), &o->database},
                                            {QStringLiteral("--class"), &o->className}};
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (const std::optional<bool> taken = CheckReport::takeValued(args, i, valued)) {
            if (!*taken) {
                return false;
            }
        } else if (a == QLatin1String("--fit") || a == QLatin1String("--json")) {
            (a == QLatin1String("--fit") ? o->fit : o->json) = true;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            printError(QStringLiteral("%1 は --fit、--retention と一緒には使えません").arg(a));
            return false;
        } else {
            o->folders.append(a);
        }
    }
    if (!o->fit && (o->json || !o->dayStart.isEmpty())) {
        printError(QStringLiteral("--json、--day-start は --fit と一緒に使います"));
        return false;
    }
    if (o->folders.size() > 1) {
        printError(QStringLiteral("フォルダは1つだけ指定してください"));
        return false;
    }
    return true;
}

QString measureText(const QString& whose, const FitMeasures::Measure& m)
{
    return QStringLiteral("  %1: 対数損失 %2、RMSE(ビン) %3")
        .arg(whose, QString::number(m.logLoss, 'f', 4), QString::number(m.rmseBins, 'f', 4));
}

void printOutcome(const FitReport::Outcome& o, const QString& kept)
{
    print(QStringLiteral("学習者 %1人、復習 %2件（問題ごとの2回目からの復習）")
              .arg(QString::number(o.learners), QString::number(o.reviews)));
    if (!o.enough()) {
        print(FitReport::tooFew(o));
    }
    print(QStringLiteral("同じ復習での予測の当たり具合（小さいほど良い）:"));
    print(measureText(QStringLiteral("標準のパラメーター"), o.defaults));
    print(measureText(QStringLiteral("このクラスに合わせたパラメーター"), o.fitted));
    if (o.heldOut.folds > 0) {
        print(QStringLiteral("学習者を %1組に分け、1組ずつほかの組で合わせたパラメーターで予測:")
                  .arg(o.heldOut.folds));
        print(measureText(QStringLiteral("標準のパラメーター"), o.heldOut.defaults));
        print(measureText(QStringLiteral("このクラスに合わせたパラメーター"), o.heldOut.fitted));
    }
    QStringList w;
    for (const double x : o.parameters.w) {
        w.append(QString::number(x, 'f', 4));
    }
    print(QStringLiteral("パラメーター: %1").arg(w.join(QLatin1Char(' '))));
    QStringList days;
    for (const int n : o.forecast) {
        days.append(QString::number(n));
    }
    print(
        QStringLiteral("%1 からの30日の復習の見込み（思い出せる見込み %2 を目指して、1日ずつ）: %3")
            .arg(o.from.toString(Qt::ISODate), QString::number(o.parameters.retention, 'f', 2),
                 days.join(QLatin1Char(' '))));
    if (!kept.isEmpty()) {
        print(QStringLiteral("記録しました: %1").arg(kept));
    }
}

// The recall the intervals aim at: as given, else as kept.
bool retentionOf(const Options& o, const ClassParameters::Kept& kept, double* retention)
{
    *retention = kept.parameters.retention;
    if (o.retention.isEmpty()) {
        return true;
    }
    bool number = false;
    *retention = o.retention.toDouble(&number);
    const QString why =
        number ? ClassParameters::retentionProblem(*retention)
               : QStringLiteral("--retention の「%1」は数ではありません").arg(o.retention);
    if (!why.isEmpty()) {
        printError(why);
    }
    return why.isEmpty();
}

// Fits, keeps and tells.
int fitAndKeep(const Options& o, const QString& folder, ClassParameters::Kept kept,
               double retention)
{
    LearnerDays days;
    if (!o.dayStart.isEmpty()) {
        QString why;
        const std::optional<int> minutes = LearnerDays::readStart(o.dayStart, &why);
        if (!minutes) {
            printError(why);
            return BadUsage;
        }
        days = LearnerDays(*minutes);
    }
    ClassFolder::Read read;
    if (const QString failed = ClassAnswers::read(folder, QString(), &read); !failed.isEmpty()) {
        printError(failed);
        return Failed;
    }
    Fsrs::Parameters parameters;
    parameters.retention = retention;
    const FitReport::Outcome outcome = FitReport::of(read.answers, folder, days, parameters, true);
    // Too few reviews keep the defaults, even over an earlier class's fit.
    const bool write = outcome.enough() || kept.fitted() || !o.retention.isEmpty();
    if (write) {
        kept.parameters = outcome.parameters;
        kept.fittedAt = outcome.enough() ? QDateTime::currentDateTimeUtc() : QDateTime();
        kept.reviews = outcome.enough() ? int(outcome.reviews) : 0;
        kept.learners = outcome.enough() ? int(outcome.learners) : 0;
        if (const QString failed = ClassParameters::write(folder, kept); !failed.isEmpty()) {
            printError(failed);
            return Failed;
        }
    }
    const QString keptAt =
        write ? QDir::toNativeSeparators(ClassParameters::path(folder)) : QString();
    if (o.json) {
        print(QString::fromUtf8(
            QJsonDocument(FitReport::toJson(outcome, keptAt)).toJson(QJsonDocument::Compact)));
    } else {
        printOutcome(outcome, keptAt);
    }
    return Clean;
}

// A server's folder keeps each class's parameters in its store: the class
// named, or the store's only one.
std::optional<Store::SchoolClass> classOf(Store& store, const QString& name)
{
    QString failed;
    const std::optional<QList<Store::SchoolClass>> classes = store.classes(&failed);
    if (!classes) {
        printError(failed);
        return std::nullopt;
    }
    for (const Store::SchoolClass& c : *classes) {
        if (c.name == name || (name.isEmpty() && classes->size() == 1)) {
            return c;
        }
    }
    if (name.isEmpty()) {
        printError(classes->isEmpty()
                       ? QStringLiteral("サーバーのフォルダにクラスがありません")
                       : QStringLiteral("クラスが%1つあります。--class でクラスを指定してください")
                             .arg(classes->size()));
    } else {
        printError(QStringLiteral("クラス「%1」はありません").arg(name));
    }
    return std::nullopt;
}

int fitServerClass(const Options& o, const QString& folder, const QString& database)
{
    if (!o.dayStart.isEmpty()) {
        printError(QStringLiteral("--day-start はサーバーのフォルダでは使えません（サーバーの"
                                  "1日の始まりで求めます）"));
        return BadUsage;
    }
    std::optional<double> retention;
    if (!o.retention.isEmpty()) {
        double given = 0;
        if (!retentionOf(o, {}, &given)) {
            return BadUsage;
        }
        retention = given;
    }
    Store store;
    if (const QString failed = store.open(folder, database); !failed.isEmpty()) {
        printError(failed);
        return Failed;
    }
    const std::optional<Store::SchoolClass> chosen = classOf(store, o.className);
    if (!chosen) {
        return BadUsage;
    }
    const ClassSchedules::Result r =
        ClassSchedules::fit(store, folder, chosen->id, retention, o.fit);
    if (!r.failure.isEmpty()) {
        printError(r.failure);
        return Failed;
    }
    const QString kept =
        r.kept ? QStringLiteral("%1 のクラス「%2」").arg(store.where(), chosen->name) : QString();
    if (o.json) {
        QJsonObject report = r.report;
        report.insert(QStringLiteral("kept"), kept.isEmpty() ? QJsonValue(QJsonValue::Null) : kept);
        print(QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Compact)));
    } else if (o.fit) {
        printOutcome(r.outcome, kept);
    } else {
        print(r.told);
    }
    return Clean;
}

} // namespace

std::optional<int> run(const QStringList& args)
{
    if (!args.contains(QStringLiteral("--fit")) && !CheckReport::asks(args, "--retention")) {
        return std::nullopt;
    }
    Options o;
    if (!parse(args, &o)) {
        CheckReport::printUsageHint();
        return BadUsage;
    }
    const std::optional<QString> given = CheckReport::readableFolder(o.folders);
    if (!given) {
        return BadUsage;
    }
    const QString& folder = *given;
    QString database = o.database;
    if (const QString why = ClassAnswers::folderDatabase(folder, &database); !why.isEmpty()) {
        printError(why);
        return BadUsage;
    }
    if (!database.isEmpty() ||
        QFileInfo::exists(QDir(folder).filePath(QStringLiteral("velmorant.sqlite")))) {
        return fitServerClass(o, folder, database);
    }
    if (!o.className.isEmpty()) {
        printError(QStringLiteral("--class はサーバーのフォルダで使います"));
        return BadUsage;
    }
    ClassParameters::Kept kept = ClassParameters::read(folder);
    if (!kept.problem.isEmpty()) {
        printError(kept.problem);
    }
    double retention = 0;
    if (!retentionOf(o, kept, &retention)) {
        return BadUsage;
    }
    if (o.fit) {
        return fitAndKeep(o, folder, kept, retention);
    }
    kept.parameters.retention = retention;
    if (const QString failed = ClassParameters::write(folder, kept); !failed.isEmpty()) {
        printError(failed);
        return Failed;
    }
    print(QStringLiteral("復習の間隔が目指す思い出せる見込みを %1 にしました: %2")
              .arg(QString::number(retention, 'f', 2),
                   QDir::toNativeSeparators(ClassParameters::path(folder))));
    return Clean;
}

} // namespace CheckFit

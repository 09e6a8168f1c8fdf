#include "server/admin/ServerCommandLine.h"

#include "server/http/ServerNames.h"

#include <QHostAddress>
#include <QUrl>

#include <array>
#include <utility>

namespace ServerCommandLine
{

namespace
{

using Action = Request::Action;

Request bad(const QString& why)
{
    Request r;
    r.action = Action::BadUsage;
    r.error = why;
    return r;
}

bool number(const QString& value, int low, int high, int* out)
{
    bool ok = false;
    *out = value.toInt(&ok);
    return ok && *out >= low && *out <= high;
}

bool webUrl(const QString& value, bool needsHost)
{
    const QUrl url(value, QUrl::StrictMode);
    return url.isValid() && (!needsHost || !url.host().isEmpty()) &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// The commands that take a value: a file, or a learner's name.
bool takeCommand(Request& r, const QString& option, const QString& value)
{
    if (option == QLatin1String("--backup") || option == QLatin1String("--restore") ||
        option == QLatin1String("--add-learners")) {
        r.file = value;
        r.action = option == QLatin1String("--backup")    ? Action::Backup
                   : option == QLatin1String("--restore") ? Action::Restore
                                                          : Action::AddLearners;
        return !value.isEmpty();
    }
    const QString name = value.trimmed();
    if (option == QLatin1String("--remove-class")) {
        r.action = Action::RemoveClass;
        r.className = name;
    } else if (option == QLatin1String("--add-teacher") ||
               option == QLatin1String("--remove-teacher")) {
        r.action =
            option == QLatin1String("--add-teacher") ? Action::AddTeacher : Action::RemoveTeacher;
        r.teacher = name;
    } else {
        r.action =
            option == QLatin1String("--add-learner") ? Action::AddLearner : Action::RemoveLearner;
        r.learner = name;
    }
    return !name.isEmpty() && name.size() <= 64;
}

} // namespace

bool takeValue(Request& r, const QString& option, const QString& value)
{
    // Options whose value is any text but none.
    static const std::array<std::pair<const char*, QString Request::*>, 6> texts = {{
        {"--class", &Request::className},
        {"--database", &Request::database},
        {"--group", &Request::group},
        {"--tls-cert", &Request::tlsCert},
        {"--tls-key", &Request::tlsKey},
        {"--lrs-auth", &Request::lrsAuth},
    }};
    for (const auto& [name, member] : texts) {
        if (option == QLatin1String(name)) {
            r.*member = value;
            return !value.isEmpty();
        }
    }
    if (option == QLatin1String("--listen") || option == QLatin1String("--trusted-proxy")) {
        (option == QLatin1String("--listen") ? r.listen : r.trustedProxy) = value;
        return !QHostAddress(value).isNull();
    }
    if (option == QLatin1String("--port")) {
        r.portNamed = true;
        return number(value, 0, 65535, &r.port);
    }
    if (option == QLatin1String("--idle-timeout")) {
        return number(value, 1, 3600, &r.idleTimeoutSeconds);
    }
    if (option == QLatin1String("--request-timeout")) {
        return number(value, 1, 3600, &r.requestTimeoutSeconds);
    }
    if (option == QLatin1String("--sign-out-after")) {
        return number(value, 1, 24 * 60, &r.signOutAfterMinutes);
    }
    if (option == QLatin1String("--server-name")) {
        r.serverNames = value.split(u',', Qt::SkipEmptyParts);
        return !r.serverNames.isEmpty() &&
               std::all_of(r.serverNames.begin(), r.serverNames.end(), [](const QString& name) {
                   return !ServerNames::settingName(name).isEmpty();
               });
    }
    if (option == QLatin1String("--lrs") || option == QLatin1String("--address")) {
        const bool lrs = option == QLatin1String("--lrs");
        (lrs ? r.lrs : r.address) = value;
        return webUrl(value, !lrs);
    }
    return takeCommand(r, option, value);
}

QString conflict(const Request& r)
{
    if (r.tlsCert.isEmpty() != r.tlsKey.isEmpty()) {
        return QStringLiteral("--tls-cert と --tls-key は両方指定してください");
    }
    if (r.lrs.isEmpty() != r.lrsAuth.isEmpty()) {
        return QStringLiteral("--lrs と --lrs-auth は両方指定してください");
    }
    if (!r.group.isEmpty() && !r.database.isEmpty()) {
        return QStringLiteral("--group はフォルダの velmorant.sqlite にだけ使えます");
    }
    return {};
}

const QStringList& optionsWithValue()
{
    static const QStringList options = {
        QStringLiteral("--listen"),          QStringLiteral("--port"),
        QStringLiteral("--database"),        QStringLiteral("--tls-cert"),
        QStringLiteral("--tls-key"),         QStringLiteral("--add-learner"),
        QStringLiteral("--remove-learner"),  QStringLiteral("--lrs"),
        QStringLiteral("--lrs-auth"),        QStringLiteral("--idle-timeout"),
        QStringLiteral("--request-timeout"), QStringLiteral("--group"),
        QStringLiteral("--trusted-proxy"),   QStringLiteral("--sign-out-after"),
        QStringLiteral("--backup"),          QStringLiteral("--restore"),
        QStringLiteral("--add-learners"),    QStringLiteral("--address"),
        QStringLiteral("--server-name"),     QStringLiteral("--class"),
        QStringLiteral("--remove-class"),    QStringLiteral("--add-teacher"),
        QStringLiteral("--remove-teacher")};
    return options;
}

// An option without a value: false when `a` is none.
bool takeFlag(Request& r, const QString& a)
{
    if (a == QLatin1String("--learners")) {
        r.action = Action::ListLearners;
    } else if (a == QLatin1String("--teachers")) {
        r.action = Action::ListTeachers;
    } else if (a == QLatin1String("--set-teacher-password")) {
        r.action = Action::SetTeacherPassword;
    } else if (a == QLatin1String("--yes")) {
        r.yes = true;
    } else if (a == QLatin1String("--samples")) {
        r.samples = true;
    } else {
        return false;
    }
    return true;
}

// --teacher-classes NAME 1A,1B: a teacher's name and the classes given
// them, comma-separated; false when either is missing.
bool takeTeacherClasses(Request& r, const QStringList& arguments, qsizetype at)
{
    if (at + 2 >= arguments.size() || arguments.at(at + 1).trimmed().isEmpty()) {
        return false;
    }
    r.action = Action::TeacherClasses;
    r.teacher = arguments.at(at + 1).trimmed();
    for (const QString& c : arguments.at(at + 2).split(u',', Qt::SkipEmptyParts)) {
        r.classes.append(c.trimmed());
    }
    return true;
}

Request read(const QStringList& arguments)
{
    Request r;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            r.action = Action::Help;
            return r;
        }
        if (a == QLatin1String("-v") || a == QLatin1String("--version")) {
            r.action = Action::Version;
            return r;
        }
        if (takeFlag(r, a)) {
            continue;
        }
        if (a == QLatin1String("--teacher-classes")) {
            if (!takeTeacherClasses(r, arguments, i)) {
                return bad(QStringLiteral("--teacher-classes のあとに先生の名前とクラスを"
                                          "指定してください（例 --teacher-classes 山田 1A,1B）"));
            }
            i += 2;
        } else if (optionsWithValue().contains(a)) {
            if (i + 1 >= arguments.size() || !takeValue(r, a, arguments.at(i + 1))) {
                return bad(QStringLiteral("%1 のあとの値が正しくありません").arg(a));
            }
            r.given.append(a);
            ++i;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return bad(QStringLiteral("知らないオプションです: %1").arg(a));
        } else {
            r.folders.append(a);
        }
    }
    if (r.folders.size() > 1) {
        return bad(QStringLiteral("フォルダは1つだけ指定してください"));
    }
    if (const QString why = conflict(r); !why.isEmpty()) {
        return bad(why);
    }
    return r;
}

namespace
{

// How each command is written.
QString usage()
{
    return QStringLiteral(
        "使い方: velmorant-server [--listen アドレス] [--port 番号]\n"
        "                         [--database URL | --group グループ]\n"
        "                         [--tls-cert ファイル --tls-key ファイル]\n"
        "                         [--lrs URL --lrs-auth ファイル]\n"
        "                         [--idle-timeout 秒] [--request-timeout 秒]\n"
        "                         [--trusted-proxy アドレス] [--sign-out-after 分]\n"
        "                         [--server-name 名前,...] [--address URL]\n"
        "                         [--samples] [フォルダ]\n"
        "        velmorant-server --add-learner 名前 [--class クラス] [フォルダ]\n"
        "        velmorant-server --remove-learner 名前 [--class クラス] [フォルダ]\n"
        "        velmorant-server --learners [フォルダ]\n"
        "        velmorant-server --set-teacher-password [フォルダ]\n"
        "        velmorant-server --add-learners 名簿 [--class クラス] [--address URL] [フォルダ]\n"
        "        velmorant-server --remove-class クラス [--yes] [フォルダ]\n"
        "        velmorant-server --add-teacher 名前 [フォルダ]\n"
        "        velmorant-server --teachers [フォルダ]\n"
        "        velmorant-server --remove-teacher 名前 [フォルダ]\n"
        "        velmorant-server --teacher-classes 名前 クラス,... [フォルダ]\n"
        "        velmorant-server --backup ファイル [フォルダ]\n"
        "        velmorant-server --restore ファイル [フォルダ]\n"
        "\n");
}

// What the server does, and its settings file.
QString about()
{
    return QStringLiteral(
        "教室の学習者がブラウザで問題集に取り組めるよう、フォルダの問題集を配信します。\n"
        "指定するフォルダには ZQCList.TXT が要ります（--samples では見本を入れます）。\n"
        "指定しなければ velmorant と同じフォルダです。学習者のマークと回答の記録は、\n"
        "フォルダの velmorant.sqlite（または --database のデータベース）に保存します。\n"
        "velmorant.sqlite は本人だけが読める（--group では、そのグループも読める）\n"
        "ファイルにします。どのコマンドも、使う記録を標準エラーに表示します。\n"
        "\n"
        "フォルダの velmorant.conf に「項目 = 値」の行で、下のオプションを -- を除いた\n"
        "名前で書いておけます（例 database = postgresql://...、listen = 0.0.0.0）。\n"
        "配信にもどのコマンドにも使われます。コマンドラインのオプションが優先しますが、\n"
        "--database と --group はファイルと違うとエラーです。\n"
        "\n");
}

// The options of serving.
QString servingOptions()
{
    return QStringLiteral(
        "  --listen アドレス       待ち受けるアドレス（既定 127.0.0.1）。教室では 0.0.0.0\n"
        "                          か、この機械の LAN のアドレスを指定します。0.0.0.0 や\n"
        "                          :: では、学習者が開けるこの機械のアドレスを表示します\n"
        "  --port 番号             待ち受けるポート。指定したポートが使われていれば止まり\n"
        "                          ます（既定の 8080 だけは、使われていれば次の空き番号）\n"
        "  --database URL          postgresql://ユーザー@ホスト/データベース または\n"
        "                          postgresql://ユーザー@/データベース?host=/ソケットのフォルダ\n"
        "  --group グループ        velmorant.sqlite をそのグループも読めるようにします（640）。\n"
        "                          コマンドのたびに指定するか、velmorant.conf に書きます\n"
        "  --tls-cert ファイル     HTTPS で配信する証明書（PEM）\n"
        "  --tls-key ファイル      その秘密鍵（PEM。本人だけが読めること）\n"
        "  --lrs URL               回答の文を学習記録の保管庫（xAPI 1.0.3）へ送ります。\n"
        "                          URL は statements の手前まで（例 https://lrs.example/xapi）\n"
        "  --lrs-auth ファイル     保管庫の「ユーザー名:パスワード」の1行（本人だけが読めること）\n"
        "  --idle-timeout 秒       次の要求を送らない接続を閉じるまでの秒数（既定 30）\n"
        "  --request-timeout 秒    送り始めた要求や TLS のハンドシェイクが終わらない接続を\n"
        "                          閉じるまでの秒数（既定 10）\n"
        "  --trusted-proxy アドレス  このアドレスのリバースプロキシが X-Forwarded-For で\n"
        "                          伝える学習者のアドレスで、コードの間違いを数えます\n"
        "  --server-name 名前,...  学習者のブラウザがこのサーバーを開く名前（コンマ区切り）。\n"
        "                          Host がこの名前、--address のホスト、localhost、この機械の\n"
        "                          アドレスのどれでもない要求には 421 で答えます\n"
        "  --sign-out-after 分     操作のない学習者をサインアウトする分数（既定 30）\n"
        "  --samples               ZQCList.TXT のないフォルダ（なければ作ります）に見本の\n"
        "                          問題集を入れます\n");
}

// The commands and their options.
QString commandOptions()
{
    return QStringLiteral(
        "  --add-learner 名前      学習者を登録し、サインインのコードを最後の行に表示します\n"
        "  --class クラス          --add-learner と、組の列のない名簿の学習者のクラス（1A、\n"
        "                          1年A組など）。クラスが1つだけなら省けます\n"
        "  --remove-class クラス   クラスの学習者全員と、そのマークと記録を削除します。端末\n"
        "                          では確かめます（--yes か、パイプからの y で答えます）\n"
        "  --add-teacher 名前      先生を登録します。パスワードは --set-teacher-password と\n"
        "                          同じようにたずねます。先生は任されたクラスだけを見ます\n"
        "  --teachers              登録された先生と、そのクラスを表示します\n"
        "  --remove-teacher 名前   先生を削除します（管理者は削除できません）\n"
        "  --teacher-classes 名前 クラス,...  先生に任せるクラス（コンマ区切り）を設定します\n"
        "  --remove-learner 名前   学習者と、そのマークと記録を削除します\n"
        "  --learners              登録された学習者を表示します\n"
        "  --set-teacher-password  先生のページ（/teacher）の管理者（すべてのクラスを見る先生）\n"
        "                          のパスワード（8文字以上）を設定\n"
        "                          します。端末では画面に出さずに2回たずね、パイプからは\n"
        "                          1行を読みます\n"
        "  --add-learners 名簿     名簿（1行に1人の名前か、Excel で保存した CSV。Shift_JIS\n"
        "                          か UTF-8）の全員を登録し、名前とコードと教室のアドレスを\n"
        "                          載せたカードの印刷用ページ（A4 に 24 枚。クラスごとに番号\n"
        "                          の順）を、名簿の隣に「名簿の名前-コード表.html」として書き\n"
        "                          ます。1行目が見出しなら、組（クラス）、番号（出席番号）、\n"
        "                          氏名（名前）の列を読み、ほかの列は使いません。組の列が\n"
        "                          あれば、1つのファイルに学年全体を書けます\n"
        "  --address URL           カードに載せる教室のアドレス（既定は、この機械の LAN の\n"
        "                          アドレスと --port の番号）。そのホストもサーバーの名前です\n"
        "  --backup ファイル       サーバーを動かしたまま、記録の写しをファイルに書きます\n"
        "                          （PostgreSQL では、使う pg_dump のコマンドを表示します）\n"
        "  --restore ファイル      --backup の写しを記録として戻します（サーバーを止めてから。\n"
        "                          それまでの記録は velmorant.sqlite.before-restore に残ります）\n"
        "  -h, --help              この説明を表示します\n"
        "  -v, --version           版を表示します\n");
}

} // namespace

QString helpText()
{
    return usage() + about() + servingOptions() + commandOptions();
}

} // namespace ServerCommandLine

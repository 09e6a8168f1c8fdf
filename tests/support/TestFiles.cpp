#include "support/TestFiles.h"

#include "files/TextFile.h"

#include <QFile>
#include <gtest/gtest.h>

namespace TestFiles
{

QByteArray cp932(const QString& text)
{
    QByteArray out;
    if (!TextFile::encodeText(text, &out)) {
        ADD_FAILURE() << "test text is not code page 932: " << text.toStdString();
    }
    return out;
}

QByteArray lines(const QStringList& ls)
{
    QByteArray out;
    for (const QString& l : ls) {
        out += cp932(l);
        out += "\r\n";
    }
    return out;
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return;
    }
    f.write(bytes);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

QString sourceDir()
{
    return QStringLiteral(VELMORANT_SOURCE_DIR);
}
QString binaryDir()
{
    return QStringLiteral(VELMORANT_BINARY_DIR);
}

} // namespace TestFiles

#include <csignal>
#include <sys/resource.h>

TestFiles::FileSizeLimit::FileSizeLimit(long long bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    oldSoft_ = lim.rlim_cur;
    lim.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &lim);
}

TestFiles::FileSizeLimit::~FileSizeLimit()
{
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = static_cast<rlim_t>(oldSoft_);
    setrlimit(RLIMIT_FSIZE, &lim);
}

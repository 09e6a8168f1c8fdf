#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Test data written the way teachers' files are: code page 932, CR LF.
namespace TestFiles
{

QByteArray cp932(const QString& text);
// Joins the lines with CR LF (after the last one too) and encodes them.
QByteArray lines(const QStringList& lines);
void write(const QString& path, const QByteArray& bytes);
QByteArray readAll(const QString& path);
QString sourceDir();
QString binaryDir();

// While it lives, no file of this process can grow past `bytes`: writes
// beyond fail as on a full disk, even for root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long oldSoft_ = 0;
};

} // namespace TestFiles

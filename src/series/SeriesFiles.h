#pragma once

#include "files/TextEncoding.h"

#include <QByteArray>
#include <QString>

// The series files of a class folder as a teacher changes them from the
// browser: names that never leave the folder, a file's text in and out in
// its own encoding and line ends, the versions before a save kept in
// 履歴/, a removed file kept in 削除済み/.
namespace SeriesFiles
{

// Versions of one file kept in the history folder.
constexpr int HistoryKept = 20;
// A series of 50 problems of 21 terms is far below this; the upload's body
// (base64, a third larger) must stay within the server's request limit.
constexpr qsizetype MaxFileBytes = 45 * 1024;

// The lock file every change of the folder's series holds.
QString lockPath(const QString& dir);
QString historyFolder();
QString removedFolder();

// Why `name` cannot be a series file of the folder, in Japanese; empty when
// it can: letters, digits, '-' and '_' and the extension .TXT, no device
// name, not the catalogue.
QString badName(const QString& name);
// The same for a file the catalogue lists already, which a teacher may
// have named in Japanese: any plain name ending in .TXT that is not a
// path, a device name or hidden.
QString badListedName(const QString& name);

// A hash of the file's bytes: a save names the version it was made from.
QString versionOf(const QByteArray& bytes);

// How a file is written: its encoding, a byte order mark, its line end.
struct Form {
    TextEncoding::Encoding encoding = TextEncoding::Encoding::Cp932;
    bool bom = false;
    QByteArray lineEnd = "\r\n";
};
// The form of bytes already written; code page 932 with CR LF when empty.
Form formOf(const QByteArray& bytes);
// `text` in `form`, each line end made the form's. False, and *why (the
// character and its line) and *badLine, when the encoding cannot hold a
// character.
bool encode(const QString& text, const Form& form, QByteArray* out, QString* why,
            int* badLine = nullptr);
QString encodingName(TextEncoding::Encoding encoding);

// The file's bytes, or why they cannot be read.
struct Bytes {
    QString path;
    QByteArray bytes;
    QString error; // empty when read
};
Bytes read(const QString& dir, const QString& name);

struct Saved {
    int status = 200; // 400: cannot encode, 409: another version, 500: cannot write
    QString error;
    QString version;  // the file's version now
    QByteArray bytes; // 409: the file as it is now
    int line = 0;     // 400: the line of the character the encoding cannot hold
};
// Writes `text` over the file `name` if its version is still `version`,
// keeping the bytes it had in the history folder. The caller holds the
// folder's lock.
Saved save(const QString& dir, const QString& name, const QString& text, const QString& version);

// Writes `bytes` over the file `name` (made when it is gone), keeping the
// bytes it had in the history folder; one step (a new file renamed over
// it). The caller holds the folder's lock.
Saved replace(const QString& dir, const QString& name, const QByteArray& bytes);

// Writes a new file; refused (409) when one of that name (in any letter
// case) exists.
Saved create(const QString& dir, const QString& name, const QByteArray& bytes);

// Moves the file into the removed folder, with the time added to its name
// when one of that name is there already. Returns the reason on failure.
QString putAside(const QString& dir, const QString& name);

} // namespace SeriesFiles

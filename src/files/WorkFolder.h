#pragma once

#include <QString>
#include <QStringList>

// The one folder the program reads and writes its files in, chosen at start:
//   1. `velmorant DIR`: the folder DIR;
//   2. otherwise the current folder, when it holds ZQCList.TXT (a teacher's
//      folder keeps working as it always has);
//   3. otherwise the user's own folder, $XDG_DATA_HOME/velmorant, or
//      ~/.local/share/velmorant when XDG_DATA_HOME is unset.
// A chosen folder without ZQCList.TXT is made if needed and given every
// sample file it lacks (unless the caller refuses a named one: Named); a
// file already there is never replaced. A folder with
// ZQCList.TXT is used as it is. The installed samples are never the working
// folder, so the program writes nothing under its install prefix.
namespace WorkFolder
{

// Where to look; every path absolute.
struct Places {
    QString current;
    // share/velmorant/samples of the installation (or of the build folder).
    QString samples;
    // $XDG_DATA_HOME as set, or empty.
    QString dataHome;
    QString home;

    // This process's places; needs the application object.
    static Places ofThisProcess();
};

struct Choice {
    // Absolute path of the folder to work in; empty on failure.
    QString folder;
    // What went wrong, in Japanese, for a message box; empty on success.
    QString error;
    // The folder named was refused for having no ZQCList.TXT.
    bool noCatalog = false;
};

// What becomes of a folder named on the command line without ZQCList.TXT.
// The user's own folder (rule 3) is always made and filled.
enum class Named {
    Fill,  // made if needed and filled from the samples
    Refuse // an error: a mistyped name must not become a new folder
};

// The sample folder that belongs to a program in `programDir`: an installed
// program's <prefix>/share/velmorant/samples, or the copy beside a program in the
// build folder.
QString samplesBeside(const QString& programDir);

// The user's own folder (rule 3), whether it exists or not.
QString userFolder(const Places& places);

// Chooses the folder for the command-line arguments after the program's
// name, and makes and fills it where needed.
Choice prepare(const QStringList& arguments, const Places& places, Named named = Named::Fill);

// Copies every sample file that `folder` lacks, ZQCList.TXT last, so that a
// fill cut short is finished at the next start. Each file appears whole or
// not at all. Returns the reason on failure, an empty string on success.
QString fillFromSamples(const QString& folder, const QString& samples);

} // namespace WorkFolder

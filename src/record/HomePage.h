#pragma once

#include <QLatin1StringView>
#include <QString>

// actor.account.homePage of the statements written: the IRL of the system
// the learners' accounts belong to. The teacher names it in one line of
// FileName in the work folder, read by the program, the server and the
// check alike; without the file it is Default.
namespace HomePage
{

constexpr QLatin1StringView Default("http://velmorant.invalid/");
constexpr QLatin1StringView FileName("velmorant-homepage.txt");

struct Setting {
    QString url;     // Default when the file is missing or wrong
    QString problem; // why the file's line is not used, in Japanese; "" when it is
};
Setting read(const QString& workDir);

// Whether a statement's homePage names a system: an absolute IRI, as the
// program wrote before ("urn:velmorant") or writes now.
bool isIri(const QString& text);

} // namespace HomePage

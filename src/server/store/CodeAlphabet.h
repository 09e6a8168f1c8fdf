#pragma once

#include <QString>
#include <QStringView>

// What a sign-in code is made of, and a code as a learner types it read
// back. Qt Core only, so that the fuzz build takes it with the request
// reader, which reads the code of a sign-in with it.
namespace SignInCodes
{

constexpr int CodeLength = 8;
// Sign-in codes avoid characters that look alike (0/O, 1/l/I).
constexpr const char* CodeAlphabet = "ABCDEFGHJKMNPQRSTUVWXYZ23456789";

// A code as typed: spaces and hyphens dropped, letters upper-cased. Empty
// when it cannot be a code.
QString normalisedCode(QStringView typed);

} // namespace SignInCodes

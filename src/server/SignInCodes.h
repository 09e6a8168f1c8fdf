#pragma once

#include <QByteArray>
#include <QString>

// Sign-in codes and session ids: made from the system's cryptographic
// random source, kept only as hashes.
namespace SignInCodes
{

// A new code of Requests::CodeLength characters from Requests::CodeAlphabet.
QString newCode();
QByteArray newSalt();
// PBKDF2-HMAC-SHA256 of a code with its learner's salt.
QByteArray hash(const QString& code, const QByteArray& salt);
// Which of 256 buckets a code falls in: sign-in hashes only the learners of
// its bucket instead of every learner. Gives away 8 of the code's 39 bits.
// PBKDF2-HMAC-SHA256 of the teacher's password, 600,000 iterations.
QByteArray passwordHash(const QString& password, const QByteArray& salt);
int bucket(const QString& code);
bool sameBytes(const QByteArray& a, const QByteArray& b);

// A 256-bit session id as sent in the cookie (hex), and the hash stored.
QByteArray newSessionId();
QByteArray sessionHash(const QByteArray& id);

} // namespace SignInCodes

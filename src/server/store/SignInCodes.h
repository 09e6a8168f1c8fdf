#pragma once

#include <QByteArray>
#include <QString>

// Sign-in codes and session ids: made from the system's cryptographic
// random source, kept only as hashes.
namespace SignInCodes
{

// A new code of CodeLength characters from CodeAlphabet (CodeAlphabet.h).
QString newCode();
QByteArray newSalt();
// PBKDF2-HMAC-SHA256 of a code with the store's salt.
QByteArray hash(const QString& code, const QByteArray& salt);
// PBKDF2-HMAC-SHA256 of the teacher's password, 600,000 iterations.
QByteArray passwordHash(const QString& password, const QByteArray& salt);
bool sameBytes(const QByteArray& a, const QByteArray& b);

// A 256-bit session id as sent in the cookie (hex), and the hash stored.
QByteArray newSessionId();
QByteArray sessionHash(const QByteArray& id);

// A device cookie (64 hex digits, as a session id): a random id of the
// device and its HMAC-SHA256 under `key`, the store's secret, so that every
// server on the store takes it and no one can make one up.
QByteArray newDeviceCookie(const QByteArray& key);
// The device a cookie names, when its HMAC is right; else empty.
QByteArray deviceOf(const QByteArray& cookie, const QByteArray& key);

} // namespace SignInCodes

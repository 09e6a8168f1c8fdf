#include "server/store/SignInCodes.h"

#include "server/store/CodeAlphabet.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <openssl/evp.h>

#include <cstring>

namespace SignInCodes
{

namespace
{

// About 10 ms a hash on this machine's class of processor: slow enough
// for a stolen store, fast enough for forty learners signing in at once.
constexpr int Iterations = 20000;
// The teacher's password opens everyone's results: about a third of a
// second a try, as is advised for PBKDF2-HMAC-SHA256 today.
constexpr int PasswordIterations = 600000;

// PBKDF2-HMAC-SHA256 by libcrypto, which keeps the key's padded states
// between iterations: about five times sooner than an HMAC built afresh each
// time, the same bytes, so the stored hashes stay valid.
QByteArray pbkdf2(const QByteArray& secret, const QByteArray& salt, int iterations)
{
    QByteArray key(32, '\0');
    const int done = PKCS5_PBKDF2_HMAC(secret.constData(), static_cast<int>(secret.size()),
                                       reinterpret_cast<const unsigned char*>(salt.constData()),
                                       static_cast<int>(salt.size()), iterations, EVP_sha256(),
                                       static_cast<int>(key.size()),
                                       reinterpret_cast<unsigned char*>(key.data()));
    // It fails only when out of memory; an empty hash then matches nothing.
    return done == 1 ? key : QByteArray();
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          static_cast<qsizetype>(count / 4));
    return bytes;
}

// Half of a device cookie is its id, half its HMAC (truncated to 128 bits).
constexpr int DeviceIdBytes = 16;

QByteArray deviceMac(const QByteArray& id, const QByteArray& key)
{
    return QMessageAuthenticationCode::hash(id, key, QCryptographicHash::Sha256)
        .left(DeviceIdBytes);
}

} // namespace

QString newCode()
{
    const qsizetype symbols = static_cast<qsizetype>(std::strlen(CodeAlphabet));
    QString code;
    for (int i = 0; i < CodeLength; ++i) {
        const quint32 pick = QRandomGenerator::system()->bounded(static_cast<quint32>(symbols));
        code.append(QLatin1Char(CodeAlphabet[pick]));
    }
    return code;
}

QByteArray newSalt()
{
    return randomBytes(16);
}

QByteArray hash(const QString& code, const QByteArray& salt)
{
    return pbkdf2(code.toUtf8(), salt, Iterations);
}

QByteArray passwordHash(const QString& password, const QByteArray& salt)
{
    return pbkdf2(password.toUtf8(), salt, PasswordIterations);
}

bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.isEmpty() || a.size() != b.size()) {
        return false;
    }
    unsigned char differ = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        differ |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    }
    return differ == 0;
}

QByteArray newSessionId()
{
    return randomBytes(32).toHex();
}

QByteArray sessionHash(const QByteArray& id)
{
    return QCryptographicHash::hash(id, QCryptographicHash::Sha256);
}

QByteArray newDeviceCookie(const QByteArray& key)
{
    const QByteArray id = randomBytes(DeviceIdBytes);
    return (id + deviceMac(id, key)).toHex();
}

QByteArray deviceOf(const QByteArray& cookie, const QByteArray& key)
{
    const QByteArray bytes = QByteArray::fromHex(cookie);
    if (key.isEmpty() || bytes.size() != 2 * DeviceIdBytes) {
        return {};
    }
    const QByteArray id = bytes.left(DeviceIdBytes);
    return sameBytes(deviceMac(id, key), bytes.mid(DeviceIdBytes)) ? id.toHex() : QByteArray();
}

} // namespace SignInCodes

#include "server/store/CodeAlphabet.h"

#include <cstring>

namespace SignInCodes
{

QString normalisedCode(QStringView typed)
{
    if (typed.size() > 64) {
        return {};
    }
    QString code;
    for (const QChar ch : typed) {
        if (ch == QLatin1Char(' ') || ch == QLatin1Char('-') || ch == QChar(0x3000)) {
            continue;
        }
        // Full-width letters and digits, as a Japanese keyboard may type them.
        const QChar c =
            (ch.unicode() >= 0xFF01 && ch.unicode() <= 0xFF5E) ? QChar(ch.unicode() - 0xFEE0) : ch;
        const QChar upper = c.toUpper();
        if (upper.unicode() > 127 || std::strchr(CodeAlphabet, upper.toLatin1()) == nullptr) {
            return {};
        }
        code.append(upper);
    }
    return code.size() == CodeLength ? code : QString();
}

} // namespace SignInCodes

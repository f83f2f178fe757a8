#include "answersignature.h"

#include "updateknobs.h"
#include "updatereply.h"

#include <sodium.h>

namespace launcher {

namespace {

    QByteArray& publicKeyOverride()
    {
        static QByteArray key;
        return key;
    }

    // The standard base64 of exactly `size` bytes, or nothing.
    QByteArray decoded(const QByteArray& base64, int size)
    {
        const auto result
            = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
        return result && result.decoded.size() == size
                && result.decoded.toBase64() == base64 // no missing padding, nothing extra
            ? result.decoded
            : QByteArray();
    }

} // namespace

QByteArray signedAnswerMessage(const QString& locale, const QString& product,
    const QString& platform, const QString& newVersion, const QString& url)
{
    QByteArray message = "launcher-update-v1\n";
    for (const QString* part : { &locale, &product, &platform, &newVersion, &url })
        message += part->toUtf8() + '\n';
    return message;
}

bool isSignedAnswer(const QByteArray& body, const QByteArray& message, const QByteArray& publicKey)
{
    QByteArray signature;
    int lines = 0;
    for (const auto& entry : updateReplyEntries(body)) {
        if (entry.first == QLatin1String("signature")) {
            signature = decoded(entry.second.toLatin1(), crypto_sign_BYTES);
            ++lines;
        }
    }
    return lines == 1 && !signature.isEmpty() && publicKey.size() == crypto_sign_PUBLICKEYBYTES
        && sodium_init() >= 0
        && crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char*>(signature.constData()),
               reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()),
               reinterpret_cast<const unsigned char*>(publicKey.constData()))
        == 0;
}

QByteArray updatePublicKey()
{
    const QByteArray& key = publicKeyOverride();
    return decoded(
        key.isEmpty() ? QByteArray(builtInUpdatePublicKey()) : key, crypto_sign_PUBLICKEYBYTES);
}

void setUpdatePublicKey(const QByteArray& base64Key) { publicKeyOverride() = base64Key; }

} // namespace launcher

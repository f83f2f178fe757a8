#pragma once

#include <QByteArray>
#include <QString>

namespace launcher {

// The vendor's signature over an answer of the download server. With a public key built in
// (LAUNCHER_UPDATE_PUBLIC_KEY: the standard base64 of an Ed25519 key), an answer counts only when
// it holds exactly one line "signature=" with the standard base64 of a 64-byte Ed25519 signature
// that verifies, with that key, over signedAnswerMessage() of the request and the answer: an
// answer made for another product, locale or platform, or another version or page, does not.

// "launcher-update-v1\n" and locale, product, platform, the new version and the page's address,
// each in UTF-8 and ended by "\n".
QByteArray signedAnswerMessage(const QString& locale, const QString& product,
    const QString& platform, const QString& newVersion, const QString& url);

// Whether `body` holds one signature line that verifies over `message` with `publicKey` (the
// key's 32 bytes). A missing, malformed or wrong signature, or one given twice, does not.
bool isSignedAnswer(const QByteArray& body, const QByteArray& message, const QByteArray& publicKey);

// The key answers must be signed with (32 bytes); empty when none is built in.
QByteArray updatePublicKey();

// Asks for answers signed with `base64Key` from then on (empty: the built-in key). Only test
// programs call this: the launcher has no switch that leads here.
void setUpdatePublicKey(const QByteArray& base64Key);

} // namespace launcher

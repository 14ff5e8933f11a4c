#include "UpdateSignature.h"

#include <QFile>
#include <QList>

#include <sodium.h>

namespace {

constexpr int KeyIdBytes = 8;
constexpr int AlgorithmBytes = 2;

// The base64 payload of a minisign line, empty when it is not one.
QByteArray decodeLine(const QByteArray &line)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(line.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : QByteArray();
}

const unsigned char *bytes(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

// What the file signature covers: the file itself ("Ed"), or its BLAKE2b-512
// hash ("ED", minisign's default since it keeps big files out of memory).
bool fileMessage(const QString &path, bool prehashed, QByteArray &message)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (!prehashed) {
        message = file.readAll();
        return true;
    }
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MAX);
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty())
            return false;
        crypto_generichash_update(&state, bytes(chunk), static_cast<unsigned long long>(chunk.size()));
    }
    message.resize(crypto_generichash_BYTES_MAX);
    crypto_generichash_final(&state, reinterpret_cast<unsigned char *>(message.data()),
                             crypto_generichash_BYTES_MAX);
    return true;
}

} // namespace

bool verifyMinisign(const QString &path, const QByteArray &signatureFile, const QString &publicKey)
{
    if (sodium_init() < 0)
        return false;
    const QByteArray key = decodeLine(publicKey.toLatin1());
    if (key.size() != AlgorithmBytes + KeyIdBytes + int(crypto_sign_PUBLICKEYBYTES) || !key.startsWith("Ed"))
        return false;

    // "untrusted comment", signature, "trusted comment", global signature.
    const QList<QByteArray> lines = signatureFile.split('\n');
    if (lines.size() < 4)
        return false;
    const QByteArray signature = decodeLine(lines.at(1));
    const QByteArray trustedPrefix = "trusted comment: ";
    QByteArray trusted = lines.at(2);
    if (trusted.endsWith('\r'))
        trusted.chop(1);
    const QByteArray global = decodeLine(lines.at(3));
    if (signature.size() != AlgorithmBytes + KeyIdBytes + int(crypto_sign_BYTES) ||
        !trusted.startsWith(trustedPrefix) || global.size() != int(crypto_sign_BYTES))
        return false;
    const QByteArray algorithm = signature.left(AlgorithmBytes);
    if (algorithm != "Ed" && algorithm != "ED")
        return false;
    if (signature.mid(AlgorithmBytes, KeyIdBytes) != key.mid(AlgorithmBytes, KeyIdBytes))
        return false;

    const QByteArray publicBytes = key.mid(AlgorithmBytes + KeyIdBytes);
    const QByteArray fileSignature = signature.mid(AlgorithmBytes + KeyIdBytes);
    QByteArray message;
    if (!fileMessage(path, algorithm == "ED", message))
        return false;
    if (crypto_sign_verify_detached(bytes(fileSignature), bytes(message),
                                    static_cast<unsigned long long>(message.size()), bytes(publicBytes)) != 0)
        return false;

    // The trusted comment (file name, time) is signed together with the
    // file signature, so neither can be swapped on its own.
    const QByteArray globalMessage = fileSignature + trusted.mid(trustedPrefix.size());
    return crypto_sign_verify_detached(bytes(global), bytes(globalMessage),
                                       static_cast<unsigned long long>(globalMessage.size()),
                                       bytes(publicBytes)) == 0;
}

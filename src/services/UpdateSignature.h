#pragma once

#include <QByteArray>
#include <QString>

// Whether the file at `path` carries a valid minisign signature
// (`signatureFile`: the whole ".minisig" text) by the key in
// `publicKey` (minisign's base64 public key line). Both the file signature
// (plain or pre-hashed) and the signature over the trusted comment must hold,
// and the key ids must match. Reads the file in pieces, so any size is fine.
bool verifyMinisign(const QString &path, const QByteArray &signatureFile, const QString &publicKey);

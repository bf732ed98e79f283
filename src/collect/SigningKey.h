#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The league's Ed25519 secret key, kept as the base64 of its 32-byte seed on
// one line, in a file its owner alone may read.
namespace SigningKey {

// Writes a fresh key to path (0600; an existing file is never replaced) and
// gives its public key as base64.
std::optional<QByteArray> writeNew(const QString& path, QString* error);
// The seed of the key in path.
std::optional<QByteArray> read(const QString& path, QString* error);
// The public key of a seed, as base64.
QByteArray publicKeyOf(const QByteArray& seed);

} // namespace SigningKey

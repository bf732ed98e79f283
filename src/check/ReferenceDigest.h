#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The reference data a league checks against, as one SHA-256 that anyone can
// recompute in the program folder with
//   sha256sum Sam.mdb Brackwell.dat DunMarr.dat Skelder4.dat Grelm.dat Puddlewick.dat OldGrist.dat | sha256sum
// that is, the digest (lower-case hex) of sha256sum's listing of the database
// and the six genuine descriptors, in the cars' order. Files are found as the
// window finds them (any letter case) but listed under these names.
std::optional<QByteArray> referenceDigest(const QString& programFolder, QString* error);

#pragma once

#include "CarCatalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

// Another genuine version of some cars that a league accepts, a patch's:
// each car's <list entry>.dat in a folder, pinned by its SHA-256.
struct ReferenceVersion {
    QString name;
    QString folder;  // absolute
    qint64 line = 0; // of its [[reference]] in the rules file
    std::map<const Car*, QByteArray> sha256; // lower-case hex, as pinned; in list order
    std::map<const Car*, QByteArray> bytes;  // each pinned file, once read and found as pinned

    QString filePath(const Car& car) const;

    // Reads each pinned file, named exactly as its car is listed, and keeps
    // it when its digest is the pinned one. A missing or unreadable file, a
    // digest that differs (both named) or a car's file in the folder that is
    // not pinned is an error naming the file: the version is then unusable,
    // never quietly smaller.
    bool load(QString* error);
};

// For a folder of cars' .dat files, the lines that pin them in a
// [[reference]], `sha256.Brackwell = "<hex>"`, cars in list order. A file
// named as no car (in exactly its letter case) is left out; a folder that
// holds none is an error.
QStringList digestLines(const QString& folder, QString* error);

#pragma once

#include "CarCatalogue.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A tweak: a descriptor line that the car's index does not hold.
struct Tweak {
    qint64 line = 0; // in the descriptor, from 1
    QByteArray text;
    std::optional<QByteArray> genuine; // the genuine line it took the place of; none for an added line
};

// A genuine line that the descriptor lost and no tweak took the place of.
struct MissingLine {
    qint64 line = 0; // in the genuine descriptor, from 1
    QByteArray text;
};

// What a check says of one descriptor.
struct Verdict {
    enum class Status { Genuine, Tweaked, Error };

    QString path;
    const Car* car = nullptr;
    Status status = Status::Error;
    qint64 lines = 0;
    std::vector<Tweak> tweaks;
    std::vector<MissingLine> missing;
    QString error; // names the file and the reason

    // "genuine", "tweaked" or "error".
    QString statusText() const;
    // "3 tweaked lines, 1 missing line".
    QString countsText() const;
};

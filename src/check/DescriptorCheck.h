#pragma once

#include "Verdict.h"

#include <QByteArray>

class ReferenceStore;

// A car's genuine descriptor with the verdict its own bytes get, worked out
// once by the same check: a descriptor byte for byte the same gets the same
// verdict without being checked again.
struct GenuineDescriptor {
    const Car* car = nullptr;
    QByteArray bytes;
    Verdict verdict;

    static GenuineDescriptor of(const Car& car, const QByteArray& bytes, ReferenceStore& store);
};

// Checks the descriptor at path of genuine's car. Its tweaks are exactly the
// lines the window's scan finds (the same scan over the same store), in file
// order, repeats included. A line-by-line diff with the car's genuine
// descriptor then says which genuine line each tweak took the place of, and
// which genuine lines the descriptor lost without a tweak in their place
// (moved lines are not lost).
Verdict checkDescriptor(const QString& path, const GenuineDescriptor& genuine, ReferenceStore& store);

// The same for a descriptor's bytes, read already.
Verdict checkDescriptorBytes(const QString& path, const QByteArray& bytes, const Car& car,
                             const QByteArray& genuine, ReferenceStore& store);

// The largest file taken for a descriptor: a descriptor is about 5 KB, and a
// larger file would only make a verdict, and the time it takes, without bound.
inline constexpr qint64 LargestDescriptor = 64 * 1024;

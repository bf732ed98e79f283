#pragma once

#include "Verdict.h"

class ReferenceStore;

// Checks one descriptor of car. Its tweaks are exactly the lines the
// window's scan finds (the same scan over the same store), in file order,
// repeats included. A line-by-line diff with the car's genuine descriptor
// then says which genuine line each tweak took the place of, and which
// genuine lines the descriptor lost without a tweak in their place (moved
// lines are not lost).
Verdict checkDescriptor(const QString& path, const Car& car, ReferenceStore& store, const QByteArray& genuine);

// The largest file taken for a descriptor; a descriptor is about 5 KB.
inline constexpr qint64 LargestDescriptor = 16 * 1024 * 1024;

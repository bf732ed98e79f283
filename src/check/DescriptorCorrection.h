#pragma once

#include <QByteArray>
#include <QString>

// Puts the genuine descriptor in place of a tweaked one. The tweaked file is
// kept first, beside it, as "<name>.tweaked-<stamp>" ("-2", "-3" … added
// where such a file exists already: an earlier one is never replaced); then
// the genuine bytes go to a temporary file beside the descriptor, which takes
// its name only once whole. On failure the descriptor is as it was, no copy
// is left, and error names the file and the reason.
bool correctDescriptor(const QString& path, const QByteArray& genuine, const QString& stamp, QString* keptAs,
                       QString* error);

#pragma once

#include "Verdict.h"

#include <QByteArray>
#include <QString>

// Where a descriptor sits in the league, and where its tweaked file is kept.
struct CorrectionPlace {
    // Empty: the tweaked file is kept beside the descriptor. Otherwise a copy
    // is kept as "<keepFolder>/<player>/<belowPlayer>.tweaked-<stamp>" (with
    // no player, "<keepFolder>/<name>.tweaked-<stamp>"), in folders made as
    // needed that only the user running the check may enter, never reached
    // through a link.
    QByteArray keepFolder;
    // The player's folder name and the descriptor's path below it. Where
    // they are the end of the descriptor's path, the league's folders above
    // the player's are taken as given; a player may swap any folder from his
    // own down for a link, so those are opened without following one.
    // Otherwise no folder of the path is followed through a link.
    QByteArray player;
    QByteArray belowPlayer;

    // A verdict's place: its path split at its player's folder, the last
    // one of that name (should the name come again higher up, no folder of
    // the path is followed through a link at all).
    static CorrectionPlace of(const Verdict& verdict, const QByteArray& keepFolder);
};

// Puts the genuine descriptor in place of the tweaked one at path (the
// system's bytes), provided the name still leads to the file that was
// checked, of the same size and modification time: a file that changed since
// is left alone, and nothing outside the descriptor's folder is written even
// when a folder of its path is swapped for a link meanwhile.
//
// The tweaked file is kept first, as "<name>.tweaked-<stamp>" ("-2", "-3" …
// where such a name is taken: an earlier copy is never replaced): beside it
// as a second name for the same file (a copy where the file system refuses
// one), or in place.keepFolder. keptAs is where it was kept, as a path. The
// genuine bytes are written to a temporary file in the descriptor's folder,
// which takes the tweaked file's owner, group and permissions and its name
// only once whole and on disk. On failure the descriptor is as it was, no
// kept copy and no temporary file is left, and error names the file and the
// reason.
bool correctDescriptor(const QByteArray& path, const FileIdentity& checked, const QByteArray& genuine,
                       const QString& stamp, const CorrectionPlace& place, QByteArray* keptAs, QString* error);

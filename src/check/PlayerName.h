#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Whose descriptors a walk finds, by the folders they lie in. A league's
// folder holds a folder for each player, and a player's folder may be, or
// hold, the game's own Cars folder with a folder for each car: those say
// nothing of the player, so the name is looked for above them.
namespace PlayerName {

// Whether a folder of this name is one of the game's, not a player's:
// "Cars" or a car's list entry, in any letter case.
bool isGameFolder(QByteArrayView name);

// The player of what lies in folder: its last name, going up past the
// game's folders; for "." and "..", the folder's real name.
QByteArray ofFolder(const QByteArray& folder);

// The player of a file given by its path: that of the folder holding it.
QByteArray ofFile(const QByteArray& file);

} // namespace PlayerName

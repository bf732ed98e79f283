#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The six cars Kestrix knows, in list order. Every name is used exactly as
// written here, letter case included.
struct Car {
    QString listEntry;
    QString descriptorPath; // appended to the game's Cars folder
    QString receivedName;   // appended to the program folder
    QString indexName;      // index of the reference table holding the car's genuine lines
    QString referenceSize;  // of listEntry + ".dat", as text
    QString referenceTime;  // of listEntry + ".dat", as date-time text
};

namespace CarCatalogue {

inline constexpr int CarCount = 6;

// The genuine reference database, "Sam.mdb", by size and date as text.
inline const QString DatabaseSize = QStringLiteral("202752");
inline const QString DatabaseTime = QStringLiteral("01/09/2002 09:34:02");

const std::array<Car, CarCount>& cars();
QStringList listEntries();

// The car whose descriptor, in the game or received, has this file name in
// any letter case ("grelmdescriptor.TXT" is Grelm's); null for none.
const Car* carOfDescriptorName(const QString& fileName);
// The car of this list entry in any letter case; null for none.
const Car* carNamed(const QString& listEntry);

} // namespace CarCatalogue

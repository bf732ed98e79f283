#pragma once

#include "CarCatalogue.h"

#include <QString>
#include <QStringList>

#include <vector>

// A descriptor to check, or a path that could not be looked into.
struct FoundDescriptor {
    QString path;
    const Car* car = nullptr;
    QString error; // set when the path cannot be checked: it names the path and says why
};

// Every descriptor that paths name: a file given directly, or, below a
// folder at any depth, each file named as a car's descriptor in the game or
// as received, in any letter case. The name says the car; a file given
// directly whose name says none takes givenCar, or is an error. Links to
// folders are followed, but never round a loop; a folder that cannot be read
// is an error and the rest goes on. In path order, each file once.
std::vector<FoundDescriptor> findDescriptors(const QStringList& paths, const Car* givenCar);

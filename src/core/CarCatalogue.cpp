#include "CarCatalogue.h"


namespace CarCatalogue {

const std::array<Car, CarCount>& cars()
{
    static const std::array<Car, CarCount> catalogue{{
        {QStringLiteral("Brackwell"), QStringLiteral("\\Brackwell\\BrackwellDescriptor.txt"),
         QStringLiteral("/BrackwellDescriptor.txt"), QStringLiteral("Car1"), QStringLiteral("4675"),
         QStringLiteral("18/08/2002 12:11:20")},
        {QStringLiteral("DunMarr"), QStringLiteral("\\DunMarr\\DunMarrDescriptor.txt"),
         QStringLiteral("/DunmarrDescriptor.txt"), QStringLiteral("Car2"), QStringLiteral("4466"),
         QStringLiteral("18/08/2002 12:30:24")},
        {QStringLiteral("Skelder4"), QStringLiteral("\\Skelder4\\Skelder4Descriptor.txt"),
         QStringLiteral("/Skelder4Descriptor.txt"), QStringLiteral("Car3"), QStringLiteral("4938"),
         QStringLiteral("22/06/2000 11:47:58")},
        {QStringLiteral("Grelm"), QStringLiteral("\\Grelm\\Grelmdescriptor.txt"), QStringLiteral("/Grelmdescriptor.txt"),
         QStringLiteral("Car4"), QStringLiteral("4646"), QStringLiteral("13/11/2000 16:03:20")},
        {QStringLiteral("Puddlewick"), QStringLiteral("\\Puddlewick\\Puddlewickdescriptor.txt"),
         QStringLiteral("/Puddlewickdescriptor.txt"), QStringLiteral("Car5"), QStringLiteral("4747"),
         QStringLiteral("22/06/2000 11:47:54")},
        {QStringLiteral("OldGrist"), QStringLiteral("\\OldGrist\\OldGristdescriptor.txt"),
         QStringLiteral("/OldGristdescriptor.txt"), QStringLiteral("Car6"), QStringLiteral("4628"),
         QStringLiteral("06/09/2000 13:33:54")},
    }};
    return catalogue;
}

QStringList listEntries()
{
    QStringList entries;
    for (const Car& car : cars())
        entries << car.listEntry;
    return entries;
}

namespace {

// The two file names of each car's descriptor, in the game and as received.
struct DescriptorFileNames {
    QByteArray inGame;
    QByteArray received;
};

const std::array<DescriptorFileNames, CarCount>& descriptorFileNames()
{
    static const std::array<DescriptorFileNames, CarCount> names = [] {
        std::array<DescriptorFileNames, CarCount> made;
        for (std::size_t i = 0; i < CarCount; ++i) {
            made[i] = {cars()[i].descriptorPath.section(u'\\', -1).toLatin1(),
                       cars()[i].receivedName.section(u'/', -1).toLatin1()};
        }
        return made;
    }();
    return names;
}

// The names are ASCII, so a byte comparison in any letter case is the
// whole comparison, whatever the bytes around them are.
const Car* carOfPlainName(QByteArrayView fileName)
{
    for (std::size_t i = 0; i < CarCount; ++i) {
        const DescriptorFileNames& names = descriptorFileNames()[i];
        if (fileName.compare(names.inGame, Qt::CaseInsensitive) == 0
            || fileName.compare(names.received, Qt::CaseInsensitive) == 0)
            return &cars()[i];
    }
    return nullptr;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "yyyyMMdd-HHmmss-zzz-", as kestrix-collect writes it before a kept name.
constexpr qsizetype StampLength = 20;

// The arrival in a kept name's stamp; 0 when name does not start with one.
qint64 arrivalOf(QByteArrayView name)
{
    if (name.size() <= StampLength)
        return 0;
    qint64 arrival = 0;
    for (qsizetype i = 0; i < StampLength; ++i) {
        const bool dash = i == 8 || i == 15 || i == 19;
        if (dash != (name[i] == '-') || (!dash && !isDigit(name[i])))
            return 0;
        if (!dash)
            arrival = arrival * 10 + (name[i] - '0');
    }
    return arrival;
}

// The "N-" at the start of rest with which the collector numbers a second
// and later file of one millisecond: 2 to 1000, no leading zero; 0 for none.
int copyOf(QByteArrayView rest, qsizetype* length)
{
    int copy = 0;
    qsizetype digits = 0;
    while (digits < rest.size() && digits < 4 && isDigit(rest[digits]))
        copy = copy * 10 + (rest[digits++] - '0');
    if (digits == 0 || digits == rest.size() || rest[digits] != '-' || rest[0] == '0' || copy < 2 || copy > 1000)
        return 0;
    *length = digits + 1;
    return copy;
}

} // namespace

const Car* carOfDescriptorName(const QString& fileName)
{
    return carOfPlainName(fileName.toUtf8());
}

DescriptorName descriptorNameOf(QByteArrayView fileName)
{
    if (const qint64 arrival = arrivalOf(fileName)) {
        const QByteArrayView rest = fileName.sliced(StampLength);
        // No descriptor's name starts with a digit, so a rest that names a
        // car is a first copy, and one after "N-" a numbered copy.
        if (const Car* car = carOfPlainName(rest))
            return {car, arrival, 1};
        qsizetype length = 0;
        if (const int copy = copyOf(rest, &length)) {
            if (const Car* car = carOfPlainName(rest.sliced(length)))
                return {car, arrival, copy};
        }
    }
    return {carOfPlainName(fileName.sliced(fileName.lastIndexOf('\\') + 1)), 0, 0};
}

const Car* carNamed(const QString& listEntry)
{
    for (const Car& car : cars()) {
        if (listEntry.compare(car.listEntry, Qt::CaseInsensitive) == 0)
            return &car;
    }
    return nullptr;
}

} // namespace CarCatalogue

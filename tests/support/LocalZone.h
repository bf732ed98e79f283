#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTest>
#include <QTimeZone>
#include <QtGlobal>

#include <ctime>

// The process runs in zone, as TZ makes a program started there, until this
// goes; the zone before comes back then.
class LocalZone
{
public:
    explicit LocalZone(const QByteArray& zone)
        : m_hadZone(qEnvironmentVariableIsSet("TZ"))
        , m_before(qgetenv("TZ"))
    {
        use(zone);
    }

    ~LocalZone()
    {
        if (m_hadZone)
            use(m_before);
        else {
            qunsetenv("TZ");
            ::tzset();
        }
    }

    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

    // The C library falls back to UTC, silently, for a zone it has no data for.
    static bool isKnown(const QByteArray& zone) { return QTimeZone(zone).isValid(); }

    // How a wall-clock text of zone from reads in zone to at the same
    // instant, by Qt's own zone rules rather than the C library's.
    static QString wallClock(const QString& text, const QByteArray& from, const QByteArray& to)
    {
        const QString format = QStringLiteral("dd/MM/yyyy HH:mm:ss");
        QDateTime time = QDateTime::fromString(text, format);
        time.setTimeZone(QTimeZone(from));
        return time.toTimeZone(QTimeZone(to)).toString(format);
    }

private:
    static void use(const QByteArray& zone)
    {
        qputenv("TZ", zone);
        ::tzset();
    }

    bool m_hadZone;
    QByteArray m_before;
};

// Reference files stamped with their wall-clock dates in one zone and read in
// another. A zip unpacked here keeps the wall-clock time of here; cp -a, tar
// and rsync keep the instant, so a folder stamped on a UTC machine reads its
// dates in UTC anywhere. Any other shift is a wrong date.
inline void addReferenceZoneRows()
{
    QTest::addColumn<QByteArray>("stampedIn");
    QTest::addColumn<QByteArray>("readIn");
    QTest::addColumn<bool>("matches");
    for (const char* zone : {"UTC", "Europe/Paris", "America/New_York", "Asia/Kolkata"}) {
        QTest::addRow("unzipped in %s", zone) << QByteArray(zone) << QByteArray(zone) << true;
        if (QByteArrayView(zone) != "UTC")
            QTest::addRow("copied from UTC to %s", zone) << QByteArray("UTC") << QByteArray(zone) << true;
    }
    QTest::newRow("copied from Paris to New York") << QByteArray("Europe/Paris") << QByteArray("America/New_York") << false;
    QTest::newRow("copied from Kolkata to UTC") << QByteArray("Asia/Kolkata") << QByteArray("UTC") << false;
}

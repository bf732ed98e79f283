#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <vector>

// What the league page knows of every player's cars: for each car, its
// transfers in brief, the latest verdict record whole with the evidence
// drawn for it, and when the car deviated from its genuine descriptor and
// when it came back. Built from the records as they are appended, and at
// start from verdicts.jsonl and the rotated logs beside it, .gz ones too.
class LeagueHistory
{
public:
    // A transfer in brief.
    struct Entry {
        QString time;
        QString status;    // a verdict's, or "refused"
        QString version;   // of the genuine descriptor it was compared with
        QString reference; // digests of the reference data and of the rules
        QString rules;
        QString reason;    // of a refusal, its code
    };
    // From the first verdict that was tweaked, damaged or allowed to the
    // first genuine one after it; back is empty while it lasts.
    struct Deviation {
        QString from;
        QString status;
        QString back;
    };
    struct Car {
        QJsonObject latest; // the latest verdict; empty while only refusals came
        QByteArray latestLine; // the same as compact JSON
        QByteArray evidence;
        std::deque<Entry> transfers; // the latest MostKept
        qint64 transferCount = 0;
        std::vector<Deviation> deviations; // the first and the latest MostKept - 1
    };
    using Cars = std::map<QString, Car>; // by the car's list name; "" for a file of no car

    static constexpr std::size_t MostKept = 500;

    // publicDir: the collector's folder of a league with a roster, whose
    // records are shown without the sender and the server's paths; empty:
    // as they are.
    explicit LeagueHistory(QString publicDir = QString());

    // A record as verdicts.jsonl holds it; one without a proven player is
    // not shown. Its evidence comes later, once drawn.
    void add(const QJsonObject& record);
    // The evidence drawn for the latest verdict of a car, unless a newer one
    // came meanwhile.
    void setEvidence(const QString& player, const QString& car, const QString& time, const QByteArray& evidence);

    struct File {
        QString name;
        qint64 records = 0;
    };
    struct Loaded {
        std::vector<File> files; // those read, oldest first
        qint64 records = 0;
        qint64 unreadable = 0; // lines that are not a record, such as one a crash cut off
        QStringList failures;  // files that could not be read, and why
    };
    // verdicts.jsonl.N[.gz] … verdicts.jsonl.1[.gz], then verdicts.jsonl, in DIR.
    Loaded load(const QString& dir);

    const std::map<QString, Cars>& players() const { return m_players; }
    const Cars* player(const QString& name) const;
    // The status of the car's latest verdict; empty while it has none.
    QString latestStatus(const QString& player, const QString& car) const;

    // The car a record is of, by its list name: a verdict's own, or that of
    // the file a refused player announced; empty for a file of no car.
    static QString carOf(const QJsonObject& record);
    // A status that ends a deviation: the car is genuine again.
    static bool backToGenuine(const QString& status);
    // The latest verdict of every player's every car, as a JSON array.
    QByteArray latestRecords() const;

private:
    QString m_publicDir;
    std::map<QString, Cars> m_players;
};

#pragma once

#include "DescriptorCheck.h"
#include "DescriptorFinder.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class StdoutWriter;

// What a run of kestrix-check is asked to check, and how.
struct LeagueCheckOptions {
    QString folder;          // the program folder: Sam.mdb and the cars' .dat files
    QString rules;           // a league's rules file; none when empty
    QString tool;            // "kestrix-check 1.2.0", named in every verdict's proof
    QList<QByteArray> paths; // as the system gave them
    FinderOptions finder;    // its listers are the run's to set
    int jobs = 1;
    qint64 largest = LargestDescriptor;
    bool skipReferenceCheck = false;
    bool explain = false; // print the rules as understood, and check nothing
    bool json = false;
    QString report; // an HTML page of the results as well; none when empty
    bool correct = false;
    QByteArray keep; // where --correct keeps the tweaked files; beside them when empty
};

// One run of kestrix-check: the reference data checked by size and date, a
// reference store for each job, the genuine descriptors and the rules read
// once (CheckSetup), every descriptor the paths name checked (runChecks),
// judged by the rules and corrected when asked, and each verdict written as
// text or a JSON line with its proof, in the order found; then the players'
// lines, the summary and the HTML page. Warnings and errors go to complain,
// one message each. SIGINT and SIGTERM end it early (RunInterruption).
class LeagueCheck
{
public:
    enum ExitStatus { AllGenuine = 0, SomeTweaked = 1, Trouble = 2 };
    using Complaint = std::function<void(const QString& message)>;

    LeagueCheck(LeagueCheckOptions options, Complaint complain);

    // Writes on output and closes it. The exit status, as kestrix-check's
    // --help says: 128 and the signal's number when one ended the run.
    int run(StdoutWriter& output);

private:
    struct Run;

    LeagueCheckOptions m_options;
    Complaint m_complain;
};

#ifndef SOAKREPORT_H
#define SOAKREPORT_H

#include "soakledger.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What one run on one medium came to.
struct SoakReport
{
    QString medium;
    SoakLedger::Counts counts;
    // Every command released and the dispatcher idle again before the deadline.
    bool completed = false;
    // At the end: commands still in the dispatcher's queue, replies not yet checked,
    // and whether a command was still waiting for its reply.
    int queuedAtEnd = 0;
    int repliesQueuedAtEnd = 0;
    bool inFlightAtEnd = false;
    bool disturbed = false;
    double seconds = 0;
    // The longest time the host's thread (the transport's) did not get to its event
    // loop, in milliseconds, measured by a timer that wants to run every 50 ms.
    int longestStallMs = 0;
    // The longest a decoded reply waited for the dispatcher's queue, in microseconds.
    qint64 longestHandOffUs = 0;
    // Resident memory when the 1,000th command was released (or the last, in a
    // shorter run) and when the run ended, in KiB; 0 where it cannot be read.
    qint64 rssFirstKb = 0;
    qint64 rssLastKb = 0;
    // Why the run could not start or go on; empty when it ran.
    QString error;
    // Commands to look at: faults and what the design allows beyond the main outcomes.
    QStringList detail;

    // Everything that must not happen: lost, doubled or wrongly answered commands, a
    // queue that did not drain, a run that did not end.
    int faults() const;
    QStringList faultLines() const;

    QJsonObject toJson() const;
    static SoakReport fromJson(const QJsonObject &o);
};

// One table, a column per run.
QString soakTable(const QList<SoakReport> &reports);

#endif // SOAKREPORT_H

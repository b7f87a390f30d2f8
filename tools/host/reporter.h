#ifndef REPORTER_H
#define REPORTER_H

#include "hostevent.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

class QTextStream;

// Where a run's events and its summary go: lines for a person, or JSON for a script.
class Reporter
{
public:
    virtual ~Reporter() = default;
    // The medium is open: which one, and what it is ("/dev/ttyUSB0 at 115200 8N1").
    virtual void opened(const QString &medium, const QString &description) = 0;
    virtual void event(const HostEvent &event) = 0;
    virtual void summary(const QString &medium, const RunSummary &summary, int exitCode) = 0;
    // The devices that answered a broadcast, by address.
    virtual void devicesFound(const QStringList &addresses) = 0;
};

// One line per event, and the summary, on a text stream.
class TextReporter : public Reporter
{
public:
    explicit TextReporter(QTextStream *out);
    void opened(const QString &medium, const QString &description) override;
    void event(const HostEvent &event) override;
    void summary(const QString &medium, const RunSummary &summary, int exitCode) override;
    void devicesFound(const QStringList &addresses) override;

    // "540 + 79"; "65" when the pieces are all that size
    static QString pieces(const QList<int> &sizes);

private:
    QTextStream *m_out;
};

// One JSON object per line for every event and for the summary; see docs/hostcli.md.
class JsonReporter : public Reporter
{
public:
    explicit JsonReporter(QTextStream *out);
    void opened(const QString &medium, const QString &description) override;
    void event(const HostEvent &event) override;
    void summary(const QString &medium, const RunSummary &summary, int exitCode) override;
    void devicesFound(const QStringList &addresses) override;

    // The "summary" and "devices" lines as objects, for a program that keeps them
    // with other lines (the console's session file).
    static QJsonObject summaryObject(const QString &medium, const RunSummary &summary, int exitCode);
    static QJsonObject devicesObject(const QStringList &addresses);

private:
    QTextStream *m_out;
};

#endif // REPORTER_H

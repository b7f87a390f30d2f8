#ifndef TEXTREPORTER_H
#define TEXTREPORTER_H

#include "reporter.h"

class QTextStream;

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

#endif // TEXTREPORTER_H

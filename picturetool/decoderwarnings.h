#ifndef DECODERWARNINGS_H
#define DECODERWARNINGS_H

#include <QString>
#include <QtGlobal>

// While one lives on a thread, the warnings printed on that thread, which are those the
// toolkit's image readers print for damaged data ("Premature end of JPEG file", ...)
// when the thread does nothing but decode meanwhile, are kept here instead of going to
// standard error, so that the tool can report them with the file they belong to.
// Other messages, and other threads' warnings, pass as before.
class DecoderWarnings
{
public:
    DecoderWarnings();
    ~DecoderWarnings();
    DecoderWarnings(const DecoderWarnings &) = delete;
    DecoderWarnings &operator=(const DecoderWarnings &) = delete;

    // The first warning caught, empty when there was none.
    QString first() const { return m_first; }

private:
    static void catchWarnings(QtMsgType type, const QMessageLogContext &context,
                              const QString &text);

    DecoderWarnings *m_outer;
    QString m_first;
};

#endif // DECODERWARNINGS_H

#ifndef HEXDUMPVIEW_H
#define HEXDUMPVIEW_H

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

// Bytes as a hex dump, sixteen to a line with their offset and their printable
// characters. A block of any size shows only its first kShownBytes, and says how
// many more there are, so selecting a huge block never stalls the window.
class HexDumpView : public QPlainTextEdit
{
    Q_OBJECT

public:
    static constexpr int kShownBytes = 16384;

    explicit HexDumpView(QWidget *parent = nullptr);

    void setBytes(const QByteArray &bytes);

    // "00000010  41 42 ...  |AB...|" lines, at most limit bytes of them, then a
    // line that counts the rest.
    static QString format(const QByteArray &bytes, int limit = kShownBytes);
};

#endif // HEXDUMPVIEW_H

#ifndef SCRIPTINPUT_H
#define SCRIPTINPUT_H

#include <QFile>
#include <QString>
#include <QTemporaryFile>

class QIODevice;

// A script opened to be read twice, whole to check it and then as the run goes: a
// file as it is; standard input ("-"), a pipe or any other file that cannot go back
// to its start is first copied, a piece at a time, to a temporary file.
class ScriptInput
{
public:
    // False with *error saying why ("cannot read NAME: reason").
    bool open(const QString &path, QString *error);

    // At the start of the script; nullptr until open() has succeeded.
    QIODevice *device() const;
    // How messages name the script: the path, or "<stdin>" for "-".
    QString name() const;

private:
    bool copy(QFile *from, QString *error);

    QFile m_file;
    QTemporaryFile m_copy;
    QIODevice *m_device = nullptr;
    QString m_name;
};

#endif // SCRIPTINPUT_H

#ifndef SCRIPTEDWINDOW_H
#define SCRIPTEDWINDOW_H

#include "mainwindow.h"

#include <QStringList>

// The window with its dialogs answered by the test.
class ScriptedWindow : public MainWindow
{
public:
    QStringList filesToPick;
    QString directoryToPick;
    bool answerYes = true;

    QStringList dialogTitles;
    QStringList questions;
    QStringList errors;

protected:
    QStringList pickFiles(const QString &title) override
    {
        dialogTitles.append(title);
        return filesToPick;
    }
    QString pickDirectory(const QString &title) override
    {
        dialogTitles.append(title);
        return directoryToPick;
    }
    bool confirm(const QString &text) override
    {
        questions.append(text);
        return answerYes;
    }
    void showError(const QString &text) override { errors.append(text); }
};

#endif // SCRIPTEDWINDOW_H

#pragma once
#include <QDialog>
#include <QProcess>
#include <QString>

class QLabel;
class QPushButton;

// The modal notice shown while a toolkit run lasts. It knows nothing about processes: its owner
// wires WasCanceled() to the process's kill() and the process's finished() to ProcessFinished().
// Owns its label and button through the widget tree.
class WaitDialog : public QDialog
{
    Q_OBJECT
public:
    WaitDialog(const QString &title, const QString &text, QWidget *pParent = nullptr,
               Qt::WindowFlags flags = Qt::WindowFlags());

signals:
    // Only the abort button sends it; Escape and the close button reject silently.
    void WasCanceled();

public slots:
    // Asks for the kill first, then closes rejected.
    void Abort();
    // Closes accepted whatever the outcome; the owner reads the exit code from the process.
    void ProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);

private:
    QLabel *label = nullptr;
    QPushButton *abortButton = nullptr;
};

#pragma once
#include <QHash>
#include <QMessageBox>
#include <QString>

class QDialog;
class QWidget;

// Every message box and file chooser of the program goes through these calls. Without a handler
// they are the real QMessageBox/QFileDialog static calls; a test installs a Handler to see each
// title and text and to answer each question.
namespace UserDialogs
{
enum class Kind
{
    Critical,
    Information,
    Warning,
    Untitled,           // a plain box without title or parent
    ExistingDirectory,  // QFileDialog::getExistingDirectory with ShowDirsOnly
    OpenFileName,       // QFileDialog::getOpenFileName
    SaveFileName,       // QFileDialog::getSaveFileName
    Dialog              // a dialog of the program's own, run with exec()
};

struct Request
{
    Kind kind = Kind::Critical;
    QWidget *pParent = nullptr;
    QString title;      // the box title, or the chooser's caption
    QString text;       // the box text
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QString directory;  // choosers: the start directory
    QString filter;     // OpenFileName: the name filter
    QDialog *pDialog = nullptr;  // Dialog: the dialog, ready to be shown
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;  // what Return answers
    QHash<QMessageBox::StandardButton, QString> labels;  // buttons whose text says what they do
};

class Handler
{
public:
    virtual ~Handler() = default;
    // A box: the button that closed it.
    virtual QMessageBox::StandardButton Answer(const Request &request) = 0;
    // A chooser: the chosen path, or a null string for a cancelled dialog.
    virtual QString Choose(const Request &request) = 0;
};

// Null restores the real dialogs. The handler is not owned.
void SetHandler(Handler *pHandler);

QMessageBox::StandardButton Critical(QWidget *pParent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Ok);
QMessageBox::StandardButton Information(QWidget *pParent, const QString &title, const QString &text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);
QMessageBox::StandardButton Warning(QWidget *pParent, const QString &title, const QString &text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok);
// A warning that asks, with Return on `defaultButton`; `labels` gives buttons texts of their own
// ("&Replace" on Yes), so that each says what it does.
QMessageBox::StandardButton Question(QWidget *pParent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                     const QHash<QMessageBox::StandardButton, QString> &labels = {});
void Untitled(const QString &text);
QString ExistingDirectory(QWidget *pParent, const QString &caption, const QString &directory);
QString OpenFileName(QWidget *pParent, const QString &caption, const QString &directory,
                     const QString &filter);
QString SaveFileName(QWidget *pParent, const QString &caption, const QString &directory,
                     const QString &filter);
// Runs a dialog of the program's own; `text` says in words what it shows, for a handler. Ok when
// it was accepted, Cancel otherwise (a handler answers for it).
QMessageBox::StandardButton Exec(QDialog *pDialog, const QString &text);
}

#include "dialogs/UserDialogs.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>

namespace UserDialogs
{
namespace
{
Handler *handler = nullptr;

QMessageBox::StandardButton Ask(Kind kind, QWidget *pParent, const QString &title, const QString &text,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                                const QHash<QMessageBox::StandardButton, QString> &labels = {})
{
    if (handler) {
        Request request;
        request.kind = kind;
        request.pParent = pParent;
        request.title = title;
        request.text = text;
        request.buttons = buttons;
        request.defaultButton = defaultButton;
        request.labels = labels;
        return handler->Answer(request);
    }
    if (!labels.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, title, text, buttons, pParent);
        box.setDefaultButton(defaultButton);
        for (auto it = labels.begin(); it != labels.end(); ++it)
            if (QAbstractButton *button = box.button(it.key()))
                button->setText(it.value());
        return QMessageBox::StandardButton(box.exec());
    }
    switch (kind) {
    case Kind::Critical:
        return QMessageBox::critical(pParent, title, text, buttons, defaultButton);
    case Kind::Information:
        return QMessageBox::information(pParent, title, text, buttons, defaultButton);
    default:
        return QMessageBox::warning(pParent, title, text, buttons, defaultButton);
    }
}

// A file chooser's request, answered by the handler.
QString ChooseFile(Kind kind, QWidget *pParent, const QString &caption, const QString &directory, const QString &filter)
{
    Request request;
    request.kind = kind;
    request.pParent = pParent;
    request.title = caption;
    request.directory = directory;
    request.filter = filter;
    return handler->Choose(request);
}
}

void SetHandler(Handler *pHandler)
{
    handler = pHandler;
}

QMessageBox::StandardButton Critical(QWidget *pParent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons)
{
    return Ask(Kind::Critical, pParent, title, text, buttons);
}

QMessageBox::StandardButton Information(QWidget *pParent, const QString &title, const QString &text,
                                        QMessageBox::StandardButtons buttons)
{
    return Ask(Kind::Information, pParent, title, text, buttons);
}

QMessageBox::StandardButton Warning(QWidget *pParent, const QString &title, const QString &text,
                                    QMessageBox::StandardButtons buttons)
{
    return Ask(Kind::Warning, pParent, title, text, buttons);
}

QMessageBox::StandardButton Question(QWidget *pParent, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                     const QHash<QMessageBox::StandardButton, QString> &labels)
{
    return Ask(Kind::Warning, pParent, title, text, buttons, defaultButton, labels);
}

void Untitled(const QString &text)
{
    if (handler) {
        Request request;
        request.kind = Kind::Untitled;
        request.text = text;
        handler->Answer(request);
        return;
    }
    QMessageBox box;
    box.setText(text);
    box.exec();
}

QString ExistingDirectory(QWidget *pParent, const QString &caption, const QString &directory)
{
    if (handler) {
        Request request;
        request.kind = Kind::ExistingDirectory;
        request.pParent = pParent;
        request.title = caption;
        request.directory = directory;
        return handler->Choose(request);
    }
    return QFileDialog::getExistingDirectory(pParent, caption, directory, QFileDialog::ShowDirsOnly);
}

QString OpenFileName(QWidget *pParent, const QString &caption, const QString &directory, const QString &filter)
{
    if (handler)
        return ChooseFile(Kind::OpenFileName, pParent, caption, directory, filter);
    return QFileDialog::getOpenFileName(pParent, caption, directory, filter);
}

QString SaveFileName(QWidget *pParent, const QString &caption, const QString &directory, const QString &filter)
{
    if (handler)
        return ChooseFile(Kind::SaveFileName, pParent, caption, directory, filter);
    return QFileDialog::getSaveFileName(pParent, caption, directory, filter);
}

QMessageBox::StandardButton Exec(QDialog *pDialog, const QString &text)
{
    if (handler) {
        Request request;
        request.kind = Kind::Dialog;
        request.pParent = pDialog->parentWidget();
        request.title = pDialog->windowTitle();
        request.text = text;
        request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
        request.pDialog = pDialog;
        return handler->Answer(request);
    }
    return pDialog->exec() == QDialog::Accepted ? QMessageBox::Ok : QMessageBox::Cancel;
}
}

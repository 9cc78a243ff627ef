#include "tool/WaitDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WaitDialog::WaitDialog(const QString &title, const QString &text, QWidget *pParent, Qt::WindowFlags flags)
    : QDialog(pParent, flags)
{
    setWindowTitle(title);
    abortButton = new QPushButton(tr("&Abort"), pParent);
    label = new QLabel(text, pParent);

    auto *layout = new QVBoxLayout;
    layout->addWidget(label);
    layout->addWidget(abortButton);
    // Setting the layout reparents both widgets to the dialog.
    setLayout(layout);

    connect(abortButton, &QPushButton::clicked, this, &WaitDialog::Abort);
}

void WaitDialog::Abort()
{
    emit WasCanceled();
    reject();
}

void WaitDialog::ProcessFinished(int, QProcess::ExitStatus)
{
    accept();
}

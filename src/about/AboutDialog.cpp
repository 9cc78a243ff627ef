#include "about/AboutDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

AboutDialog::AboutDialog(QWidget *pParent, const QString &text, const QPixmap &picture)
    : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("About"));
    okButton = new QPushButton(QDialog::tr("&OK"), this);
    pictureLabel = new QLabel;
    pictureLabel->setPixmap(picture);
    textLabel = new QLabel;
    textLabel->setText(text);

    layout = new QGridLayout;
    layout->addWidget(pictureLabel, 0, 0, 2, 1);
    layout->addWidget(textLabel, 0, 1);
    layout->addWidget(okButton, 1, 1);
    setLayout(layout);

    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

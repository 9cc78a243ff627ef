#include "app/DescribeDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "catalog/DescriptionText.h"

DescribeDialog::DescribeDialog(const QString &entryName, const QString &text, QWidget *pParent)
    : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Describe ") + entryName);
    textField = new QPlainTextEdit(this);
    textField->setObjectName(QStringLiteral("descriptionText"));
    textField->setPlainText(DescriptionLines(text).join(QLatin1Char('\n')));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(textField);
    layout->addWidget(new QLabel(QStringLiteral("One line per line of the metadata list; a \";\" in a line starts a new line."), this));
    layout->addWidget(buttons);
}

QString DescribeDialog::Text() const
{
    // The file keeps lines joined by ";", so a line break and a ";" mean the same.
    return DescriptionLines(textField->toPlainText().replace(QLatin1Char('\n'), QLatin1Char(';'))).join(QLatin1Char(';'));
}

#pragma once
#include <QDialog>

class QPlainTextEdit;

// "Describe <entry>": the entry's description as lines of a text field. Owns its widgets.
class DescribeDialog : public QDialog
{
    Q_OBJECT
public:
    // `text` holds the lines joined with ";".
    DescribeDialog(const QString &entryName, const QString &text, QWidget *pParent);

    // The lines as the user left them, joined with ";"; empty when no line holds anything.
    QString Text() const;

private:
    QPlainTextEdit *textField = nullptr;  // child of this
};

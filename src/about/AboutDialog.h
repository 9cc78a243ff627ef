#pragma once
#include <QDialog>

class QGridLayout;
class QPushButton;
class QLabel;
class QPixmap;

// The program's about box: a picture, the caller's text beside it and "&OK" under the text.
class AboutDialog : public QDialog
{
public:
    AboutDialog(QWidget *pParent, const QString &text, const QPixmap &picture);

private:
    QGridLayout *layout = nullptr;
    QPushButton *okButton = nullptr;
    QLabel *pictureLabel = nullptr;
    QLabel *textLabel = nullptr;
};

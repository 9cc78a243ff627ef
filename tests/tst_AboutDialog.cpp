#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QtTest>

#include "about/AboutDialog.h"

// The window's tests see the title, the picture, the text and Escape closing the box.
class TestAboutDialog : public QObject
{
    Q_OBJECT
private slots:
    void PutsThePictureBesideTheTextAndOkUnderTheText()
    {
        QPixmap picture(96, 85);
        picture.fill(Qt::darkBlue);
        AboutDialog dialog(nullptr, QStringLiteral("Line one\nLine two"), picture);
        QLabel *pictureLabel = nullptr;
        QLabel *textLabel = nullptr;
        for (QLabel *label : dialog.findChildren<QLabel *>())
            (label->pixmap().isNull() ? textLabel : pictureLabel) = label;
        auto *okButton = dialog.findChild<QPushButton *>();
        QVERIFY(pictureLabel && textLabel && okButton);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(pictureLabel->geometry().right() < textLabel->geometry().left());
        QVERIFY(textLabel->geometry().bottom() < okButton->geometry().top());
        QVERIFY(okButton->geometry().left() > pictureLabel->geometry().right());  // under the text only

        QTimer::singleShot(0, okButton, &QPushButton::click);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_AboutDialog.moc"

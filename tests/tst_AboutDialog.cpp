#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QtTest>

#include "about/AboutDialog.h"

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
        QCOMPARE(textLabel->text(), QStringLiteral("Line one\nLine two"));
        QCOMPARE(pictureLabel->pixmap().size(), QSize(96, 85));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(pictureLabel->geometry().right() < textLabel->geometry().left());
        QVERIFY(textLabel->geometry().bottom() < okButton->geometry().top());
        QVERIFY(okButton->geometry().left() > pictureLabel->geometry().right());  // under the text only
    }

    void ClosesByOkAndByEscape_data()
    {
        QTest::addColumn<bool>("bOk");
        QTest::addColumn<int>("result");
        QTest::newRow("OK accepts") << true << int(QDialog::Accepted);
        QTest::newRow("Escape rejects") << false << int(QDialog::Rejected);
    }
    void ClosesByOkAndByEscape()
    {
        QFETCH(bool, bOk);
        QFETCH(int, result);
        AboutDialog dialog(nullptr, QStringLiteral("text"), QPixmap());
        QTimer::singleShot(0, &dialog, [&dialog, bOk] {
            if (bOk)
                dialog.findChild<QPushButton *>()->click();
            else
                QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        QCOMPARE(dialog.exec(), result);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_AboutDialog.moc"

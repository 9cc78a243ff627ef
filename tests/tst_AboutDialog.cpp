#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QtTest>

#include "about/AboutDialog.h"

namespace
{
struct Cell
{
    int row = -1;
    int column = -1;
    int rowSpan = 0;
    int columnSpan = 0;
};

Cell CellOf(QGridLayout *layout, QWidget *widget)
{
    Cell cell;
    const int index = layout->indexOf(widget);
    if (index >= 0)
        layout->getItemPosition(index, &cell.row, &cell.column, &cell.rowSpan, &cell.columnSpan);
    return cell;
}
}

class TestAboutDialog : public QObject
{
    Q_OBJECT
private slots:
    void PutsThePictureBesideTheTextAndOkUnderTheText();
    void ClosesByOkAndByEscape_data();
    void ClosesByOkAndByEscape();
};

void TestAboutDialog::PutsThePictureBesideTheTextAndOkUnderTheText()
{
    QPixmap picture(96, 85);
    picture.fill(Qt::darkBlue);
    AboutDialog dialog(nullptr, QStringLiteral("Line one\nLine two"), picture);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About"));

    // The dialog's member hides QWidget::layout(); the base class still answers.
    auto *layout = qobject_cast<QGridLayout *>(static_cast<QDialog &>(dialog).layout());
    QVERIFY(layout);
    QLabel *pictureLabel = nullptr;
    QLabel *textLabel = nullptr;
    for (QLabel *label : dialog.findChildren<QLabel *>())
        (label->pixmap().isNull() ? textLabel : pictureLabel) = label;
    auto *okButton = dialog.findChild<QPushButton *>();
    QVERIFY(pictureLabel && textLabel && okButton);
    QCOMPARE(okButton->text(), QStringLiteral("&OK"));
    QCOMPARE(textLabel->text(), QStringLiteral("Line one\nLine two"));
    QCOMPARE(pictureLabel->pixmap().size(), QSize(96, 85));

    const Cell pictureCell = CellOf(layout, pictureLabel);
    const Cell textCell = CellOf(layout, textLabel);
    const Cell okCell = CellOf(layout, okButton);
    QCOMPARE(QList<int>({pictureCell.row, pictureCell.column, pictureCell.rowSpan, pictureCell.columnSpan}),
             QList<int>({0, 0, 2, 1}));
    QCOMPARE(QList<int>({textCell.row, textCell.column, textCell.rowSpan, textCell.columnSpan}), QList<int>({0, 1, 1, 1}));
    QCOMPARE(QList<int>({okCell.row, okCell.column, okCell.rowSpan, okCell.columnSpan}), QList<int>({1, 1, 1, 1}));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(pictureLabel->geometry().right() < textLabel->geometry().left());
    QVERIFY(textLabel->geometry().bottom() < okButton->geometry().top());
}

void TestAboutDialog::ClosesByOkAndByEscape_data()
{
    QTest::addColumn<bool>("byOk");
    QTest::addColumn<int>("result");
    QTest::newRow("OK accepts") << true << int(QDialog::Accepted);
    QTest::newRow("Escape rejects") << false << int(QDialog::Rejected);
}

void TestAboutDialog::ClosesByOkAndByEscape()
{
    QFETCH(bool, byOk);
    QFETCH(int, result);
    AboutDialog dialog(nullptr, QStringLiteral("text"), QPixmap());
    QTimer::singleShot(0, &dialog, [&dialog, byOk] {
        if (byOk)
            dialog.findChild<QPushButton *>()->click();
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestAboutDialog)
#include "tst_AboutDialog.moc"

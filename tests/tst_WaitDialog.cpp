#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "tool/WaitDialog.h"

// The wait dialog on its own: which way each ending closes it, and whether the kill request goes out.
class TestWaitDialog : public QObject
{
    Q_OBJECT
private slots:
    void EndsAsItWasEnded_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("killRequests");
        QTest::newRow("abort asks for the kill once") << "abort" << int(QDialog::Rejected) << 1;
        QTest::newRow("Escape does not ask for the kill") << "escape" << int(QDialog::Rejected) << 0;
        // Normal exits, failing or not, are seen through the callers; a crash closes the dialog just the same.
        QTest::newRow("crash") << "crash" << int(QDialog::Accepted) << 0;
    }
    void EndsAsItWasEnded()
    {
        QFETCH(QString, ending);
        QFETCH(int, result);
        QFETCH(int, killRequests);
        WaitDialog dialog("t", "x");
        QSignalSpy canceled(&dialog, &WaitDialog::WasCanceled);
        bool bVisibleWhenCanceled = false;
        connect(&dialog, &WaitDialog::WasCanceled, this, [&] { bVisibleWhenCanceled = dialog.isVisible(); });
        QTimer::singleShot(0, &dialog, [&] {
            if (ending == "abort")
                dialog.findChild<QPushButton *>()->click();
            else if (ending == "escape")
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.ProcessFinished(0, QProcess::CrashExit);
        });
        // A dialog that ignores what should close it ends with 42 instead of hanging the test.
        QTimer::singleShot(5000, &dialog, [&] { dialog.done(42); });

        QCOMPARE(dialog.exec(), result);
        QCOMPARE(canceled.count(), killRequests);
        // The kill must be asked for while the dialog still stands, before it closes.
        QCOMPARE(bVisibleWhenCanceled, killRequests > 0);
    }
};

QTEST_MAIN(TestWaitDialog)
#include "tst_WaitDialog.moc"

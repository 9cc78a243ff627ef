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
        QTest::addColumn<bool>("bAbort");
        QTest::newRow("abort asks for the kill once") << true;
        // Normal exits, failing or not, are seen through the callers; a crash closes the dialog just the same.
        QTest::newRow("crash") << false;
    }
    void EndsAsItWasEnded()
    {
        QFETCH(bool, bAbort);
        WaitDialog dialog("t", "x");
        QSignalSpy canceled(&dialog, &WaitDialog::WasCanceled);
        bool bVisibleWhenCanceled = false;
        connect(&dialog, &WaitDialog::WasCanceled, this, [&] { bVisibleWhenCanceled = dialog.isVisible(); });
        QTimer::singleShot(0, &dialog, [&] {
            bAbort ? dialog.findChild<QPushButton *>()->click() : dialog.ProcessFinished(0, QProcess::CrashExit);
        });
        // A dialog that ignores what should close it ends with 42 instead of hanging the test.
        QTimer::singleShot(5000, &dialog, [&] { dialog.done(42); });

        QCOMPARE(dialog.exec(), bAbort ? QDialog::Rejected : QDialog::Accepted);
        QCOMPARE(canceled.count(), bAbort ? 1 : 0);
        // The kill must be asked for while the dialog still stands, before it closes.
        QCOMPARE(bVisibleWhenCanceled, bAbort);
    }
};

QTEST_MAIN(TestWaitDialog)
#include "tst_WaitDialog.moc"

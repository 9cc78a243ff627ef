#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "tool/WaitDialog.h"

// The wait dialog on its own: which way each ending closes it, and whether the kill request
// goes out.
class TestWaitDialog : public QObject
{
    Q_OBJECT
private slots:
    void AbortAsksForTheKillOnceThenRejects();
    void FinishedProcessAcceptsWhateverTheOutcome_data();
    void FinishedProcessAcceptsWhateverTheOutcome();
    void EscapeRejectsWithoutAskingForTheKill();

private:
    // A dialog that ignores what should close it ends with this code instead of hanging the test.
    static void CloseLater(WaitDialog &dialog) { QTimer::singleShot(5000, &dialog, [&] { dialog.done(stuck); }); }
    static const int stuck = 42;
};

void TestWaitDialog::AbortAsksForTheKillOnceThenRejects()
{
    WaitDialog dialog(QStringLiteral("t"), QStringLiteral("x"));
    QSignalSpy canceled(&dialog, &WaitDialog::WasCanceled);
    bool visibleWhenCanceled = false;
    connect(&dialog, &WaitDialog::WasCanceled, this, [&] { visibleWhenCanceled = dialog.isVisible(); });
    auto *button = dialog.findChild<QPushButton *>();
    QVERIFY(button);
    QTimer::singleShot(0, button, &QPushButton::click);

    CloseLater(dialog);
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(canceled.count(), 1);
    // The kill must be asked for while the dialog still stands, before it closes.
    QVERIFY(visibleWhenCanceled);
}

void TestWaitDialog::FinishedProcessAcceptsWhateverTheOutcome_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QProcess::ExitStatus>("exitStatus");
    QTest::newRow("normal exit 0") << 0 << QProcess::NormalExit;
    QTest::newRow("normal exit 3") << 3 << QProcess::NormalExit;
    QTest::newRow("crash") << 9 << QProcess::CrashExit;
}

void TestWaitDialog::FinishedProcessAcceptsWhateverTheOutcome()
{
    QFETCH(int, exitCode);
    QFETCH(QProcess::ExitStatus, exitStatus);
    WaitDialog dialog(QStringLiteral("t"), QStringLiteral("x"));
    QSignalSpy canceled(&dialog, &WaitDialog::WasCanceled);
    QTimer::singleShot(0, &dialog, [&] { dialog.ProcessFinished(exitCode, exitStatus); });

    CloseLater(dialog);
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(canceled.count(), 0);
}

void TestWaitDialog::EscapeRejectsWithoutAskingForTheKill()
{
    WaitDialog dialog(QStringLiteral("t"), QStringLiteral("x"));
    QSignalSpy canceled(&dialog, &WaitDialog::WasCanceled);
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });

    CloseLater(dialog);
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(canceled.count(), 0);
}

QTEST_MAIN(TestWaitDialog)
#include "tst_WaitDialog.moc"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QSignalSpy>
#include <QScopeGuard>
#include <QtTest>

#include "Sanitized.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

namespace
{
TreeItem *ItemAt(const QModelIndex &index)
{
    return static_cast<TreeItem *>(index.internalPointer());
}

// The tree as the model shows it: names, then (archive path|bank file path|type) where a line has
// more than a name, children in brackets, siblings separated by blanks.
QString Dump(const TreeModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList parts;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        const TreeItem *item = ItemAt(child);
        QString part = model.data(child).toString();
        const QString type = item->IsSfx() ? QStringLiteral("sfx") : item->IsStream() ? QStringLiteral("stream") : QString();
        if (!item->GetArchivePath().isEmpty() || !item->GetBankFilePath().isEmpty() || !type.isEmpty())
            part += '(' + QStringList{item->GetArchivePath(), item->GetBankFilePath(), type}.join('|') + ')';
        if (model.rowCount(child) > 0)
            part += '[' + Dump(model, child) + ']';
        parts << part;
    }
    return parts.join(' ');
}

const char *const sample =
    "SFX\n"
    "  FEET\taudio/SFX/FEET\tSFX\taudio/CONFIG/BankLkup.dat\n"
    "Streams\n"
    "  AA\taudio/streams/AA\tSTREAM\taudio/CONFIG/TrakLkup.dat\n"
    "  Radio\n"
    "    CH\taudio/streams/CH\tStream\taudio/CONFIG/TrakLkup.dat\n";
}

class TestTreeModel : public QObject
{
    Q_OBJECT
private slots:
    void ReadsLinesAndTheirIndentation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tree");
        QTest::newRow("group with a leaf") << "G\n  L\tp\tSFX\tb" << "G[L(p|b|sfx)]";
        QTest::newRow("first line indented stays on top, next at same depth nests") << "    A\n    B" << "A[B]";
        QTest::newRow("shallower line pops to level zero, its level is not recorded")
            << "X\n    Y\n  Z\n  W" << "X[Y] Z[W]";
        QTest::newRow("tab does not indent") << "A\n\tB" << "A B";
        QTest::newRow("carriage returns trimmed") << "G\r\n  L\r\n" << "G[L]";
        QTest::newRow("blank line keeps nesting") << "G\n  L1\n\n      \n  L2" << "G[L1 L2]";
        QTest::newRow("return to a level between two") << "A\n  B\n      C\n    D" << "A[B[C] D]";
        // The columns of a line, tab-separated.
        QTest::newRow("lower case sfx, Stream in any case") << "L\tp\tsfx\tb\nM\tq\tStream" << "L(p|b|sfx) M(q||stream)";
        QTest::newRow("STREAMS is neither") << "L\tp\tSTREAMS\tb" << "L(p|b|)";
        QTest::newRow("two tabs make one separator") << "A\t\tB" << "A(B||)";
        QTest::newRow("trailing blanks trimmed off the type") << "L\tp\tSFX \r" << "L(p||sfx)";
        QTest::newRow("leading tab after the indentation trimmed off") << "G\n  \tL\tp\tSFX\tb" << "G[L(p|b|sfx)]";
        QTest::newRow("blank column kept, shifting nothing") << "L\t \tSFX" << "L( ||sfx)";
    }
    void ReadsLinesAndTheirIndentation()
    {
        QFETCH(QString, text);
        QFETCH(QString, tree);
        QCOMPARE(Dump(TreeModel(text, false)), tree);
    }

    void PassesTheModelTesterAndHighlightsOneRow()
    {
        // The tester's remarks are collected instead of failing at once: the model answers the
        // flags of the invalid root index with ItemIsEnabled, which the tester would rather see as
        // no flags at all. Views never ask for it; every other remark is a fault.
        static QStringList remarks;
        remarks.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &context, const QString &message) {
                if (QLatin1String(context.category) == QLatin1String("qt.modeltest"))
                    remarks << message;
            });
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        TreeModel model(QString::fromLatin1(sample), false);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
        const QModelIndex feet = model.index(0, 0, model.index(0, 0));
        const QModelIndex aa = model.index(0, 0, model.index(1, 0));
        const QModelIndex ch = model.index(0, 0, model.index(1, 0, model.index(1, 0)));
        QVERIFY(!model.index(0, 0, ch).isValid() && !model.index(-1, 0).isValid());
        const auto colour = [&](const QModelIndex &index) { return model.data(index, Qt::ForegroundRole).value<QColor>(); };

        model.SetHighlightedIndex(feet);
        QCOMPARE(colour(feet), QColor(Qt::red));
        QCOMPARE(colour(feet.siblingAtColumn(1)), QColor(Qt::red));
        // Same row number under another parent, and the parent itself, stay as they were.
        QVERIFY(colour(aa) != QColor(Qt::red) && colour(feet.parent()) != QColor(Qt::red));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.SetHighlightedIndex(ch);
        QCOMPARE(model.GetHighlightedIndex(), ch);
        QVERIFY(colour(feet) != QColor(Qt::red));
        // Both rows are repainted whole, each on its own.
        QList<QModelIndex> repainted;
        for (const auto &arguments : std::as_const(changed))
            repainted << arguments.at(0).value<QModelIndex>() << arguments.at(1).value<QModelIndex>();
        const int last = model.columnCount() - 1;
        QCOMPARE(repainted, (QList<QModelIndex>{feet, feet.siblingAtColumn(last), ch, ch.siblingAtColumn(last)}));
        model.SetHighlightedIndex(QModelIndex());
        for (const QString &remark : std::as_const(remarks))
            QVERIFY2(remark.contains(QLatin1String("flags == Qt::ItemIsDropEnabled || flags == 0")), qPrintable(remark));
    }

    void BuildsAndDeletesDeepTrees()
    {
        // Each line one blank deeper than the last: every line nests in the one before.
        constexpr int lines = 6000;
        QString text;
        for (int level = 0; level < lines; ++level)
            text += QString(level, ' ') + QStringLiteral("N%1\n").arg(level);
        const TreeModel model(text, false);
        QModelIndex index = model.index(0, 0);
        int levels = 0;
        for (; model.rowCount(index) > 0; ++levels)
            index = model.index(0, 0, index);
        QCOMPARE(levels, lines - 1);
        QCOMPARE(model.data(model.parent(index)).toString(), QStringLiteral("N%1").arg(lines - 2));

        constexpr int depth = 300000;
        auto *root = new TreeItem({QStringLiteral("Archiv")});
        TreeItem *deepest = root;
        for (int level = 0; level < depth; ++level) {
            auto *child = new TreeItem({QString::number(level)}, deepest);
            deepest->AppendChild(child);
            deepest = child;
        }
        delete root;  // a recursive destructor overflows the stack long before this depth
    }

    void ShowsAVeryLongNameCutShort()
    {
        const QString longName(longLine, 'n');
        const TreeModel tall(longName + QStringLiteral("\tpath"), false);
        QCOMPARE(ItemAt(tall.index(0, 0))->GetName().size(), longName.size());
        QCOMPARE(ItemAt(tall.index(0, 0))->GetArchivePath(), QStringLiteral("path"));
        // Cut short, so that a view can measure it; a real name is shown whole.
        const QString shown = tall.data(tall.index(0, 0)).toString();
        QVERIFY(shown.size() <= 1025 && shown.size() >= 200);
        QVERIFY(longName.startsWith(shown.chopped(1)));
        const QString longestReal(255, 'r');
        const TreeModel real(longestReal, false);
        QCOMPARE(real.data(real.index(0, 0)).toString(), longestReal);
    }
};

QTEST_MAIN(TestTreeModel)
#include "tst_TreeModel.moc"

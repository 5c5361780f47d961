// Named positions: the window by real keys and clicks (Go to rules, edits, arrival, import,
// limit, undo), the list's file, and what position lines give scripts to save and go to.

#include "panelsettings.h"
#include "positionlist.h"
#include "positionswindow.h"
#include "testsupport.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>

class TestPositions : public QObject
{
    Q_OBJECT

private slots:
    void positionsRules_data();
    void positionsRules();
    void editsNeverMove_data();
    void editsNeverMove();
    void importRefusesBadRow();
    void positionLines_data();
    void positionLines();
    void storedAsShown();
};

void TestPositions::positionsRules_data()
{
    QTest::addColumn<int>("stage"); // 0 disconnected again, 1 connected, 2 homed
    QTest::addColumn<double>("saved");
    QTest::addColumn<QString>("refusal"); // the tool tip of a disabled Go to; empty: enabled
    QTest::addColumn<QByteArray>("replies"); // after the Go to; "-": the connection ends
    QTest::addColumn<QString>("shown"); // the arrival said, once a Go to went out
    const auto row = [](const char *name, int stage, double saved, const char *refusal,
                        const char *replies = "", const char *shown = "Moving to \"spot 1\".") {
        QTest::newRow(name) << stage << saved << QString::fromUtf8(refusal) << QByteArray(replies)
                            << QString::fromUtf8(shown);
    };
    row("not connected", 0, 100.0, "Not connected");
    row("not homed", 1, 100.0, "Home the stage first");
    row("homed", 2, 100.0, "");
    row("lowest", 2, -250.0, "");
    row("highest", 2, 14750.0, "");
    row("beyond", 2, 14750.5, "Outside the limits, -250 to 14750 \u00b5m");
    row("arrived", 2, 250, "", "_cp 249.95 um\r_cp 250 um\r_cp 250 um\r", "At \"spot 1\".");
    row("on the way", 2, 250, "", "_cp 10 um\r_cp 200 um\r_cp 250 um\r");
    row("stopped", 2, 250, "", "_cp 120 um\r_cp 120 um\r_cp 120 um\r", "");
    row("lost", 2, 250, "", "-", "");
}

void TestPositions::positionsRules()
{
    QFETCH(int, stage);
    QFETCH(double, saved);
    QFETCH(QString, refusal);
    ModalCloser boxes; // a box on a slow machine fails the test rather than hanging it
    PanelOnLine panel;
    QVERIFY(stage == 2 ? panel.connectAndHome() : panel.connectPanel());
    PositionsWindow *positions = openPositions(*panel.window);
    auto *add = positions->findChild<QPushButton *>(QStringLiteral("positionsAdd"));
    positions->findChild<QLineEdit *>()->setText(QStringLiteral("spot 1"));
    QVERIFY(!add->isEnabled()); // no position reported yet
    panel.controller.write("_cp " + QByteArray::number(saved) + " um\r");
    QTRY_VERIFY(add->isEnabled());
    add->click();
    if (stage == 0)
        panel.trigger("actionDisconnect");
    auto *table = positions->findChild<QTableWidget *>();
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("spot 1"));
    table->selectRow(0);
    auto *goTo = positions->findChild<QPushButton *>(QStringLiteral("positionsGoTo"));
    QCOMPARE(goTo->isEnabled(), refusal.isEmpty());
    if (!refusal.isEmpty())
        QCOMPARE(goTo->toolTip(), refusal);
    panel.controller.take();
    QTest::keyClick(table, Qt::Key_Return);
    panel.settle();
    QCOMPARE(panel.sent(), refusal.isEmpty() ? ">ma " + QByteArray::number(saved * 10) : "");
    QFETCH(QByteArray, replies);
    if (replies == "-")
        panel.trigger("actionDisconnect");
    else
        panel.controller.write(replies);
    panel.settle(100);
    if (refusal.isEmpty())
        QTEST(child<QLabel>(*positions, "positionsMessage")->text(), "shown");
}

void TestPositions::editsNeverMove_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("commit"); // how the edit ends
    for (const char *commit : { "Return", "Enter", "Tab", "click", "Go to" }) {
        QTest::addRow("name, %s", commit) << 0 << commit;
        QTest::addRow("position, %s", commit) << 1 << commit;
    }
}

// An edit ends (a script's save refilling the table meanwhile): only a Go to moves, there.
void TestPositions::editsNeverMove()
{
    QFETCH(int, column);
    QFETCH(QString, commit);
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    ScriptablePanel *scriptable = &panel.scripts();
    QVERIFY(scriptable->saveNamedPosition(QStringLiteral("spot"), 100).isEmpty());
    PositionsWindow *positions = openPositions(*panel.window);
    QTest::qWait(20); // the main window's own activation first
    positions->activateWindow();
    QTRY_VERIFY(positions->isActiveWindow());
    auto *table = positions->findChild<QTableWidget *>();
    table->setFocus();
    table->setCurrentCell(0, column);
    QTest::keyClick(table, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(table->indexWidget(table->currentIndex()));
    QVERIFY(editor);
    editor->selectAll();
    const QString typed = column == 0 ? QStringLiteral("spot B") : QStringLiteral("250");
    QTest::keyClicks(editor, typed);
    QVERIFY(scriptable->saveNamedPosition(QStringLiteral("other"), 5).isEmpty());
    QCOMPARE(table->indexWidget(table->currentIndex()), editor);
    QCOMPARE(editor->text(), typed);

    const QByteArray goTo = column == 0 ? ">ma 1000" : ">ma 2500";
    if (commit == "Return")
        QTest::keyClick(editor, Qt::Key_Return);
    else if (commit == "Enter")
        QTest::keyClick(editor, Qt::Key_Enter, Qt::KeypadModifier);
    else if (commit == "Tab")
        QTest::keyClick(editor, Qt::Key_Tab);
    else if (commit == "click") // elsewhere: the focus leaves the editor
        QTest::mouseClick(child<QWidget>(*positions, "positionsName"), Qt::LeftButton);
    else // as by a shortcut, the editor keeping the focus
        child<QPushButton>(*positions, "positionsGoTo")->click();
    panel.settle(50);
    QCOMPARE(panel.sent(), commit == "Go to" ? goTo : QByteArray());
    if (QWidget *next = table->indexWidget(table->currentIndex()))
        QTest::keyClick(next, Qt::Key_Escape);
    const QList<QPair<QString, double>> expected {
        { column == 0 ? "spot B" : "spot", column == 0 ? 100.0 : 250.0 }, { "other", 5 }
    };
    QCOMPARE(scriptable->namedPositions(), expected);
    QTRY_COMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, column)->text(), typed);
    table->selectRow(0);
    QTest::keyClick(table, Qt::Key_Return);
    panel.settle();
    QCOMPARE(panel.sent(), goTo);
}

void TestPositions::importRefusesBadRow()
{
    ModalCloser boxes;
    PanelOnLine panel;
    PositionsWindow *positions = openPositions(*panel.window);
    QCOMPARE(positions->windowTitle(), QStringLiteral("Positions"));
    QTemporaryDir dir;
    const auto csvFile = [&dir](const QByteArray &content) {
        QFile file(dir.filePath(QStringLiteral("p.csv")));
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return file.fileName();
    };
    QString error;
    QVERIFY(positions->importFile(csvFile("name,position_um\r\n\"spot a\",1.5\nc,-2\n"), &error)
            || (qWarning() << error, false));
    auto *table = positions->findChild<QTableWidget *>();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("-2"));

    // Edited in place: a bad name or number goes back to what the list holds.
    table->item(0, 0)->setText(QStringLiteral("c"));
    table->item(1, 1)->setText(QStringLiteral("7.25"));
    table->item(1, 0)->setText(QStringLiteral("renamed"));
    table->item(0, 1)->setText(QStringLiteral("1,5"));
    QTRY_COMPARE(table->item(0, 1)->text(), QStringLiteral("1.5"));
    QCOMPARE(panel.scripts().namedPositions(),
             (QList<QPair<QString, double>> { { "spot a", 1.5 }, { "renamed", 7.25 } }));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("spot a"));

    // Import says what it did; a save or an import beyond 1000 is refused with the reason.
    QByteArray csv = "name,position_um\nrenamed,8\n";
    for (int i = 0; i < 998; ++i)
        csv += "p" + QByteArray::number(i) + ",1\n";
    QVERIFY(positions->importFile(csvFile(csv), &error));
    auto *message = child<QLabel>(*positions, "positionsMessage");
    QCOMPARE(message->text(), QStringLiteral("998 added, 1 replaced"));
    QVERIFY(!positions->importFile(csvFile("name,position_um\nx,1\n"), &error));
    QCOMPARE(error, QStringLiteral("1001 positions would be more than the 1000 a list holds"));
    QVERIFY(!positions->importFile(csvFile(csv + "x,1\ny,1\n"), &error));
    QCOMPARE(error, QStringLiteral("row 1002: more than 1000 positions"));
    ScriptablePanel *scriptable = &panel.scripts();
    QVERIFY(!scriptable->saveNamedPosition("new", 1).isEmpty()
            && scriptable->saveNamedPosition("p7", 2).isEmpty());
    QCOMPARE(scriptable->namedPositions().size(), 1000);

    // The name column fits its names, the position column its numbers.
    QVERIFY(table->columnWidth(0) >= table->fontMetrics().horizontalAdvance("renamed"));
    QVERIFY(table->columnWidth(1) < 150);

    // Deleted with the button, back with Ctrl+Z, in their places, ten and more.
    const QList<QPair<QString, double>> before = scriptable->namedPositions();
    for (int i = 0; i < 11; ++i) {
        table->selectRow(i);
        child<QPushButton>(*positions, "positionsDelete")->click();
    }
    QCOMPARE(scriptable->namedPositions().size(), 989);
    positions->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(positions));
    for (int i = 0; i < 11; ++i)
        QTest::keyClick(positions, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(scriptable->namedPositions(), before);
    // Closing the window makes a deletion final.
    child<QPushButton>(*positions, "positionsDelete")->click();
    positions->close();
    openPositions(*panel.window);
    QApplication::setActiveWindow(positions);
    QTRY_VERIFY(positions->isActiveWindow());
    QTest::keyClick(positions, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(scriptable->namedPositions().size(), 999);
}

void TestPositions::positionLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("reply"); // to "position"
    QTest::addColumn<QByteArray>("save"); // the reply to "save p"
    for (const char *bad : { "_cp ERR um\r", "_cp 12,5 um\r", "_cp nan um\r", "_cp inf um\r",
                             "_cp -inf um\r", "_cp 2e6 um\r", "_cp 1e308 um\r", "_cp  um\r" })
        QTest::newRow(bad) << QByteArray(bad) << QByteArray("error no position yet")
                           << QByteArray("error no position yet");
    QTest::newRow("edge") << QByteArray("_cp -1e6 um\r") << QByteArray("ok -1000000")
                          << QByteArray("ok");
    QTest::newRow("plain") << QByteArray("_cp 12.5 um\r") << QByteArray("ok 12.5")
                           << QByteArray("ok");
    // The settings file cannot be written: the position stays in the list, the script is told.
    QTest::newRow("unwritable") << QByteArray("_cp 3 um\r") << QByteArray("ok 3")
                                << QByteArray("error cannot save: ");
}

// A garbled position line is shown as it came, and goes neither to scripts nor into a save.
void TestPositions::positionLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, save);
    // Numbers are read and written with "." whatever the locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto cLocale = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    PanelOnLine panel;
    panel.trigger("actionAllowScripts");
    QVERIFY(panel.connectPanel() && panel.controller.waitForText(">cp\r", 1000));
    QSignalSpy lines(panel.window, &MainWindow::lineReceived);
    QSignalSpy warned(panel.find<QStatusBar>("statusBar"), &QStatusBar::messageChanged);
    const bool unwritable = save.startsWith("error cannot");
    const QString file = PanelSettings::filePath(QString());
    const auto restore = qScopeGuard([&] { QDir(file).removeRecursively(); });
    if (unwritable) { // a folder where the file should be
        QFile::remove(file);
        QVERIFY(QDir().mkpath(file));
    }
    Script script;
    panel.controller.write(line);
    QTRY_VERIFY(lines.count() > 0 && lines.constLast().at(0).toByteArray() == line);
    const bool valid = !line.startsWith("_cp ") || save != "error no position yet";
    QCOMPARE(lines.constLast().at(1).toString().isEmpty(), !valid);
    QTEST(script.ask("position"), "reply");
    QCOMPARE(script.ask("state").contains(" position=- "), !valid);
    QCOMPARE(script.ask("save p").left(save.size()), save);
    QCOMPARE(script.ask("positions") == "ok", !valid);
    const QString said = warned.isEmpty() ? QString() : warned.constLast().at(0).toString();
    QCOMPARE(said.startsWith("Settings not saved: "), unwritable);
    QCOMPARE(panel.scripts().saveNamedPosition("q", 1e6 + 1), "position out of range");
    if (line != "_cp 12.5 um\r")
        return;
    // Named positions: saved without homing, gone to once homed and within the limits.
    QCOMPARE(script.ask("goto nowhere"), QByteArray("error unknown position"));
    QCOMPARE(script.ask("save my%20spot"), QByteArray("ok")); // no homing needed
    QCOMPARE(script.ask("goto my%20spot"), QByteArray("error not homed"));
    panel.controller.write("_cp 14750.5 um\r");
    QTRY_COMPARE(script.ask("position"), QByteArray("ok 14750.5"));
    QCOMPARE(script.ask("save far"), QByteArray("ok"));
    for (const char *bad : { "save a!", "save %", "save a%2", "save a b", "save ", "goto a;b",
                             "save %00", "goto %7F" })
        QCOMPARE(script.ask(bad), QByteArray("error bad name"));
    QCOMPARE(panel.sent(), QByteArray()); // nothing moves
    QCOMPARE(script.ask("home"), QByteArray("ok"));
    panel.controller.take();
    QCOMPARE(script.ask("goto my%20spot"), QByteArray("ok"));
    QCOMPARE(script.ask("goto far"), QByteArray("error outside -250..14750"));
    panel.settle();
    QCOMPARE(panel.sent(), QByteArray(">ma 125"));
    panel.controller.write("_cp 7 um\r");
    QTRY_COMPARE(script.ask("position"), QByteArray("ok 7"));
    QCOMPARE(script.ask("save my%20spot"), QByteArray("ok")); // replaced, in its place
    QCOMPARE(script.ask("positions"), QByteArray("ok p=12.5;my%20spot=7;far=14750.5"));
}

// What a saved, renamed, removed or reordered list leaves in its file is read back as it was.
void TestPositions::storedAsShown()
{
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("list.conf")), QSettings::IniFormat);
    PositionList list(store);
    for (const auto &[name, um] : { std::pair("a", 1.5), { "b", 2.5 }, { "c", 3.5 }, { "a", 4.5 } })
        QVERIFY(list.save(QString::fromLatin1(name), um, QString()));
    QVERIFY(list.rename(1, QStringLiteral("d")));
    QSettings again(store.fileName(), QSettings::IniFormat);
    const PositionList read(again);
    QCOMPARE(read.positions(), list.positions());
    QCOMPARE(read.positions().size(), 3);
}

QTEST_MAIN(TestPositions)
#include "tst_positions.moc"

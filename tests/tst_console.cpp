// The console pane: which keys send its last line and what is sent, what appendData shows
// and where the view ends up, its fixed colours and block limit, and how it answers the mouse.

#include "console.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QVBoxLayout>

namespace {

QList<QByteArray> emitted(const QSignalSpy &spy)
{
    QList<QByteArray> result;
    for (const QList<QVariant> &arguments : spy)
        result.append(arguments.at(0).toByteArray());
    return result;
}

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void sendKeys_data();
    void sendKeys();
    void keysThatDoNotSend_data();
    void keysThatDoNotSend();
    void sequences();
    void sendsThePanesLastLine();
    void keepsAtMostHundredBlocks();

    void appendData_data();
    void appendData();
    void appendScrollsToBottom();
    void appendWhileUnavailable();
    void paletteIsWhiteOnBlack();
    void mouseMovesNothing();
};

void TestConsole::sendKeys_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("sent");

    auto row = [](const char *name, bool echo, const char *typed, Qt::Key key,
                  Qt::KeyboardModifiers modifiers, const char *sent) {
        QTest::newRow(name) << echo << QString::fromLatin1(typed) << int(key) << int(modifiers)
                            << QByteArray(sent);
    };
    row("return on empty pane", true, "", Qt::Key_Return, Qt::NoModifier, "\r");
    row("typed then return", true, "abc", Qt::Key_Return, Qt::NoModifier, "abc\r");
    row("shift+return", true, "abc", Qt::Key_Return, Qt::ShiftModifier, "abc\r");
    row("up", true, "ab", Qt::Key_Up, Qt::NoModifier, "ab\r");
    row("down", true, "ab", Qt::Key_Down, Qt::NoModifier, "ab\r");
    row("left", true, "ab", Qt::Key_Left, Qt::NoModifier, "ab\r");
    row("right", true, "ab", Qt::Key_Right, Qt::NoModifier, "ab\r");
    row("ctrl+left", true, "ab", Qt::Key_Left, Qt::ControlModifier, "ab\r");
    row("delete deletes backwards", true, "abcd", Qt::Key_Delete, Qt::NoModifier, "abc\r");
    row("delete on empty pane", true, "", Qt::Key_Delete, Qt::NoModifier, "\r");
    row("echo off swallows typing", false, "abc", Qt::Key_Return, Qt::NoModifier, "\r");
    row("echo off then delete", false, "abc", Qt::Key_Delete, Qt::NoModifier, "\r");
}

void TestConsole::sendKeys()
{
    QFETCH(bool, echo);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, sent);

    Console console;
    console.setLocalEcho(echo);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, typed);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(console.toPlainText(), echo ? typed : QString());

    QTest::keyClick(&console, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(emitted(spy), QList<QByteArray> { sent });
    QCOMPARE(console.toPlainText(), QString::fromLatin1(sent).replace('\r', '\n'));
    // The operator continues on a fresh line at the end of the pane.
    QVERIFY(console.textCursor().atEnd());
    QCOMPARE(console.textCursor().block().text(), QString());
}

void TestConsole::keysThatDoNotSend_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("shown");

    QTest::newRow("keypad enter, echo off") << false << int(Qt::Key_Enter) << "ab";
    QTest::newRow("backspace, echo on") << true << int(Qt::Key_Backspace) << "a";
    QTest::newRow("backspace, echo off") << false << int(Qt::Key_Backspace) << "ab";
    QTest::newRow("letter, echo off") << false << int(Qt::Key_X) << "ab";
    QTest::newRow("home, echo off") << false << int(Qt::Key_Home) << "ab";
}

void TestConsole::keysThatDoNotSend()
{
    QFETCH(bool, echo);
    QFETCH(int, key);
    QFETCH(QString, shown);

    Console console;
    console.setLocalEcho(true);
    QTest::keyClicks(&console, QStringLiteral("ab"));
    console.setLocalEcho(echo);
    QSignalSpy spy(&console, &Console::getData);

    QTest::keyClick(&console, Qt::Key(key));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(console.toPlainText(), shown);
}

void TestConsole::sequences()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    // The receiver writes the bytes to the port; it must see the pane before the new line.
    QString seen;
    auto once = connect(&console, &Console::getData, this, [&] { seen = console.toPlainText(); });

    // A second Return, or an arrow right after one, sends the empty line as a lone CR.
    QTest::keyClicks(&console, QStringLiteral("status"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(seen, QStringLiteral("status"));
    disconnect(once);
    QTest::keyClick(&console, Qt::Key_Return);
    QTest::keyClick(&console, Qt::Key_Up);
    QCOMPARE(emitted(spy), (QList<QByteArray> { "status\r", "\r", "\r" }));
    QCOMPARE(console.toPlainText(), QStringLiteral("status\n\n\n"));

    // Keypad Enter starts a line without sending the one it ends.
    spy.clear();
    QTest::keyClicks(&console, QStringLiteral("ab"));
    QTest::keyClick(&console, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(spy.count(), 0);
    QTest::keyClicks(&console, QStringLiteral("cd"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "cd\r" });
    QCOMPARE(console.toPlainText(), QStringLiteral("status\n\n\nab\ncd\n"));

    // Clear, then Return: nothing of what was there goes along.
    spy.clear();
    console.appendData("old reply\rmore");
    QTest::keyClicks(&console, QStringLiteral("typed"));
    console.clear();
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "\r" });
    QCOMPARE(console.toPlainText(), QStringLiteral("\n"));
}

void TestConsole::sendsThePanesLastLine()
{
    // What the controller wrote is part of the line that is sent, typed or not.
    Console console;
    QSignalSpy spy(&console, &Console::getData);
    console.appendData(">status\r");
    console.appendData("ready");
    QTest::keyClicks(&console, QStringLiteral("xyz"));
    QCOMPARE(console.toPlainText(), QStringLiteral(">status\nready"));
    QTest::keyClick(&console, Qt::Key_Return);

    console.setLocalEcho(true);
    console.appendData("> ");
    QTest::keyClicks(&console, QStringLiteral("cp"));
    QTest::keyClick(&console, Qt::Key_Return);

    // Of pasted lines only the last one.
    QApplication::clipboard()->setText(QStringLiteral("one\ntwo\nthr"));
    QTest::keyClick(&console, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(spy.count(), 2);
    QTest::keyClicks(&console, QStringLiteral("ee"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), (QList<QByteArray> { "ready\r", "> cp\r", "three\r" }));
}

void TestConsole::keepsAtMostHundredBlocks()
{
    Console console;
    console.setLocalEcho(true);
    for (int i = 0; i < 150; ++i)
        console.appendData("line " + QByteArray::number(i) + '\r');
    console.appendData("last");
    QCOMPARE(console.blockCount(), 100);
    QCOMPARE(console.document()->firstBlock().text(), QStringLiteral("line 51"));

    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "last\r" });
    QCOMPARE(console.blockCount(), 100);
    QCOMPARE(console.document()->firstBlock().text(), QStringLiteral("line 52"));
}

void TestConsole::appendData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("shown");

    const QChar bad(QChar::ReplacementCharacter);
    QTest::newRow("nul cuts the rest") << QByteArray("ab\0cd\r", 6) << "ab";
    QTest::newRow("leading nul") << QByteArray("\0abc", 4) << "";
    QTest::newRow("nul after line break") << QByteArray("ab\r\0cd", 6) << "ab\n";
    QTest::newRow("utf-8") << QByteArray("12.5 \xc2\xb5m") << QString::fromUtf8("12.5 µm");
    QTest::newRow("invalid utf-8") << QByteArray("a\xff\xfe") + 'b'
                                   << QLatin1Char('a') + QString(bad) + bad + QLatin1Char('b');
    QTest::newRow("cr starts a line") << QByteArray(">cp\r") << ">cp\n";
    QTest::newRow("lf starts a line") << QByteArray("a\nb") << "a\nb";
    QTest::newRow("cr lf is one break") << QByteArray("a\r\nb") << "a\nb";
}

void TestConsole::appendData()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, shown);

    Console console;
    console.appendData(">");
    console.appendData(data);
    QCOMPARE(console.toPlainText(), QLatin1Char('>') + shown);
}

void TestConsole::appendScrollsToBottom()
{
    Console console;
    console.resize(300, 120);
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    for (int i = 0; i < 60; ++i)
        console.appendData("reply " + QByteArray::number(i) + '\r');
    QScrollBar *bar = console.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(0);
    console.appendData("x");
    QCOMPARE(bar->value(), bar->maximum());

    // Even when the operator has moved the cursor to the top (Home keys, echo on).
    console.setLocalEcho(true);
    QTest::keyClick(&console, Qt::Key_Home, Qt::ControlModifier);
    bar->setValue(0);
    console.appendData("y\r");
    QCOMPARE(bar->value(), bar->maximum());
}

void TestConsole::appendWhileUnavailable()
{
    for (const bool hidden : { true, false }) {
        for (const bool disabled : { true, false }) {
            Console console;
            console.show();
            QVERIFY(QTest::qWaitForWindowExposed(&console));
            console.setHidden(hidden);
            console.setDisabled(disabled);
            console.appendData(">inform\r");
            console.appendData(">status\r");
            console.show();
            console.setEnabled(true);
            QCOMPARE(console.toPlainText(), QStringLiteral(">inform\n>status\n"));
        }
    }
}

void TestConsole::paletteIsWhiteOnBlack()
{
    Console console;
    for (const bool enabled : { true, false }) {
        console.setEnabled(enabled);
        const QPalette p = console.palette();
        for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
            QCOMPARE(p.color(group, QPalette::Base), QColor(Qt::black));
            QCOMPARE(p.color(group, QPalette::Text), QColor(Qt::white));
            QCOMPARE(p.brush(group, QPalette::Base).style(), Qt::SolidPattern);
            QCOMPARE(p.brush(group, QPalette::Text).style(), Qt::SolidPattern);
        }
    }
}

void TestConsole::mouseMovesNothing()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *other = new QLineEdit(&window);
    auto *console = new Console(&window);
    layout->addWidget(other);
    layout->addWidget(console);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    console->appendData("first line\nsecond line\n");
    other->setFocus();
    QVERIFY(other->hasFocus());

    const int end = console->textCursor().position();
    const QPoint onFirstLine = console->cursorRect(QTextCursor(console->document())).center();
    QTest::mouseClick(console->viewport(), Qt::LeftButton, Qt::NoModifier, onFirstLine);
    QVERIFY(console->hasFocus());
    QCOMPARE(console->textCursor().position(), end);
    QVERIFY(!console->textCursor().hasSelection());

    // Neither a drag nor a double click selects.
    const QPoint further = onFirstLine + QPoint(60, 0);
    QTest::mousePress(console->viewport(), Qt::LeftButton, Qt::NoModifier, onFirstLine);
    QTest::mouseMove(console->viewport(), further);
    QTest::mouseRelease(console->viewport(), Qt::LeftButton, Qt::NoModifier, further);
    QCOMPARE(console->textCursor().position(), end);
    QVERIFY(!console->textCursor().hasSelection());
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseDClick(console->viewport(), Qt::LeftButton, Qt::NoModifier,
                       onFirstLine + QPoint(8, 0));
    QCOMPARE(console->textCursor().position(), end);
    QVERIFY(!console->textCursor().hasSelection());

    // And a right click opens no menu.
    const QPoint inside(20, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, inside, console->mapToGlobal(inside));
    QApplication::sendEvent(console->viewport(), &event);
    QTest::qWait(10);
    const bool menuOpen = QApplication::activePopupWidget();
    if (menuOpen)
        QApplication::activePopupWidget()->close();
    QVERIFY(!menuOpen);
    QVERIFY(console->findChildren<QMenu *>().isEmpty());
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"

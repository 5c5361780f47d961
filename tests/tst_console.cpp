// The console pane on its own: what each key sends, what appendData shows, how the pane
// reacts to the mouse, and the fixed properties it is built with.

#include "console.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMetaMethod>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QWidget>

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void paletteIsWhiteOnBlack_data();
    void paletteIsWhiteOnBlack();
    void signalIsTheOnlyOutput();

    void sendKeys_data();
    void sendKeys();
    void keysThatDoNotSend_data();
    void keysThatDoNotSend();
    void returnTwiceSendsLoneCr();
    void upAfterReturnSendsLoneCr();
    void keypadEnterStartsLineWithoutSending();
    void echoOffSendsAppendedLine();
    void echoCanBeSwitchedOff();
    void appendedTextJoinsTypedLine();
    void lineIsHandedOverBeforeLineBreak();
    void clearThenReturnSendsLoneCr();
    void pastedLinesSendOnlyLastOne();

    void keepsAtMostHundredBlocks();
    void appendData_data();
    void appendData();
    void appendScrollsToBottom();
    void appendWhileUnavailable_data();
    void appendWhileUnavailable();

    void clickFocusesWithoutMovingCursor();
    void doubleClickSelectsNothing();
    void noContextMenu();

private:
    static QList<QByteArray> emitted(const QSignalSpy &spy);
};

namespace {

// Console text with line breaks, as the operator sees it: two lines, cursor at the end.
const QByteArray twoLines("first line\nsecond line\n");

} // namespace

QList<QByteArray> TestConsole::emitted(const QSignalSpy &spy)
{
    QList<QByteArray> result;
    for (const QList<QVariant> &arguments : spy)
        result.append(arguments.at(0).toByteArray());
    return result;
}

void TestConsole::cleanup()
{
    // A stray popup from a failed context-menu check must not leak into the next test.
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

void TestConsole::paletteIsWhiteOnBlack_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("active") << int(QPalette::Active) << true;
    QTest::newRow("inactive") << int(QPalette::Inactive) << true;
    QTest::newRow("disabled") << int(QPalette::Disabled) << true;
    QTest::newRow("disabled widget") << int(QPalette::Disabled) << false;
}

void TestConsole::paletteIsWhiteOnBlack()
{
    QFETCH(int, group);
    QFETCH(bool, enabled);

    Console console;
    console.setEnabled(enabled);
    const QPalette p = console.palette();
    const auto colourGroup = QPalette::ColorGroup(group);
    QCOMPARE(p.color(colourGroup, QPalette::Base), QColor(Qt::black));
    QCOMPARE(p.color(colourGroup, QPalette::Text), QColor(Qt::white));
    QCOMPARE(p.brush(colourGroup, QPalette::Base).style(), Qt::SolidPattern);
    QCOMPARE(p.brush(colourGroup, QPalette::Text).style(), Qt::SolidPattern);
    // The rest of the pane is the toolkit's default: editable, wrapping, up to 100 blocks.
    QVERIFY(!console.isReadOnly());
    QCOMPARE(console.lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(console.maximumBlockCount(), 100);
}

void TestConsole::signalIsTheOnlyOutput()
{
    // The main window connects to getData by its signature, so the signature is fixed.
    Console console;
    const QMetaObject *meta = console.metaObject();
    QCOMPARE(meta->className(), "Console");
    QCOMPARE(meta->superClass(), &QPlainTextEdit::staticMetaObject);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    const QMetaMethod method = meta->method(meta->methodOffset());
    QCOMPARE(method.methodType(), QMetaMethod::Signal);
    QCOMPARE(method.methodSignature(), QByteArray("getData(QByteArray)"));
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
}

void TestConsole::sendKeys_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("shown");

    const int none = Qt::NoModifier;
    QTest::newRow("return on empty pane")
        << true << "" << int(Qt::Key_Return) << none << QByteArray("\r") << "\n";
    QTest::newRow("typed then return")
        << true << "abc" << int(Qt::Key_Return) << none << QByteArray("abc\r") << "abc\n";
    QTest::newRow("shift+return") << true << "abc" << int(Qt::Key_Return) << int(Qt::ShiftModifier)
                                  << QByteArray("abc\r") << "abc\n";
    QTest::newRow("ctrl+return") << true << "abc" << int(Qt::Key_Return) << int(Qt::ControlModifier)
                                 << QByteArray("abc\r") << "abc\n";
    QTest::newRow("up") << true << "ab" << int(Qt::Key_Up) << none << QByteArray("ab\r") << "ab\n";
    QTest::newRow("down") << true << "ab" << int(Qt::Key_Down) << none << QByteArray("ab\r")
                          << "ab\n";
    QTest::newRow("left") << true << "ab" << int(Qt::Key_Left) << none << QByteArray("ab\r")
                          << "ab\n";
    QTest::newRow("right") << true << "ab" << int(Qt::Key_Right) << none << QByteArray("ab\r")
                           << "ab\n";
    QTest::newRow("ctrl+left") << true << "ab" << int(Qt::Key_Left) << int(Qt::ControlModifier)
                               << QByteArray("ab\r") << "ab\n";
    QTest::newRow("shift+up") << true << "ab" << int(Qt::Key_Up) << int(Qt::ShiftModifier)
                              << QByteArray("ab\r") << "ab\n";
    QTest::newRow("delete deletes backwards")
        << true << "abcd" << int(Qt::Key_Delete) << none << QByteArray("abc\r") << "abc\n";
    QTest::newRow("delete on empty pane")
        << true << "" << int(Qt::Key_Delete) << none << QByteArray("\r") << "\n";
    QTest::newRow("echo off swallows typing")
        << false << "abc" << int(Qt::Key_Return) << none << QByteArray("\r") << "\n";
    QTest::newRow("echo off then delete")
        << false << "abc" << int(Qt::Key_Delete) << none << QByteArray("\r") << "\n";
    QTest::newRow("echo off then up")
        << false << "abc" << int(Qt::Key_Up) << none << QByteArray("\r") << "\n";
}

void TestConsole::sendKeys()
{
    QFETCH(bool, echo);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, sent);
    QFETCH(QString, shown);

    Console console;
    console.setLocalEcho(echo);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, typed);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(console.toPlainText(), echo ? typed : QString());

    QTest::keyClick(&console, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(emitted(spy), QList<QByteArray> { sent });
    QCOMPARE(console.toPlainText(), shown);
    // The operator continues on a fresh line at the end of the pane.
    QVERIFY(console.textCursor().atEnd());
    QCOMPARE(console.textCursor().block().text(), QString());
}

void TestConsole::keysThatDoNotSend_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("shownWithEcho");

    QTest::newRow("keypad enter, echo on") << true << int(Qt::Key_Enter) << "ab\n";
    QTest::newRow("keypad enter, echo off") << false << int(Qt::Key_Enter) << "ab";
    QTest::newRow("backspace, echo on") << true << int(Qt::Key_Backspace) << "a";
    QTest::newRow("backspace, echo off") << false << int(Qt::Key_Backspace) << "ab";
    QTest::newRow("letter, echo on") << true << int(Qt::Key_X) << "abx";
    QTest::newRow("letter, echo off") << false << int(Qt::Key_X) << "ab";
    QTest::newRow("escape, echo on") << true << int(Qt::Key_Escape) << "ab";
    QTest::newRow("home, echo off") << false << int(Qt::Key_Home) << "ab";
}

void TestConsole::keysThatDoNotSend()
{
    QFETCH(bool, echo);
    QFETCH(int, key);
    QFETCH(QString, shownWithEcho);

    Console console;
    console.setLocalEcho(true);
    QTest::keyClicks(&console, QStringLiteral("ab"));
    console.setLocalEcho(echo);
    QSignalSpy spy(&console, &Console::getData);

    QTest::keyClick(&console, Qt::Key(key));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(console.toPlainText(), shownWithEcho);
}

void TestConsole::returnTwiceSendsLoneCr()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, QStringLiteral("status"));
    QTest::keyClick(&console, Qt::Key_Return);
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), (QList<QByteArray> { "status\r", "\r" }));
    QCOMPARE(console.toPlainText(), QStringLiteral("status\n\n"));
}

void TestConsole::upAfterReturnSendsLoneCr()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, QStringLiteral("cp"));
    QTest::keyClick(&console, Qt::Key_Return);
    QTest::keyClick(&console, Qt::Key_Up);
    QCOMPARE(emitted(spy), (QList<QByteArray> { "cp\r", "\r" }));
    QCOMPARE(console.toPlainText(), QStringLiteral("cp\n\n"));
}

void TestConsole::keypadEnterStartsLineWithoutSending()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, QStringLiteral("ab"));
    QTest::keyClick(&console, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(spy.count(), 0);
    QTest::keyClicks(&console, QStringLiteral("cd"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "cd\r" });
    QCOMPARE(console.toPlainText(), QStringLiteral("ab\ncd\n"));
}

void TestConsole::echoOffSendsAppendedLine()
{
    Console console;
    QSignalSpy spy(&console, &Console::getData);
    console.appendData(">status\r");
    console.appendData("ready");
    QTest::keyClicks(&console, QStringLiteral("xyz"));
    QCOMPARE(console.toPlainText(), QStringLiteral(">status\nready"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "ready\r" });
}

void TestConsole::echoCanBeSwitchedOff()
{
    Console console;
    console.setLocalEcho(true);
    QTest::keyClicks(&console, QStringLiteral("a"));
    console.setLocalEcho(false);
    QTest::keyClicks(&console, QStringLiteral("b"));
    console.setLocalEcho(true);
    QTest::keyClicks(&console, QStringLiteral("c"));
    QCOMPARE(console.toPlainText(), QStringLiteral("ac"));
}

void TestConsole::appendedTextJoinsTypedLine()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    console.appendData("> ");
    QTest::keyClicks(&console, QStringLiteral("cp"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "> cp\r" });
}

void TestConsole::lineIsHandedOverBeforeLineBreak()
{
    // The receiver writes the bytes to the port; it must see the pane before the new line.
    Console console;
    console.setLocalEcho(true);
    QString seen;
    connect(&console, &Console::getData, this, [&] { seen = console.toPlainText(); });
    QTest::keyClicks(&console, QStringLiteral("abc"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(seen, QStringLiteral("abc"));
    QCOMPARE(console.toPlainText(), QStringLiteral("abc\n"));
}

void TestConsole::clearThenReturnSendsLoneCr()
{
    Console console;
    console.setLocalEcho(true);
    console.appendData("old reply\rmore");
    QTest::keyClicks(&console, QStringLiteral("typed"));
    console.clear();
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "\r" });
    QCOMPARE(console.toPlainText(), QStringLiteral("\n"));
}

void TestConsole::pastedLinesSendOnlyLastOne()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    QApplication::clipboard()->setText(QStringLiteral("one\ntwo\nthr"));
    QTest::keyClick(&console, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(console.toPlainText(), QStringLiteral("one\ntwo\nthr"));
    QCOMPARE(spy.count(), 0);
    QTest::keyClicks(&console, QStringLiteral("ee"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "three\r" });
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
    QVERIFY(!console.toPlainText().contains(QStringLiteral("line 50\n")));

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

    QTest::newRow("plain") << QByteArray("hello") << "hello";
    QTest::newRow("nul cuts the rest") << QByteArray("ab\0cd\r", 6) << "ab";
    QTest::newRow("leading nul") << QByteArray("\0abc", 4) << "";
    QTest::newRow("nul after line break") << QByteArray("ab\r\0cd", 6) << "ab\n";
    QTest::newRow("micro sign in utf-8")
        << QByteArray("12.5 \xc2\xb5m") << QString::fromUtf8("12.5 µm");
    QTest::newRow("invalid utf-8") << QByteArray("a\xff\xfe"
                                                 "b")
                                   << QString(QLatin1Char('a')) + QChar(QChar::ReplacementCharacter)
            + QChar(QChar::ReplacementCharacter) + QLatin1Char('b');
    QTest::newRow("cr starts a line") << QByteArray(">cp\r") << ">cp\n";
    QTest::newRow("lf starts a line") << QByteArray("a\nb") << "a\nb";
    QTest::newRow("cr lf is one break") << QByteArray("a\r\nb") << "a\nb";
    QTest::newRow("empty") << QByteArray() << "";
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

void TestConsole::appendWhileUnavailable_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("disabled");
    QTest::newRow("hidden") << true << false;
    QTest::newRow("disabled") << false << true;
    QTest::newRow("hidden and disabled") << true << true;
}

void TestConsole::appendWhileUnavailable()
{
    QFETCH(bool, hidden);
    QFETCH(bool, disabled);

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

void TestConsole::clickFocusesWithoutMovingCursor()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *other = new QLineEdit(&window);
    auto *console = new Console(&window);
    layout->addWidget(other);
    layout->addWidget(console);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    console->appendData(twoLines);
    other->setFocus();
    QVERIFY(other->hasFocus());

    const int end = console->textCursor().position();
    QTextCursor start(console->document());
    const QPoint onFirstLine = console->cursorRect(start).center();
    QTest::mouseClick(console->viewport(), Qt::LeftButton, Qt::NoModifier, onFirstLine);
    QVERIFY(console->hasFocus());
    QCOMPARE(console->textCursor().position(), end);
    QVERIFY(!console->textCursor().hasSelection());

    // A drag does not select either.
    QTest::mousePress(console->viewport(), Qt::LeftButton, Qt::NoModifier, onFirstLine);
    QTest::mouseMove(console->viewport(), onFirstLine + QPoint(60, 0));
    QTest::mouseRelease(console->viewport(), Qt::LeftButton, Qt::NoModifier,
                        onFirstLine + QPoint(60, 0));
    QCOMPARE(console->textCursor().position(), end);
    QVERIFY(!console->textCursor().hasSelection());
}

void TestConsole::doubleClickSelectsNothing()
{
    Console console;
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    console.appendData(twoLines);
    const int end = console.textCursor().position();
    QTextCursor start(console.document());
    const QPoint onFirstWord = console.cursorRect(start).center() + QPoint(8, 0);
    QTest::mouseDClick(console.viewport(), Qt::LeftButton, Qt::NoModifier, onFirstWord);
    QVERIFY(!console.textCursor().hasSelection());
    QCOMPARE(console.textCursor().position(), end);
}

void TestConsole::noContextMenu()
{
    Console console;
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    console.appendData(twoLines);
    const QPoint inside(20, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, inside, console.mapToGlobal(inside));
    QApplication::sendEvent(console.viewport(), &event);
    QTest::qWait(10);
    QVERIFY(!QApplication::activePopupWidget());
    QVERIFY(console.findChildren<QMenu *>().isEmpty());
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"

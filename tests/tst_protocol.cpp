// The wire formats, checked without a window: command bytes, number formatting, and the
// cutting of reply lines as the controller sends them.

#include "protocol.h"

#include <QLocale>
#include <QTest>

#include <limits>

using Protocol::Grammar;

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void absoluteMove_data();
    void absoluteMove();
    void relativeMove_data();
    void relativeMove();
    void sliderMove_data();
    void sliderMove();
    void movesIgnoreLocale();
    void truncateToInt_data();
    void truncateToInt();
    void readNumber_data();
    void readNumber();
    void grammar_data();
    void grammar();
    void versionFromLine_data();
    void versionFromLine();
    void positionText_data();
    void positionText();
    void offsetText_data();
    void offsetText();
    void passThrough_data();
    void passThrough();
    void decodeLine();
    void limitLabel_data();
    void limitLabel();
};

void TestProtocol::absoluteMove_data()
{
    QTest::addColumn<double>("target");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("one decimal") << 1234.5 << QByteArray(">ma 12345");
    QTest::newRow("two decimals") << 1234.56 << QByteArray(">ma 12345.6");
    QTest::newRow("zero") << 0.0 << QByteArray(">ma 0");
    QTest::newRow("lower limit") << -250.0 << QByteArray(">ma -2500");
    QTest::newRow("rounded to six digits") << 12345.67 << QByteArray(">ma 123457");
    QTest::newRow("upper limit") << 6250.0 << QByteArray(">ma 62500");
    QTest::newRow("exponent form") << 100000.0 << QByteArray(">ma 1e+06");
    QTest::newRow("small") << 0.00001 << QByteArray(">ma 0.0001");
}

void TestProtocol::absoluteMove()
{
    QFETCH(double, target);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Protocol::absoluteMove(target), bytes);
}

void TestProtocol::relativeMove_data()
{
    QTest::addColumn<double>("step");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("default forward") << 200.0 << true << QByteArray(">mr 2000");
    QTest::newRow("default backward") << 200.0 << false << QByteArray(">mr -2000");
    QTest::newRow("quarter forward") << 0.25 << true << QByteArray(">mr 2.5");
    QTest::newRow("quarter backward") << 0.25 << false << QByteArray(">mr -2.5");
    QTest::newRow("largest step") << 6000.0 << true << QByteArray(">mr 60000");
}

void TestProtocol::relativeMove()
{
    QFETCH(double, step);
    QFETCH(bool, forward);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Protocol::relativeMove(step, forward), bytes);
}

void TestProtocol::sliderMove_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("upper") << 6250 << QByteArray(">ma 62500");
    QTest::newRow("lower") << -250 << QByteArray(">ma -2500");
    QTest::newRow("1000") << 1000 << QByteArray(">ma 10000");
    QTest::newRow("zero") << 0 << QByteArray(">ma 0");
    QTest::newRow("beyond int in tenths")
        << std::numeric_limits<int>::max() << QByteArray(">ma 21474836470");
}

void TestProtocol::sliderMove()
{
    QFETCH(int, value);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Protocol::sliderMove(value), bytes);
}

void TestProtocol::movesIgnoreLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(Protocol::absoluteMove(1234.56), QByteArray(">ma 12345.6"));
    QCOMPARE(Protocol::relativeMove(12345.6, true), QByteArray(">mr 123456"));
    QCOMPARE(Protocol::readNumber(QStringLiteral("1234.5")), 1234.5);
    QLocale::setDefault(saved);
}

void TestProtocol::truncateToInt_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("result");
    QTest::newRow("positive fraction") << 1234.9 << 1234;
    QTest::newRow("negative fraction") << -250.7 << -250;
    QTest::newRow("too big") << 1e12 << std::numeric_limits<int>::max();
    QTest::newRow("too small") << -1e12 << std::numeric_limits<int>::min();
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity()
                              << std::numeric_limits<int>::max();
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void TestProtocol::truncateToInt()
{
    QFETCH(double, value);
    QFETCH(int, result);
    QCOMPARE(Protocol::truncateToInt(value), result);
}

void TestProtocol::readNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("decimal") << "1234.5" << 1234.5;
    QTest::newRow("blanks around") << "  -250.0 " << -250.0;
    QTest::newRow("comma is no decimal point") << "1234,5" << 0.0;
    QTest::newRow("text") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("integer") << "2500" << 2500.0;
}

void TestProtocol::readNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Protocol::readNumber(text), value);
}

void TestProtocol::grammar_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("grammar");
    QTest::addColumn<double>("travel");
    QTest::newRow("1.06") << "1.06" << int(Grammar::General) << 15000.0;
    QTest::newRow("1.26") << "1.26" << int(Grammar::Fw126) << 6500.0;
    QTest::newRow("3.02") << "3.02" << int(Grammar::General) << 6500.0;
    QTest::newRow("9.99") << "9.99" << int(Grammar::General) << 6500.0;
    QTest::newRow("letter") << "A.00" << int(Grammar::General) << 6500.0;
    QTest::newRow("2.00") << "2.00" << int(Grammar::None) << 6500.0;
    QTest::newRow("1.07") << "1.07" << int(Grammar::None) << 6500.0;
    QTest::newRow("empty") << "" << int(Grammar::None) << 6500.0;
}

void TestProtocol::grammar()
{
    QFETCH(QString, version);
    QFETCH(int, grammar);
    QFETCH(double, travel);
    QCOMPARE(int(Protocol::grammarFor(version)), grammar);
    QCOMPARE(Protocol::travelRangeFor(version), travel);
}

void TestProtocol::versionFromLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("version");
    QTest::newRow("1.06") << QByteArray("_Ver 106\r") << "1.06";
    QTest::newRow("1.26") << QByteArray("_Ver 126\r") << "1.26";
    QTest::newRow("3.02") << QByteArray("_Ver 302\r") << "3.02";
    QTest::newRow("counted from the line's start") << QByteArray("xxVer106\r") << "1.06";
    QTest::newRow("eight bytes") << QByteArray("_Ver 20\r") << "2.0\r";
    QTest::newRow("too short") << QByteArray("_Ver 1\r") << QString();
    QTest::newRow("bare") << QByteArray("Ver\r") << QString();
}

void TestProtocol::versionFromLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, version);
    QCOMPARE(Protocol::versionFromLine(line), version);
}

void TestProtocol::positionText_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("grammar");
    QTest::addColumn<QString>("number");
    QTest::newRow("general") << "_cp 1234.5 um\r" << int(Grammar::General) << "1234.5";
    QTest::newRow("general negative") << "_cp -250.0 um\r" << int(Grammar::General) << "-250.0";
    QTest::newRow("1.26") << "P 1234.5 um\r" << int(Grammar::Fw126) << "1234.5";
    QTest::newRow("micro sign counts once")
        << "_cp 12.5 \u00b5m\r" << int(Grammar::General) << "12.5";
    QTest::newRow("general too short") << "_cp\r" << int(Grammar::General) << "";
    QTest::newRow("1.26 too short") << "P\r" << int(Grammar::Fw126) << "";
    QTest::newRow("1.26 nothing between") << "P um\r" << int(Grammar::Fw126) << "";
}

void TestProtocol::positionText()
{
    QFETCH(QString, line);
    QFETCH(int, grammar);
    QFETCH(QString, number);
    QCOMPARE(Protocol::positionText(line, Grammar(grammar)), number);
}

void TestProtocol::offsetText_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("number");
    QTest::newRow("offset") << QByteArray("_offset 2500\r") << QByteArray("2500");
    QTest::newRow("Offset") << QByteArray("Offset 1234\r") << QByteArray("1234");
    QTest::newRow("first t counts") << QByteArray("_t offset 7\r") << QByteArray("offset 7");
    QTest::newRow("nothing after") << QByteArray("offset\r") << QByteArray();
    QTest::newRow("one byte after") << QByteArray("offset \r") << QByteArray();
}

void TestProtocol::offsetText()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, number);
    QCOMPARE(Protocol::offsetTextFromLine(line), number);
}

void TestProtocol::passThrough_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("shown");
    QTest::newRow("ok") << QByteArray("ok\r") << true;
    QTest::newRow("underscore") << QByteArray("_err >foo\r") << true;
    QTest::newRow("target reached") << QByteArray("_tg 1000.0\r") << false;
    QTest::newRow("underscore with P") << QByteArray("_Pos\r") << false;
    QTest::newRow("other") << QByteArray("hello\r") << false;
    QTest::newRow("no CR") << QByteArray("ok") << false;
    QTest::newRow("LF first") << QByteArray("\nok\r") << false;
}

void TestProtocol::passThrough()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, shown);
    QCOMPARE(Protocol::isPassThrough(line), shown);
}

void TestProtocol::decodeLine()
{
    QCOMPARE(Protocol::decodeLine(QByteArray("_cp 1\0junk\r", 11)), QStringLiteral("_cp 1"));
    QCOMPARE(Protocol::decodeLine("_cp 5 \xc2\xb5m\r").size(), 9);
    QCOMPARE(Protocol::decodeLine("\xff\r"), QString(QChar::ReplacementCharacter) + '\r');
}

void TestProtocol::limitLabel_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("label");
    QTest::newRow("lower") << -250.0 << "-250 \u00b5m";
    QTest::newRow("upper") << 6250.0 << "6250 \u00b5m";
    QTest::newRow("long travel") << 14750.0 << "14750 \u00b5m";
    QTest::newRow("fraction") << 6249.95 << "6249.95 \u00b5m";
}

void TestProtocol::limitLabel()
{
    QFETCH(double, value);
    QFETCH(QString, label);
    QCOMPARE(Protocol::limitLabel(value), label);
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"

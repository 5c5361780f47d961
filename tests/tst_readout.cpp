// The read-out under a stream of positions: the newest line is the one left shown, also
// when it comes right after another, while the read-out or the port rests.

#include "testsupport.h"

#include <QLabel>
#include <QSlider>

class TestReadout : public QObject
{
    Q_OBJECT
private slots:
    void newestShown_data();
    void newestShown();
    void sliderRepaintedOnlyWhenItsHandleMoves();
};

struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        return (paints += e->type() == QEvent::Paint) < 0;
    }
};

void TestReadout::newestShown_data()
{
    QTest::addColumn<bool>("throughPort");
    QTest::newRow("through the port, which rests between reads") << true;
    QTest::newRow("straight into the receive path") << false;
}

void TestReadout::newestShown()
{
    QFETCH(bool, throughPort);
    PanelOnLine panel;
    QVERIFY(panel.connectPanel());
    auto *label = panel.find<QLabel>("label_Position");
    // Each line comes as soon as the one before is shown, within the read-out's interval.
    for (const char *number : { "1.0", "2.0", "3.0" }) {
        const QByteArray line = "_cp " + QByteArray(number) + " um\r";
        throughPort ? panel.controller.write(line) : panel.probe().feed(line);
        QTRY_COMPARE(label->text(), QString::fromLatin1(number) + QStringLiteral(" \u00b5m"));
    }
    QCOMPARE(panel.find<QSlider>("horizontalSlider")->value(), 3);
}
void TestReadout::sliderRepaintedOnlyWhenItsHandleMoves()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel());
    auto *label = panel.find<QLabel>("label_Position");
    auto *slider = panel.find<QSlider>("horizontalSlider");
    const auto show = [&](int micrometres) {
        panel.controller.write("_cp " + QByteArray::number(micrometres) + ".0 um\r");
        return QTest::qWaitFor(
            [&] { return label->text().startsWith(QString::number(micrometres) + '.'); });
    };
    QVERIFY(show(1000));
    panel.settle(100);
    // Tens of micrometres a pixel: ten values a micrometre apart move the handle once at most.
    PaintCounter counter;
    slider->installEventFilter(&counter);
    for (int micrometres = 1001; micrometres <= 1010; ++micrometres)
        QVERIFY(show(micrometres));
    panel.settle(100);
    QVERIFY(counter.paints <= 1 && slider->value() == 1010);
    const int before = counter.paints;
    QVERIFY(show(5000));
    QTRY_VERIFY(counter.paints > before && slider->value() == 5000);
}

QTEST_MAIN(TestReadout)
#include "tst_readout.moc"

// The session record and the position plot: a simulated session read back row by row, a file
// that exists or stops being writable, the plot's bounded buffer and its export.

#include "console.h"
#include "positionplot.h"
#include "protocol.h"
#include "simulatedcontroller.h"
#include "testprocess.h"
#include "testsupport.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>
#include <ctime>
#include <sys/resource.h>

namespace {

// The file's RFC 4180 records: quoted fields with doubled quotes, records ended by CR LF.
QList<QStringList> readCsv(const QString &path)
{
    const QString text = fileContent(path);
    static const QRegularExpression field(
        QStringLiteral(R"re(("(?:[^"]|"")*"|[^,"\r\n]*)(,|\r\n))re"));
    QList<QStringList> rows { QStringList() };
    for (auto it = field.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString value = match.captured(1);
        rows.last() << (value.startsWith('"') ? value.mid(1, value.size() - 2).replace("\"\"", "\"")
                                              : value);
        if (match.captured(2) != QLatin1String(","))
            rows << QStringList();
    }
    return rows.mid(0, rows.size() - 1); // not the empty one after the last record's end
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "NST3:30"); // west of UTC by a non-whole hour, for sign and minutes
        tzset();
    }

    void recordsASimulatedSession()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("session.csv"));
        SimulatedController stage;
        QVERIFY(stage.start());
        { // quitting while connected ends the connection in the record too
            MainWindow window(nullptr, stage.devicePath());
            QVERIFY(window.features().startRecording(path, false));
            window.findChild<QAction *>("actionConnect")->trigger();
            auto *home = window.findChild<QPushButton *>("pushButton_home");
            QTRY_VERIFY_WITH_TIMEOUT(home->isEnabled(), 2000);
            home->click();
            auto *box = window.findChild<QDoubleSpinBox *>("doubleSpinBox_Position");
            box->setValue(1234.5);
            emit box->editingFinished();
            QTRY_VERIFY_WITH_TIMEOUT(PanelProbe(window).position() == 1234.5, 5000);
            Console *console = PanelProbe(window).console();
            QTest::keyClicks(console, ">say \"a,b\" c:\\d\te");
            QTest::keyClick(console, Qt::Key_Return);
            QTest::qWait(300);
        }

        const QList<QStringList> rows = readCsv(path);
        QVERIFY(rows.first().join(',') == "time,elapsed_s,direction,line,position_um");
        const QRegularExpression format(QStringLiteral(
            R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}-03:30,\d+\.\d{3},(sent|received|event)$)"));
        QMap<QString, QStringList> lines; // by direction
        QString position; // the last one shown
        double elapsed = 0.0;
        for (const QStringList &row : rows.mid(1)) {
            QCOMPARE(row.size(), 5);
            QVERIFY2(format.match(row.mid(0, 3).join(',')).hasMatch(), qPrintable(row.join(',')));
            const QDateTime time = QDateTime::fromString(row[0], Qt::ISODateWithMs);
            QVERIFY(qAbs(time.secsTo(QDateTime::currentDateTime())) < 60);
            QVERIFY2(row[1].toDouble() >= elapsed, qPrintable(row.join(',')));
            elapsed = row[1].toDouble();
            lines[row[2]] << row[3];
            QCOMPARE(row[4].isEmpty(), !row[3].startsWith(QLatin1String("_cp ")));
            position = row[4].isEmpty() ? position : row[4];
        }
        QVERIFY(elapsed > 0.5);
        QCOMPARE(lines["event"],
                 QStringList({ "recording started", "connected " + stage.devicePath(),
                               "identified 1.06", "disconnected", "recording stopped" }));
        const QString typed = QStringLiteral(R"(>say "a,b" c:\\d\x09e)");
        for (const QString &line : QStringList { ">inform", ">status", ">cp", ">home", typed,
                                                 Protocol::absoluteMove(1234.5) })
            QVERIFY2(lines["sent"].contains(line), qPrintable(line));
        QVERIFY(lines["received"].contains("_err " + typed));
        QCOMPARE(position, QStringLiteral("1234.5"));
    }

    void existingFileRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kept.csv"));
        MainWindow window;
        QVERIFY(window.features().startRecording(path, false));
        window.findChild<QAction *>("actionStopRecording")->trigger();
        const QList<QStringList> kept = readCsv(path);
        TestProcess panel;
        panel.start(QStringLiteral(LUMARVETHON_BIN), { QStringLiteral("--record"), path });
        QVERIFY(panel.waitForFinished(10000));
        QCOMPARE(panel.exitCode(), 2);
        QVERIFY(panel.readAllStandardError().contains(path.toLocal8Bit()));
        // Past the command line's check, the creation itself refuses.
        QVERIFY(!window.features().startRecording(path, false));
        QCOMPARE(readCsv(path), kept);
    }

    void writeFailureStopsRecording_data()
    {
        QTest::addColumn<QString>("reason"); // the directory is removed, or the size limited
        QTest::addColumn<bool>("headless");
        QTest::newRow("file too large") << QStringLiteral("File too large") << false;
        QTest::newRow("directory removed, headless") << QStringLiteral("was removed") << true;
    }

    void writeFailureStopsRecording()
    {
        QFETCH(QString, reason);
        QFETCH(bool, headless);
        const bool removeDirectory = reason == QLatin1String("was removed");
        QTemporaryDir dir;
        PanelOnLine panel;
        const QString path = dir.filePath(QStringLiteral("x.csv"));
        panel.window->features().setHeadless(headless);
        QVERIFY(panel.window->features().startRecording(path, false));
        auto *rec = panel.find<QLabel>("recordingIndicator");
        QCOMPARE(rec->text() + ' ' + rec->toolTip(), "REC x.csv " + path);
        QVERIFY(!rec->isHidden());
        QVERIFY(panel.connectPanel());
        // A file size limit that cuts the next write inside a row, as a full disk would.
        rlimit before {}, limit {};
        getrlimit(RLIMIT_FSIZE, &before);
        limit = { rlim_t(QFileInfo(path).size() + 10), before.rlim_max };
        std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&before] { setrlimit(RLIMIT_FSIZE, &before); });
        QVERIFY(removeDirectory ? dir.remove() : setrlimit(RLIMIT_FSIZE, &limit) == 0);
        QTRY_VERIFY(rec->isHidden());
        // Headless, the status line is not where it goes (standard error: the programs' test).
        const QString status = panel.probe().statusLabel()->text();
        QVERIFY2(status.startsWith("Recording stopped: ") != headless, qPrintable(status));
        QVERIFY(headless || (status.contains(reason) && !status.contains('\n')));
        QVERIFY(!panel.find<QAction>("actionStopRecording")->isEnabled());
        if (!removeDirectory) { // the file ends on a whole row
            QVERIFY(fileContent(path).endsWith("\r\n"));
            for (const QStringList &row : readCsv(path))
                QCOMPARE(row.size(), 5);
        }
        panel.controller.take(); // the panel goes on polling
        QVERIFY(panel.controller.waitForText(">cp\r"));
    }

    void plotBufferBounded()
    {
        // 61 minutes at a thousand positions a second, a saw tooth dropping in mid-bucket.
        SampleBuffer buffer;
        const qint64 hour = 60 * 60 * 1000, end = hour + 60 * 1000;
        for (qint64 ms = 0; ms < end; ++ms)
            buffer.append(ms, double((ms + 50) % 1000));
        QVERIFY(buffer.size() <= 2 * 60 * 60 * 10); // two per 100 ms of the last hour
        QVERIFY(buffer.at(0).ms >= end - hour - 1 && buffer.at(0).ms < end - hour + 100);
        // The lowest and the highest of the last 100 ms are kept, and drawn.
        QVERIFY(buffer.at(buffer.size() - 2).micrometres == 999.0
                && buffer.at(buffer.size() - 1).micrometres == 0.0);
        const QVector<QPointF> outline = buffer.outline(end - 60000, end, 100);
        QVERIFY(outline.size() <= 200 && outline.last().y() == 0.0);
        // Targets likewise: per 100 ms the first, lowest, highest and last, drawn to the last.
        LevelBuffer targets;
        for (qint64 ms = 0; ms < end; ++ms)
            targets.append(ms, double(ms * 7919 % 1000));
        QVERIFY(targets.size() <= 4 * 36000 + 1);
        QString kept;
        for (int i = targets.size() - 4; i < targets.size(); ++i)
            kept += QString::number(targets.at(i).micrometres) + ' ';
        QCOMPARE(kept, QStringLiteral("100 19 997 81 "));
        const QVector<QPointF> line = targets.stepLine(end - 60000, end, 100);
        QVERIFY(line.size() <= 8 * 100 + 2 && line.last().y() == 81.0);
    }

    void plotExport()
    {
        PanelOnLine panel;
        QVERIFY(panel.connectPanel());
        panel.controller.write("_cp 1234.5 um\r"); // seen before the plot is opened
        QTRY_COMPARE(panel.probe().position(), 1234.5);
        panel.trigger("actionPositionPlot");
        auto *plot = panel.find<PositionPlot>("positionPlot");
        QVERIFY(plot && plot->isVisible());
        panel.controller.write("_cp -250 um\r");
        QTRY_COMPARE(plot->samples().size(), 2);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plot.csv"));
        QVERIFY(plot->exportCsv(path));
        const QList<QStringList> rows = readCsv(path);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].join(','), QStringLiteral("time,elapsed_s,position_um"));
        QCOMPARE(rows[1][2] + ' ' + rows[2][2], QStringLiteral("1234.5 -250"));
        for (const QStringList &row : rows.mid(1)) {
            const QDateTime time = QDateTime::fromString(row[0], Qt::ISODateWithMs);
            QCOMPARE(plot->startTime().msecsTo(time), qRound64(row[1].toDouble() * 1000));
        }
    }
};

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"

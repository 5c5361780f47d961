#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "console.h"
#include "panelfeatures.h"
#include "protocol.h"
#include "readout.h"
#include "readpacer.h"
#include "settingsdialog.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QTimer>

MainWindow::MainWindow(QWidget *parent, const QString &firstPort, const QString &instanceName)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , panelFeatures(std::make_unique<PanelFeatures>(instanceName))
{
    // Builds the widgets and connects the on_<object>_<signal> slots by name.
    ui->setupUi(this);
    if (!instanceName.isEmpty())
        setWindowTitle(tr("Lumarvethon - %1").arg(instanceName));

    console = new Console;
    console->setEnabled(false);
    ui->verticalLayout_3->addWidget(console);
    console->hide();

    setFixedSize(580, 408);

    serial = new QSerialPort(this);
    settings = new SettingsDialog(
        nullptr, firstPort.isEmpty() ? panelFeatures->rememberedPort() : firstPort);

    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(false);
    ui->actionQuit->setEnabled(true);
    ui->actionConfigure->setEnabled(true);

    statusLabel = new QLabel;
    ui->statusBar->addWidget(statusLabel);

    pollTimer = new QTimer(this);

    connectActions();
    panelFeatures->assemble(*this, buildMenus());

    connect(serial, &QSerialPort::errorOccurred, this, &MainWindow::handleError);
    readout = new Readout(*ui->label_Position, *ui->horizontalSlider, *ui->label_Slidermin,
                          *ui->label_Slidermax, this);
    // The pacer looks at each read before readData takes it.
    new ReadPacer(serial, Readout::readIntervalMs, this);
    connect(serial, &QSerialPort::readyRead, this, &MainWindow::readData);
    connect(console, &Console::getData, this, &MainWindow::writeData);

    // On every tick the position query goes out first, then the link is checked, then the
    // identification: a device that is gone is a loss, not a controller that did not answer,
    // so the order of these three connections matters.
    connect(pollTimer, SIGNAL(timeout()), this, SLOT(getPosition()));
    connect(pollTimer, &QTimer::timeout, this, &MainWindow::linkCheckDue);
    connect(pollTimer, SIGNAL(timeout()), this, SLOT(checkVersion()));
    connect(ui->horizontalSlider, SIGNAL(sliderPressed()), this, SLOT(blockSlider()));
    connect(ui->horizontalSlider, SIGNAL(sliderReleased()), this, SLOT(goToSliderPosition()));

    ui->horizontalSlider->setMinimum(Protocol::truncateToInt(minPosition));
    ui->horizontalSlider->setMaximum(Protocol::truncateToInt(maxPosition));
}

MainWindow::~MainWindow()
{
    // Scripts go first, so that none acts on the way out; then quitting while connected ends
    // the connection as Disconnect does, which the record notes.
    panelFeatures->endScripts();
    if (serial->isOpen())
        closeSerialPort();
    if (pollTimer->isActive())
        pollTimer->stop();
    delete pollTimer;
    panelFeatures.reset();
    delete settings;
    delete ui;
}

void MainWindow::connectActions()
{
    connect(ui->actionConnect, &QAction::triggered, this, &MainWindow::openSerialPort);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::closeSerialPort);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::disconnectChosen);
    connect(ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionConfigure, &QAction::triggered, settings, &QWidget::show);
    connect(ui->actionClear, &QAction::triggered, console, &QPlainTextEdit::clear);
    connect(ui->doubleSpinBox_mrstp, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &MainWindow::stepSizeChanged);
}

void MainWindow::setStyle(QWidget *widget, const QString &styleSheet)
{
    if (widget->styleSheet() != styleSheet)
        widget->setStyleSheet(styleSheet);
}

// The menu bar: what the panel offers beyond the controls of its form. The form's menu bar is
// empty; the menus are built here so that the form's widgets, tool bar and texts stay as
// designed, and later features add their actions to these menus.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "panelfeatures.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

FeatureSites MainWindow::buildMenus()
{
    QMenu *menuFile = ui->menuBar->addMenu(tr("&File"));
    menuFile->setObjectName(QStringLiteral("menuFile"));
    menuFile->addAction(ui->actionQuit);

    QMenu *menuConnection = ui->menuBar->addMenu(tr("Co&nnection"));
    menuConnection->setObjectName(QStringLiteral("menuConnection"));
    menuConnection->addAction(ui->actionConnect);
    menuConnection->addAction(ui->actionDisconnect);
    menuConnection->addAction(ui->actionConfigure);
    menuConnection->addSeparator();
    QAction *actionReconnect = menuConnection->addAction(tr("Reconnect automatically"));
    actionReconnect->setObjectName(QStringLiteral("actionReconnect"));
    actionReconnect->setCheckable(true);

    QMenu *menuView = ui->menuBar->addMenu(tr("&View"));
    menuView->setObjectName(QStringLiteral("menuView"));

    QMenu *menuHelp = ui->menuBar->addMenu(tr("&Help"));
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    menuHelp->addAction(ui->actionAbout);
    menuHelp->addAction(ui->actionAboutQt);

    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::showAbout);
    connect(ui->actionAboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);
    return { *serial, *settings, *menuFile, *menuConnection, *menuView, *actionReconnect };
}

void MainWindow::showAbout()
{
    QMessageBox::about(
        this, tr("About %1").arg(QApplication::applicationName()),
        tr("<b>%1</b> %2<br>Control panel for a single-axis positioning stage "
           "on a serial port.")
            .arg(QApplication::applicationName(), QApplication::applicationVersion()));
}

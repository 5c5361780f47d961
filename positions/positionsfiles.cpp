// The positions window's CSV files: import (merged into the list) and export.

#include "positionswindow.h"

#include "positionlist.h"

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSaveFile>

bool PositionsWindow::importFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    QList<NamedPosition> read;
    if (!parsePositionsCsv(file.readAll(), &read, error))
        return false;
    PositionList::MergeCount count;
    if (!list.merge(read, &count, error))
        return false;
    message->setText(tr("%1 added, %2 replaced").arg(count.added).arg(count.replaced));
    return true;
}

bool PositionsWindow::exportFile(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(positionsCsv(list.positions()));
    return file.commit();
}

void PositionsWindow::askImport()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Import positions"), QString(),
                                                      tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!importFile(path, &error))
        QMessageBox::warning(this, tr("Import positions"),
                             tr("%1 was not imported: %2").arg(path, error));
}

void PositionsWindow::askExport()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export positions"), QStringLiteral("positions.csv"), tr("CSV files (*.csv)"));
    if (!path.isEmpty() && !exportFile(path))
        QMessageBox::warning(this, tr("Export positions"), tr("Cannot write %1.").arg(path));
}

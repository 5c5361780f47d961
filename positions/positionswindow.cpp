#include "positionswindow.h"

#include "positionlist.h"
#include "positionsstage.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QPushButton *button(const QString &text, const char *objectName)
{
    auto *made = new QPushButton(text);
    made->setObjectName(QLatin1String(objectName));
    return made;
}

} // namespace

PositionsWindow::PositionsWindow(PositionList &list, PositionsStage &stage, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , list(list)
    , stage(stage)
{
    setObjectName(QStringLiteral("positionsWindow"));
    setWindowTitle(tr("Positions"));
    resize(460, 380);

    controllerNote = new QLabel;
    controllerNote->setObjectName(QStringLiteral("positionsController"));
    controllerNote->setWordWrap(true);
    controllerNote->setStyleSheet(QStringLiteral("color: red"));
    controllerNote->hide();

    table = new QTableWidget(0, 2);
    table->setObjectName(QStringLiteral("positionsTable"));
    table->setHorizontalHeaderLabels({ tr("Name"), tr("Position (\u00b5m)") });
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table->installEventFilter(this);

    nameEdit = new QLineEdit;
    nameEdit->setObjectName(QStringLiteral("positionsName"));
    nameEdit->setPlaceholderText(tr("Name"));
    nameEdit->setMaxLength(longestPositionName);
    nameEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z0-9 _-]*")), nameEdit));
    addButton = button(tr("Add current"), "positionsAdd");
    goToButton = button(tr("Go to"), "positionsGoTo");
    deleteButton = button(tr("Delete"), "positionsDelete");
    upButton = button(tr("Up"), "positionsUp");
    downButton = button(tr("Down"), "positionsDown");
    QPushButton *importButton = button(tr("Import\u2026"), "positionsImport");
    QPushButton *exportButton = button(tr("Export\u2026"), "positionsExport");
    message = new QLabel;
    message->setObjectName(QStringLiteral("positionsMessage"));
    message->setWordWrap(true);

    auto *adding = new QHBoxLayout;
    adding->addWidget(nameEdit);
    adding->addWidget(addButton);
    auto *rows = new QHBoxLayout;
    for (QPushButton *each : { goToButton, deleteButton, upButton, downButton })
        rows->addWidget(each);
    rows->addStretch();
    rows->addWidget(importButton);
    rows->addWidget(exportButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(controllerNote);
    layout->addWidget(table);
    layout->addLayout(rows);
    layout->addLayout(adding);
    layout->addWidget(message);

    connect(addButton, &QPushButton::clicked, this, &PositionsWindow::addCurrent);
    connect(nameEdit, &QLineEdit::returnPressed, this, &PositionsWindow::addCurrent);
    connect(nameEdit, &QLineEdit::textChanged, this, &PositionsWindow::refresh);
    connect(goToButton, &QPushButton::clicked, this, &PositionsWindow::goToSelected);
    connect(deleteButton, &QPushButton::clicked, this,
            [this] { this->list.remove(selectedRow()); });
    connect(upButton, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(importButton, &QPushButton::clicked, this, &PositionsWindow::askImport);
    connect(exportButton, &QPushButton::clicked, this, &PositionsWindow::askExport);
    connect(table, &QTableWidget::itemChanged, this, &PositionsWindow::takeEdit);
    connect(table, &QTableWidget::itemSelectionChanged, this, &PositionsWindow::refresh);
    connect(&list, &PositionList::changed, this, &PositionsWindow::fillTable);
    fillTable();
}

void PositionsWindow::fillTable()
{
    const int keep = selectedRow();
    {
        const QSignalBlocker blocker(table);
        table->setRowCount(int(list.positions().size()));
        for (int row = 0; row < list.positions().size(); ++row) {
            const NamedPosition &position = list.positions().at(row);
            table->setItem(row, 0, new QTableWidgetItem(position.name));
            auto *value = new QTableWidgetItem(formatPosition(position.micrometres));
            value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, 1, value);
        }
    }
    if (keep >= 0 && keep < table->rowCount())
        table->selectRow(keep);
    refresh();
}

int PositionsWindow::selectedRow() const
{
    const QList<QTableWidgetItem *> items = table->selectedItems();
    return items.isEmpty() ? -1 : items.constFirst()->row();
}

void PositionsWindow::refresh()
{
    const int row = selectedRow();
    QString refusal;
    if (row < 0)
        refusal = tr("Select a position first");
    else
        refusal = stage.moveRefusal(list.positions().at(row).micrometres);
    goToButton->setEnabled(refusal.isEmpty());
    goToButton->setToolTip(refusal.isEmpty() ? tr("Move the stage to the selected position")
                                             : refusal);
    deleteButton->setEnabled(row >= 0);
    upButton->setEnabled(row > 0);
    downButton->setEnabled(row >= 0 && row + 1 < table->rowCount());

    QString addRefusal;
    if (!stage.currentPosition())
        addRefusal = tr("No position has been reported yet");
    else if (!isValidPositionName(nameEdit->text()))
        addRefusal = tr("Type a name: letters, digits, spaces, \"-\" and \"_\"");
    addButton->setEnabled(addRefusal.isEmpty());
    addButton->setToolTip(addRefusal.isEmpty()
                              ? tr("Save the current position under this name (one of the same "
                                   "name is replaced)")
                              : addRefusal);

    const QString connected = stage.controllerSerial();
    const bool other = !list.positions().isEmpty() && !list.controller().isEmpty()
        && !connected.isEmpty() && connected != list.controller();
    controllerNote->setText(other ? tr("These positions were saved with the controller %1; the "
                                       "one connected now is %2.")
                                        .arg(list.controller(), connected)
                                  : QString());
    controllerNote->setVisible(other);
}

void PositionsWindow::addCurrent()
{
    const std::optional<double> here = stage.currentPosition();
    const QString name = nameEdit->text();
    if (!here || !list.save(name, *here, stage.controllerSerial()))
        return;
    nameEdit->clear();
    table->selectRow(list.indexOf(name));
    message->setText(tr("Saved \"%1\" at %2 \u00b5m.").arg(name, formatPosition(*here)));
}

void PositionsWindow::goToSelected()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const double target = list.positions().at(row).micrometres;
    if (!stage.moveRefusal(target).isEmpty())
        return; // the state changed since the button was enabled
    stage.moveTo(target);
    message->setText(tr("Moving to \"%1\".").arg(list.positions().at(row).name));
}

void PositionsWindow::takeEdit(QTableWidgetItem *item)
{
    const int row = item->row();
    const QString text = item->text().trimmed();
    // The table is filled again once the edit is over: the item that changed is still in use
    // by the table while this runs.
    const QSignalBlocker quiet(&list);
    QTimer::singleShot(0, this, &PositionsWindow::fillTable);
    if (item->column() == 0) {
        if (!list.rename(row, text))
            message->setText(tr("\"%1\" cannot be a name: it is taken, or not made of letters, "
                                "digits, spaces, \"-\" and \"_\".")
                                 .arg(text));
        else
            message->clear();
        return;
    }
    double micrometres = 0.0;
    if (readPositionNumber(text, &micrometres) && list.setPosition(row, micrometres))
        message->clear();
    else
        message->setText(tr("\"%1\" is no position in micrometres (\".\" as the decimal "
                            "point).")
                             .arg(text));
}

void PositionsWindow::moveSelected(int by)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    list.moveRow(row, row + by);
    table->selectRow(row + by);
}

bool PositionsWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Return on a row goes there; while a cell is edited the editor takes the key instead.
    if (watched == table && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (goToButton->isEnabled())
                goToSelected();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

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
    list.merge(read);
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
    else
        message->setText(tr("Imported %1.").arg(path));
}

void PositionsWindow::askExport()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export positions"), QStringLiteral("positions.csv"), tr("CSV files (*.csv)"));
    if (!path.isEmpty() && !exportFile(path))
        QMessageBox::warning(this, tr("Export positions"), tr("Cannot write %1.").arg(path));
}

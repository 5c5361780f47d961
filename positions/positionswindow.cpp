#include "positionswindow.h"

#include "positionlist.h"
#include "positionsstage.h"

#include <QAbstractItemDelegate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Within the controller's resolution of the target: the stage is there.
constexpr double arrivalTolerance = 0.1 + 1e-9;
// Names wider than this many average characters are clipped rather than crowding out the
// positions.
constexpr int widestNameCharacters = 40;

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
    table->horizontalHeader()->setStretchLastSection(false);
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
    connect(deleteButton, &QPushButton::clicked, this, &PositionsWindow::deleteSelected);
    auto *undo = new QShortcut(QKeySequence::Undo, this);
    connect(undo, &QShortcut::activated, this, &PositionsWindow::undoDelete);
    connect(upButton, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(importButton, &QPushButton::clicked, this, &PositionsWindow::askImport);
    connect(exportButton, &QPushButton::clicked, this, &PositionsWindow::askExport);
    connect(table, &QTableWidget::itemChanged, this, &PositionsWindow::takeEdit);
    connect(table, &QTableWidget::itemSelectionChanged, this, &PositionsWindow::refresh);
    connect(&list, &PositionList::changed, this, &PositionsWindow::fillTable);
    // A refill put off while a cell was edited comes once the editor is closed (the view has
    // closed it by then, and may have opened the next one).
    connect(table->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        if (refillPending)
            QTimer::singleShot(0, this, &PositionsWindow::fillTable);
    });
    fillTable();
}

void PositionsWindow::setInstanceName(const QString &name)
{
    setWindowTitle(name.isEmpty() ? tr("Positions") : tr("Positions - %1").arg(name));
}

void PositionsWindow::fillTable()
{
    // Replacing the items would close the operator's editor and lose what they typed.
    if (openEditor()) {
        refillPending = true;
        return;
    }
    refillPending = false;
    const int keep = table->currentRow();
    {
        const QSignalBlocker blocker(table);
        table->setRowCount(int(list.positions().size()));
        for (int row = 0; row < list.positions().size(); ++row) {
            const NamedPosition &position = list.positions().at(row);
            auto *name = new QTableWidgetItem(position.name);
            name->setData(Qt::UserRole, position.name);
            table->setItem(row, 0, name);
            auto *value = new QTableWidgetItem(formatPosition(position.micrometres));
            value->setData(Qt::UserRole, position.name);
            value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, 1, value);
        }
    }
    if (keep >= 0 && keep < table->rowCount())
        table->selectRow(keep);
    fitColumns();
    refresh();
}

void PositionsWindow::fitColumns()
{
    table->resizeColumnToContents(0);
    const int widest = fontMetrics().averageCharWidth() * widestNameCharacters;
    if (table->columnWidth(0) > widest)
        table->setColumnWidth(0, widest);
    table->resizeColumnToContents(1);
}

QWidget *PositionsWindow::openEditor() const
{
    return table->indexWidget(table->currentIndex());
}

void PositionsWindow::commitOpenEdit()
{
    QWidget *editor = openEditor();
    if (!editor)
        return;
    QAbstractItemDelegate *delegate = table->itemDelegate();
    emit delegate->commitData(editor);
    emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

int PositionsWindow::listRow(int tableRow) const
{
    const QTableWidgetItem *item = table->item(tableRow, 0);
    return item ? list.indexOf(item->data(Qt::UserRole).toString()) : -1;
}

int PositionsWindow::selectedRow() const
{
    const QList<QTableWidgetItem *> items = table->selectedItems();
    return items.isEmpty() ? -1 : listRow(items.constFirst()->row());
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
    downButton->setEnabled(row >= 0 && row + 1 < list.positions().size());

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
    followMove();
}

void PositionsWindow::addCurrent()
{
    const std::optional<double> here = stage.currentPosition();
    const QString name = nameEdit->text();
    if (!here)
        return;
    const QString refusal = list.saveRefusal(name, *here);
    if (!refusal.isEmpty()) {
        message->setText(tr("Not saved: %1.").arg(refusal));
        return;
    }
    if (!list.save(name, *here, stage.controllerSerial()))
        return;
    nameEdit->clear();
    table->selectRow(list.indexOf(name));
    message->setText(tr("Saved \"%1\" at %2 \u00b5m.").arg(name, formatPosition(*here)));
}

void PositionsWindow::goToSelected()
{
    // The position as the table shows it once the edit in hand is taken.
    commitOpenEdit();
    const int row = selectedRow();
    if (row < 0)
        return;
    const NamedPosition target = list.positions().at(row);
    if (!stage.moveRefusal(target.micrometres).isEmpty() || !stage.moveTo(target.micrometres)) {
        // The state changed since the button was enabled.
        heading.reset();
        message->setText(tr("\"%1\" was not moved to: %2")
                             .arg(target.name, stage.moveRefusal(target.micrometres)));
        return;
    }
    heading = target;
    arrived = false;
    showMotion(tr("Moving to \"%1\".").arg(target.name));
}

void PositionsWindow::showMotion(const QString &text)
{
    motionText = text;
    message->setText(text);
}

void PositionsWindow::followMove()
{
    if (!heading)
        return;
    const std::optional<double> here = stage.currentPosition();
    const bool atRest = here && stage.atRest();
    if (atRest && std::fabs(*here - heading->micrometres) <= arrivalTolerance) {
        if (!arrived)
            showMotion(tr("At \"%1\".").arg(heading->name));
        arrived = true;
        return;
    }
    // Lost, stopped or refused on the way (at rest elsewhere), or moved away since: the
    // message would no longer be true.
    if (!here || atRest || arrived) {
        if (message->text() == motionText)
            message->clear();
        heading.reset();
        arrived = false;
    }
}

void PositionsWindow::deleteSelected()
{
    commitOpenEdit();
    const int row = selectedRow();
    if (row < 0)
        return;
    deleted.append({ row, list.positions().at(row) });
    list.remove(row);
    message->setText(
        tr("Deleted \"%1\" (Ctrl+Z brings it back).").arg(deleted.constLast().position.name));
}

void PositionsWindow::undoDelete()
{
    if (deleted.isEmpty())
        return;
    const Deleted last = deleted.takeLast();
    if (!list.insert(last.row, last.position)) {
        message->setText(
            tr("\"%1\" was not brought back: %2.")
                .arg(last.position.name,
                     list.indexOf(last.position.name) >= 0
                         ? tr("a position of that name has been saved since")
                         : list.saveRefusal(last.position.name, last.position.micrometres)));
        return;
    }
    table->selectRow(list.indexOf(last.position.name));
    message->setText(tr("\"%1\" is back.").arg(last.position.name));
}

void PositionsWindow::closeEvent(QCloseEvent *event)
{
    deleted.clear(); // deletions are for good once the window is closed
    QWidget::closeEvent(event);
}

void PositionsWindow::takeEdit(QTableWidgetItem *item)
{
    const int row = listRow(item->row());
    const QString text = item->text().trimmed();
    // The table is filled again once the edit is over: the item that changed is still in use
    // by the table while this runs.
    const QSignalBlocker quiet(&list);
    QTimer::singleShot(0, this, &PositionsWindow::fillTable);
    if (row < 0) {
        message->setText(tr("The edit was not taken: that position has been deleted since."));
        return;
    }
    if (item->column() == 0) {
        if (list.rename(row, text)) {
            // The row stands for the new name now, should a further edit come before the refill.
            const QSignalBlocker blocker(table);
            for (int column = 0; column < table->columnCount(); ++column)
                table->item(item->row(), column)->setData(Qt::UserRole, text);
        }
        if (list.positions().at(row).name != text)
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
    commitOpenEdit();
    const int row = selectedRow();
    if (row < 0)
        return;
    list.moveRow(row, row + by);
    table->selectRow(row + by);
}

bool PositionsWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Return on a row goes there. The Return that ends an edit reaches the table too (the
    // editor passes it on, and the edit is taken later): it only ends the edit.
    if (watched == table && event->type() == QEvent::KeyPress && !openEditor()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (goToButton->isEnabled())
                goToSelected();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

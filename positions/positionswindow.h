#ifndef POSITIONSWINDOW_H
#define POSITIONSWINDOW_H

// The "Positions" window: the named positions of this instance as a table of name and
// position (µm), edited in place, deleted and reordered; "Add current" saves the stage's
// position under a typed name, "Go to" (or Return on a row) moves there when the stage would
// take that target, and otherwise says why in its tool tip. Import and export as CSV. It
// reaches the stage only through PositionsStage; refresh() tells it that the stage changed.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class PositionList;
class PositionsStage;

class PositionsWindow : public QWidget
{
    Q_OBJECT

public:
    // A window of its own even with a parent, which owns it.
    PositionsWindow(PositionList &list, PositionsStage &stage, QWidget *parent = nullptr);

    // Adds the positions of a CSV file; false, with the reason (naming the bad row), when the
    // file cannot be read or has a bad row, and then nothing is added.
    bool importFile(const QString &path, QString *error);
    bool exportFile(const QString &path) const;

public slots:
    // The stage's state changed (connection, homing, limits, position): the buttons and the
    // controller note follow.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillTable();
    int selectedRow() const;
    void addCurrent();
    void goToSelected();
    void takeEdit(QTableWidgetItem *item);
    void moveSelected(int by);
    void askImport();
    void askExport();

    PositionList &list;
    PositionsStage &stage;
    QLabel *controllerNote = nullptr;
    QLabel *message = nullptr;
    QTableWidget *table = nullptr;
    QLineEdit *nameEdit = nullptr;
    QPushButton *addButton = nullptr;
    QPushButton *goToButton = nullptr;
    QPushButton *deleteButton = nullptr;
    QPushButton *upButton = nullptr;
    QPushButton *downButton = nullptr;
};

#endif // POSITIONSWINDOW_H

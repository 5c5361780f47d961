#ifndef POSITIONSWINDOW_H
#define POSITIONSWINDOW_H

// The "Positions" window: the named positions of this instance as a table of name and
// position (µm), edited in place, deleted and reordered; "Add current" saves the stage's
// position under a typed name, "Go to" (or Return on a row that is not being edited) moves
// there when the stage would take that target, and otherwise says why in its tool tip; an
// edit only ever changes the list. It says "At" a position once the stage has come to rest
// there. Deletions are undone with Ctrl+Z while the window is open. Import and export as CSV.
// It reaches the stage only through PositionsStage; refresh() tells it that the stage changed
// (a position reply, the connection, homing, limits).

#include "positionscsv.h"

#include <QList>
#include <QWidget>

#include <optional>

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

    // "Positions - NAME" for a named instance.
    void setInstanceName(const QString &name);

    // Adds the positions of a CSV file and says how many were added and replaced; false, with
    // the reason (naming the bad row), when the file cannot be read, has a bad row or would
    // make the list too long, and then nothing is added.
    bool importFile(const QString &path, QString *error);
    bool exportFile(const QString &path) const;

public slots:
    // The stage's state changed (connection, homing, limits, position): the buttons and the
    // controller note follow.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void fillTable();
    void fitColumns();
    QWidget *openEditor() const;
    void commitOpenEdit();
    // The list's row for a table row, by the name the row was filled with: the list may have
    // changed while an edit kept the table as it was.
    int listRow(int tableRow) const;
    int selectedRow() const; // in the list, -1 for none
    void addCurrent();
    void goToSelected();
    void followMove();
    void showMotion(const QString &text);
    void deleteSelected();
    void undoDelete();
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

    bool refillPending = false; // the list changed while a cell was edited
    struct Deleted
    {
        int row;
        NamedPosition position;
    };
    QList<Deleted> deleted; // the newest last, until the window closes
    std::optional<NamedPosition> heading; // the target of the last Go to, until it ends
    bool arrived = false;
    QString motionText; // what the message says of that move
};

#endif // POSITIONSWINDOW_H

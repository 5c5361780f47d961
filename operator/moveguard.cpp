#include "moveguard.h"

#include "panelsettings.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>

#include <cmath>

bool needsConfirming(double threshold, double from, double to)
{
    return threshold > 0.0 && std::abs(to - from) > threshold;
}

MoveGuard::MoveGuard(QWidget &window, PanelSettings &settings, QMenu &connectionMenu)
    : QObject(&window)
    , window(window)
    , remembered(settings)
{
    chooseAction = connectionMenu.addAction(tr("Confirm moves over\u2026"));
    chooseAction->setObjectName(QStringLiteral("actionConfirmMoves"));
    connect(chooseAction, &QAction::triggered, this, &MoveGuard::chooseThreshold);
}

void MoveGuard::chooseThreshold()
{
    bool ok = false;
    const double threshold
        = QInputDialog::getDouble(&window, tr("Confirm moves over"),
                                  tr("Ask before moves longer than (\u00b5m, 0: never ask):"),
                                  remembered.confirmMovesOver(), 0.0, 1e9, 1, &ok);
    if (ok)
        remembered.setConfirmMovesOver(threshold);
}

bool MoveGuard::approve(double from, double to)
{
    if (!needsConfirming(remembered.confirmMovesOver(), from, to))
        return true;
    QMessageBox box(QMessageBox::Question, tr("Confirm move"),
                    tr("Move %1 \u00b5m, from %2 \u00b5m to %3 \u00b5m?")
                        .arg(std::abs(to - from), 0, 'f', 1)
                        .arg(from, 0, 'f', 1)
                        .arg(to, 0, 'f', 1),
                    QMessageBox::Yes | QMessageBox::Cancel, &window);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

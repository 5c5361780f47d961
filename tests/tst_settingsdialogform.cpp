// Checks the settings dialog's form: the widget tree with its object names and grid
// positions, the initial texts, the disabled parameter lists and the initial size, both on a
// plain dialog and as the settings dialog builds it.

#include "settingsdialog.h"
#include "ui_settingsdialog.h"

#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QTest>

namespace {

const QStringList initialDetailTexts { "Description:", "Manufacturer:", "Serial number:",
                                       "Location:",    "Vendor ID:",    "Product ID:" };

} // namespace

class SettingsFormTest : public QObject
{
    Q_OBJECT

private slots:
    void formOnItsOwn();
    void formKeepsDialogName();
    void formMembers_data();
    void formMembers();
    void buttonRow();
    void titleAndSize();
};

void SettingsFormTest::formOnItsOwn()
{
    QDialog dialog;
    Ui::SettingsDialog form;
    form.setupUi(&dialog);

    QCOMPARE(dialog.objectName(), QString("SettingsDialog"));
    QCOMPARE(dialog.size(), QSize(397, 323));
    for (const QComboBox *list :
         { form.baudRateBox, form.dataBitsBox, form.parityBox, form.stopBitsBox }) {
        QVERIFY(!list->isEnabled());
        QCOMPARE(list->count(), 0);
    }
    QVERIFY(form.serialPortInfoListBox->isEnabled());
    QCOMPARE(form.serialPortInfoListBox->count(), 0);

    const QStringList texts { form.descriptionLabel->text(),  form.manufacturerLabel->text(),
                              form.serialNumberLabel->text(), form.locationLabel->text(),
                              form.vidLabel->text(),          form.pidLabel->text() };
    QCOMPARE(texts, initialDetailTexts);
    QCOMPARE(form.spacer_apply->sizeHint(), QSize(96, 20));
}

void SettingsFormTest::formKeepsDialogName()
{
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("portChooser"));
    Ui::SettingsDialog form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QString("portChooser"));
}

void SettingsFormTest::formMembers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columnSpan");
    QTest::addColumn<QString>("text");

    auto row = [](const char *name, const char *cls, const char *layout, int r, int c, int span,
                  const char *text) {
        QTest::newRow(name) << name << cls << layout << r << c << span << text;
    };
    row("gridLayout_3", "QGridLayout", "", -1, -1, 1, "");
    row("horizontalLayout", "QHBoxLayout", "gridLayout_3", 1, 0, 2, "");
    row("applyButton", "QPushButton", "", -1, -1, 1, "Apply");
    row("parametersBox", "QGroupBox", "gridLayout_3", 0, 1, 1, "Select Parameters");
    row("gridLayout_2", "QGridLayout", "", -1, -1, 1, "");
    row("parityLabel", "QLabel", "gridLayout_2", 2, 0, 1, "Parity:");
    row("dataBitsBox", "QComboBox", "gridLayout_2", 1, 1, 1, "");
    row("stopBitsBox", "QComboBox", "gridLayout_2", 3, 1, 1, "");
    row("parityBox", "QComboBox", "gridLayout_2", 2, 1, 1, "");
    row("stopBitsLabel", "QLabel", "gridLayout_2", 3, 0, 1, "Stop bits:");
    row("dataBitsLabel", "QLabel", "gridLayout_2", 1, 0, 1, "Data bits:");
    row("baudRateLabel", "QLabel", "gridLayout_2", 0, 0, 1, "BaudRate:");
    row("baudRateBox", "QComboBox", "gridLayout_2", 0, 1, 1, "");
    row("selectBox", "QGroupBox", "gridLayout_3", 0, 0, 1, "Select Serial Port");
    row("gridLayout", "QGridLayout", "", -1, -1, 1, "");
    row("serialPortInfoListBox", "QComboBox", "gridLayout", 0, 0, 1, "");
    row("descriptionLabel", "QLabel", "gridLayout", 1, 0, 1, "");
    row("manufacturerLabel", "QLabel", "gridLayout", 2, 0, 1, "");
    row("serialNumberLabel", "QLabel", "gridLayout", 3, 0, 1, "");
    row("locationLabel", "QLabel", "gridLayout", 4, 0, 1, "");
    row("vidLabel", "QLabel", "gridLayout", 5, 0, 1, "");
    row("pidLabel", "QLabel", "gridLayout", 6, 0, 1, "");
}

void SettingsFormTest::formMembers()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, layout);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);
    QFETCH(QString, text);

    const SettingsDialog dialog;
    QCOMPARE(dialog.objectName(), QString("SettingsDialog"));

    const QList<QObject *> found = dialog.findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    const QObject *member = found.first();
    QCOMPARE(QString(member->metaObject()->className()), className);

    if (!layout.isEmpty()) {
        const QGridLayout *grid = dialog.findChild<QGridLayout *>(layout);
        QVERIFY(grid);
        int index = -1;
        if (const QWidget *widget = qobject_cast<const QWidget *>(member))
            index = grid->indexOf(const_cast<QWidget *>(widget));
        else
            for (int i = 0; i < grid->count() && index < 0; ++i)
                if (grid->itemAt(i)->layout() == member)
                    index = i;
        QVERIFY2(index >= 0, "not placed in its grid");
        int r = -1, c = -1, rowSpan = 0, colSpan = 0;
        grid->getItemPosition(index, &r, &c, &rowSpan, &colSpan);
        QCOMPARE(r, row);
        QCOMPARE(c, column);
        QCOMPARE(rowSpan, 1);
        QCOMPARE(colSpan, columnSpan);
    }

    if (const QLabel *label = qobject_cast<const QLabel *>(member); label && !text.isEmpty())
        QCOMPARE(label->text(), text);
    if (const QGroupBox *group = qobject_cast<const QGroupBox *>(member))
        QCOMPARE(group->title(), text);
    if (const QPushButton *button = qobject_cast<const QPushButton *>(member))
        QCOMPARE(button->text(), text);
}

void SettingsFormTest::buttonRow()
{
    const SettingsDialog dialog;
    const QHBoxLayout *row = dialog.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    QVERIFY(row);
    QCOMPARE(row->count(), 2);

    // The spacer comes first and pushes Apply to the right edge.
    QSpacerItem *spacer = row->itemAt(0)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(96, 20));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(row->itemAt(1)->widget(), dialog.findChild<QWidget *>(QStringLiteral("applyButton")));

    QCOMPARE(dialog.layout(), dialog.findChild<QLayout *>(QStringLiteral("gridLayout_3")));
}

void SettingsFormTest::titleAndSize()
{
    const SettingsDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("Settings"));
    QCOMPARE(dialog.size(), QSize(397, 323));
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.isModal());
}

QTEST_MAIN(SettingsFormTest)

#include "tst_settingsdialogform.moc"

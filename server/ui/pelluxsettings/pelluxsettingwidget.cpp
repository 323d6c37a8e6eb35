#include "pelluxsettingwidget.h"

#include "server/core/settings/serversettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QVBoxLayout>

namespace ServerUi {

PelluxSettingWidget::PelluxSettingWidget(QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Настройки"));
    usageCheckBox = new QCheckBox(QStringLiteral("Использовать Pellux"), this);
    driverComboBox = new QComboBox(this);
    driverComboBox->addItems(QSqlDatabase::drivers());
    hostLineEdit = new QLineEdit(this);
    databaseLineEdit = new QLineEdit(this);
    userLineEdit = new QLineEdit(this);
    passwordLineEdit = new QLineEdit(this);
    passwordLineEdit->setEchoMode(QLineEdit::Password);
    periodSpinBox = new QSpinBox(this);
    periodSpinBox->setRange(0, kMaxPeriodMinutes);

    auto *grid = new QGridLayout;
    grid->addWidget(usageCheckBox, 0, 0, 1, 2);
    const QList<QPair<QString, QWidget *>> rows = {
        {QStringLiteral("Драйвер БД"), driverComboBox},
        {QStringLiteral("Имя хоста расположения БД"), hostLineEdit},
        {QStringLiteral("Имя используемой БД"), databaseLineEdit},
        {QStringLiteral("Имя пользователя"), userLineEdit},
        {QStringLiteral("Пароль"), passwordLineEdit},
        {QStringLiteral("Период опроса ( мин )"), periodSpinBox},
    };
    for (int row = 0; row < rows.size(); ++row) {
        grid->addWidget(new QLabel(rows.at(row).first, this), row + 1, 0);
        grid->addWidget(rows.at(row).second, row + 1, 1);
    }

    auto *save = new QPushButton(QStringLiteral("Сохранить"), this);
    auto *cancel = new QPushButton(QStringLiteral("Отмена"), this);
    connect(save, &QPushButton::clicked, this, &PelluxSettingWidget::savePushButtonClick);
    connect(cancel, &QPushButton::clicked, this, &PelluxSettingWidget::cancelPushButtonClick);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
}

void PelluxSettingWidget::setParam(QVariantList values)
{
    if (values.size() < ServerSettings::PelluxValueCount)
        return;
    param = values;
    usageCheckBox->setChecked(values.at(ServerSettings::Usage).toBool());
    driverComboBox->setCurrentText(values.at(ServerSettings::Driver).toString());
    hostLineEdit->setText(values.at(ServerSettings::HostName).toString());
    databaseLineEdit->setText(values.at(ServerSettings::DatabaseName).toString());
    userLineEdit->setText(values.at(ServerSettings::UserName).toString());
    passwordLineEdit->setText(values.at(ServerSettings::Password).toString());
    bool ok = false;
    const int period = values.at(ServerSettings::PollingPeriod).toInt(&ok);
    periodSpinBox->setValue(ok ? period : 0);
}

void PelluxSettingWidget::savePushButtonClick()
{
    emit paramSaved({usageCheckBox->isChecked(), driverComboBox->currentText(), hostLineEdit->text(),
                     databaseLineEdit->text(), userLineEdit->text(), passwordLineEdit->text(),
                     periodSpinBox->value()});
}

void PelluxSettingWidget::cancelPushButtonClick()
{
    close();
}

} // namespace ServerUi

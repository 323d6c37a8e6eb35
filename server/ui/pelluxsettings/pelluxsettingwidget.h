#pragma once

#include <QVariantList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace ServerUi {

// The monitoring settings dialog ("Настройки ..."): whether to poll the
// monitoring database, its driver, host, database, user, password (never
// shown) and the polling period in minutes. It edits the seven monitoring
// values (Usage first, PollingPeriod last) and hands them back through
// paramSaved; the main window stores and applies them and closes it.
// Parentless top-level window; GUI thread.
class PelluxSettingWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaxPeriodMinutes = 99;

    explicit PelluxSettingWidget(QWidget *parent = nullptr);

public slots:
    // Fills the fields from seven values; shorter lists are ignored.
    void setParam(QVariantList param);
    void savePushButtonClick();
    void cancelPushButtonClick();

signals:
    void paramSaved(QVariantList param);

private:
    QCheckBox *usageCheckBox;
    QComboBox *driverComboBox;
    QLineEdit *hostLineEdit;
    QLineEdit *databaseLineEdit;
    QLineEdit *userLineEdit;
    QLineEdit *passwordLineEdit;
    QSpinBox *periodSpinBox;
    QVariantList param;
};

} // namespace ServerUi

#pragma once

#include <QStringList>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace ServerUi {

// The window in which the user adds a device to an editable settings file
// or changes one: the six device parameters (DeviceParam order), templates
// of the known device models, and the file the device goes to. It checks
// nothing itself: "Сохранить" sends the texts with the chosen file's index
// (paramSet) and the main window decides, closing the window when it took
// them.
//
// Created once by the main window, without parent, and only shown and
// hidden; GUI thread.
class DeviceSettingWidget : public QWidget
{
    Q_OBJECT

public:
    // Template rows of the device combo box: an empty one, then the models.
    static constexpr int kEmptyTemplate = 0;
    static constexpr int kLorvanTemplate = 1;
    static constexpr int kZervaTemplate = 2;

    explicit DeviceSettingWidget(QWidget *parent = nullptr);

    // The six texts the fields hold now, and the chosen file's index.
    QStringList currentParams() const;
    int currentFileIndex() const;

signals:
    void paramSet(int fileItemIndex, QStringList param);
    void closed();

public slots:
    void fileNameListChange(QStringList fileNameList, int defaultFileNameListIndex);
    void paramEdit(QStringList param);
    void deviceNameComboBoxCurrentIndexChange(int index);
    void pathChoosePushButtonClick();
    void savePushButtonClick();
    void cancelPushButtonClick();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void addTemplate(const QString &text, const QStringList &params);

    QComboBox *fileComboBox;
    QComboBox *deviceNameComboBox;
    QLineEdit *commentLineEdit;
    QLineEdit *periodLineEdit;
    QLineEdit *sourceLineEdit;
    QLineEdit *destinationLineEdit;
    QPushButton *pathChoosePushButton;
    QLineEdit *optionsLineEdit;
    QPushButton *savePushButton;
    QPushButton *cancelPushButton;
};

} // namespace ServerUi

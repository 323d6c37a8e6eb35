#include "devicesettingwidget.h"

#include "server/core/settings/deviceparams.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace ServerUi {

namespace {

enum Row { FileRow, NameRow, CommentRow, PeriodRow, SourceRow, DestinationRow, OptionsRow };
enum GridColumn { LabelColumn, FieldColumn, ExtraColumn };
constexpr int kFieldSpan = 2;

} // namespace

DeviceSettingWidget::DeviceSettingWidget(QWidget *parent)
    : QWidget(parent)
    , fileComboBox(new QComboBox(this))
    , deviceNameComboBox(new QComboBox(this))
    , commentLineEdit(new QLineEdit(this))
    , periodLineEdit(new QLineEdit(this))
    , sourceLineEdit(new QLineEdit(this))
    , destinationLineEdit(new QLineEdit(this))
    , pathChoosePushButton(new QPushButton(QStringLiteral("..."), this))
    , optionsLineEdit(new QLineEdit(this))
    , savePushButton(new QPushButton(QStringLiteral("Сохранить"), this))
    , cancelPushButton(new QPushButton(QStringLiteral("Отмена"), this))
{
    setWindowTitle(QStringLiteral("Параметры устройства"));
    deviceNameComboBox->setEditable(true);
    periodLineEdit->setPlaceholderText(QStringLiteral("Период опроса устройства в минутах"));
    sourceLineEdit->setPlaceholderText(QStringLiteral("URL"));
    optionsLineEdit->setPlaceholderText(
        QStringLiteral("Список опций <параметр1>=\"<значение1>\" <параметр2>=\"<значение2>\" ..."));

    addTemplate(QString(), QStringList());
    addTemplate(QStringLiteral("Lorvan"), deviceParams(QString(), QString(), QStringLiteral("1"),
                                                       QStringLiteral("tftp://<IP адрес устройства>/"), QString(),
                                                       QStringLiteral("blksize=1500")));
    addTemplate(QStringLiteral("Zerva"), deviceParams(QString(), QString(), QStringLiteral("1"),
                                                      QStringLiteral("ftp://<IP адрес устройства>/"), QString(),
                                                      QStringLiteral("codec=\"Windows-1251\"")));

    auto *grid = new QGridLayout;
    const auto addRow = [grid, this](int row, const QString &label, QWidget *field, int span) {
        grid->addWidget(new QLabel(label, this), row, LabelColumn);
        grid->addWidget(field, row, FieldColumn, 1, span);
    };
    addRow(FileRow, QStringLiteral("Файлы"), fileComboBox, kFieldSpan);
    addRow(NameRow, QStringLiteral("Имя устройства"), deviceNameComboBox, kFieldSpan);
    addRow(CommentRow, QStringLiteral("Комментарий"), commentLineEdit, kFieldSpan);
    addRow(PeriodRow, QStringLiteral("Период опроса источника"), periodLineEdit, kFieldSpan);
    addRow(SourceRow, QStringLiteral("Источник Файлов"), sourceLineEdit, kFieldSpan);
    addRow(DestinationRow, QStringLiteral("Путь сохранения Файлов"), destinationLineEdit, 1);
    grid->addWidget(pathChoosePushButton, DestinationRow, ExtraColumn);
    addRow(OptionsRow, QStringLiteral("Опции"), optionsLineEdit, kFieldSpan);
    grid->setColumnStretch(FieldColumn, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(savePushButton);
    buttons->addWidget(cancelPushButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(deviceNameComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DeviceSettingWidget::deviceNameComboBoxCurrentIndexChange);
    connect(pathChoosePushButton, &QPushButton::clicked, this, &DeviceSettingWidget::pathChoosePushButtonClick);
    connect(savePushButton, &QPushButton::clicked, this, &DeviceSettingWidget::savePushButtonClick);
    connect(cancelPushButton, &QPushButton::clicked, this, &DeviceSettingWidget::cancelPushButtonClick);
}

void DeviceSettingWidget::addTemplate(const QString &text, const QStringList &params)
{
    deviceNameComboBox->addItem(text, params);
}

QStringList DeviceSettingWidget::currentParams() const
{
    return deviceParams(deviceNameComboBox->currentText(), commentLineEdit->text(), periodLineEdit->text(),
                        sourceLineEdit->text(), destinationLineEdit->text(), optionsLineEdit->text());
}

int DeviceSettingWidget::currentFileIndex() const
{
    return fileComboBox->currentIndex();
}

void DeviceSettingWidget::fileNameListChange(QStringList fileNameList, int defaultFileNameListIndex)
{
    fileComboBox->clear();
    for (const QString &path : fileNameList)
        fileComboBox->addItem(path.section(QLatin1Char('/'), -1), path);
    fileComboBox->setCurrentIndex(defaultFileNameListIndex < fileNameList.size() ? defaultFileNameListIndex : -1);
}

void DeviceSettingWidget::paramEdit(QStringList param)
{
    {
        // Back on the empty template without applying it, so that choosing
        // a model afterwards always fills its texts in.
        const QSignalBlocker blocker(deviceNameComboBox);
        deviceNameComboBox->setCurrentIndex(kEmptyTemplate);
    }
    deviceNameComboBox->setEditText(paramValue(param, DeviceParam::Type));
    commentLineEdit->setText(paramValue(param, DeviceParam::Comment));
    periodLineEdit->setText(paramValue(param, DeviceParam::Period));
    sourceLineEdit->setText(paramValue(param, DeviceParam::Url));
    destinationLineEdit->setText(paramValue(param, DeviceParam::Folder));
    optionsLineEdit->setText(paramValue(param, DeviceParam::Options));
    show();
}

// Non-empty template texts replace their fields; the source gets the focus
// with its "<...>" placeholder selected, so that typing the address
// replaces it.
void DeviceSettingWidget::deviceNameComboBoxCurrentIndexChange(int index)
{
    const QStringList texts = deviceNameComboBox->itemData(index).toStringList();
    const auto apply = [&texts](DeviceParam which, QLineEdit *field) {
        const QString text = paramValue(texts, which);
        if (!text.isEmpty())
            field->setText(text);
        return !text.isEmpty();
    };
    const QString name = paramValue(texts, DeviceParam::Type);
    if (!name.isEmpty())
        deviceNameComboBox->setEditText(name);
    apply(DeviceParam::Comment, commentLineEdit);
    if (apply(DeviceParam::Url, sourceLineEdit)) {
        sourceLineEdit->setFocus();
        const QString source = sourceLineEdit->text();
        const int begin = source.indexOf(QLatin1Char('<'));
        const int end = source.indexOf(QLatin1Char('>'), begin);
        if (begin >= 0 && end > begin)
            sourceLineEdit->setSelection(begin, end - begin + 1);
    }
    apply(DeviceParam::Folder, destinationLineEdit);
    apply(DeviceParam::Period, periodLineEdit);
    apply(DeviceParam::Options, optionsLineEdit);
}

void DeviceSettingWidget::pathChoosePushButtonClick()
{
    QFileDialog dialog;
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        destinationLineEdit->setText(dialog.selectedFiles().first());
}

void DeviceSettingWidget::savePushButtonClick()
{
    emit paramSet(currentFileIndex(), currentParams());
}

void DeviceSettingWidget::cancelPushButtonClick()
{
    close();
}

void DeviceSettingWidget::closeEvent(QCloseEvent *event)
{
    emit closed();
    QWidget::closeEvent(event);
}

} // namespace ServerUi

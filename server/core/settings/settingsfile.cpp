#include "settingsfile.h"

#include "server/core/settings/deviceparams.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace SettingsFile {

namespace {

const QString kDocumentType = QStringLiteral("DrovaneSettings");
const QString kComment = QStringLiteral(" This is file use for store settings");
const QString kRoot = QStringLiteral("drovane");
const QString kVersion = QStringLiteral("1.0");
const QString kItem = QStringLiteral("item");
const QString kConstant = QStringLiteral("constant");
const QString kVariable = QStringLiteral("variable");

// The attribute of each device parameter, in DeviceParam order.
const char *const kAttributes[kDeviceParamCount] = {"name", "comment", "period", "source", "destination", "option"};

// Entities a hostile document may expand, in total, before reading stops.
constexpr int kEntityExpansionLimit = 4096;

// Notes the first damage of the content (with where the reader stood) and a warning.
void noteDamage(Content *content, const QXmlStreamReader *xml, const QString &text, QStringList *warnings)
{
    if (warnings)
        warnings->append(text);
    if (!content->damage.isEmpty())
        return;
    content->damage = text;
    if (xml) {
        content->damageLine = xml->lineNumber();
        content->damageColumn = xml->columnNumber();
    }
}

QStringList readDevice(const QXmlStreamReader &xml, Content *content, QStringList *warnings)
{
    QStringList device;
    for (const char *name : kAttributes) {
        QString text = xml.attributes().value(QLatin1String(name)).toString();
        if (text.size() > kMaxTextChars) {
            noteDamage(content, &xml, QStringLiteral("attribute %1 longer than %2 characters shortened")
                                          .arg(QLatin1String(name)).arg(kMaxTextChars), warnings);
            text.truncate(kMaxTextChars);
        }
        device << text;
    }
    return device;
}

} // namespace

QString typeName(Type type)
{
    return type == Type::Constant ? kConstant : kVariable;
}

Status parse(const QByteArray &document, Content *content, QStringList *warnings)
{
    *content = Content();
    QXmlStreamReader xml(document);
    xml.setEntityExpansionLimit(kEntityExpansionLimit);
    while (!xml.atEnd() && !xml.isStartElement())
        xml.readNext();
    if (!xml.isStartElement()) {
        if (xml.hasError() && !document.trimmed().isEmpty() && warnings)
            warnings->append(QStringLiteral("no element: %1").arg(xml.errorString()));
        return Empty;
    }
    if (xml.name() != kRoot || xml.attributes().value(QLatin1String("version")) != kVersion)
        return Unsupported;
    content->type = xml.attributes().value(QLatin1String("type")) == kConstant ? Type::Constant : Type::Variable;
    bool full = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == kItem) {
            if (content->devices.size() < kMaxDevices) {
                content->devices.append(readDevice(xml, content, warnings));
            } else if (!full) {
                full = true;
                noteDamage(content, &xml, QStringLiteral("more than %1 devices: the rest ignored").arg(kMaxDevices), warnings);
            }
        }
        xml.skipCurrentElement();
    }
    if (xml.hasError()) {
        noteDamage(content, &xml, QStringLiteral("XML error at line %1, column %2: %3; read %4 devices before it")
                                      .arg(xml.lineNumber()).arg(xml.columnNumber()).arg(xml.errorString())
                                      .arg(content->devices.size()), warnings);
    }
    return content->damage.isEmpty() ? Ok : Damaged;
}

Status read(const QString &path, Content *content, QStringList *warnings)
{
    *content = Content();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return CannotOpen;
    const QByteArray document = file.read(kMaxFileBytes);
    const bool whole = file.atEnd();
    const Status status = parse(document, content, warnings);
    if (whole || (status != Ok && status != Damaged))
        return status;
    // The cut is the damage; an XML error at the cut only follows from it.
    const QString cut = QStringLiteral("file larger than %1 bytes: only its beginning read").arg(kMaxFileBytes);
    if (warnings)
        warnings->prepend(cut);
    content->damage = cut;
    content->damageLine = 0;
    content->damageColumn = 0;
    return Damaged;
}

QByteArray serialize(const Content &content)
{
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE %1>").arg(kDocumentType));
    xml.writeComment(kComment);
    xml.writeStartElement(kRoot);
    xml.writeAttribute(QStringLiteral("version"), kVersion);
    xml.writeAttribute(QStringLiteral("type"), typeName(content.type));
    for (const QStringList &device : content.devices) {
        xml.writeEmptyElement(kItem);
        for (int i = 0; i < kDeviceParamCount; ++i)
            xml.writeAttribute(QLatin1String(kAttributes[i]), device.value(i));
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return document;
}

Status write(const QString &path, const Content &content, QString *errorText)
{
    QSaveFile file(path);
    const QByteArray document = serialize(content);
    if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size() || !file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        return CannotOpen;
    }
    return Ok;
}

} // namespace SettingsFile

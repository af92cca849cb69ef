#include "tests/support/qsettingsoracle.h"

#include <QFile>
#include <QSettings>
#include <QStringDecoder>
#include <stdexcept>

QSettingsOracle::QSettingsOracle()
{
    if (!folder.isValid())
        throw std::runtime_error("no temporary folder for the QSettings files");
}

QString QSettingsOracle::freshFileName()
{
    return folder.filePath(QString::number(++files) + QStringLiteral(".conf"));
}

std::optional<ini::Values> QSettingsOracle::read(const std::string& text)
{
    const QString name = freshFileName();
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(text.data(), qint64(text.size())) != qint64(text.size()))
        throw std::runtime_error("cannot write " + name.toStdString());
    file.close();
    ini::Values values;
    bool allStrings = true;
    {
        const QSettings settings(name, QSettings::IniFormat);
        for (const QString& key : settings.allKeys()) {
            const QVariant value = settings.value(key);
            allStrings = allStrings && value.typeId() == QMetaType::QString;
            values[key.toStdString()] = value.toString().toStdString();
        }
    }
    file.remove();
    return allStrings ? std::optional(values) : std::nullopt;
}

namespace {

// QString::fromStdString would drop a leading byte-order mark.
QString fromUtf8(const std::string& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(QByteArrayView(text.data(), qsizetype(text.size())));
}

} // namespace

std::string QSettingsOracle::write(const ini::Values& values)
{
    const QString name = freshFileName();
    {
        QSettings settings(name, QSettings::IniFormat);
        for (const auto& [key, value] : values)
            settings.setValue(fromUtf8(key), fromUtf8(value));
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    file.remove();
    return bytes.toStdString();
}

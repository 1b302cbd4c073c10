#include "instrument/settingsstore.h"

#include "version.h"

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(const QString &iniFile) : m_iniFile(iniFile) {}

std::unique_ptr<QSettings> SettingsStore::open() const
{
    if (m_iniFile)
        return std::make_unique<QSettings>(*m_iniFile, QSettings::IniFormat);
    const QString name = QString::fromLatin1(AppTitle);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, name, name);
}

std::string SettingsStore::read(const std::string &section, const std::string &key,
                                const std::string &fallback) const
{
    const auto settings = open();
    settings->beginGroup(QString::fromStdString(section));
    const QVariant v = settings->value(QString::fromStdString(key));
    if (!v.isValid())
        return fallback;
    return v.toString().toStdString();
}

void SettingsStore::write(const std::string &section, const std::string &key,
                          const std::string &value)
{
    const auto settings = open();
    settings->beginGroup(QString::fromStdString(section));
    settings->setValue(QString::fromStdString(key), QString::fromStdString(value));
}

std::string SettingsSection(const std::string &ModelName)
{
    return "Settings\\" + ModelName;
}

bool OptionValue(const std::string &stored, bool fallback)
{
    const QString s = QString::fromStdString(stored);
    if (s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (s.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    return fallback;
}

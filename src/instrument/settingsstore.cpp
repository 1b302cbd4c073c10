#include "instrument/settingsstore.h"

#include "text/version.h"

#include <QDir>

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(const QString &iniFile) : m_iniFile(iniFile) {}

std::unique_ptr<QSettings> SettingsStore::open() const
{
    if (m_iniFile)
        return std::make_unique<QSettings>(*m_iniFile, QSettings::IniFormat);
    const QString name = QString::fromLatin1(AppTitle);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, name, name);
}

QString SettingsStore::group(const std::string &section) const
{
    QString path = QString::fromStdString(section);
#ifdef Q_OS_WIN
    // In the registry "Settings\AFG5102" is the key AFG5102 under Settings. Qt writes a
    // backslash inside a group name as a "/" in one key's name, so it is given the path.
    if (!m_iniFile)
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    return path;
}

std::string SettingsStore::read(const std::string &section, const std::string &key,
                                const std::string &fallback) const
{
    const auto settings = open();
    settings->beginGroup(group(section));
    const QVariant v = settings->value(QString::fromStdString(key));
    if (!v.isValid())
        return fallback;
    return v.toString().toStdString();
}

bool SettingsStore::write(const std::string &section, const std::string &key,
                          const std::string &value)
{
    return write(section, Values{{key, value}});
}

bool SettingsStore::write(const std::string &section, const Values &values)
{
    const auto settings = open();
    settings->beginGroup(group(section));
    for (const auto &[key, value] : values)
        settings->setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings->sync();
    // A file that was edited into something that is no INI reads as FormatError, and that
    // status then hides the write's own. The sync rewrites a file it may write whole and
    // clean, so a second look finds no error exactly when the values went in.
    if (settings->status() == QSettings::FormatError)
        return open()->status() == QSettings::NoError;
    return settings->status() == QSettings::NoError;
}

std::string SettingsStore::location() const
{
    return QDir::toNativeSeparators(open()->fileName()).toStdString();
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

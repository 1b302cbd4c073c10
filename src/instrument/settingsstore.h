#pragma once

#include <QSettings>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The per-user settings store: text values under the application name "Wavedial", a
// section per instrument model and a key. Every read and write is one call that opens
// the store and closes it again; nothing is held open between them.
class SettingsStore
{
public:
    // The user's own store: an INI file under the configuration folder on Linux
    // ($XDG_CONFIG_HOME/Wavedial/Wavedial.conf), the registry on Windows.
    SettingsStore();
    // A store in one INI file, for tests and tools.
    explicit SettingsStore(const QString &iniFile);

    // The stored text, or `fallback` when the key is missing.
    std::string read(const std::string &section, const std::string &key,
                     const std::string &fallback) const;
    // Writes and flushes at once; false when the values did not reach the store (a folder
    // that cannot be made, a file that cannot be replaced, a registry key refused).
    [[nodiscard]] bool write(const std::string &section, const std::string &key,
                             const std::string &value);
    using Values = std::vector<std::pair<std::string, std::string>>;
    // All of them in one writing of the store, so that a set is stored whole or not at all.
    [[nodiscard]] bool write(const std::string &section, const Values &values);

    // Where the store lives, for the user to look: the file, or the registry key on Windows.
    std::string location() const;

private:
    std::unique_ptr<QSettings> open() const;
    QString group(const std::string &section) const;

    std::optional<QString> m_iniFile;
};

// The section of one model: "Settings\" + the model name, backslash and all.
std::string SettingsSection(const std::string &ModelName);

// A stored option: "True" or "False" in any letter case; anything else (a value no
// version of the program writes) gives the option's default.
bool OptionValue(const std::string &stored, bool fallback);
inline std::string OptionText(bool checked)
{
    return checked ? "True" : "False";
}

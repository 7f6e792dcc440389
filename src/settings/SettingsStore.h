#pragma once

#include <QString>

namespace brindlewick {

inline constexpr char kSettingsApplication[] = "Fenwright";

// The per-user store of text settings, addressed by application name, section and key. Each
// application name has an INI file of its own in a folder (by default the user's XDG config
// folder, $XDG_CONFIG_HOME or ~/.config), each section is a group in it.
class SettingsStore {
 public:
  // The user's config folder as it is when the store is made.
  SettingsStore();
  explicit SettingsStore(QString folder);

  // The stored text, or the default when the application, the section or the key is absent.
  // Never fails: a store that cannot be read counts as empty.
  QString GetSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& defaultValue) const;

  // Creates whatever is needed and overwrites an earlier value. A failure (the folder cannot be
  // made or written, the file is damaged and would lose content if rewritten) is a RuntimeError.
  void SaveSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& value);

  // The INI file that holds an application's settings.
  QString fileFor(const QString& appName) const;

 private:
  QString folder_;
};

}  // namespace brindlewick

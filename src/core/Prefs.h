#pragma once

#include <QString>

#include <functional>

// The user's preferences, stored with QSettings (~/.config/Kavo/Kavo.conf).
// Each key carries its type and its default; four keys ("shakeEnabled",
// "checkForUpdates", "reopenShelves" and "hotKey") have a default that counts
// only once registerDefaults() has run, as the start-up registers them. A value that
// the program (or the user) stored always wins over a default.
namespace Prefs {

template <class T> struct Key
{
    const char* name;
    T registeredDefault; // read while nothing is stored, once registered
    bool registered;     // false: an unset key reads as T{} (false, 0, null)
};

inline constexpr Key<bool> shakeEnabled{"shakeEnabled", true, true};
inline constexpr Key<bool> checkForUpdates{"checkForUpdates", true, true};
// Whether a quit or a logout keeps the open shelves for the next start (a
// crash always does).
inline constexpr Key<bool> reopenShelves{"reopenShelves", true, true};
inline constexpr Key<bool> hasLaunchedBefore{"hasLaunchedBefore", false, false};
// Seconds since 1970 of the last successful update check.
inline constexpr Key<double> lastUpdateCheck{"lastUpdateCheck", 0, false};
inline const Key<QString> announcedVersion{"announcedVersion", QString(), false};
inline constexpr Key<bool> debugShake{"debugShake", false, false};
// The key combination that opens a new shelf, as QKeySequence's portable
// text; empty switches the hot key off.
inline const Key<QString> hotKey{"hotKey", QStringLiteral("Ctrl+Alt+Space"), true};

// The stored value, else the default as above. Booleans and numbers are read
// the way a person editing the file would write them ("true", "yes", "1").
template <class T> T value(const Key<T>& key);
// Stores a value; answers whether it could be written to the settings file.
// The first failure of the process is reported to the failure handler.
template <class T> bool setValue(const Key<T>& key, const T& value);
template <class T> bool remove(const Key<T>& key);

// Registers the defaults of "shakeEnabled", "checkForUpdates",
// "reopenShelves" and "hotKey";
// resetRegisteredDefaults() forgets them again (tests start from a clean
// slate).
void registerDefaults();
void resetRegisteredDefaults();

// Told, once per process, when settings cannot be written (an unwritable
// folder, a folder where the file belongs): `why` names the file and reason.
void setFailureHandler(std::function<void(const QString& why)> handler);
// The settings file.
QString fileName();

} // namespace Prefs

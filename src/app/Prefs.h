#pragma once

#include <QString>
#include <QVariant>

#include <functional>

// The user's preferences, stored with QSettings (~/.config/Kavo/Kavo.conf).
// Two keys have registered defaults held in memory; a value that the program
// (or the user) stored always wins over them. Keys that have no registered
// default read as false, 0 or absent.
namespace Prefs {

inline constexpr char shakeEnabled[] = "shakeEnabled";           // bool, registered true
inline constexpr char checkForUpdates[] = "checkForUpdates";     // bool, registered true
inline constexpr char hasLaunchedBefore[] = "hasLaunchedBefore"; // bool, not registered
inline constexpr char lastUpdateCheck[] = "lastUpdateCheck";     // double, seconds since 1970
inline constexpr char announcedVersion[] = "announcedVersion";   // string, not registered
inline constexpr char debugShake[] = "debugShake";               // bool, not registered

// Registers the defaults of "shakeEnabled" and "checkForUpdates" (both true).
void registerDefaults();

// Stored value, else registered default, else an invalid QVariant.
QVariant value(const char* key);
bool boolValue(const char* key);
double doubleValue(const char* key);
// An absent key reads as a null QString.
QString stringValue(const char* key);

// Store a value; answer whether it could be written to the settings file.
// The first failure of the process is reported to the failure handler.
bool setValue(const char* key, const QVariant& value);
bool remove(const char* key);

// Told, once per process, when settings cannot be written (an unwritable
// folder, a folder where the file belongs): `why` names the file and reason.
void setFailureHandler(std::function<void(const QString& why)> handler);
// The settings file.
QString fileName();

// Forgets the registered defaults (tests start every case from a clean slate).
void resetRegisteredDefaults();

} // namespace Prefs

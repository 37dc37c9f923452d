#pragma once

#include "update/UpdateChecker.h"

#include <QObject>
#include <QSet>
#include <QUrl>

#include <functional>
#include <memory>

class CommandServer;
class HotKey;
class ShakeDetector;
class ShelfJournalKeeper;
class ShelfRegistry;
class TrayMenu;

// Wires the program together and runs its start-up: preferences, the
// clean-up of old drop folders, the tray, the shake detector, the hot key,
// the update checker, and the welcome on the very first start. Main thread
// only.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    // `feed` is the release feed's address (tests use a local server).
    explicit AppDelegate(const QUrl& feed = UpdateChecker::feedURL());
    ~AppDelegate() override;

    // The start-up, in this order: preference defaults, the shelves of the
    // journal coming back, then the clean-up of old drop folders (once the
    // journal tells which ones shelves still hold), the tray icon and its
    // menu, the shake detector, the hot key, the update checker, and the
    // welcome on the very first start. `shelvesBack` is called once the
    // journal's shelves are back (or could not be read in time).
    void launch(std::function<void()> shelvesBack = {});
    // A clean quit: the journal keeps the open shelves for the next start,
    // or none when the user chose so.
    void quit();

    ShelfRegistry& shelves() const { return *m_shelves; }
    TrayMenu& tray() const { return *m_tray; }
    CommandServer& commands() const { return *m_commands; }
    ShakeDetector& shake() const { return *m_shake; }
    UpdateChecker& updates() const { return *m_updates; }

    // A notice that does not wait for the user (settings that cannot be
    // kept).
    std::function<void(const QString& title, const QString& text)> onNotice;

private:
    // Declared so that the shelves go first and the tray's menu last.
    std::unique_ptr<ShakeDetector> m_shake;
    std::unique_ptr<HotKey> m_hotKey;
    std::unique_ptr<UpdateChecker> m_updates;
    std::unique_ptr<TrayMenu> m_tray;
    std::unique_ptr<ShelfRegistry> m_shelves;
    std::unique_ptr<CommandServer> m_commands;
    std::unique_ptr<ShelfJournalKeeper> m_journal;
    QSet<int> m_keysTold; // keys the user heard could not be had
};

#include "app/AppDelegate.h"

#include "app/CommandServer.h"
#include "app/HotKey.h"
#include "app/ShelfJournalKeeper.h"
#include "app/ShelfRegistry.h"
#include "app/TrayMenu.h"
#include "core/Prefs.h"
#include "drops/DropFolders.h"
#include "platform/Alerts.h"
#include "platform/Screens.h"
#include "shake/ShakeDetector.h"
#include "shake/SystemShakeInput.h"

#include <QGuiApplication>
#include <QPointer>

AppDelegate::AppDelegate(const QUrl& feed)
    : onNotice(Alerts::notify),
      m_shake(std::make_unique<ShakeDetector>(SystemShakeInput::create())),
      m_hotKey(std::make_unique<HotKey>()), m_updates(std::make_unique<UpdateChecker>(feed)),
      m_shelves(std::make_unique<ShelfRegistry>()),
      m_commands(std::make_unique<CommandServer>(*m_shelves))
{
    m_tray = std::make_unique<TrayMenu>(*m_shelves, *m_shake, *m_updates, *m_hotKey);
    m_journal = std::make_unique<ShelfJournalKeeper>(*m_shelves);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::launch(std::function<void()> shelvesBack)
{
    QPointer<AppDelegate> self(this);
    // Settings that cannot be kept are said once; Kavo goes on with its
    // defaults.
    Prefs::setFailureHandler([self](const QString& why) {
        if (self && self->onNotice)
            self->onNotice(tr("Kavo couldn't save its settings"),
                           why + QStringLiteral("\n\n") +
                               tr("Kavo keeps working with its default settings, but changes "
                                  "to them will not be kept."));
    });
    Prefs::registerDefaults();
    m_journal->onNotice = [self](const QString& title, const QString& text) {
        if (self && self->onNotice)
            self->onNotice(title, text);
    };
    m_journal->start([](const QSet<QByteArray>& held) { DropFolders::cleanUpOldPromises(held); },
                     std::move(shelvesBack));

    // Without a display (tests) there is no tray to sit in.
    if (QGuiApplication::platformName() != u"offscreen")
        m_tray->createStatusItem();

    m_shake->onShake = [self](QPointF p) {
        if (self)
            self->m_shelves->openShelf(p, ShelfOrigin::Shake);
    };
    m_shake->isEnabled = Prefs::value(Prefs::shakeEnabled);
    m_shake->start();

    // A Wayland pointer over a native window is not seen: then the shelf
    // opens in the middle of the screen where the pointer was last seen.
    // The shelf takes the keyboard as the key press asked.
    m_hotKey->onPressed = [self](bool pointerKnown, quint32 userTime) {
        if (!self)
            return;
        const QPointF p = self->m_commands->pointerLocation();
        self->m_shelves->openShelf(pointerKnown ? p : Screens::middleOfScreenAt(p),
                                   ShelfOrigin::HotKey, userTime);
    };
    // Said once per key and start; the user may choose another one there.
    // A desktop that takes no shortcuts from programs still runs commands
    // bound in its own settings: that is the way left there.
    m_hotKey->onUnavailable = [self](QKeyCombination key, HotKey::Refusal why) {
        if (!self || self->m_keysTold.contains(key.toCombined()))
            return;
        self->m_keysTold.insert(key.toCombined());
        const QString title = tr("Kavo could not use %1").arg(HotKey::displayText(key));
        if (why == HotKey::Refusal::Ignored) {
            Alerts::offer(title,
                          tr("The desktop did not take this shortcut. To open shelves with a "
                             "key, bind the command \u201ckavo --new-shelf\u201d to it in the "
                             "desktop's own shortcut settings (in KDE Plasma: System Settings, "
                             "Shortcuts, Add New, Command or Script), or open shelves from the "
                             "tray menu."),
                          {tr("OK")}, {});
            return;
        }
        Alerts::offer(title,
                      why == HotKey::Refusal::Refused
                          ? tr("The desktop refused this shortcut. Choose another one, or open "
                               "shelves from the tray menu.")
                          : tr("Another program already uses this shortcut. Choose another "
                               "one, or open shelves with a shake or from the tray menu."),
                      {tr("Choose Shortcut\u2026"), tr("OK")}, [self](int chosen) {
                          if (chosen == 0 && self)
                              self->m_tray->chooseShortcut();
                      });
    };
    if (QGuiApplication::platformName() != u"offscreen")
        m_hotKey->apply(HotKey::fromPreference(Prefs::value(Prefs::hotKey)));

    // The checker's alerts and links go where the tray's do.
    m_updates->onChange = [self] {
        if (self)
            self->m_tray->refreshStatusIcon();
    };
    m_updates->onAlert = [self](const QString& t, const QString& x, const QStringList& b) {
        const UpdateChecker::AlertHook hook = self ? self->m_tray->onAlert : nullptr;
        return hook ? hook(t, x, b) : -1;
    };
    m_updates->onOpenUrl = [self](const QUrl& url) {
        if (self && self->m_tray->onOpenUrl)
            self->m_tray->onOpenUrl(url);
    };
    m_updates->start();

    if (!Prefs::value(Prefs::hasLaunchedBefore)) {
        // Written first, so that a dismissed (or crashed) welcome is not
        // shown again. Where it cannot be written the notice about the
        // settings stands in for it: a welcome that cannot be remembered
        // would come back at every start.
        if (Prefs::setValue(Prefs::hasLaunchedBefore, true))
            m_tray->showWelcome();
    }
}

void AppDelegate::quit()
{
    // A quit may come before the start-up has run: the preference still
    // reads with its default then.
    Prefs::registerDefaults();
    m_journal->finish(Prefs::value(Prefs::reopenShelves));
}

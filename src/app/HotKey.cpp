#include "app/HotKey.h"

#include "platform/KeyGrabber.h"
#include "platform/freedesktop/PortalShortcuts.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcHotKey, "kavo.keys", QtInfoMsg)

const QString shortcutId = QStringLiteral("new-shelf");

bool isModifierKey(Qt::Key key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

} // namespace

HotKey::HotKey() = default;

HotKey::~HotKey() = default;

std::optional<QKeyCombination> HotKey::parse(const QString& portableText)
{
    const QKeySequence sequence =
        QKeySequence::fromString(portableText.trimmed(), QKeySequence::PortableText);
    if (sequence.count() != 1)
        return std::nullopt;
    const QKeyCombination key = sequence[0];
    if (key.key() == 0 || isModifierKey(key.key()))
        return std::nullopt;
    if (!(key.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return std::nullopt;
    return key;
}

std::optional<QKeyCombination> HotKey::fromPreference(const QString& text)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    if (const auto key = parse(text))
        return key;
    qCWarning(lcHotKey).noquote() << QStringLiteral("the hotKey setting \"%1\" is not a key held "
                                                    "with Ctrl, Alt or Super; using %2")
                                         .arg(text, displayText(defaultKey));
    return defaultKey;
}

QString HotKey::displayText(QKeyCombination key)
{
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

QString HotKey::portableText(QKeyCombination key)
{
    return QKeySequence(key).toString(QKeySequence::PortableText);
}

void HotKey::apply(std::optional<QKeyCombination> key)
{
    m_wanted = key;
    m_working.clear();
    if (m_path == Path::Undecided) {
        if (!PortalShortcuts::waylandSession()) {
            m_path = Path::X11;
        } else {
            // Asked once; the key wanted when the answer comes is used.
            m_path = Path::Probing;
            m_portal = std::make_unique<PortalShortcuts>();
            // The answer comes through the portal object, which this owns.
            m_portal->probe([this](uint version) {
                m_portalVersion = version;
                if (version > 0) {
                    m_path = Path::Portal;
                    bind();
                    return;
                }
                qCInfo(lcHotKey) << "this desktop has no GlobalShortcuts portal: the hot key "
                                    "works while an X11 window is active";
                m_portal.release()->deleteLater(); // its answer is still on the stack
                m_path = Path::X11;
                grab();
            });
        }
    }
    if (m_path == Path::Portal)
        bind();
    else if (m_path == Path::X11)
        grab();
}

bool HotKey::canConfigure() const
{
    return m_path == Path::Portal && m_portalVersion >= 2 && m_wanted;
}

void HotKey::configure()
{
    if (canConfigure())
        m_portal->configure();
}

void HotKey::grab()
{
    if (!m_grabber) {
        m_grabber = KeyGrabber::create();
        // The grabber reports presses from the event loop, never inside its
        // own event handling; the action may open windows or run dialogs.
        m_grabber->onPressed = [this](quint32 time) {
            if (onPressed)
                onPressed(true, time);
        };
    }
    if (!m_wanted) {
        m_grabber->ungrab();
        return;
    }
    if (m_grabber->grab(m_wanted->key(), m_wanted->keyboardModifiers()))
        m_working = displayText(*m_wanted);
    else
        unavailable(*m_wanted, Refusal::Taken);
}

void HotKey::bind()
{
    m_portal->onActivated = [this](const QString& id) {
        if (id == shortcutId && onPressed)
            onPressed(false, 0);
    };
    m_portal->onTriggerChanged = [this](const QString& id, const QString& trigger) {
        if (id == shortcutId)
            m_working = trigger;
    };
    if (!m_wanted) {
        m_portal->close();
        return;
    }
    const QKeyCombination key = *m_wanted;
    // The desktop shows the description in its shortcut settings.
    m_portal->bind(
        shortcutId, QCoreApplication::translate("HotKey", "Open a new shelf"),
        PortalShortcuts::triggerFor(key.keyboardModifiers(), key.key()),
        [this, key](PortalShortcuts::Answer answer, const QString& trigger) {
            if (answer == PortalShortcuts::Answer::Bound) {
                qCInfo(lcHotKey).noquote() << "the desktop bound the hot key to" << trigger;
                m_working = trigger;
            } else {
                unavailable(key, answer == PortalShortcuts::Answer::Refused ? Refusal::Refused
                                                                            : Refusal::Ignored);
            }
        });
}

void HotKey::unavailable(QKeyCombination key, Refusal why)
{
    const char* reason = why == Refusal::Taken     ? "another program holds it"
                         : why == Refusal::Refused ? "the desktop refused it"
                                                   : "the desktop bound nothing to it";
    qCWarning(lcHotKey).noquote() << displayText(key) << "cannot be used as the hot key:" << reason;
    if (onUnavailable)
        onUnavailable(key, why);
}

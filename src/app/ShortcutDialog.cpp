#include "app/ShortcutDialog.h"

#include "app/HotKey.h"

#include <QDialogButtonBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Reports each chord as it is pressed (QKeySequenceEdit itself waits a
// second for more chords, and would record the Return that follows).
class ChordEdit final : public QKeySequenceEdit
{
public:
    using QKeySequenceEdit::QKeySequenceEdit;
    std::function<void()> onChord;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        QKeySequenceEdit::keyPressEvent(event);
        if (!keySequence().isEmpty() && onChord)
            onChord();
    }
};

} // namespace

ShortcutDialog::ShortcutDialog(std::optional<QKeyCombination> current, bool desktopSettings,
                               QWidget* parent)
    : QDialog(parent), m_hint(new QLabel(this)), m_choice(current)
{
    auto* edit = new ChordEdit(this);
    edit->onChord = [this] { typed(); };
    m_edit = edit;
    setWindowTitle(tr("Keyboard Shortcut"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Press the keys that open a new shelf:"), this));
    layout->addWidget(m_edit);
    m_hint->setText(tr("Hold Ctrl, Alt or Super with another key."));
    m_hint->setWordWrap(true);
    layout->addWidget(m_hint);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    QPushButton* reset = buttons->addButton(tr("&Reset"), QDialogButtonBox::ResetRole);
    QPushButton* off =
        buttons->addButton(tr("&Turn Off"), QDialogButtonBox::ActionRole);
    if (desktopSettings) {
        QPushButton* settings = buttons->addButton(tr("Desktop Settings\u2026"),
                                                   QDialogButtonBox::ActionRole);
        connect(settings, &QPushButton::clicked, this, [this] {
            if (onOpenDesktopSettings)
                onOpenDesktopSettings();
        });
    }
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(reset, &QPushButton::clicked, this, [this] { display(HotKey::defaultKey); });
    connect(off, &QPushButton::clicked, this, [this] {
        m_choice.reset();
        accept();
    });
    display(current);
    m_edit->setFocus();
}

void ShortcutDialog::typed()
{
    const QKeySequence typed = m_edit->keySequence();
    if (typed.isEmpty())
        return;
    // One chord is the whole shortcut: take it, then leave the field, so
    // that Return confirms instead of being recorded.
    const auto key = HotKey::parse(HotKey::portableText(typed[0]));
    if (!key)
        m_hint->setText(
            tr("%1 cannot be used: hold Ctrl, Alt or Super with another key.")
                .arg(HotKey::displayText(typed[0])));
    display(key ? key : m_choice);
    m_ok->setFocus();
}

void ShortcutDialog::display(std::optional<QKeyCombination> key)
{
    m_choice = key;
    const QSignalBlocker blocker(m_edit);
    m_edit->setKeySequence(key ? QKeySequence(*key) : QKeySequence());
}

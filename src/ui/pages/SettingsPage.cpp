#include "SettingsPage.h"

#include "ServiceCard.h"
#include "ui/app/AppContext.h"
#include "ui/common/ComboBox.h"
#include "ui/common/Icons.h"
#include "ui/common/SoundManager.h"
#include "ui/common/Theme.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

// The item whose data equals value exactly, or the first one.
void selectByData(QComboBox *combo, const QString &value)
{
    combo->setCurrentIndex(
        std::max(0, combo->findData(value, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive)));
}

void selectByText(QComboBox *combo, const QString &value)
{
    combo->setCurrentIndex(std::max(0, combo->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive)));
}

} // namespace

// A row label as tall as its control with the text centred, and as wide in
// every card, so that the controls of all cards line up.
QLabel *SettingsPage::rowLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setMinimumWidth(120);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

namespace {

QComboBox *newCombo(QWidget *parent, const QString &name)
{
    auto *combo = new ComboBox(parent);
    combo->setObjectName(name);
    combo->setCursor(Qt::PointingHandCursor);
    // One width for all, the longest choice included, so that they line up.
    combo->setMinimumWidth(360);
    return combo;
}

} // namespace

SettingsPage::SettingsPage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("SettingsPage"));
    // In a scroll area: in a short window the cards would otherwise be
    // squeezed until their controls are unreadable.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("ChatScroll"));
    scroll->setAccessibleName(QStringLiteral("Settings"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    m_content = new QWidget(scroll);
    auto *layout = new QVBoxLayout(m_content);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(18);
    auto *title = new QLabel(QStringLiteral("Settings"), m_content);
    title->setObjectName(QStringLiteral("SectionTitle"));
    layout->addWidget(title);

    QFrame *service = card(QStringLiteral("AI service"), layout);
    service->layout()->addWidget(new ServiceCard(m_context, &rowLabel, service));

    QFrame *ai = card(QStringLiteral("AI Model"), layout);
    QFormLayout *aiForm = formIn(ai);
    m_model = newCombo(ai, QStringLiteral("ModelCombo"));
    for (const char *model : {"gpt-4o-mini", "gpt-4o", "gpt-4.1-mini", "gpt-4.1"})
        m_model->addItem(QString::fromLatin1(model));
    // Any other server's model may be typed, or picked once listed.
    m_model->setEditable(true);
    m_model->setInsertPolicy(QComboBox::NoInsert);
    auto *modelRow = new QHBoxLayout;
    modelRow->setSpacing(8);
    modelRow->addWidget(m_model);
    m_refreshModels = new QPushButton(QStringLiteral("  Refresh models"), ai);
    m_refreshModels->setObjectName(QStringLiteral("IconButton"));
    m_refreshModels->setCursor(Qt::PointingHandCursor);
    m_refreshModels->setIcon(faIcon(QStringLiteral("rotate"), QColor(ICON_MUTED), 14));
    m_refreshModels->setIconSize(QSize(14, 14));
    modelRow->addWidget(m_refreshModels);
    modelRow->addStretch(1);
    aiForm->addRow(rowLabel(QStringLiteral("Model"), ai), modelRow);
    m_modelsState = new QLabel(ai);
    m_modelsState->setObjectName(QStringLiteral("Muted"));
    m_modelsState->setTextFormat(Qt::PlainText);
    m_modelsState->setWordWrap(true);
    m_modelsState->hide();
    aiForm->addRow(QString(), m_modelsState);
    m_depth = newCombo(ai, QStringLiteral("DepthCombo"));
    m_depth->addItem(QStringLiteral("Quick — fastest & cheapest"), QStringLiteral("quick"));
    m_depth->addItem(QStringLiteral("Standard — the default balance"), QStringLiteral("standard"));
    m_depth->addItem(QStringLiteral("Deep — most history, best-reasoned calls"), QStringLiteral("deep"));
    aiForm->addRow(rowLabel(QStringLiteral("Thinking depth"), ai), m_depth);

    QFrame *look = card(QStringLiteral("Appearance"), layout);
    QFormLayout *lookForm = formIn(look);
    m_theme = newCombo(look, QStringLiteral("ThemeCombo"));
    m_theme->addItem(QStringLiteral("dark"));
    m_theme->addItem(QStringLiteral("light"));
    lookForm->addRow(rowLabel(QStringLiteral("Theme"), look), m_theme);
    m_style = newCombo(look, QStringLiteral("StyleCombo"));
    m_style->addItem(QStringLiteral("Standard"), QStringLiteral("standard"));
    m_style->addItem(QStringLiteral("Legacy (gradients)"), QStringLiteral("legacy"));
    lookForm->addRow(rowLabel(QStringLiteral("Style"), look), m_style);
    m_accent = newCombo(look, QStringLiteral("AccentCombo"));
    for (const QString &name : accentPalettes().keys())
        m_accent->addItem(name, name);
    lookForm->addRow(rowLabel(QStringLiteral("Accent"), look), m_accent);

    QFrame *sound = card(QStringLiteral("Sound"), layout);
    QFormLayout *soundForm = formIn(sound);
    m_sound = new QCheckBox(QStringLiteral("Enable UI sounds"), sound);
    m_sound->setObjectName(QStringLiteral("SoundCheck"));
    m_sound->setCursor(Qt::PointingHandCursor);
    soundForm->addRow(m_sound);

    QFrame *alerts = card(QStringLiteral("Notifications"), layout);
    QFormLayout *alertsForm = formIn(alerts);
    m_goalNotifications = newCombo(alerts, QStringLiteral("GoalNotificationsCombo"));
    m_goalNotifications->addItem(QStringLiteral("Every goal"), QStringLiteral("all"));
    m_goalNotifications->addItem(QStringLiteral("Goals in favourite fixtures"), QStringLiteral("favourites"));
    m_goalNotifications->addItem(QStringLiteral("Off"), QStringLiteral("off"));
    m_goalNotifications->setToolTip(
        QStringLiteral("Desktop notifications for goals the live page spots, also while Tolvo is minimised"));
    alertsForm->addRow(rowLabel(QStringLiteral("Goal alerts"), alerts), m_goalNotifications);
    layout->addStretch(1);
    scroll->setWidget(m_content);

    // Start values before any reaction is connected: building the page
    // changes nothing, also when a stored value is not among the choices.
    const Settings &settings = m_context->settings;
    if (m_model->findText(settings.openai_model, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        selectByText(m_model, settings.openai_model);
    else
        m_model->setEditText(settings.openai_model);
    selectByData(m_depth, settings.thinking_depth);
    selectByData(m_style, settings.ui_style);
    selectByData(m_accent, settings.accent);
    selectByData(m_goalNotifications, settings.goal_notifications);
    syncFromSettings();

    // Picked from the list, or typed and confirmed: a half-typed name is
    // never saved.
    connect(m_model, &QComboBox::currentIndexChanged, this, &SettingsPage::commitModel);
    connect(m_model, &QComboBox::activated, this, &SettingsPage::commitModel);
    connect(m_model->lineEdit(), &QLineEdit::editingFinished, this, &SettingsPage::commitModel);
    connect(m_refreshModels, &QPushButton::clicked, this, &SettingsPage::refreshModels);
    connect(m_depth, &QComboBox::currentIndexChanged, this, [this]() {
        m_context->settings.thinking_depth = m_depth->currentData().toString();
        m_context->settings.save();
    });
    connect(m_theme, &QComboBox::currentTextChanged, this, &SettingsPage::themeChanged);
    connect(m_style, &QComboBox::currentIndexChanged, this,
            [this]() { emit styleChanged(m_style->currentData().toString()); });
    connect(m_accent, &QComboBox::currentIndexChanged, this,
            [this]() { emit accentChanged(m_accent->currentData().toString()); });
    connect(m_sound, &QCheckBox::toggled, this, &SettingsPage::onSoundToggled);
    connect(m_goalNotifications, &QComboBox::currentIndexChanged, this, [this]() {
        m_context->settings.goal_notifications = m_goalNotifications->currentData().toString();
        m_context->settings.save();
    });
}

QFrame *SettingsPage::card(const QString &title, QVBoxLayout *pageLayout)
{
    auto *frame = new QFrame(m_content);
    frame->setObjectName(QStringLiteral("Card"));
    // Labels and the check box would otherwise paint the page colour over
    // the card's surface.
    frame->setStyleSheet(QStringLiteral("QLabel, QCheckBox { background-color: transparent; }"));
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(18, 16, 18, 18);
    layout->setSpacing(12);
    auto *heading = new QLabel(title, frame);
    heading->setStyleSheet(QStringLiteral("font-weight: 700; font-size: 14px;"));
    layout->addWidget(heading);
    pageLayout->addWidget(frame);
    return frame;
}

QFormLayout *SettingsPage::formIn(QFrame *card)
{
    auto *form = new QFormLayout;
    form->setHorizontalSpacing(18);
    form->setVerticalSpacing(10);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    static_cast<QVBoxLayout *>(card->layout())->addLayout(form);
    return form;
}

void SettingsPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    syncFromSettings();
}

void SettingsPage::syncFromSettings()
{
    const Settings &settings = m_context->settings;
    const QSignalBlocker themeBlocker(m_theme);
    const QSignalBlocker soundBlocker(m_sound);
    selectByText(m_theme, settings.theme);
    m_sound->setChecked(settings.sound_enabled);
}

void SettingsPage::commitModel()
{
    const QString model = m_model->currentText().trimmed();
    if (model.isEmpty() || model == m_context->settings.openai_model)
        return;
    m_context->settings.openai_model = model;
    m_context->settings.save();
}

void SettingsPage::refreshModels()
{
    m_refreshModels->setEnabled(false);
    QPointer<SettingsPage> self(this);
    AppContext *context = m_context;
    context->runAsync<QStringList>(
        [context]() { return context->getPredictor()->listModels(); },
        [self](const QStringList &ids) {
            if (!self)
                return;
            self->m_refreshModels->setEnabled(true);
            const QString typed = self->m_model->currentText();
            const QSignalBlocker blocker(self->m_model);
            for (const QString &id : ids) {
                if (self->m_model->findText(id, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
                    self->m_model->addItem(id);
            }
            self->m_model->setEditText(typed);
            self->m_modelsState->setText(
                ids.isEmpty() ? QStringLiteral("The service lists no models.")
                              : QStringLiteral("%1 models listed by the service.").arg(ids.size()));
            self->m_modelsState->show();
        },
        [self](const QString &message) {
            if (!self)
                return;
            self->m_refreshModels->setEnabled(true);
            self->m_modelsState->setText(message);
            self->m_modelsState->show();
        });
}

void SettingsPage::onSoundToggled(bool on)
{
    m_context->settings.sound_enabled = on;
    if (m_context->sound)
        m_context->sound->setEnabled(on);
    m_context->settings.save();
    // The window's mute button follows.
    emit soundToggled(on);
}

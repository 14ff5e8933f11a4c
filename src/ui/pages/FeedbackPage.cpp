#include "FeedbackPage.h"

#include "app/Log.h"
#include "services/FeedbackReport.h"
#include "ui/app/AppContext.h"
#include "ui/common/ComboBox.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

struct Category
{
    QString key;
    QString label;
    QString icon;
};

struct Severity
{
    QString key;
    QString label;
};

struct ChipSpec
{
    QString icon;
    QString label;
};

struct CategoryText
{
    QString heading;
    QString placeholder;
};

const QList<Category> CATEGORIES = {
    {QStringLiteral("bug"), QStringLiteral("Bug"), QStringLiteral("bug")},
    {QStringLiteral("idea"), QStringLiteral("Idea"), QStringLiteral("lightbulb")},
    {QStringLiteral("question"), QStringLiteral("Question"), QStringLiteral("circle-question")},
    {QStringLiteral("praise"), QStringLiteral("Praise"), QStringLiteral("heart")},
};

const QList<Severity> SEVERITIES = {
    {QStringLiteral("minor"), QStringLiteral("Minor — a bit annoying")},
    {QStringLiteral("major"), QStringLiteral("Major — gets in the way")},
    {QStringLiteral("blocker"), QStringLiteral("Blocking — can't use it")},
};

const QList<ChipSpec> CHIP_SPECS = {
    {QStringLiteral("tag"), QStringLiteral("Category")},
    {QStringLiteral("comment"), QStringLiteral("Message")},
    {QStringLiteral("camera"), QStringLiteral("Screenshot")},
    {QStringLiteral("file-lines"), QStringLiteral("Log")},
};

CategoryText textFor(const QString &key)
{
    if (key == QLatin1String("idea"))
        return {QStringLiteral("Share an Idea"),
                QStringLiteral("What would you like Tolvo to do? Describe it however you like.")};
    if (key == QLatin1String("question"))
        return {QStringLiteral("Ask a Question"), QStringLiteral("What would you like to know?")};
    if (key == QLatin1String("praise"))
        return {QStringLiteral("Say Something Nice"),
                QStringLiteral("What did you enjoy? It genuinely helps to hear it.")};
    return {QStringLiteral("Report a Problem"),
            QStringLiteral("What happened, and what did you expect instead?")};
}

QString iconFor(const QString &key)
{
    for (const Category &category : CATEGORIES) {
        if (category.key == key)
            return category.icon;
    }
    return QStringLiteral("bug");
}

// The whole primary screen, or a null image where the platform cannot grab
// it (some Wayland sessions): then the report simply has no screenshot.
QImage grabDesktop()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return screen->grabWindow(0).toImage();
}

QByteArray encodePng(const QImage &image)
{
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

FeedbackPage::FeedbackPage(AppContext *context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("FeedbackPage"));
    // The form is taller than the page at the window's smallest size.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setAccessibleName(QStringLiteral("Send feedback"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto *body = new QWidget(scroll);
    scroll->setWidget(body);

    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);

    auto *title = new QLabel(QStringLiteral("Send Feedback"), body);
    title->setObjectName(QStringLiteral("SectionTitle"));
    layout->addWidget(title);
    auto *intro = new QLabel(
        QStringLiteral(
            "Found a bug, got an idea, or just want to say something? It goes straight to the dev."),
        body);
    intro->setObjectName(QStringLiteral("Muted"));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto *card = new QFrame(body);
    card->setObjectName(QStringLiteral("Card"));
    auto *cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(18, 16, 18, 18);
    cardLayout->setSpacing(12);
    layout->addWidget(card);
    layout->addStretch(1);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    m_headerIcon = new QLabel(card);
    m_headerIcon->setObjectName(QStringLiteral("FeedbackIcon"));
    m_headerIcon->setFixedSize(16, 16);
    header->addWidget(m_headerIcon);
    m_heading = new QLabel(card);
    m_heading->setObjectName(QStringLiteral("FeedbackHeading"));
    m_heading->setStyleSheet(QStringLiteral("font-weight: 700; font-size: 14px;"));
    header->addWidget(m_heading);
    header->addStretch(1);
    cardLayout->addLayout(header);

    auto *note = new QLabel(
        QStringLiteral("Reports go straight to the dev. Nothing is sent until you hit Send Report."), card);
    note->setObjectName(QStringLiteral("Muted"));
    note->setWordWrap(true);
    cardLayout->addWidget(note);

    m_category = new ComboBox(card);
    m_category->setObjectName(QStringLiteral("FeedbackCategory"));
    m_category->setAccessibleName(QStringLiteral("Category"));
    m_category->setCursor(Qt::PointingHandCursor);
    for (const Category &category : CATEGORIES)
        m_category->addItem(category.label, category.key);
    m_category->setCurrentIndex(0);
    cardLayout->addWidget(m_category);

    m_severityRow = new QWidget(card);
    m_severityRow->setObjectName(QStringLiteral("SeverityRow"));
    // Only the row itself: the combo box inside keeps its own look.
    m_severityRow->setStyleSheet(QStringLiteral("QWidget#SeverityRow { background: transparent; }"));
    auto *severityLayout = new QHBoxLayout(m_severityRow);
    severityLayout->setContentsMargins(0, 0, 0, 0);
    m_severity = new ComboBox(m_severityRow);
    m_severity->setObjectName(QStringLiteral("FeedbackSeverity"));
    m_severity->setAccessibleName(QStringLiteral("Severity"));
    m_severity->setCursor(Qt::PointingHandCursor);
    for (const Severity &severity : SEVERITIES)
        m_severity->addItem(severity.label, severity.key);
    m_severity->setCurrentIndex(1);
    severityLayout->addWidget(m_severity, 1);
    cardLayout->addWidget(m_severityRow);

    m_message = new QPlainTextEdit(card);
    m_message->setObjectName(QStringLiteral("FeedbackMessage"));
    m_message->setAccessibleName(QStringLiteral("Message"));
    m_message->setPlaceholderText(QStringLiteral(
        "What happened, and what did you expect instead? The more detail, the faster it gets fixed."));
    m_message->setFixedHeight(96);
    // Tab moves on to the name field rather than typing a tab.
    m_message->setTabChangesFocus(true);
    cardLayout->addWidget(m_message);

    auto *nameRow = new QHBoxLayout;
    nameRow->setSpacing(8);
    auto *userIcon = new QLabel(card);
    userIcon->setPixmap(faPixmap(QStringLiteral("user"), QColor(ICON_MUTED), 13));
    nameRow->addWidget(userIcon);
    m_name = new QLineEdit(card);
    m_name->setObjectName(QStringLiteral("FeedbackName"));
    m_name->setAccessibleName(QStringLiteral("Your name"));
    m_name->setPlaceholderText(QStringLiteral("Your name (optional — so the dev knows who it's from)"));
    m_name->setText(m_context->settings.reporter_name);
    nameRow->addWidget(m_name, 1);
    cardLayout->addLayout(nameRow);

    auto *divider = new QFrame(card);
    divider->setObjectName(QStringLiteral("Divider"));
    cardLayout->addWidget(divider);

    m_screenshot = new QCheckBox(QStringLiteral("Include a screenshot of my desktop"), card);
    m_screenshot->setObjectName(QStringLiteral("FeedbackScreenshot"));
    m_screenshot->setCursor(Qt::PointingHandCursor);
    cardLayout->addWidget(m_screenshot);
    m_includeLog = new QCheckBox(QStringLiteral("Recent log (300 lines)"), card);
    m_includeLog->setObjectName(QStringLiteral("FeedbackLog"));
    m_includeLog->setCursor(Qt::PointingHandCursor);
    m_includeLog->setChecked(true);
    cardLayout->addWidget(m_includeLog);

    auto *caption = new QLabel(QStringLiteral("INCLUDED IN THIS REPORT"), card);
    caption->setObjectName(QStringLiteral("Muted"));
    caption->setStyleSheet(QStringLiteral("font-size: 10px; font-weight: 700; letter-spacing: 0.6px;"));
    cardLayout->addWidget(caption);

    auto *chips = new QHBoxLayout;
    chips->setSpacing(8);
    for (const ChipSpec &entry : CHIP_SPECS) {
        QFrame *chip = makeChip(entry.icon, entry.label);
        m_chips.insert(entry.label, chip);
        chips->addWidget(chip);
    }
    chips->addStretch(1);
    cardLayout->addLayout(chips);

    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(10);
    m_status = new QLabel(card);
    m_status->setObjectName(QStringLiteral("Muted"));
    m_status->setAccessibleName(QStringLiteral("Report status"));
    bottom->addWidget(m_status, 1);
    m_send = new QPushButton(QStringLiteral("  Send Report"), card);
    m_send->setObjectName(QStringLiteral("PrimaryButton"));
    m_send->setIcon(faIcon(QStringLiteral("paper-plane"), Qt::white, 16));
    m_send->setIconSize(QSize(16, 16));
    m_send->setCursor(Qt::PointingHandCursor);
    m_preview = new QPushButton(QStringLiteral("  Preview"), card);
    m_preview->setObjectName(QStringLiteral("FeedbackPreview"));
    m_preview->setIcon(faIcon(QStringLiteral("file-lines"), QColor(currentAccent()), 16));
    m_preview->setCursor(Qt::PointingHandCursor);
    bottom->addWidget(m_preview);
    bottom->addWidget(m_send);
    cardLayout->addLayout(bottom);

    connect(m_category, &QComboBox::currentIndexChanged, this, [this]() {
        m_context->play(QStringLiteral("click"));
        applyCategory();
        refreshChips();
    });
    connect(m_message, &QPlainTextEdit::textChanged, this, &FeedbackPage::refreshChips);
    connect(m_screenshot, &QCheckBox::toggled, this, &FeedbackPage::refreshChips);
    connect(m_includeLog, &QCheckBox::toggled, this, &FeedbackPage::refreshChips);
    connect(m_name, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_context->settings.reporter_name = text.trimmed();
        m_context->settings.save();
    });
    connect(m_send, &QPushButton::clicked, this, &FeedbackPage::onSendReport);
    connect(m_preview, &QPushButton::clicked, this, &FeedbackPage::showPreview);

    applyCategory();
    refreshChips();
}

void FeedbackPage::applyCategory()
{
    const QString key = m_category->currentData().toString();
    m_severityRow->setVisible(key == QLatin1String("bug"));
    const CategoryText text = textFor(key);
    m_heading->setText(text.heading);
    m_message->setPlaceholderText(text.placeholder);
    m_headerIcon->setPixmap(faPixmap(iconFor(key), QColor(currentAccent()), 16));
}

void FeedbackPage::refreshChips()
{
    const QString accent = currentAccent();
    // The off colours are tints of the text colour, so they read on the
    // light theme's white card as well as on the dark one.
    const bool dark = m_context->settings.theme == QLatin1String("dark");
    const QString offBackground =
        dark ? QStringLiteral("rgba(255,255,255,18)") : QStringLiteral("rgba(0,0,0,14)");
    const QString offText =
        dark ? QStringLiteral("rgba(255,255,255,120)") : QStringLiteral("rgba(0,0,0,120)");
    const QMap<QString, bool> included = {
        {QStringLiteral("Category"), true},
        {QStringLiteral("Message"), !m_message->toPlainText().trimmed().isEmpty()},
        {QStringLiteral("Screenshot"), m_screenshot->isChecked()},
        {QStringLiteral("Log"), m_includeLog->isChecked()},
    };
    for (auto it = m_chips.cbegin(); it != m_chips.cend(); ++it) {
        const bool on = included.value(it.key());
        QFrame *chip = it.value();
        chip->setProperty("included", on);
        chip->setStyleSheet(QStringLiteral("QFrame#Chip { background-color: %1; border-radius: 9px; } "
                                           "QLabel { color: %2; font-size: 11px; background: transparent; }")
                                .arg(on ? accent : offBackground, on ? QStringLiteral("white") : offText));
        if (auto *icon = chip->findChild<QLabel *>(QStringLiteral("ChipIcon"))) {
            const QColor colour = on || dark ? QColor(Qt::white) : QColor(0, 0, 0, 120);
            icon->setPixmap(faPixmap(chip->property("icon").toString(), colour, 10));
        }
    }
}

QFrame *FeedbackPage::makeChip(const QString &icon, const QString &label)
{
    auto *chip = new QFrame(this);
    chip->setObjectName(QStringLiteral("Chip"));
    chip->setProperty("icon", icon);
    auto *layout = new QHBoxLayout(chip);
    layout->setContentsMargins(9, 3, 9, 3);
    layout->setSpacing(5);
    auto *iconLabel = new QLabel(chip);
    iconLabel->setObjectName(QStringLiteral("ChipIcon"));
    iconLabel->setPixmap(faPixmap(icon, Qt::white, 10));
    layout->addWidget(iconLabel);
    auto *text = new QLabel(label, chip);
    text->setObjectName(QStringLiteral("ChipLabel"));
    text->setStyleSheet(QStringLiteral("font-size: 11px;"));
    layout->addWidget(text);
    return chip;
}

QString FeedbackPage::currentAccent() const
{
    const QMap<QString, AccentPalette> &palettes = accentPalettes();
    auto it = palettes.constFind(m_context->settings.accent);
    if (it == palettes.cend())
        it = palettes.constFind(DEFAULT_ACCENT);
    return it == palettes.cend() ? QString() : it->accent;
}

void FeedbackPage::showPreview()
{
    m_context->play(QStringLiteral("click"));
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("FeedbackPreviewDialog"));
    dialog.setWindowTitle(QStringLiteral("Report preview"));
    dialog.resize(720, 480);
    auto *layout = new QVBoxLayout(&dialog);
    auto *text = new QPlainTextEdit(&dialog);
    text->setObjectName(QStringLiteral("FeedbackPreviewText"));
    text->setReadOnly(true);
    const QString category = m_category->currentData().toString();
    const QString severity =
        category == QLatin1String("bug") ? m_severity->currentData().toString() : QString();
    text->setPlainText(reportPreview(m_message->toPlainText().trimmed(), category, severity,
                                     m_name->text().trimmed(), m_screenshot->isChecked(),
                                     m_includeLog->isChecked() ? reportLogText() : QString()));
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

void FeedbackPage::onSendReport()
{
    const QString message = m_message->toPlainText().trimmed();
    if (message.isEmpty()) {
        m_context->toast(QStringLiteral("Add a short message first — even one line helps."),
                         QStringLiteral("info"));
        m_context->play(QStringLiteral("error"));
        m_message->setFocus();
        return;
    }
    const QString category = m_category->currentData().toString();
    const QString severity =
        category == QLatin1String("bug") ? m_severity->currentData().toString() : QString();
    const QString name = m_name->text().trimmed();
    // Grabbed here, before anything on screen changes; the PNG is encoded on
    // the worker, which keeps a large desktop from stalling the window.
    const QImage screenshot = m_screenshot->isChecked() ? grabDesktop() : QImage();

    m_send->setEnabled(false);
    m_status->setText(QStringLiteral("Sending…"));
    m_context->play(QStringLiteral("click"));

    const QString log = m_includeLog->isChecked() ? reportLogText() : QString();
    const RelayConfig relay = m_context->relay;
    QPointer<FeedbackPage> self(this);
    m_context->runBackground(
        [message, category, severity, name, screenshot, log, relay]() {
            sendReport(message, category, severity, name, encodePng(screenshot), log, relay);
        },
        [self]() {
            if (!self)
                return;
            self->m_send->setEnabled(true);
            self->m_status->setText(QStringLiteral("Sent — thank you!"));
            self->m_message->clear();
            self->m_context->play(QStringLiteral("success"));
        },
        [self](const QString &error) {
            if (!self)
                return;
            self->m_send->setEnabled(true);
            self->m_status->clear();
            self->m_context->toast(error, QStringLiteral("error"));
            self->m_context->play(QStringLiteral("error"));
        });
}

void FeedbackPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The accent or theme may have changed on the settings page meanwhile.
    applyCategory();
    refreshChips();
}

#include "ServiceCard.h"

#include "ai/Predictor.h"
#include "app/KeyStore.h"
#include "ui/app/AppContext.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace {

const QString DEFAULT_ADDRESS = QStringLiteral("https://api.openai.com");

QLabel *mutedLine(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("Muted"));
    label->setWordWrap(true);
    // As wide as a field and its buttons, so one sentence stays one line.
    label->setMinimumWidth(560);
    // The server's own words may hold angle brackets.
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

ServiceCard::ServiceCard(AppContext *context, QLabel *(*rowLabel)(const QString &, QWidget *),
                         QWidget *parent)
    : QWidget(parent)
    , m_context(context)
{
    auto *form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->setHorizontalSpacing(18);
    form->setVerticalSpacing(10);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

    auto *keyRow = new QHBoxLayout;
    keyRow->setSpacing(8);
    m_key = new QLineEdit(this);
    m_key->setObjectName(QStringLiteral("ApiKeyEdit"));
    m_key->setAccessibleName(QStringLiteral("API key"));
    m_key->setEchoMode(QLineEdit::Password);
    m_key->setMinimumWidth(360);
    m_key->setPlaceholderText(QStringLiteral("Paste your key (sk-…)"));
    keyRow->addWidget(m_key);
    m_reveal = button(QStringLiteral("Show"), "IconButton", QString());
    m_reveal->setCheckable(true);
    m_reveal->setMinimumWidth(56); // "Show" and "Hide" take the same room
    m_reveal->setToolTip(QStringLiteral("Show or hide the key"));
    keyRow->addWidget(m_reveal);
    m_save = button(QStringLiteral("  Save key"), "PrimaryButton", QStringLiteral("floppy-disk"));
    keyRow->addWidget(m_save);
    m_remove = button(QStringLiteral("  Remove key"), "IconButton", QStringLiteral("trash"));
    keyRow->addWidget(m_remove);
    keyRow->addStretch(1);
    form->addRow(rowLabel(QStringLiteral("API key"), this), keyRow);
    m_keyState = mutedLine(this);
    form->addRow(QString(), m_keyState);

    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("ServiceAddressEdit"));
    m_address->setAccessibleName(QStringLiteral("Service address"));
    m_address->setMinimumWidth(360);
    m_address->setPlaceholderText(DEFAULT_ADDRESS);
    m_address->setText(m_context->settings.openai_base_url);
    m_address->setToolTip(QStringLiteral("Any OpenAI-compatible server: http://localhost:11434 for Ollama, "
                                         "http://localhost:1234 for LM Studio"));
    form->addRow(rowLabel(QStringLiteral("Service address"), this), m_address);
    m_addressProblem = mutedLine(this);
    m_addressProblem->hide();
    form->addRow(QString(), m_addressProblem);

    auto *testRow = new QHBoxLayout;
    testRow->setSpacing(12);
    m_test = button(QStringLiteral("  Test connection"), "IconButton", QStringLiteral("circle-check"));
    testRow->addWidget(m_test);
    m_testResult = mutedLine(this);
    m_testResult->setMinimumWidth(400);
    testRow->addWidget(m_testResult, 1);
    form->addRow(QString(), testRow);

    showKeyState();

    connect(m_reveal, &QPushButton::toggled, this, [this](bool shown) {
        m_key->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        m_reveal->setText(shown ? QStringLiteral("Hide") : QStringLiteral("Show"));
    });
    connect(m_save, &QPushButton::clicked, this, [this]() { saveKey(); });
    connect(m_key, &QLineEdit::returnPressed, this, [this]() { saveKey(); });
    connect(m_remove, &QPushButton::clicked, this, &ServiceCard::removeKey);
    connect(m_address, &QLineEdit::editingFinished, this, &ServiceCard::commitAddress);
    connect(m_test, &QPushButton::clicked, this, &ServiceCard::testConnection);
}

QPushButton *ServiceCard::button(const QString &text, const char *style, const QString &icon)
{
    auto *b = new QPushButton(text, this);
    b->setObjectName(QLatin1String(style));
    b->setCursor(Qt::PointingHandCursor);
    if (!icon.isEmpty()) {
        const bool primary = qstrcmp(style, "PrimaryButton") == 0;
        b->setIcon(faIcon(icon, primary ? QColor(Qt::white) : QColor(ICON_MUTED), 14));
        b->setIconSize(QSize(14, 14));
    }
    return b;
}

void ServiceCard::showKeyState()
{
    const Settings &settings = m_context->settings;
    const bool fromEnvironment = settings.api_key_source == ApiKeySource::Environment;
    m_key->setReadOnly(fromEnvironment);
    m_save->setEnabled(!fromEnvironment && !m_keyBusy);
    m_remove->setEnabled(!fromEnvironment && !m_keyBusy && settings.api_key_source != ApiKeySource::None);
    if (fromEnvironment) {
        m_key->clear();
        m_key->setPlaceholderText(QStringLiteral("Supplied by the OPENAI_API_KEY environment variable"));
        m_keyState->setText(QStringLiteral("The key comes from the environment and is never saved."));
        return;
    }
    m_key->setText(settings.openai_api_key);
    switch (settings.api_key_source) {
    case ApiKeySource::Keychain:
        m_keyState->setText(QStringLiteral("Saved in the system keychain."));
        break;
    case ApiKeySource::File:
        m_keyState->setText(QStringLiteral(
            "No system keychain found — the key is kept in settings.json, readable by you only."));
        break;
    default:
        m_keyState->setText(QStringLiteral("No key saved."));
        break;
    }
}

void ServiceCard::saveKey(const std::function<void()> &then)
{
    const QString key = m_key->text().trimmed();
    if (m_keyBusy || m_key->isReadOnly())
        return;
    if (key.isEmpty()) {
        m_keyState->setText(QStringLiteral("Paste a key first."));
        return;
    }
    m_keyBusy = true;
    showKeyState();
    m_key->setText(key);
    KeyStore::write(key, this, [this, key, then](const KeyStore::Result &result) {
        m_keyBusy = false;
        const bool kept = result.outcome == KeyStore::Outcome::Done;
        m_context->settings.useStoredKey(key, kept ? ApiKeySource::Keychain : ApiKeySource::File);
        m_context->settings.save();
        showKeyState();
        if (then)
            then();
    });
}

void ServiceCard::removeKey()
{
    if (m_keyBusy)
        return;
    m_keyBusy = true;
    showKeyState();
    KeyStore::remove(this, [this](const KeyStore::Result &) {
        // Also where the keychain had nothing: the file may still hold one.
        m_keyBusy = false;
        m_context->settings.forgetStoredKey();
        m_context->settings.save();
        m_key->clear();
        showKeyState();
    });
}

void ServiceCard::commitAddress()
{
    QString address = m_address->text().trimmed();
    const QString problem = Predictor::serviceAddressProblem(address);
    m_addressProblem->setText(problem);
    m_addressProblem->setVisible(!problem.isEmpty());
    if (!problem.isEmpty())
        return;
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    if (address == DEFAULT_ADDRESS)
        address.clear();
    if (address == m_context->settings.openai_base_url)
        return;
    m_context->settings.openai_base_url = address;
    m_context->settings.save();
}

void ServiceCard::testConnection()
{
    commitAddress();
    if (m_addressProblem->isVisible())
        return;
    // A key pasted but not saved yet is what the user means to test.
    const Settings &settings = m_context->settings;
    if (!m_key->isReadOnly() && !m_key->text().trimmed().isEmpty() &&
        m_key->text().trimmed() != settings.openai_api_key) {
        saveKey([this]() { testConnection(); });
        return;
    }
    m_test->setEnabled(false);
    m_testResult->setText(QStringLiteral("Connecting…"));
    const QString model = settings.openai_model;
    QPointer<ServiceCard> self(this);
    AppContext *context = m_context;
    context->runAsync<qint64>([context]() { return context->getPredictor()->testConnection(); },
                              [self, model](qint64 ms) {
                                  if (!self)
                                      return;
                                  self->m_test->setEnabled(true);
                                  self->m_testResult->setText(
                                      QStringLiteral("Connected — %1 answered in %2 ms").arg(model).arg(ms));
                              },
                              [self](const QString &message) {
                                  if (!self)
                                      return;
                                  self->m_test->setEnabled(true);
                                  self->m_testResult->setText(message);
                              });
}

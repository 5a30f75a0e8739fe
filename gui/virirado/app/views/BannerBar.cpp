#include "BannerBar.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include "Announcer.hpp"
#include "CapsuleButton.hpp"
#include "Card.hpp"
#include "ClampedLabel.hpp"
#include "Palette.hpp"
#include "PlainText.hpp"
#include "SymbolIcon.hpp"
#include "Theme.hpp"

namespace virirado {

BannerBar::BannerBar(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_symbol(new SymbolIcon(QStringLiteral("info.circle"), 15, this)),
      m_text(new ClampedLabel(this)),
      m_dismiss(new CapsuleButton(this)) {
    setObjectName(QStringLiteral("banner"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    // The engine's message as it is: plain text, two lines at most. A dying
    // engine's standard error comes with line breaks and its last lines say why,
    // so those are kept; the whole text is the tip.
    m_text->setObjectName(QStringLiteral("bannerText"));
    m_text->setTextFont(Dazu::text(13.5, FontWeight::regular));
    m_text->setMaxLines(2);
    m_text->setKeepLastLines(true);
    // As high as its lines at the width it gets, one or two.
    QSizePolicy lines(QSizePolicy::Preferred, QSizePolicy::Preferred);
    lines.setHeightForWidth(true);
    m_text->setSizePolicy(lines);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_dismiss->setObjectName(QStringLiteral("bannerDismiss"));
    CapsuleStyle plain;
    plain.padX = 0;
    plain.padY = 0;
    m_dismiss->setCapsule(plain);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    row->addWidget(m_symbol);
    row->addWidget(m_text, 1);
    row->addWidget(m_dismiss);
    connect(m_dismiss, &QAbstractButton::clicked, this,
            [this] { m_context.actions.dismissBanner(); });
    hide();
}

QString BannerBar::text() const {
    return m_text->text();
}

void BannerBar::present(const WindowView& view) {
    if (m_first || view.dark != m_dark) {
        m_first = false;
        m_dark = view.dark;
        const Palette& pal = Palette::of(m_dark);
        m_symbol->setColor(pal.accent);
        m_text->setColor(pal.text);
        m_dismiss->setRuns(
            {{QStringLiteral("Dismiss"), Dazu::text(13, FontWeight::semibold), pal.accent}});
        update();
    }
    const bool shown = view.engine != nullptr && view.engine->banner.has_value();
    if (shown) {
        const QString text = QString::fromStdString(*view.engine->banner);
        m_text->setText(text);
        const QString tip = text.trimmed().isEmpty() ? QString() : plainToolTip(text);
        if (m_text->toolTip() != tip) m_text->setToolTip(tip);
    }
    if (shown == isHidden()) setVisible(shown);
    // A clean's sheet tells its outcome itself (how it ended, the log); its
    // banner, said too, would only cut into that.
    const bool cleanSheet = view.engine != nullptr && view.engine->cleanProgress.has_value();
    tellReader(shown ? std::optional(m_text->text()) : std::nullopt, !cleanSheet);
}

// A banner appears where no key goes: a reader hears it only when it is told.
// A refresh that keeps the same message says nothing again; a message that
// comes back after the banner went is new.
void BannerBar::tellReader(const std::optional<QString>& message, bool speak) {
    if (message == m_told) return;
    m_told = message;
    if (speak && message && !message->trimmed().isEmpty()) announce(window(), *message);
}

void BannerBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    paintCard(p, QRectF(rect()), 12, pal.card, pal.outline);
}

}  // namespace virirado

#include "ScopeBar.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <cmath>

#include "CapsuleButton.hpp"
#include "ChromeFigures.hpp"
#include "OutsideFocusRing.hpp"
#include "Palette.hpp"
#include "PlainText.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

// The style's check box without the style's focus marks (a dotted frame round
// the label, an accent edge on the box): the keyboard's ring stands around the
// box and its label together, as one control, and a click shows nothing.
class SwitchBox : public QCheckBox {
public:
    explicit SwitchBox(QWidget* parent) : QCheckBox(parent) {
        OutsideFocusRing::attach(this, QMargins(5, 3, 5, 3), 6);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.state &= ~QStyle::State_HasFocus;
        p.drawControl(QStyle::CE_CheckBox, option);
    }
};

// A scope's capsule: checked while its scope is chosen. A click or Space only
// ever checks it, so pressing the chosen scope changes nothing, not even for a
// moment; the bar unchecks the others when the window hands it the new scope.
// No exclusive group does this: Qt lets Tab reach only the checked button of
// such a group.
class ScopeButton : public CapsuleButton {
public:
    using CapsuleButton::CapsuleButton;

protected:
    void nextCheckState() override { setChecked(true); }
};

}  // namespace

ScopeBar::ScopeBar(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_scroll(new QScrollArea(this)),
      m_private(new SwitchBox(this)) {
    setObjectName(QStringLiteral("scopeBar"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* strip = new QWidget;
    strip->setObjectName(QStringLiteral("scopeStrip"));
    auto* buttons = new QHBoxLayout(strip);
    buttons->setContentsMargins(0, 1, 0, 1);
    buttons->setSpacing(6);
    for (durozizo::VadeScope scope : scopeBarScopes()) {
        auto* b = new ScopeButton(strip);
        b->setObjectName(QStringLiteral("scope:") + QString::fromUtf8(scope.rawValue()));
        b->setToolTip(plainToolTip(QStringLiteral("Ticked here, GB")));
        // Checked marks the selected scope for assistive tools too.
        b->setCheckable(true);
        buttons->addWidget(b);
        // A click, Space or an assistive tool's Toggle checks a scope, and that
        // chooses it; the chosen scope is unchecked only by choosing another.
        connect(b, &QAbstractButton::toggled, this, [this, scope, b](bool on) {
            if (on && scope != m_scope) m_context.actions.setScope(scope);
            if (!on && scope == m_scope) b->setChecked(true);
        });
        m_buttons.emplace_back(scope, b);
        m_figures.emplace_back();
    }
    buttons->addStretch(1);

    m_scroll->setObjectName(QStringLiteral("scopeScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    // A click on a scope does nothing but choose it: the keys stay in the search
    // field or the list, as they do after a click on any other control of the bar.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(strip);
    // The window's background shows through.
    m_scroll->viewport()->setAutoFillBackground(false);
    strip->setAutoFillBackground(false);
    m_scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_private->setObjectName(QStringLiteral("includePrivate"));
    m_private->setText(QStringLiteral("Downloads and apps"));
    m_private->setFont(Dazu::text(12, FontWeight::medium));
    m_private->setToolTip(
        plainToolTip(QStringLiteral("Never pre-ticked. Goes to Trash. Rescan after changing.")));
    m_private->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_private->setFocusPolicy(Qt::TabFocus);
    // Only the user's own changes store a value (a click, Space, an assistive
    // tool's Toggle, which changes the box without a click); the next scan
    // takes it along. The window's own setting of the box is silent.
    connect(m_private, &QCheckBox::toggled, this,
            [this](bool on) { m_context.actions.setIncludePrivate(on); });

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_scroll, 1);
    row->addWidget(m_private);
    restyle();
}

CapsuleButton* ScopeBar::button(durozizo::VadeScope scope) const {
    for (const auto& [s, b] : m_buttons) {
        if (s == scope) return b;
    }
    return nullptr;
}

void ScopeBar::restyle() {
    const Palette& pal = Palette::of(m_dark);
    const QColor selectedFill = pal.pick("#0F2A47", "#19B5C9");
    const QColor selectedText = pal.pick("#FFFFFF", "#062A33");
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        const auto& [scope, b] = m_buttons[i];
        const bool selected = scope == m_scope;
        CapsuleStyle style;
        style.padX = 11;
        style.padY = 6;
        style.spacing = 6;
        style.fill = selected ? selectedFill : pal.card;
        style.border = selected ? QColor(Qt::transparent) : pal.outline;
        style.borderWidth = selected ? 0 : 1;
        b->setCapsule(style);
        const QColor title = selected ? selectedText : pal.text;
        const QColor figure = selected ? withAlpha(selectedText, 0.85) : pal.secondary;
        b->setRuns({{QString::fromUtf8(scope.title()), Dazu::text(12, FontWeight::semibold), title},
                    {m_figures[i], Dazu::mono(11.5, Dazu::MonoFace::medium), figure}});
        if (b->isChecked() != selected) b->setChecked(selected);
    }
    int height = 0;
    for (const auto& entry : m_buttons)
        height = std::max(height, entry.second->sizeHint().height());
    m_scroll->setFixedHeight(height + 2);

    QPalette p = m_private->palette();
    p.setColor(QPalette::WindowText, pal.secondary);
    // The style draws the box's edge in the window colour darkened by 140 and
    // lightened by 110; on the dark window that edge vanished. The box draws no
    // background, so its window colour only sets that edge: the outline colour.
    const QColor edge = pal.outline.toHsv();
    const int value = std::min(255, static_cast<int>(std::lround(edge.value() * 140.0 / 110.0)));
    p.setColor(QPalette::Window, QColor::fromHsv(edge.hsvHue(), edge.hsvSaturation(), value));
    p.setColor(QPalette::Disabled, QPalette::WindowText, withAlpha(pal.secondary, 0.5));
    m_private->setPalette(p);
}

void ScopeBar::present(const WindowView& view) {
    bool dirty = m_first || view.dark != m_dark || view.scope != m_scope;
    m_first = false;
    m_dark = view.dark;
    m_scope = view.scope;
    // The figures count ticked rows of the whole result, so they change only
    // with a new set of rows (a scan, a tick, a clean), never with the query.
    if (view.store != m_store) {
        m_store = view.store;
        for (std::size_t i = 0; i < m_buttons.size(); ++i) {
            const int64_t bytes =
                m_store ? scopeTickedBytes(m_store->items, m_buttons[i].first) : 0;
            const QString figure = QString::fromStdString(scopeFigure(bytes));
            if (figure != m_figures[i]) {
                m_figures[i] = figure;
                dirty = true;
            }
        }
    }
    if (dirty) restyle();

    if (view.engine != nullptr) {
        m_private->setEnabled(!view.engine->scanning);
        if (m_private->isChecked() != view.engine->includePrivate) {
            const QSignalBlocker silent(m_private);
            m_private->setChecked(view.engine->includePrivate);
        }
    }
}

}  // namespace virirado

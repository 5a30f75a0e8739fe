#include "DetailsCards.hpp"

#include <QBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextLayout>
#include <cmath>

#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "OutsideFocusRing.hpp"
#include "Palette.hpp"
#include "PlainText.hpp"
#include "RowActions.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"
#include "VornFish.hpp"

namespace virirado {

namespace {

constexpr int kPathLines = 2;
// Names and titles wrap, but never without end.
constexpr int kNameLines = 6;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

ClampedLabel* label(const QString& text, const QFont& font, const QColor& color, int lines = 1,
                    Qt::TextElideMode elide = Qt::ElideRight) {
    auto* l = new ClampedLabel;
    l->setTextFont(font);
    l->setColor(color);
    l->setMaxLines(lines);
    l->setElide(elide);
    l->setText(text);
    return l;
}

// A thin rule in the stroke colour.
QWidget* divider(const Palette& pal) {
    auto* rule = new QWidget;
    rule->setFixedHeight(1);
    rule->setAutoFillBackground(true);
    QPalette p = rule->palette();
    p.setColor(QPalette::Window, pal.outline);
    rule->setPalette(p);
    return rule;
}

// The "info.circle" whose tip carries the row's explanations.
class InfoGlyph : public QWidget {
public:
    InfoGlyph(const std::string& tip, const QColor& color) : m_color(color) {
        setObjectName(QStringLiteral("explanation"));
        setFixedSize(13, 13);
        setToolTip(plainToolTip(tip));
        setAccessibleName(qs(tip));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        Symbols::paint(p, QStringLiteral("info.circle"), QRectF(1, 1, 11, 11), m_color);
    }

private:
    QColor m_color;
};

// A label, a flexible space and a figure.
QLayout* pairLine(QWidget* left, QWidget* right, int spacing = -1) {
    auto* line = new QHBoxLayout;
    if (spacing >= 0) line->setSpacing(spacing);
    line->addWidget(left, 1);
    line->addWidget(right, 0, Qt::AlignVCenter);
    return line;
}

QLayout* detailLine(const DetailLine& d, const Palette& pal) {
    auto* name = label(qs(d.label), Dazu::text(13.5, FontWeight::regular), pal.secondary);
    auto* value = label(qs(d.value), Dazu::mono(13, Dazu::MonoFace::medium), pal.text);
    return pairLine(name, value);
}

QLayout* titleLine(const std::string& title, const CardContext& c) {
    const Palette& pal = Palette::of(c.dark);
    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    auto* fish = new VornFish;
    fish->setDark(c.dark);
    fish->setFixedSize(26, 13);
    line->addWidget(fish, 0, Qt::AlignVCenter);
    auto* name = label(qs(title), Dazu::display(21, 700), pal.title, kNameLines);
    name->setObjectName(QStringLiteral("detailsTitle"));
    line->addWidget(name, 1, Qt::AlignVCenter);
    return line;
}

ClampedLabel* bigSize(const std::string& size, const Palette& pal) {
    auto* l = label(qs(size), Dazu::display(32, 800), pal.title);
    l->setObjectName(QStringLiteral("detailsSize"));
    return l;
}

CapsuleButton* smallButton(const QString& title, const QString& symbol, const Palette& pal) {
    auto* b = new CapsuleButton;
    b->setRuns({{title, Dazu::text(12, FontWeight::semibold), pal.text}});
    CapsuleStyle style;
    style.border = pal.outline;
    style.borderWidth = 1;
    style.padX = 10;
    style.padY = 6;
    style.spacing = 6;
    style.symbol = symbol;
    style.symbolSize = 12;
    style.symbolColor = pal.text;
    style.disabledOpacity = 0.35;
    b->setCapsule(style);
    b->setAccessibleName(title);
    return b;
}

CapsuleButton* tickToggle(ToggleFace face, const Palette& pal) {
    auto* b = new CapsuleButton;
    b->setObjectName(QStringLiteral("tickToggle"));
    const bool cleaning = face == ToggleFace::cleaning;
    const QString text = qs(toggleLabel(face));
    b->setRuns({{text, Dazu::text(14, FontWeight::semibold), cleaning ? pal.ink : pal.text}});
    CapsuleStyle style;
    style.fill = cleaning ? pal.orange : pal.card;
    style.border = cleaning ? pal.orange : pal.outline;
    style.borderWidth = 1;
    style.padY = 8;
    b->setCapsule(style);
    b->setAccessibleName(text);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    b->setEnabled(face != ToggleFace::lookOnly);
    return b;
}

QWidget* memberLine(const MemberLine& m, const CardContext& c) {
    const Palette& pal = Palette::of(c.dark);
    auto* line = new QWidget;
    line->setObjectName(QStringLiteral("member"));
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(
        label(qs(m.shown), Dazu::text(13.5, FontWeight::regular), pal.text, 1, Qt::ElideLeft), 1);
    row->addWidget(label(qs(m.size), Dazu::mono(12.5, Dazu::MonoFace::medium), pal.secondary));
    line->setContextMenuPolicy(Qt::CustomContextMenu);
    FileActions* files = &c.area.files;
    const RowMenu menu = RowMenu::make(m.path, m.name, false, false, c.home);
    QObject::connect(line, &QWidget::customContextMenuRequested, line,
                     [line, files, menu](const QPoint& pos) {
                         RowActions::popup(menu, *files, {}, line, line->mapToGlobal(pos));
                     });
    return line;
}

void freshOrOther(QBoxLayout* column, const DetailsContent& d, const Palette& pal) {
    column->setSpacing(8);
    column->addWidget(label(qs(d.title), Dazu::text(17, FontWeight::semibold), pal.text));
    auto* size = label(qs(d.size), Dazu::mono(36, Dazu::MonoFace::semibold), pal.text);
    size->setObjectName(QStringLiteral("detailsSize"));
    column->addWidget(size);
    if (d.face == DetailsFace::fresh) {
        column->addWidget(
            label(qs(d.subtitle), Dazu::mono(15, Dazu::MonoFace::medium), pal.secondary));
    }
}

void groupCard(QBoxLayout* column, const GroupCard& g, const CardContext& c) {
    const Palette& pal = Palette::of(c.dark);
    column->setSpacing(10);
    column->addLayout(titleLine(g.title, c));
    column->addWidget(bigSize(g.size, pal));
    auto* summary = label(qs(g.summary), Dazu::text(12, FontWeight::semibold), pal.accentText);
    summary->setObjectName(QStringLiteral("tickedSummary"));
    column->addWidget(summary);
    column->addWidget(divider(pal));
    for (const NameAndSize& r : g.rows) {
        auto* name = label(qs(r.name), Dazu::text(13.5, FontWeight::regular), pal.text);
        name->setObjectName(QStringLiteral("groupRow"));
        column->addLayout(pairLine(
            name, label(qs(r.size), Dazu::mono(12.5, Dazu::MonoFace::medium), pal.secondary), 8));
    }
    for (const DetailLine& d : g.details)
        column->addLayout(detailLine(d, pal));
}

QColor inkOf(SafetyInk ink, const Palette& pal) {
    switch (ink) {
        case SafetyInk::secondary:
            return pal.secondary;
        case SafetyInk::check:
            return pal.checkInk;
        case SafetyInk::safe:
            return pal.accentText;
        case SafetyInk::text:
            break;
    }
    return pal.text;
}

QLayout* safetyLine(const RowCard& r, const Palette& pal) {
    auto* line = new QHBoxLayout;
    line->setSpacing(5);
    auto* sentence = label(qs(r.safety.text), Dazu::text(12, FontWeight::semibold),
                           inkOf(r.safety.ink, pal), kNameLines);
    sentence->setObjectName(QStringLiteral("safetySentence"));
    line->addWidget(sentence, 0, Qt::AlignVCenter);
    if (!r.tip.empty()) line->addWidget(new InfoGlyph(r.tip, pal.secondary), 0, Qt::AlignVCenter);
    line->addStretch(1);
    return line;
}

QLayout* fileButtons(const RowCard& r, const CardContext& c) {
    const Palette& pal = Palette::of(c.dark);
    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    auto* reveal = smallButton(QStringLiteral("Reveal"), QStringLiteral("folder"), pal);
    auto* look = smallButton(QStringLiteral("Quick Look"), QStringLiteral("eye"), pal);
    reveal->setObjectName(QStringLiteral("reveal"));
    look->setObjectName(QStringLiteral("quickLook"));
    // The path as the row menu acts on it: trimmed, "~" expanded.
    reveal->setEnabled(r.actionPath.has_value());
    look->setEnabled(r.actionPath.has_value());
    FileActions* files = &c.area.files;
    const std::string path = r.actionPath.value_or("");
    QObject::connect(reveal, &QAbstractButton::clicked, reveal, [files, path] {
        if (!path.empty()) files->reveal(path);
    });
    QObject::connect(look, &QAbstractButton::clicked, look, [files, path] {
        if (!path.empty()) files->quickLook(path);
    });
    line->addWidget(reveal);
    line->addWidget(look);
    line->addStretch(1);
    return line;
}

void rowCard(QBoxLayout* column, QWidget* owner, const RowCard& r, const CardContext& c) {
    const Palette& pal = Palette::of(c.dark);
    column->setSpacing(8);
    column->addLayout(titleLine(r.row.name, c));
    if (r.shownPath) {
        auto* path = new SelectablePath(qs(*r.shownPath), Dazu::text(11, FontWeight::regular),
                                        pal.secondary);
        column->addWidget(path);
    }
    column->addSpacing(2);
    auto* size = bigSize(r.size, pal);
    size->setAccessibleName(qs(r.sizeSpoken));
    column->addWidget(size);
    column->addLayout(safetyLine(r, pal));
    column->addWidget(divider(pal));
    for (const DetailLine& d : r.details)
        column->addLayout(detailLine(d, pal));
    if (!r.members.empty()) {
        column->addWidget(
            label(QStringLiteral("Inside"), Dazu::text(13, FontWeight::semibold), pal.text));
        for (const MemberLine& m : r.members)
            column->addWidget(memberLine(m, c));
    }
    if (r.shownPath) column->addLayout(fileButtons(r, c));
    column->addSpacing(4);
    auto* toggle = tickToggle(r.toggle, pal);
    WindowActions* actions = &c.area.actions;
    const VadeRow row = r.row;
    QObject::connect(toggle, &QAbstractButton::clicked, owner,
                     [actions, row] { actions->toggle(row); });
    column->addWidget(toggle);
}

}  // namespace

void buildDetailsCard(QBoxLayout* column, QWidget* owner, const DetailsContent& content,
                      const CardContext& context) {
    const Palette& pal = Palette::of(context.dark);
    switch (content.face) {
        case DetailsFace::fresh:
        case DetailsFace::other:
            freshOrOther(column, content, pal);
            break;
        case DetailsFace::group:
            groupCard(column, *content.group, context);
            break;
        case DetailsFace::row:
            rowCard(column, owner, *content.row, context);
            break;
        case DetailsFace::pickRow: {
            auto* hint =
                label(qs(content.title), Dazu::text(15, FontWeight::medium), pal.secondary);
            hint->setObjectName(QStringLiteral("pickRow"));
            column->addWidget(hint);
            break;
        }
    }
}

// The path itself: a read-only text view without frame or scroll bars, so the
// path can be selected and copied whole even when it is longer than it shows.
// Its text starts at its edge, so the keyboard's ring stands around it.
class SelectablePath::Editor : public QPlainTextEdit {
public:
    Editor(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
        : QPlainTextEdit(parent) {
        setObjectName(QStringLiteral("detailsPath"));
        setAccessibleName(QStringLiteral("Path"));
        setFrameShape(QFrame::NoFrame);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setLineWrapMode(QPlainTextEdit::WidgetWidth);
        setFont(font);
        document()->setDocumentMargin(0);
        viewport()->setAutoFillBackground(false);
        setAutoFillBackground(false);
        QPalette p = palette();
        p.setColor(QPalette::Text, color);
        p.setColor(QPalette::Base, Qt::transparent);
        setPalette(p);
        setPlainText(text);
        setToolTip(plainToolTip(text));
        OutsideFocusRing::attach(this, QMargins(5, 3, 5, 3), 6);
    }
};

SelectablePath::SelectablePath(const QString& path, const QFont& font, const QColor& color,
                               QWidget* parent)
    : QWidget(parent), m_editor(new Editor(path, font, color, this)), m_font(font) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QString SelectablePath::text() const {
    return m_editor->toPlainText();
}

int SelectablePath::heightForWidth(int width) const {
    QTextLayout layout(m_editor->toPlainText(), m_font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double height = 0;
    for (int n = 0; n < kPathLines; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(std::max(1, width));
        height += line.height();
    }
    layout.endLayout();
    return std::max(1, static_cast<int>(std::ceil(height)));
}

QSize SelectablePath::sizeHint() const {
    return {200, heightForWidth(200)};
}

QSize SelectablePath::minimumSizeHint() const {
    return {0, heightForWidth(200)};
}

void SelectablePath::resizeEvent(QResizeEvent*) {
    m_editor->setGeometry(rect());
}

}  // namespace virirado

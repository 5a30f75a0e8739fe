// The grouped cleanup list: a caption, an accent rule and a scrolling column of
// group and row lines. Only the lines in view are laid out and painted, so ten
// thousand rows scroll as lightly as ten. Clicks, keys and menus go back to the
// window's actions; the list keeps nothing the window does not hand it. For
// assistive tools each line is an element, with its tick control inside it.
#pragma once

#include <QAbstractScrollArea>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Area.hpp"
#include "CleanupLines.hpp"
#include "ListKeys.hpp"
#include "ListLooks.hpp"
#include "PaintedAccessible.hpp"

namespace virirado {

class SelectionFade;

class CleanupList : public QAbstractScrollArea, public PaintedParts {
    Q_OBJECT
public:
    explicit CleanupList(AreaContext context, QWidget* parent = nullptr);

    // Takes the window's groups, selection, query and open groups; lays out
    // again only when they changed, and scrolls a newly selected line into view.
    void present(const WindowView& view);

    // The parts of a line the pointer can be over.
    enum class Part { none, button, tick, badge, name };
    struct Hit {
        std::size_t line = 0;
        Part part = Part::none;
        // In viewport coordinates.
        QRectF rect;
    };
    // What lies under a point of the viewport.
    std::optional<Hit> hitAt(QPointF pos) const;
    // Where line i is drawn in the viewport.
    QRectF lineRect(std::size_t i) const;
    // Where line i's tick control is, in the viewport.
    QRectF tickRect(std::size_t i) const;

    const std::vector<ListLine>& lines() const { return m_lines; }
    const std::vector<TreeGroup>& groups() const { return m_groups; }
    // How strongly line i shows selected now, from 0 to 1: a new selection
    // comes up over a short ease-out while the old one fades.
    double selectedWeight(std::size_t i) const;
    // What the tool tip says over a point of the viewport; empty for none.
    QString toolTipAt(QPointF pos) const;
    // What a screen reader says for line i.
    QString spokenLine(std::size_t i) const;

    // The lines as elements, in order; part 0 of a line is its tick control.
    int itemCount() const override;
    int partCount(int item) const override;
    PartFace face(PartId id) const override;
    QAccessible::Role partRole(PartId id) const override;
    void act(PartId id, const QString& action) override;
    std::optional<PartId> partAt(QPoint point) const override;
    std::optional<PartId> focusedPart() const override;
    // Groups whose rows fold under them: a tree, which a reader also enters
    // without asking each of thousands of lines for its role, as it does a list.
    QAccessible::Role widgetRole() const override { return QAccessible::Tree; }
    PaintedAccess& paintedAccess() override { return m_access; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    // What a visible line shows, worked out the first time it is drawn.
    struct LineLook {
        bool ready = false;
        QString text;
        QString fullName;
        Badge badge;
        QString badgeWord;
        double textWidth = 0;
        double sideWidth = 0;
        Figure figure;
        TickLook tick;
        QString count;
    };

    const LineLook& look(std::size_t i) const;
    std::string lineID(std::size_t i) const;
    ChildGeometry childParts(std::size_t i) const;
    GroupGeometry groupParts(std::size_t i) const;
    void paintGroupLine(QPainter& p, std::size_t i, const QRectF& rect) const;
    void paintChildLine(QPainter& p, std::size_t i, const QRectF& rect) const;
    void relayout();
    // The lines as they were, kept while tools are told what changed; only
    // while a tool listens or holds some of them.
    struct LinesBefore {
        bool watched = false;
        // Keeps the rows of `lines` alive.
        std::shared_ptr<const RowStore> store;
        std::vector<TreeGroup> groups;
        std::vector<ListLine> lines;
        bool forceOpen = false;
        std::set<std::string> expanded;
    };
    LinesBefore linesBefore(bool groupsGoing);
    void linesLaidOut(const LinesBefore& before);
    // Renames the held parts whose words changed and tells their changes of
    // state (ticked, folded); `moves` pairs each part's old place with its new one.
    void announceNewWords(const LinesBefore& before,
                          const std::vector<std::pair<PartId, PartId>>& moves);
    // The tick's checked, mixed and enabled states that changed, on part `id`.
    void tellTickStates(PartId id, const TickLook& from, const TickLook& to);
    void moveSelection(const std::optional<std::string>& selection);
    void announceSelection(std::optional<std::size_t> from);
    void updateScrollBars();
    void placeCaption();
    void scrollToLine(std::size_t i);
    void activate(const Hit& hit);
    // The row menu of line i, shown at `globalPos` until the user picks or leaves.
    void popupMenu(std::size_t i, QPoint globalPos, bool fromKeys);
    void apply(const ListIntent& intent);
    std::optional<ListKey> listKey(int key) const;

    AreaContext m_context;
    class Caption;
    Caption* m_caption;

    std::shared_ptr<const RowStore> m_store;
    std::vector<TreeGroup> m_groups;
    std::vector<ListLine> m_lines;
    ListLayout m_layout;
    mutable std::vector<LineLook> m_looks;
    std::optional<std::string> m_selection;
    std::optional<std::size_t> m_selectedLine;
    std::set<std::string> m_expanded;
    std::string m_home;
    bool m_forceOpen = false;
    bool m_dark = false;
    bool m_presented = false;
    std::optional<Hit> m_pressed;
    SelectionFade* m_fade;
    PaintedAccess m_access{this, this};
};

}  // namespace virirado

// The largest-files map inside the open Dazu bar: one cushion tile per row, a
// hover card, selection by click, ticking by double click, and the row menu.
// The tiles are drawn once into a picture; the pointer only repaints the tiles
// and the card it leaves and enters.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Area.hpp"
#include "MapLayout.hpp"
#include "PaintedAccessible.hpp"

class QMenu;

namespace virirado {

class FrameTicker;
class TileInk;
class SelectionFade;
class VornMascot;

// For assistive tools each tile is one button, named as it is painted and
// selected with its row; a press selects the row as a click does. A folded map
// has no tiles. From the keys, Tab and Shift+Tab walk the tiles in tile order,
// one stop each, before they leave the map; the tile the keys are on shows the
// focus ring and is the focused element, and Space presses it.
class LargestFilesMap : public QWidget, public PaintedParts {
    Q_OBJECT
public:
    explicit LargestFilesMap(AreaContext context, QWidget* parent = nullptr);
    ~LargestFilesMap() override;

    // The rows to map; `store` keeps them alive.
    void setRows(std::shared_ptr<const RowStore> store, const RowRefs& rows);
    void setSelection(const std::optional<std::string>& selection);
    void setScanning(bool scanning);
    void setScheme(bool dark);
    void setReduceMotion(bool reduce);
    void setHome(const std::string& home);
    // While the card opens: the map fades in and grows from 98 % at its top.
    void setAppear(double progress);
    // The card's outline in the map's coordinates; the band stays inside it.
    void setClipShape(const QPainterPath& shape);

    const std::vector<map::CushionTile>& tiles() const { return m_tiles; }
    const std::optional<std::string>& hoveredID() const { return m_hoveredID; }
    // The hover card's rectangle, empty while none shows.
    QRectF tooltipRect() const;
    // How strongly the selection ring shows on the tile of `rowID` now, from 0
    // to 1: it fades from the old tile to the new over a short ease-out.
    double ringWeight(const std::string& rowID) const;
    // The row menu a tile offers (what a right click shows).
    std::unique_ptr<QMenu> menuFor(std::size_t index);
    // The tile the keys are on, -1 for none.
    int focusedTile() const { return m_focusTile; }

    int itemCount() const override;
    PartFace face(PartId id) const override;
    void act(PartId id, const QString& action) override;
    std::optional<PartId> partAt(QPoint point) const override;
    std::optional<PartId> focusedPart() const override;
    QAccessible::Role widgetRole() const override { return QAccessible::Grouping; }
    PaintedAccess& paintedAccess() override { return m_access; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void relayout();
    // Tells tools what a new layout changed: the tiles, or only some names.
    void announceTiles(const std::vector<map::CushionTile>& before);
    void announceSelection(const std::optional<std::string>& before);
    int tileOf(const std::string& rowID) const;
    void renderBase();
    void paintHovered(QPainter& painter);
    void paintSelectionRings(QPainter& painter);
    int tileAt(QPointF point) const;
    void setHover(int index, std::optional<QPointF> point);
    QRect tileBounds(int index) const;
    QRect tooltipBounds() const;
    void placeMascot();
    void paintEmpty(QPainter& painter);
    // Moves the keys to tile `index` and tells tools.
    void focusTile(int index);
    void popupMenu(std::size_t index, QPoint globalPos, bool fromKeys);

    PaintedAccess m_access{this, this};
    AreaContext m_context;
    std::shared_ptr<const RowStore> m_store;
    RowRefs m_rows;
    std::vector<map::CushionTile> m_tiles;
    std::vector<map::CushionCase> m_cases;
    std::optional<std::string> m_selection;
    std::string m_home;
    bool m_scanning = false;
    bool m_dark = false;
    bool m_reduceMotion = true;
    double m_appear = 1;
    QPainterPath m_clip;
    std::unique_ptr<TileInk> m_ink;

    // Laid out for this width (the slot is always 140 high).
    int m_layoutWidth = -1;
    // Every tile as it looks without the pointer, drawn once per change.
    QImage m_base;
    bool m_baseValid = false;

    int m_focusTile = -1;
    int m_hovered = -1;
    std::optional<std::string> m_hoveredID;
    std::optional<QPointF> m_hoverPoint;

    FrameTicker* m_ticker;
    VornMascot* m_mascot;
    SelectionFade* m_fade;
};

}  // namespace virirado

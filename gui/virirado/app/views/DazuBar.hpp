// The Dazu bar: the disk as one band of water in a card, the legend under it,
// and, a click away, the largest-files map in the opened card. It grows and
// shrinks with the card, and the window's column follows its height.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "Area.hpp"
#include "CardShadow.hpp"
#include "DazuPaint.hpp"

namespace virirado {

class CardEdge;
class DazuLegend;
class DazuStrip;
class LargestFilesMap;
class MapHeading;
class SelectionFade;
class Timeline;

class DazuBar : public QWidget, public Area {
    Q_OBJECT
public:
    explicit DazuBar(AreaContext context, QWidget* parent = nullptr);
    ~DazuBar() override;

    void present(const WindowView& view) override;

    const DazuBarState& state() const { return m_state; }
    DazuStrip* strip() const { return m_strip; }
    LargestFilesMap* map() const { return m_map; }
    DazuLegend* legend() const { return m_legend; }
    // The card in the bar's coordinates, as it stands now.
    QRectF cardRect() const { return m_card; }
    // The map's slot: under the strip and the divider, 140 high when open.
    double mapTop() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    // The window behind the bar: the card's shadow falls on it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Look {
        double radius = 13;
        QColor fill;
        QColor border;
        double borderWidth = 1;
        QColor divider;
        QColor shadow;
        double shadowBlur = 20;
        QPointF shadowOffset;
    };

    void toggleExpanded(std::optional<bool> forceOpen);
    void animateOpen(bool open);
    void setOpen(double progress);
    void followFade();
    bool setPieces(const std::vector<VadePiece>& pieces);
    void arrange();
    void placeHeading();
    Look look() const;
    QPainterPath cardPath(double radius) const;
    void watchHost();
    void refreshShadow();

    AreaContext m_context;
    DazuBarState m_state;
    std::vector<VadePiece> m_pieces;
    std::vector<TargetShare> m_target;
    std::shared_ptr<const RowStore> m_store;
    RowRefs m_rows;
    bool m_presented = false;

    DazuStrip* m_strip;
    // Made anew each time the card is asked open: a reader keeps the states it
    // read of an element that was hidden, and Qt tells it only "showing" again.
    QPointer<MapHeading> m_heading;
    LargestFilesMap* m_map;
    CardEdge* m_edge;
    DazuLegend* m_legend;
    Timeline* m_openSpring;
    Timeline* m_widthSpring;
    // The opening spring runs from one openness to the other.
    double m_openFrom = 0;
    double m_openTo = 0;
    SelectionFade* m_fade;
    int m_headerHeight;
    QRectF m_card;

    // What the shadow on the host was last invalidated for: the same shadow
    // again needs no repaint of the host, however often the bar rearranges.
    struct ShadowShape {
        QRectF card;
        double radius = 0;
        QRgb color = 0;
        double blur = 0;
        QPointF offset;
        bool operator==(const ShadowShape&) const = default;
    };

    QPointer<QWidget> m_host;
    QRect m_shadowArea;
    std::optional<ShadowShape> m_shadowShape;
    CardShadowPicture m_shadowPicture;
};

}  // namespace virirado

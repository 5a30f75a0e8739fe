// The header row: the sailfish and the title, the live pill outside snapshot
// mode, the volume line, the "Limited" capsule while the engine's access is
// limited, and the search bar at the right end.
#pragma once

#include <QWidget>

#include "Area.hpp"

namespace virirado {

class ClampedLabel;
class LivePill;
class RunsLabel;
class SearchBar;
class VornFish;

// "Limited" after a lock, in an outlined capsule; its tooltip is the engine's
// own note on what it cannot reach.
class LimitedCapsule : public QWidget {
    Q_OBJECT
public:
    explicit LimitedCapsule(QWidget* parent = nullptr);
    void setDark(bool dark);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_dark = false;
};

class HeaderBar : public QWidget, public Area {
    Q_OBJECT
public:
    explicit HeaderBar(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    SearchBar* searchBar() const { return m_search; }

private:
    VornFish* m_fish;
    RunsLabel* m_title;
    LivePill* m_live;
    ClampedLabel* m_volume;
    LimitedCapsule* m_limited;
    SearchBar* m_search;
    bool m_dark = false;
    bool m_first = true;
};

}  // namespace virirado

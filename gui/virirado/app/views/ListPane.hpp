// The left half of the window's middle row: the cleanup list whenever a row
// is visible, the scanning pane while a scan has nothing to show yet, else the
// empty state with the mascot and, before the first scan, "Start scan".
#pragma once

#include <QWidget>

#include "Area.hpp"
#include "ListPaneFace.hpp"

class QStackedLayout;

namespace virirado {

class CapsuleButton;
class ClampedLabel;
class CleanupList;
class ScanningPane;
class VornMascot;

class EmptyStatePanel : public QWidget {
    Q_OBJECT
public:
    EmptyStatePanel(AreaContext context, QWidget* parent = nullptr);
    void show(const EmptyTexts& texts, bool dark, bool reduceMotion);

    QString title() const;
    QString detail() const;
    CapsuleButton* startButton() const { return m_start; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeChildren();

    VornMascot* m_mascot;
    ClampedLabel* m_title;
    ClampedLabel* m_detail;
    CapsuleButton* m_start;
    bool m_dark = false;
    bool m_shown = false;
};

class ListPane : public QWidget, public Area {
    Q_OBJECT
public:
    explicit ListPane(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    ListFace face() const { return m_face; }
    CleanupList* list() const { return m_list; }
    EmptyStatePanel* emptyState() const { return m_empty; }

private:
    QStackedLayout* m_stack;
    CleanupList* m_list;
    ScanningPane* m_scanning;
    EmptyStatePanel* m_empty;
    ListFace m_face = ListFace::empty;
};

}  // namespace virirado

// The right-hand column: what the selection points at, explained. The card is
// rebuilt only when what it says changes, not on every refresh of the window.
#pragma once

#include <QWidget>

#include "Area.hpp"
#include "DetailsContent.hpp"

class QScrollArea;

namespace virirado {

class DetailsPane : public QWidget, public Area {
    Q_OBJECT
public:
    explicit DetailsPane(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    const DetailsContent& content() const { return m_content; }
    // How many times the card has been built: once per change of what it says.
    int builds() const { return m_builds; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    // The control of the new `body` named as the one of the old card that
    // holds the keys, which then lets go of them; none when there is no such
    // pair. `m_heirByKeys` says whether the keyboard brought them.
    QWidget* focusHeir(QWidget* body);

    AreaContext m_context;
    QScrollArea* m_scroll;
    class Frame;
    Frame* m_frame;
    class Shadow;
    Shadow* m_shadow;
    DetailsContent m_content;
    std::string m_home;
    bool m_dark = false;
    bool m_built = false;
    bool m_heirByKeys = false;
    int m_builds = 0;
};

}  // namespace virirado

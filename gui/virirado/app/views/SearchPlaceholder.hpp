// The search field in its simplest form: a plain text field bound to the
// window's query and focus, until the search bar proper takes its place.
#pragma once

#include <QLineEdit>

#include "Area.hpp"

namespace virirado {

class SearchPlaceholder : public QLineEdit, public Area {
    Q_OBJECT
public:
    explicit SearchPlaceholder(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    AreaContext m_context;
};

// The banner's place: shown only while the engine client holds a message.
class BannerPlaceholder : public QWidget, public Area {
    Q_OBJECT
public:
    explicit BannerPlaceholder(QWidget* parent = nullptr);
    void present(const WindowView& view) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_dark = false;
};

}  // namespace virirado

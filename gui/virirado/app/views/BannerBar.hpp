// The banner: the engine client's one-line message with an information symbol
// and "Dismiss", shown only while the client holds a message. A new message
// replaces the shown one in place.
#pragma once

#include <QWidget>
#include <optional>

#include "Area.hpp"

namespace virirado {

class CapsuleButton;
class ClampedLabel;
class SymbolIcon;

class BannerBar : public QWidget, public Area {
    Q_OBJECT
public:
    explicit BannerBar(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tellReader(const std::optional<QString>& message, bool speak);

    AreaContext m_context;
    SymbolIcon* m_symbol;
    ClampedLabel* m_text;
    CapsuleButton* m_dismiss;
    bool m_dark = false;
    bool m_first = true;
    // The message a reader was last told; none while no banner shows.
    std::optional<QString> m_told;
};

}  // namespace virirado

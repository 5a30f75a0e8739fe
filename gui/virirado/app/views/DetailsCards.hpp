// The cards of the details pane, built as widgets from the pane's plain
// content: the free-space and rest-of-disk panes, a group card, a row card and
// the "Pick a row." hint. Engine texts go into plain-text labels only.
#pragma once

#include <QWidget>

#include "Area.hpp"
#include "DetailsContent.hpp"

class QBoxLayout;

namespace virirado {

struct CardContext {
    AreaContext area;
    bool dark = false;
    std::string home;
};

// Fills `column` with the card for `content`.
void buildDetailsCard(QBoxLayout* column, QWidget* owner, const DetailsContent& content,
                      const CardContext& context);

// A path that can be selected and copied, wrapped anywhere, at most two lines.
class SelectablePath : public QWidget {
    Q_OBJECT
public:
    SelectablePath(const QString& path, const QFont& font, const QColor& color,
                   QWidget* parent = nullptr);
    QString text() const;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Editor;
    Editor* m_editor;
    QFont m_font;
};

}  // namespace virirado

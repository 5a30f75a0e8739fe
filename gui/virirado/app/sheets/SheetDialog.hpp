// A sheet over the main window: a window-modal dialog that never closes itself.
// Escape, the close button and every button report to the window; the window's
// sheet host closes the sheet when the item it shows goes away, so no way of
// leaving a sheet can skip what the window must do then. While a clean runs the
// close button is the window's close, as the quit key is.
#pragma once

#include <QDialog>

#include "Area.hpp"

namespace virirado {

class SheetDialog : public QDialog, public Area {
    Q_OBJECT
public:
    SheetDialog(AreaContext context, QWidget* parent);

    // Escape: the sheet's backing-out action.
    void reject() override;
    // Only the sheet host ends a sheet.
    void closeFromHost();
    // Gives the keys to the control a reader should land on, once the sheet is
    // open: a focus given before the dialog shows would come as a Tab's, and
    // show the keyboard's ring in every picture.
    void enterFocus();

signals:
    // The window manager's close on the sheet stands for closing the window.
    void windowCloseAsked();

protected:
    virtual void backOut() = 0;
    // Where the keys come in when the sheet opens; none leaves Qt's choice.
    virtual QWidget* firstFocus() const { return nullptr; }
    // The window manager's close: backs out, or asks to close the window while
    // a clean runs (`WindowActions::answerSheetClose`).
    void closeEvent(QCloseEvent* event) override;

    AreaContext m_context;

private:
    bool m_closing = false;
};

// Makes the sheet for each kind of item: the final confirmation for a clean
// preview, and the two single-row sheets for a pending request.
struct SheetMakers {
    std::function<SheetDialog*(AreaContext, QWidget* parent)> confirm;
    std::function<SheetDialog*(AreaContext, QWidget* parent)> checkFirst;
    std::function<SheetDialog*(AreaContext, QWidget* parent)> quickDeleteFirst;

    static SheetMakers standard();
};

}  // namespace virirado

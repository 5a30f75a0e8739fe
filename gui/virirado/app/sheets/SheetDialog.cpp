#include "SheetDialog.hpp"

#include <QCloseEvent>

#include "CheckFirstSheet.hpp"
#include "ConfirmSheet.hpp"
#include "QuickDeleteFirstSheet.hpp"

namespace virirado {

SheetDialog::SheetDialog(AreaContext context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Virirado"));
}

void SheetDialog::reject() {
    if (m_closing) {
        QDialog::reject();
        return;
    }
    backOut();
}

void SheetDialog::closeFromHost() {
    m_closing = true;
    QDialog::reject();
    deleteLater();
}

void SheetDialog::enterFocus() {
    if (QWidget* first = firstFocus()) first->setFocus();
}

void SheetDialog::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    if (m_context.actions.answerSheetClose() == SheetCloseAnswer::closeWindow) {
        emit windowCloseAsked();
        return;
    }
    backOut();
}

SheetMakers SheetMakers::standard() {
    SheetMakers m;
    m.confirm = [](AreaContext c, QWidget* parent) -> SheetDialog* {
        return new ConfirmSheet(c, parent);
    };
    m.checkFirst = [](AreaContext c, QWidget* parent) -> SheetDialog* {
        return new CheckFirstSheet(c, parent);
    };
    m.quickDeleteFirst = [](AreaContext c, QWidget* parent) -> SheetDialog* {
        return new QuickDeleteFirstSheet(c, parent);
    };
    return m;
}

}  // namespace virirado

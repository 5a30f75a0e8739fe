// How a test knows that a step has run before it checks that something did not
// happen, without waiting a fixed time: a check after a fixed wait passes on a
// machine too slow to have done the wrong thing yet.
#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace virirado::testing {

// A bound on a wait for something that does happen: only a hang reaches it,
// not a loaded machine or the sanitizers.
inline constexpr int kHangMs = 60000;

// A button's key clicks it a moment later, and the button shows pressed until
// then. Waits until no button of `root` is pressed: any click a key led to has
// happened.
inline bool clicksDone(QWidget* root) {
    const auto pressed = [root] {
        if (auto* self = qobject_cast<QAbstractButton*>(root); self && self->isDown()) return true;
        const auto buttons = root->findChildren<QAbstractButton*>();
        return std::any_of(buttons.begin(), buttons.end(),
                           [](const QAbstractButton* b) { return b->isDown(); });
    };
    return QTest::qWaitFor([&] { return !pressed(); }, kHangMs);
}

// No timer of `owner` (or of its children) runs: nothing it would do later
// is pending.
inline bool noTimerRuns(const QObject* owner) {
    const auto timers = owner->findChildren<QTimer*>();
    return std::none_of(timers.begin(), timers.end(),
                        [](const QTimer* t) { return t->isActive(); });
}

// What a step left for the next turn of the event loop has run.
inline void nextTurnDone() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

}  // namespace virirado::testing

// The main window's content with the demo result, and the cleanup list in it
// driven as a person would: clicks on a line or its tick, keys.
#pragma once

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "CleanupList.hpp"
#include "WindowHarness.hpp"

namespace virirado::testing {

struct ListHarness : WindowHarness {
    CleanupList* list = nullptr;

    explicit ListHarness(const std::function<void(WindowServices&)>& tweak = {})
        : WindowHarness(tweak) {
        show();
        loadDemo();
        list = find<CleanupList>("cleanupList");
    }
    WindowModel& model() { return content->model(); }

    std::optional<std::size_t> lineOf(const std::string& id) const {
        return lineIndex(list->lines(), list->groups(), id);
    }
    // A point inside line `id`: on its title or name, or on its tick control.
    QPoint pointIn(const std::string& id, bool onTick = false) const {
        const auto i = lineOf(id);
        EXPECT_TRUE(i.has_value()) << id;
        const QRectF rect = list->lineRect(i.value_or(0));
        const double x = onTick ? rect.right() - 10 - 13 : 64;
        return QPointF(x, rect.center().y()).toPoint();
    }
    void click(const std::string& id, bool onTick = false) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, pointIn(id, onTick));
        settle();
    }
    // Every group open: more lines than the list shows.
    void openEveryGroup() {
        std::set<std::string> all;
        for (const TreeGroup& g : list->groups())
            all.insert(g.key);
        model().setExpanded(all);
        settle();
    }
    void press(Qt::Key key) {
        QTest::keyClick(list, key);
        settle();
    }
    bool ticksSent() const {
        return std::any_of(engine.calls.begin(), engine.calls.end(), [](const std::string& c) {
            return c.starts_with("tick") || c.starts_with("untick");
        });
    }
};

}  // namespace virirado::testing

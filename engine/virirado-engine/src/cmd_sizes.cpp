#include <chrono>

#include "commands.hpp"
#include "json_out.hpp"
#include "options.hpp"
#include "output.hpp"
#include "sizes.hpp"

namespace virirado_engine {

int cmd_sizes(Args args) {
    auto home = args.value("--home");
    bwcore::Rules rules = load_rules(args.value("--config"));
    auto threads = args.num("--threads");
    bool generic = args.flag("--generic-lister");
    std::vector<std::string> paths = args.rest();
    for (const auto& p : paths)
        if (p.size() > 1 && p.rfind("--", 0) == 0) throw UsageError{};

    auto start = std::chrono::steady_clock::now();
    unsigned n = threads ? clamp_threads(*threads) : bwcore::scan::default_threads();
    std::optional<std::string> h = home && !home->empty() ? home : std::nullopt;
    auto rows = bwcore::sizes::measure_many(paths, h, rules, n, generic);
    nlohmann::json o = {{"v", 1},
                        {"engine", ENGINE_NAME},
                        {"version", VERSION},
                        {"elapsed_ms", ms_between(start, std::chrono::steady_clock::now())},
                        {"sizes", std::move(rows)}};
    return write_json_line(o) ? 0 : 1;
}

int cmd_rules() {
    return write_stdout(to_text(bwcore::rules::to_json(bwcore::Rules::defaults()), true) + "\n")
               ? 0
               : 1;
}

}  // namespace virirado_engine

#pragma once
// The commands of virirado-engine. Each returns the exit status; argument errors are thrown as
// UsageError and fatal errors as ExitError, both turned into output by main.
#include "args.hpp"

namespace virirado_engine {

int cmd_scan(Args args);
int cmd_sizes(Args args);
int cmd_rules();
int cmd_tree(Args args);
int cmd_serve(Args args);
int cmd_serve_full(Args args);

}  // namespace virirado_engine

// The app's two looks at a preview before anything is deleted, both run off
// the main thread on copies: the preview check before the sheet shows the
// rows, and the re-check at the confirmation. Each row is judged by the delete
// guards and against the records of the scan, by text and by place on disk.
#pragma once

#include <string>
#include <vector>

#include "AsScanned.hpp"
#include "Model.hpp"

namespace virirado {

// The preview as it may be shown: each row as strict as the records at or
// inside its place on disk ask, and the rows the guards hold back.
struct CheckedPreview {
    PreviewPayload payload;
    std::vector<HeldRow> held;
};

CheckedPreview previewCheck(PreviewPayload payload, const AsScanned& scanned,
                            const std::string& home);

// The last look at the disk before the engine is asked to delete, against the
// records as they are now: a row they judge stricter than the sheet showed it
// would go without the code it now needs. The held rows, in order.
std::vector<HeldRow> recheck(const PreviewPayload& payload, const AsScanned& scanned,
                             const std::string& home);

}  // namespace virirado

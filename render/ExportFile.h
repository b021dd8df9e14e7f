// The file an export writes, through the safe writer (safefile/SafeFile.h): nothing reaches the
// target until commit() succeeds; otherwise the target stays as it was.
#pragma once

#include "render/TapeExport.h"
#include "safefile/SafeFile.h"

#include <cairo.h>

#include <string>

namespace tw {

class ExportFile {
public:
    explicit ExportFile(std::string target);
    ExportFile(const ExportFile &) = delete;
    ExportFile &operator=(const ExportFile &) = delete;

    // Checks the target and prepares the write: errExportCreate with the writer's words when
    // the target is refused or nothing can be made.
    ExportResult open();
    bool write(const void *data, std::size_t length) { return file_.write(data, length); }
    // Puts the complete file in the target's place: errExportWrite with the writer's words.
    ExportResult commit();
    // The writer's words for a write that failed, or an empty text.
    std::string writeFailure() const { return file_.writeFailure().message; }

    // A Cairo write function with an ExportFile as closure.
    static cairo_status_t cairoWrite(void *closure, const unsigned char *data, unsigned length);

private:
    std::string target_;
    SafeFile file_;
};

} // namespace tw

// The file an export writes: a temporary file beside the target that takes the target's place
// only when commit() succeeds; otherwise it is removed and the target stays as it was.
#pragma once

#include "render/TapeExport.h"

#include <cairo.h>

#include <string>

namespace tw {

class ExportFile {
public:
    explicit ExportFile(std::string target);
    ~ExportFile();
    ExportFile(const ExportFile &) = delete;
    ExportFile &operator=(const ExportFile &) = delete;

    // Creates the temporary file; a failure names the folder and the system's reason.
    ExportResult open();
    bool write(const void *data, std::size_t length);
    // Syncs, closes and renames the file into the target's place.
    ExportResult commit();

    // A Cairo write function with an ExportFile as closure.
    static cairo_status_t cairoWrite(void *closure, const unsigned char *data, unsigned length);

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int errno_ = 0; // of the first failed write
};

} // namespace tw

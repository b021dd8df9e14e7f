#include "render/ExportFile.h"

namespace tw {

ExportFile::ExportFile(std::string target) : target_(std::move(target)) {}

ExportResult ExportFile::open() {
    if (SafeFileStatus s = file_.open(target_); !s)
        return {errExportCreate, s.message};
    return {};
}

ExportResult ExportFile::commit() {
    if (SafeFileStatus s = file_.commit(); !s)
        return {errExportWrite, s.message};
    return {};
}

cairo_status_t ExportFile::cairoWrite(void *closure, const unsigned char *data, unsigned length) {
    return static_cast<ExportFile *>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS
                                                                   : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace tw

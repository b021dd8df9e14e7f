#include "render/TapeExport.h"

#include "render/ExportParts.h"

#include <algorithm>
#include <cctype>

namespace tw {

bool exportFormatOf(const std::string &path, ExportFormat &format) {
    const std::string::size_type dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    std::string ext = path.substr(dot + 1);
    for (char &c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "png")
        format = ExportFormat::png;
    else if (ext == "svg")
        format = ExportFormat::svg;
    else if (ext == "pdf")
        format = ExportFormat::pdf;
    else if (ext == "dxf")
        format = ExportFormat::dxf;
    else
        return false;
    return true;
}

std::string withExtension(const std::string &path, const char *extension) {
    // A dot that begins the name (".hidden") starts no extension.
    const std::string::size_type slash = path.rfind('/');
    const std::string::size_type nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string::size_type dot = path.rfind('.');
    const bool hasDot = dot != std::string::npos && dot > nameStart;
    return (hasDot ? path.substr(0, dot) : path) + extension;
}

ExportResult exportTape(const ScoreModel &model, const ExportOptions &options,
                        const std::string &path, ExportProgress *progress) {
    BoardView view;
    if (!pictureView(model, view))
        return {errExportNoNotes, model.notes().empty() ? "the melody has no notes to export"
                                                        : "no notes on the shown channels"};
    const ProgressTicker ticker(progress);
    ExportFile file(path);
    if (ExportResult r = file.open(); !r)
        return r;
    ExportResult r;
    switch (options.format) {
    case ExportFormat::png:
        r = writeBoardPng(model, view, file, ticker);
        break;
    case ExportFormat::svg:
        r = writeBoardSvg(model, view, file, ticker);
        break;
    case ExportFormat::pdf:
        r = options.instrument.geometry ? writeTapePdf(model, options, file, ticker)
                                        : writeBoardPdf(model, view, options, file, ticker);
        break;
    case ExportFormat::cutSvg:
    case ExportFormat::dxf:
        r = writeCutFile(model, options, file, ticker);
        break;
    }
    if (!r) {
        // A failed write (a full disk) is said in the writer's words.
        if (const std::string why = file.writeFailure(); r.code == errExportWrite && !why.empty())
            r.reason = why;
        return r;
    }
    // A request that came too late to stop the drawing still leaves no file.
    if (ticker.cancelled())
        return ProgressTicker::cancelledResult();
    const unsigned pages = std::max(r.pages, 1u); // a cut file is one piece of work
    r = file.commit();
    r.pages = pages;
    return r;
}

} // namespace tw

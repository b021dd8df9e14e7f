// The whole melody as the board draws it, into PNG, SVG and a PDF scaled to the page height.
#include "render/ExportParts.h"
#include "render/IndexedPainter.h"
#include "render/PdfPainter.h"
#include "render/PdfWriter.h"
#include "render/PngRows.h"
#include "render/SvgPainter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tw {

bool pictureView(const ScoreModel &model, BoardView &view) {
    unsigned low = 127, high = 0;
    uint64_t end = 0;
    bool any = false;
    for (const TapeNote &n : model.notes()) {
        if (!model.isChannelShown(n) || n.note > 127)
            continue;
        any = true;
        low = std::min<unsigned>(low, n.note);
        high = std::max<unsigned>(high, n.note);
        end = std::max(end, uint64_t(n.start) + n.length);
    }
    view = BoardView();
    view.bottomNote = any ? low : 0;
    view.visibleRows = any ? high - low + 1 : 0;
    view.visibleTicks = unsigned(end);
    return any;
}

BoardArea pictureArea(const BoardView &view, const BoardSizes &sizes) {
    // The inverse of the widget's visible area: (w - 1) / tick width columns and
    // (h - strip - margin) / row height rows.
    const long long w = (long long)view.visibleTicks * view.tickWidth + 1;
    const long long h =
        (long long)view.visibleRows * view.rowHeight + sizes.labelStrip + sizes.bottomMargin;
    return {0, 0, int(std::min(w, maxPictureSide + 1)), int(std::min(h, maxPictureSide + 1))};
}

namespace {

ExportResult drawingFailed(cairo_status_t status) {
    return {errExportDrawing, std::string("drawing failed: ") + cairo_status_to_string(status)};
}

ExportResult tooLarge(const BoardArea &a) {
    if (a.w <= maxPictureSide && a.h <= maxPictureSide)
        return {};
    return {errExportTooLarge,
            "the picture would be wider than " + std::to_string(maxPictureSide) + " pixels"};
}

} // namespace

ExportResult writeBoardPng(const ScoreModel &model, const BoardView &view, ExportFile &file,
                           ProgressTicker ticker) {
    const BoardArea area = pictureArea(view);
    if (ExportResult r = tooLarge(area); !r)
        return r;
    const BoardLayout layout(model, view, area);
    const std::size_t width = std::size_t(area.w);
    // First the survey of the colours filled and of the rows that text reaches, then those rows
    // drawn for the colours of the text's edges: then the colours are known before the PNG's
    // header, which has a palette when they are few enough.
    IndexedPainter painter(area.w, area.h);
    drawBoard(painter, layout);
    const int stripRows = int(std::clamp<std::size_t>((std::size_t(16) << 20) / width, 1, 1024));
    std::vector<uint16_t> pixels(width * std::size_t(stripRows));
    const std::vector<std::pair<int, int>> cairoRows = painter.rowsDrawnByCairo();
    for (int y0 = 0; y0 < area.h && !painter.overflowed(); y0 += stripRows) {
        const int h = std::min(stripRows, area.h - y0);
        for (const auto &rows : cairoRows)
            if (rows.first < y0 + h && y0 < rows.second) {
                painter.setStrip(y0, h, pixels.data());
                drawBoard(painter, layout);
                break;
            }
    }
    if (painter.overflowed())
        return {errExportDrawing, "drawing failed: the picture has more than 65536 colours"};
    painter.freezePalette();
    const std::vector<uint32_t> &colours = painter.palette();
    const bool indexed = colours.size() <= 256;

    PngRunWriter writer([&file](const unsigned char *data, std::size_t length) {
        return file.write(data, length);
    });
    if (!writer.start(unsigned(area.w), unsigned(area.h),
                      indexed ? colours : std::vector<uint32_t>(), view.tickWidth))
        return {errExportWrite, "cannot write the PNG file"};
    std::vector<unsigned char> bytes(width * (indexed ? 1 : 3));
    std::vector<uint16_t> above(width); // the last row of the strip before
    ticker.setTotal(uint64_t((area.h + stripRows - 1) / stripRows));
    for (int y0 = 0; y0 < area.h; y0 += stripRows) {
        if (ticker.cancelled())
            return ProgressTicker::cancelledResult();
        ticker.step();
        const int h = std::min(stripRows, area.h - y0);
        painter.setStrip(y0, h, pixels.data());
        drawBoard(painter, layout);
        if (painter.paletteChanged())
            return {errExportDrawing, "drawing failed: a colour was missed by the survey"};
        for (int y = 0; y < h; ++y) {
            const uint16_t *row = pixels.data() + std::size_t(y) * width;
            const uint16_t *last = y > 0 ? row - width : above.data();
            bool written;
            if (y0 + y > 0 && std::memcmp(row, last, width * sizeof *row) == 0) {
                written = writer.repeatRow();
            } else {
                if (indexed)
                    std::copy(row, row + width, bytes.begin());
                else
                    for (std::size_t x = 0; x < width; ++x) {
                        const uint32_t c = colours[row[x]];
                        bytes[3 * x] = uint8_t(c >> 16);
                        bytes[3 * x + 1] = uint8_t(c >> 8);
                        bytes[3 * x + 2] = uint8_t(c);
                    }
                written = writer.row(bytes.data());
            }
            if (!written)
                return {errExportWrite, "cannot write the PNG file"};
        }
        std::copy(pixels.data() + std::size_t(h - 1) * width,
                  pixels.data() + std::size_t(h) * width, above.begin());
    }
    if (!writer.finish())
        return {errExportWrite, "cannot write the PNG file"};
    return {exportOk, {}, 1};
}

ExportResult finishSurface(cairo_surface_t *surface, cairo_t *cr) {
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status == CAIRO_STATUS_WRITE_ERROR)
        return {errExportWrite, "cannot write the file"};
    if (status != CAIRO_STATUS_SUCCESS)
        return drawingFailed(status);
    return {};
}

ExportResult writeBoardSvg(const ScoreModel &model, const BoardView &view, ExportFile &file,
                           ProgressTicker ticker) {
    const BoardArea area = pictureArea(view);
    if (ExportResult r = tooLarge(area); !r)
        return r;
    // Written as it is drawn: the picture is never held whole. The progress counts the
    // painter's writes out of about one per note, tick and row.
    SvgPainter painter(file, area.w, area.h, &ticker);
    ticker.setTotal(model.notes().size() + view.visibleTicks + view.visibleRows + 1);
    drawBoard(painter, BoardLayout(model, view, area));
    if (ticker.cancelled())
        return ProgressTicker::cancelledResult();
    if (!painter.finish())
        return {errExportWrite, "cannot write the SVG file"};
    return {exportOk, {}, 1};
}

ExportResult writeBoardPdf(const ScoreModel &model, const BoardView &view,
                           const ExportOptions &options, ExportFile &file, ProgressTicker ticker) {
    const BoardArea area = pictureArea(view);
    if (ExportResult r = tooLarge(area); !r)
        return r;
    const PaperMm paper = paperSize(options.paper);
    const double pageW = paper.width * pointsPerMm, pageH = paper.height * pointsPerMm;
    const double margin = pageMarginMm * pointsPerMm;
    // The picture's height fills the page between the margins; its width runs over pages.
    const double scale = (pageH - 2 * margin) / area.h;
    const double sliceWidth = (pageW - 2 * margin) / scale; // picture pixels per page
    const auto pages = (long long)std::ceil(area.w / sliceWidth);
    if (pages > maxExportPages)
        return {errExportTooLarge, "the melody would need " + std::to_string(pages) +
                                       " pages, more than " + std::to_string(maxExportPages)};
    PdfWriter writer(
        [&file](const void *data, std::size_t length) { return file.write(data, length); });
    const auto failed = [&writer]() -> ExportResult {
        if (writer.sinkFailed())
            return {errExportWrite, "cannot write the file"};
        if (writer.fonts().status() != CAIRO_STATUS_SUCCESS)
            return drawingFailed(writer.fonts().status());
        return {errExportDrawing, "drawing failed: the page could not be compressed"};
    };
    if (!writer.start(pageW, pageH, options.sourceName))
        return failed();
    const BoardLayout layout(model, view, area);
    // Every page draws within its margins.
    std::string frame = "q\n";
    for (const double v : {margin, margin, pageW - 2 * margin, pageH - 2 * margin}) {
        appendPdfNumber(frame, v);
        frame += ' ';
    }
    frame += "re W n\n";
    std::string content;
    ticker.setTotal(uint64_t(pages));
    for (long long page = 0; page < pages; ++page) {
        if (ticker.cancelled())
            return ProgressTicker::cancelledResult();
        ticker.step();
        // The page's slice is drawn in picture pixels from its left edge, then placed on the
        // page scaled: small whole numbers, short to write.
        const double x0 = page * sliceWidth;
        const int cullX = int(x0), cullW = int(std::ceil(sliceWidth)) + 1;
        content = frame;
        for (const double v :
             {scale, 0.0, 0.0, -scale, margin - (x0 - cullX) * scale, pageH - margin}) {
            appendPdfNumber(content, v, 6);
            content += ' ';
        }
        content += "cm\n";
        bool drawn;
        {
            PdfPainter painter(content, writer.fonts(), cullX, 0, cullX + cullW, area.h);
            painter.setVisible(x0, x0 + sliceWidth);
            drawBoard(painter, layout);
            painter.flush();
            drawn = painter.ok();
        }
        if (!drawn)
            return failed();
        const std::string footer = options.sourceName + "  page " + std::to_string(page + 1) +
                                   " of " + std::to_string(pages);
        content += "Q\n0 g\n";
        if (!writer.fonts().show(content, 0, 8, footer, margin, margin / 2, false) ||
            !writer.page(content))
            return failed();
    }
    if (!writer.finish())
        return failed();
    return {exportOk, {}, unsigned(pages)};
}

} // namespace tw

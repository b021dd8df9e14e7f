// The whole melody as the board draws it, into PNG, SVG and a PDF scaled to the page height.
#include "render/CairoPainter.h"
#include "render/ExportParts.h"
#include "render/PngRows.h"
#include "render/SvgPainter.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace tw {

bool pictureView(const ScoreModel &model, BoardView &view) {
    unsigned low = 127, high = 0;
    uint64_t end = 0;
    bool any = false;
    for (const TapeNote &n : model.notes()) {
        if (!model.isChannelShown(n) || n.note > 127)
            continue;
        any = true;
        low = std::min(low, n.note);
        high = std::max(high, n.note);
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

// Draws the part (x0, y0, w, h) of the board into `surface` (at least w x h; one surface serves
// every tile) and copies it into rgb, whose rows are `stride` bytes long.
cairo_status_t drawTile(const BoardLayout &layout, cairo_surface_t *surface, int x0, int y0, int w,
                        int h, unsigned char *rgb, std::size_t stride) {
    cairo_t *cr = cairo_create(surface);
    cairo_translate(cr, -x0, -y0);
    CairoPainter painter(cr);
    painter.setCull(x0, y0, w, h);
    drawBoard(painter, layout);
    painter.flush();
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_status(surface);
    if (status == CAIRO_STATUS_SUCCESS) {
        const unsigned char *data = cairo_image_surface_get_data(surface);
        const int sourceStride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < h; ++y) {
            const uint32_t *from = reinterpret_cast<const uint32_t *>(data + y * sourceStride);
            unsigned char *to = rgb + y * stride + std::size_t(x0) * 3;
            for (int x = 0; x < w; ++x, to += 3) {
                to[0] = uint8_t(from[x] >> 16);
                to[1] = uint8_t(from[x] >> 8);
                to[2] = uint8_t(from[x]);
            }
        }
    }
    return status;
}

} // namespace

ExportResult writeBoardPng(const ScoreModel &model, const BoardView &view, ExportFile &file,
                           ProgressTicker ticker) {
    const BoardArea area = pictureArea(view);
    if (ExportResult r = tooLarge(area); !r)
        return r;
    const BoardLayout layout(model, view, area);
    PngRowWriter writer([&file](const unsigned char *data, std::size_t length) {
        return file.write(data, length);
    });
    // The board is large areas of one colour: the fastest deflate level with the "up" filter
    // packs it nearly as tight as the default and several times faster.
    PngRowWriter::Options options;
    options.compressionLevel = 1;
    options.upFilter = true;
    if (!writer.start(unsigned(area.w), unsigned(area.h), PngRowWriter::Pixels::rgb, options))
        return {errExportWrite, "cannot write the PNG file"};
    // Cairo's images are at most 32767 pixels wide: the picture is drawn in tiles, a strip of
    // rows at a time.
    constexpr int bandWidth = 8192;
    const std::size_t stride = std::size_t(area.w) * 3;
    const int stripRows = int(std::clamp<std::size_t>((std::size_t(32) << 20) / stride, 1, 256));
    std::vector<unsigned char> rgb(stride * std::size_t(stripRows));
    std::vector<unsigned char *> rows(std::size_t(stripRows), nullptr);
    // The drawing covers every pixel of a tile (the board's white ground first), so one surface
    // serves them all.
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::min(bandWidth, area.w), stripRows),
        cairo_surface_destroy);
    ticker.setTotal(uint64_t((area.h + stripRows - 1) / stripRows) *
                    uint64_t((area.w + bandWidth - 1) / bandWidth));
    for (int y0 = 0; y0 < area.h; y0 += stripRows) {
        const int h = std::min(stripRows, area.h - y0);
        for (int x0 = 0; x0 < area.w; x0 += bandWidth) {
            if (ticker.cancelled())
                return ProgressTicker::cancelledResult();
            ticker.step();
            const cairo_status_t status =
                drawTile(layout, surface.get(), x0, y0, std::min(bandWidth, area.w - x0), h,
                         rgb.data(), stride);
            if (status != CAIRO_STATUS_SUCCESS)
                return drawingFailed(status);
        }
        for (int y = 0; y < h; ++y)
            rows[std::size_t(y)] = rgb.data() + std::size_t(y) * stride;
        if (!writer.rows(rows.data(), unsigned(h)))
            return {errExportWrite, "cannot write the PNG file"};
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
    cairo_surface_t *surface =
        cairo_pdf_surface_create_for_stream(ExportFile::cairoWrite, &file, pageW, pageH);
    if (!options.sourceName.empty())
        cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                       options.sourceName.c_str());
    cairo_t *cr = cairo_create(surface);
    const BoardLayout layout(model, view, area);
    ticker.setTotal(uint64_t(pages));
    for (long long page = 0; page < pages; ++page) {
        if (ticker.cancelled()) {
            finishSurface(surface, cr);
            return ProgressTicker::cancelledResult();
        }
        ticker.step();
        const double x0 = page * sliceWidth;
        cairo_save(cr);
        cairo_rectangle(cr, margin, margin, pageW - 2 * margin, pageH - 2 * margin);
        cairo_clip(cr);
        cairo_translate(cr, margin - x0 * scale, margin);
        cairo_scale(cr, scale, scale);
        CairoPainter painter(cr);
        painter.setCull(int(x0), 0, int(std::ceil(sliceWidth)) + 1, area.h);
        drawBoard(painter, layout);
        painter.flush();
        cairo_restore(cr);
        const std::string footer = options.sourceName + "  page " + std::to_string(page + 1) +
                                   " of " + std::to_string(pages);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 8);
        cairo_move_to(cr, margin, pageH - margin / 2);
        cairo_show_text(cr, footer.c_str());
        cairo_show_page(cr);
    }
    ExportResult r = finishSurface(surface, cr);
    if (r)
        r.pages = unsigned(pages);
    return r;
}

} // namespace tw

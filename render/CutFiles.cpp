#include "render/CutFiles.h"

#include "render/ExportParts.h"

#include <dl_dxf.h>
#include <dl_writer_ascii.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <new>

namespace tw {

namespace {

constexpr double textMm = 2.5;
constexpr double alignLineMm = 6; // how far an alignment line reaches beyond the join
constexpr double ringGapMm = 1;   // between a hole and the ring around it

enum class Layer { cut, mark };

// What a cut file draws, in layout millimetres (y upwards); the file writes it.
class CutSink {
public:
    virtual ~CutSink() = default;
    virtual void circle(double x, double y, double r) = 0;
    virtual void slot(double x0, double x1, double y, double r) = 0;
    virtual void polygon(const std::vector<std::pair<double, double>> &points) = 0;
    virtual void line(double x0, double y0, double x1, double y1) = 0;
    virtual void text(double x, double y, double height, const std::string &s) = 0;
    virtual void beginGroup(Layer, unsigned /*piece*/) {}
    virtual void endGroup() {}
    virtual bool failed() const { return false; }
};

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

// The heights of the alignment lines: between two tracks, near a quarter, the middle and
// three quarters of the width.
std::vector<double> alignHeights(const CutPlan &plan, unsigned tracks) {
    const TapeGeometry &g = plan.geometry;
    std::vector<double> out;
    for (double part : {0.25, 0.5, 0.75}) {
        double y = part * plan.widthMm;
        if (tracks > 1) {
            const double k = std::round((y - g.firstTrackMm) / g.trackPitchMm - 0.5);
            const double between =
                g.firstTrackMm + (std::clamp(k, 0.0, double(tracks - 2)) + 0.5) * g.trackPitchMm;
            y = between;
        }
        out.push_back(y);
    }
    return out;
}

void drawPiece(CutSink &sink, Layer layer, const CutPlan &plan, const CutLayout &L, unsigned p,
               const ExportOptions &options) {
    const CutPiece &piece = plan.pieces[p];
    const double W = plan.widthMm;
    const auto X = [&](double x) { return L.x(plan, p, x); };
    const auto Y = [&](double y) { return L.y(plan, p, y); };
    sink.beginGroup(layer, p);
    if (layer == Layer::cut) {
        forEachHoleInCuttingOrder(plan, p, [&](const CutHole &h) {
            if (h.x1Mm > h.x0Mm)
                sink.slot(X(h.x0Mm), X(h.x1Mm), Y(h.yMm), h.radiusMm);
            else
                sink.circle(X(h.x0Mm), Y(h.yMm), h.radiusMm);
            return !sink.failed();
        });
        // The outline last, so that the piece stays in place while its holes are cut.
        sink.polygon({{X(piece.left.at(0, W)), Y(0)},
                      {X(piece.right.at(0, W)), Y(0)},
                      {X(piece.right.at(W, W)), Y(W)},
                      {X(piece.left.at(W, W)), Y(W)}});
        sink.endGroup();
        return;
    }
    const TapeGeometry &g = plan.geometry;
    const unsigned tracks = unsigned(options.instrument.notes.size());
    // Track guides, from edge to edge of the piece.
    for (unsigned t = 0; t < tracks; ++t) {
        const double y = g.firstTrackMm + t * g.trackPitchMm;
        if (y > 0 && y < W)
            sink.line(X(piece.left.at(y, W)), Y(y), X(piece.right.at(y, W)), Y(y));
    }
    // Alignment lines across each seam: the same lines on both pieces, through the join and
    // a little beyond, so that the later piece's lines continue the earlier one's.
    const double reach = g.joinMm + alignLineMm;
    for (double y : alignHeights(plan, tracks)) {
        const bool melodyLeft = !g.startRight;
        if (p + 1 < plan.pieces.size()) {
            const PieceEdge &e = melodyLeft ? piece.right : piece.left;
            const double x = e.at(y, W), toward = melodyLeft ? -reach : reach;
            sink.line(X(x + toward), Y(y), X(x), Y(y));
        }
        if (p > 0) {
            const PieceEdge &e = melodyLeft ? piece.left : piece.right;
            const double x = e.at(y, W), toward = melodyLeft ? reach : -reach;
            sink.line(X(x), Y(y), X(x + toward), Y(y));
        }
    }
    // Rings around both holes of each pair still too close.
    forEachHole(plan, p, [&](const CutHole &h) {
        if (plan.ringed[h.note])
            sink.circle(X((h.x0Mm + h.x1Mm) / 2), Y(h.yMm),
                        h.radiusMm + (h.x1Mm - h.x0Mm) / 2 + ringGapMm);
        return !sink.failed();
    });
    // The piece number and the title along the upper edge, at the piece's start.
    const double startX = std::max(piece.left.at(W, W), piece.left.at(0, W)) + 2;
    const double top = W - 1 - textMm;
    const double from = pieceSeconds(plan, piece).first;
    std::string label = "Piece " + std::to_string(p + 1) + " of " +
                        std::to_string(plan.pieces.size()) + "  from " + secondsText(from) + " s";
    if (p == 0)
        label += "  " + options.sourceName + "  " + options.instrument.name;
    sink.text(X(startX), Y(top), textMm, label);
    sink.endGroup();
}

// Piece by piece, the cut layer and then the mark layer; every group counts a step.
void drawAll(CutSink &sink, const CutPlan &plan, const ExportOptions &options,
             ProgressTicker &ticker) {
    const CutLayout L = cutLayout(plan);
    for (Layer layer : {Layer::cut, Layer::mark})
        for (unsigned p = 0; p < plan.pieces.size() && !sink.failed(); ++p) {
            drawPiece(sink, layer, plan, L, p, options);
            ticker.step();
        }
}

// ---- SVG ----

std::string xmlEscaped(const std::string &s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // Control characters have no place in XML 1.0.
            if ((unsigned char)c >= 0x20 || c == '\t')
                out += c;
        }
    }
    return out;
}

// Writes through the export file in pieces of some kilobytes.
class SvgSink : public CutSink {
public:
    SvgSink(ExportFile &file, double height, const ProgressTicker &ticker)
        : file_(file), height_(height), ticker_(ticker) {}
    void circle(double x, double y, double r) override {
        add("<circle cx=\"%.4f\" cy=\"%.4f\" r=\"%.4f\"/>\n", x, height_ - y, r);
    }
    void slot(double x0, double x1, double y, double r) override {
        const double top = height_ - y - r, bottom = height_ - y + r;
        add("<path d=\"M%.4f %.4f L%.4f %.4f A%.4f %.4f 0 0 1 %.4f %.4f L%.4f %.4f A%.4f %.4f 0 0 "
            "1 %.4f %.4fZ\"/>\n",
            x0, top, x1, top, r, r, x1, bottom, x0, bottom, r, r, x0, top);
    }
    void polygon(const std::vector<std::pair<double, double>> &points) override {
        std::string d;
        char text[80];
        for (const auto &[x, y] : points) {
            std::snprintf(text, sizeof text, "%s%.4f %.4f ", d.empty() ? "M" : "L", x, height_ - y);
            d += text;
        }
        buffer_ += "<path d=\"" + d + "Z\"/>\n";
    }
    void line(double x0, double y0, double x1, double y1) override {
        add("<line x1=\"%.4f\" y1=\"%.4f\" x2=\"%.4f\" y2=\"%.4f\"/>\n", x0, height_ - y0, x1,
            height_ - y1);
    }
    void text(double x, double y, double height, const std::string &s) override {
        add("<text x=\"%.4f\" y=\"%.4f\" font-size=\"%.2f\" fill=\"#0000ff\" stroke=\"none\">", x,
            height_ - y, height);
        buffer_ += xmlEscaped(s) + "</text>\n";
    }
    void beginGroup(Layer layer, unsigned piece) override {
        const char *name = layer == Layer::cut ? "cut" : "mark";
        if (piece == 0) {
            if (layer == Layer::mark)
                buffer_ += "</g>\n";
            buffer_ +=
                layer == Layer::cut
                    ? "<g id=\"cut\" fill=\"none\" stroke=\"#ff0000\" stroke-width=\"0.01\">\n"
                    : "<g id=\"mark\" fill=\"none\" stroke=\"#0000ff\" stroke-width=\"0.1\" "
                      "font-family=\"sans-serif\">\n";
        }
        buffer_ += "<g id=\"" + std::string(name) + "-piece-" + std::to_string(piece + 1) + "\">\n";
    }
    void endGroup() override {
        buffer_ += "</g>\n";
        flush();
    }
    bool failed() const override { return failed_; }
    void write(const std::string &s) {
        buffer_ += s;
        flush();
    }

private:
    template <class... A> void add(const char *format, A... args) {
        char text[320];
        std::snprintf(text, sizeof text, format, args...);
        buffer_ += text;
        if (buffer_.size() > 64 * 1024)
            flush();
    }
    void flush() {
        if (ticker_.cancelled() || !file_.write(buffer_.data(), buffer_.size()))
            failed_ = true;
        buffer_.clear();
    }
    ExportFile &file_;
    double height_;
    const ProgressTicker &ticker_;
    std::string buffer_;
    bool failed_ = false;
};

// What a writer that stopped says: cancelled, or the failed write in the writer's words.
ExportResult stopped(const ProgressTicker &ticker, ExportFile &file) {
    if (ticker.cancelled())
        return ProgressTicker::cancelledResult();
    return file.commit(); // reports the failed write
}

ExportResult writeCutSvg(const CutPlan &plan, const ExportOptions &options, ExportFile &file,
                         ProgressTicker &ticker) {
    const CutLayout L = cutLayout(plan);
    SvgSink sink(file, L.fileHeightMm, ticker);
    char head[512];
    std::snprintf(head, sizeof head,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.3fmm\" height=\"%.3fmm\" "
                  "viewBox=\"0 0 %.3f %.3f\">\n",
                  L.fileWidthMm, L.fileHeightMm, L.fileWidthMm, L.fileHeightMm);
    sink.write(head);
    sink.write("<title>" + xmlEscaped(options.sourceName + " for " + options.instrument.name) +
               "</title>\n");
    drawAll(sink, plan, options, ticker);
    sink.write("</g>\n</svg>\n");
    if (sink.failed())
        return stopped(ticker, file);
    return {};
}

// ---- DXF through dxflib ----

// dxflib's ASCII writer with its output going into the export file instead of a file of its
// own: the base opens no file (an empty name) and every value comes through here.
class ExportFileDxfWriter : public DL_WriterA {
public:
    ExportFileDxfWriter(ExportFile &file, const ProgressTicker &ticker)
        : DL_WriterA("", DL_Codes::AC1015), file_(file), ticker_(ticker) {}
    void dxfReal(int gc, double value) const override {
        char text[64];
        std::snprintf(text, sizeof text, "%.6f", value);
        // Trailing zeros go, one digit after the point stays.
        std::string s = text;
        while (s.size() > 2 && s.back() == '0' && s[s.size() - 2] != '.')
            s.pop_back();
        put(gc, s);
    }
    void dxfInt(int gc, int value) const override { put(gc, std::to_string(value)); }
    void dxfHex(int gc, int value) const override {
        char text[32];
        std::snprintf(text, sizeof text, "%0X", value);
        put(gc, text);
    }
    void dxfString(int gc, const char *value) const override { put(gc, value ? value : ""); }
    void dxfString(int gc, const std::string &value) const override { put(gc, value); }
    bool failed() const { return failed_; }
    void flush() const {
        if (ticker_.cancelled() || !file_.write(buffer_.data(), buffer_.size()))
            failed_ = true;
        buffer_.clear();
    }

private:
    void put(int gc, const std::string &value) const {
        char code[16];
        std::snprintf(code, sizeof code, "%3d\n", gc);
        buffer_ += code;
        buffer_ += value;
        buffer_ += '\n';
        if (buffer_.size() > 64 * 1024)
            flush();
    }
    ExportFile &file_;
    const ProgressTicker &ticker_;
    mutable std::string buffer_;
    mutable bool failed_ = false;
};

class DxfSink : public CutSink {
public:
    DxfSink(DL_Dxf &dxf, ExportFileDxfWriter &w) : dxf_(dxf), w_(w) {}
    void circle(double x, double y, double r) override {
        dxf_.writeCircle(w_, DL_CircleData(x, y, 0, r), attributes());
    }
    void slot(double x0, double x1, double y, double r) override {
        // Two straight sides and two half circles (a bulge of 1 is a half circle).
        dxf_.writePolyline(w_, DL_PolylineData(4, 0, 0, 1), attributes());
        dxf_.writeVertex(w_, DL_VertexData(x0, y - r, 0, 0));
        dxf_.writeVertex(w_, DL_VertexData(x1, y - r, 0, 1));
        dxf_.writeVertex(w_, DL_VertexData(x1, y + r, 0, 0));
        dxf_.writeVertex(w_, DL_VertexData(x0, y + r, 0, 1));
        dxf_.writePolylineEnd(w_);
    }
    void polygon(const std::vector<std::pair<double, double>> &points) override {
        dxf_.writePolyline(w_, DL_PolylineData(int(points.size()), 0, 0, 1), attributes());
        for (const auto &[x, y] : points)
            dxf_.writeVertex(w_, DL_VertexData(x, y, 0, 0));
        dxf_.writePolylineEnd(w_);
    }
    void line(double x0, double y0, double x1, double y1) override {
        dxf_.writeLine(w_, DL_LineData(x0, y0, 0, x1, y1, 0), attributes());
    }
    void text(double x, double y, double height, const std::string &s) override {
        // DXF text is 8-bit in the file's code page: keep what ASCII holds.
        std::string ascii;
        for (char c : s)
            ascii += (unsigned char)c < 0x80 && (unsigned char)c >= 0x20 ? c : '?';
        dxf_.writeText(w_, DL_TextData(x, y, 0, x, y, 0, height, 1, 0, 0, 0, ascii, "standard", 0),
                       attributes());
    }
    void beginGroup(Layer layer, unsigned) override { layer_ = layer; }
    bool failed() const override { return w_.failed(); }

private:
    DL_Attributes attributes() const {
        return DL_Attributes(layer_ == Layer::cut ? "CUT" : "MARK", 256, -1, "BYLAYER", 1.0);
    }
    DL_Dxf &dxf_;
    ExportFileDxfWriter &w_;
    Layer layer_ = Layer::cut;
};

// dxflib's writer state in zeroed memory: it sets the handle of the standard text style (which
// the dimension style names) only for a style called "Standard", so that the file would
// otherwise carry whatever the memory held there. Zeroed, it says 0 (none) every time.
struct ZeroedDxf {
    alignas(DL_Dxf) unsigned char bytes[sizeof(DL_Dxf)]{};
    DL_Dxf *dxf;
    ZeroedDxf() : dxf(new (bytes) DL_Dxf) {}
    ~ZeroedDxf() { dxf->~DL_Dxf(); }
    ZeroedDxf(const ZeroedDxf &) = delete;
    ZeroedDxf &operator=(const ZeroedDxf &) = delete;
};

ExportResult writeCutDxf(const CutPlan &plan, const ExportOptions &options, ExportFile &file,
                         ProgressTicker &ticker) {
    const auto zeroed = std::make_unique<ZeroedDxf>();
    DL_Dxf &dxf = *zeroed->dxf;
    ExportFileDxfWriter w(file, ticker);
    try {
        dxf.writeHeader(w);
        w.sectionEnd();
        w.sectionTables();
        dxf.writeVPort(w);
        w.tableLinetypes(3);
        dxf.writeLinetype(w, DL_LinetypeData("BYBLOCK", "BYBLOCK", 0, 0, 0.0));
        dxf.writeLinetype(w, DL_LinetypeData("BYLAYER", "BYLAYER", 0, 0, 0.0));
        dxf.writeLinetype(w, DL_LinetypeData("CONTINUOUS", "Continuous", 0, 0, 0.0));
        w.tableEnd();
        w.tableLayers(3);
        dxf.writeLayer(w, DL_LayerData("0", 0),
                       DL_Attributes("", DL_Codes::black, 100, "CONTINUOUS", 1.0));
        dxf.writeLayer(w, DL_LayerData("CUT", 0),
                       DL_Attributes("", DL_Codes::red, 100, "CONTINUOUS", 1.0));
        dxf.writeLayer(w, DL_LayerData("MARK", 0),
                       DL_Attributes("", DL_Codes::blue, 100, "CONTINUOUS", 1.0));
        w.tableEnd();
        w.tableStyle(1);
        dxf.writeStyle(w, DL_StyleData("standard", 0, 0.0, 1.0, 0.0, 0, 2.5, "txt", ""));
        w.tableEnd();
        dxf.writeView(w);
        dxf.writeUcs(w);
        w.tableAppid(1);
        dxf.writeAppid(w, "ACAD");
        w.tableEnd();
        dxf.writeDimStyle(w, 1, 1, 1, 1, 1);
        dxf.writeBlockRecord(w);
        w.tableEnd();
        w.sectionEnd();
        w.sectionBlocks();
        for (const char *block : {"*Model_Space", "*Paper_Space", "*Paper_Space0"}) {
            dxf.writeBlock(w, DL_BlockData(block, 0, 0.0, 0.0, 0.0));
            dxf.writeEndBlock(w, block);
        }
        w.sectionEnd();
        w.sectionEntities();
        DxfSink sink(dxf, w);
        drawAll(sink, plan, options, ticker);
        w.sectionEnd();
        dxf.writeObjects(w);
        dxf.writeObjectsEnd(w);
        w.dxfEOF();
        w.flush();
    } catch (const std::exception &e) {
        return {errExportDrawing, std::string("the DXF writer failed: ") + e.what()};
    }
    if (w.failed())
        return stopped(ticker, file);
    return {};
}

} // namespace

CutLayout cutLayout(const CutPlan &plan) {
    CutLayout L;
    double longest = 0;
    for (const CutPiece &p : plan.pieces)
        longest = std::max(longest, p.lengthMm());
    const double n = double(plan.pieces.size());
    L.fileWidthMm = longest + 2 * cutMarginMm;
    L.fileHeightMm = n * plan.widthMm + (n - 1) * cutRowGapMm + 2 * cutMarginMm;
    return L;
}

double CutLayout::x(const CutPlan &plan, unsigned p, double x) const {
    return x - plan.pieces[p].minXMm + cutMarginMm;
}

double CutLayout::y(const CutPlan &plan, unsigned p, double y) const {
    const unsigned below = unsigned(plan.pieces.size()) - 1 - p;
    return cutMarginMm + below * (plan.widthMm + cutRowGapMm) + y;
}

ExportResult writeCutFile(const ScoreModel &model, const ExportOptions &options, ExportFile &file,
                          ProgressTicker ticker) {
    if (!options.instrument.geometry)
        return {errExportGeometry,
                "a cut file needs an instrument with a tape geometry (" +
                    (options.instrument.name.empty() ? std::string("no instrument is chosen")
                                                     : options.instrument.name + " has none") +
                    ")"};
    CutPlan plan;
    if (ExportResult r = planCut(model, options.instrument,
                                 options.instrument.geometry->bedLengthMm, false, plan);
        !r)
        return r;
    ticker.setTotal(2 * plan.pieces.size());
    return options.format == ExportFormat::dxf ? writeCutDxf(plan, options, file, ticker)
                                               : writeCutSvg(plan, options, file, ticker);
}

} // namespace tw

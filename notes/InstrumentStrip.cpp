// The keys of an instrument file that describe a strip to cut: hole shape and size, spacing,
// lead-in and lead-out, direction, and the pieces a long strip is cut into. Each number has the
// range a real strip and cutter can have.
#include "notes/Instrument.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tw {

namespace {

struct Range {
    std::string_view key;
    std::optional<double> StripGeometry::*field;
    double low, high;
};

// From a pin-prick to a large valve hole; from nothing to a long leader of a roll; a cutter
// bed from a hand-sized piece to a 100 m roll.
const Range ranges[] = {
    {"hole-diameter-mm", &StripGeometry::holeDiameterMm, 0.3, 30},
    {"min-hole-spacing-mm", &StripGeometry::minHoleSpacingMm, 0, 200},
    {"lead-in-mm", &StripGeometry::leadInMm, 0, 5000},
    {"lead-out-mm", &StripGeometry::leadOutMm, 0, 5000},
    {"bed-length-mm", &StripGeometry::bedLengthMm, 50, 100000},
    {"join-mm", &StripGeometry::joinMm, 0, 200},
    {"seam-safety-mm", &StripGeometry::seamSafetyMm, 0, 100},
};

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string quoted(std::string_view value) {
    return "\"" + std::string(value) + "\"";
}

} // namespace

std::optional<std::string> readStripKey(std::string_view key, std::string_view value,
                                        StripGeometry &strip) {
    if (key == "hole-shape") {
        if (value != "round" && value != "slot")
            return "hole-shape is round or slot, not " + quoted(value);
        strip.holeShape = value == "round" ? HoleShape::round : HoleShape::slot;
        return std::string();
    }
    if (key == "strip-direction") {
        if (value != "start-left" && value != "start-right")
            return "strip-direction is start-left or start-right, not " + quoted(value);
        strip.direction =
            value == "start-left" ? StripDirection::startLeft : StripDirection::startRight;
        return std::string();
    }
    for (const Range &r : ranges) {
        if (key != r.key)
            continue;
        double mm = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), mm);
        if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(mm) ||
            mm < r.low || mm > r.high)
            return std::string(key) + " " + quoted(value) + " lies outside " + number(r.low) +
                   " to " + number(r.high) + " millimetres";
        strip.*r.field = mm;
        return std::string();
    }
    return std::nullopt;
}

} // namespace tw

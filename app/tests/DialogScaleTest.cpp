// The editor's windows at display scales 1, 1.5 and 2: each grows with the scale and no label
// is cut. Each window is looked at when it is about to be shown and closed at once (Cancel).
#include <gtest/gtest.h>

#include "app/AppDialogs.h"
#include "app/EditWindows.h"
#include "app/ExportDialog.h"
#include "app/FitWindow.h"
#include "framework/WindowScale.h"
#include "scoremodel/ScoreModel.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cmath>
#include <cstdlib>
#include <map>

using namespace tw;

namespace {

struct Seen {
    std::string title;
    int w = 0, h = 0;
    std::vector<std::string> cut;
};

void closeNow(void *window) {
    static_cast<Fl_Window *>(window)->hide();
}

} // namespace

TEST(DialogScale, WindowsGrowAndNoLabelIsCut) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display";
    fl_open_display();
    const int normalSize = FL_NORMAL_SIZE;
    std::map<std::string, int> widthAtOne;
    for (double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        setWindowScale(scale);
        FL_NORMAL_SIZE = int(std::lround(normalSize * scale));
        std::vector<Seen> seen;
        setWindowInspector([&](Fl_Window &window) {
            seen.push_back(
                {window.label() ? window.label() : "", window.w(), window.h(), cutLabels(window)});
            Fl::add_timeout(0.0, closeNow, &window);
        });
        TrackSummary track;
        track.name = "Violoncello";
        track.notes = 1204;
        runImportWindow("/tmp/a rather long file name.mid", {track, track});
        runFitWindow("88-key Piano", {FitLine{0, 3, 1}, FitLine{-12, 0, 0}});
        runBeatGridWindow(BeatGrid());
        ScaleTimeQuestion question;
        question.spanSeconds = 12.5;
        question.lengthSeconds = 80;
        question.lengthAfter = [](double factor) { return 80 * factor; };
        runScaleTimeWindow(question);
        ScoreModel model;
        {
            ExportDialog dialog(model, "/tmp/song.mid", ExportInstrument());
            scaleWindow(dialog);
            Fl::remove_timeout(closeNow, &dialog); // never shown: nothing to close
        }
        setWindowInspector(nullptr);
        ASSERT_EQ(seen.size(), 5u);
        for (const Seen &s : seen) {
            SCOPED_TRACE(s.title);
            for (const std::string &label : s.cut)
                ADD_FAILURE() << "cut: " << label;
            if (scale == 1)
                widthAtOne[s.title] = s.w;
            else
                EXPECT_NEAR(s.w, widthAtOne[s.title] * scale, 1) << "the window grows";
        }
    }
    setWindowScale(1);
    FL_NORMAL_SIZE = normalSize;
}

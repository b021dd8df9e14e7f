// Windows of the editor grow with the display scale: laid out at the actual size, each is
// scaled once before it is shown, and so is FLTK's own file chooser once it appears. The fonts
// follow the scale through FL_NORMAL_SIZE already. GUI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

class Fl_Window;

namespace tw {

// The display scale (0.5 to 4); 1 until the application sets it.
void setWindowScale(double scale);
double windowScale();

// Grows a window that is not shown yet and every widget in it by the scale, then hands it to
// the inspector, if one is set.
void scaleWindow(Fl_Window &window);

// Scales a window that is shown already (FLTK's file chooser): its widgets grow with it.
void scaleShownWindow(Fl_Window &window);

// Scales the next window titled `title` that appears within a few seconds (the file chooser
// that Fl_Native_File_Chooser opens and runs itself).
void scaleWindowWhenShown(const std::string &title);

// For tests: called with every window that scaleWindow scaled.
void setWindowInspector(std::function<void(Fl_Window &)> inspector);

// The labels of the window's widgets that do not fit the room they have, at their fonts, as
// "label: needs N pixels, has M". Wrapped and clipped labels are left out. Needs the display.
std::vector<std::string> cutLabels(Fl_Window &window);

} // namespace tw

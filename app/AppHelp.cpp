// The Help window: created on first use, shown again afterwards as the user left it.
#include "app/App.h"

#include "app/ViewOptions.h"
#include "framework/Flt_Infowin.h"
#include "framework/HelpText.h"

#include <FL/Fl_Text_Display.H>

namespace tw {

void App::showHelp() {
    if (!infoWindow) {
        infoWindow = new Flt_Infowin();
        // The help text is laid out in columns: a fixed-width face, never an unknown one.
        infoWindow->display->textfont(helpTextFont());
        infoWindow->resize(infoWindow->x(), infoWindow->y(), scaledSize(600), scaledSize(600));
        infoWindow->buffer.text(helpText);
        infoWindow->copy_label("Help");
    }
    infoWindow->show();
}

} // namespace tw

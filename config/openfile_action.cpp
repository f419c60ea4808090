// The "Open File" action of the main window: choose a settings file, load its values into the
// settings of the next write, and show them in the radio buttons.

#include "config/connection_controller.h"
#include "config/settings_file.h"

#include <algorithm>
#include <vector>

namespace tvk9 {

void ConnectionController::OpenfileClick() {
    // Ticks and received data go on being handled while the dialog is up.
    const auto path = w_.dialogs.OpenFile(programFolder_);
    if (!path) {
        return;
    }
    w_.FilePath.SetText(*path);
    w_.Memo2.Clear();
    // Raises "Cannot open file ..." with the path already shown and the buffer empty.
    const SettingsLines read = ReadSettingsLines(*path);
    w_.Memo2.SetLines(std::vector<std::string>(read.begin(), read.end()));

    // The lines are taken back from the buffer by number; a line it lacks reads as empty.
    const std::vector<std::string> held = w_.Memo2.Lines();
    SettingsLines lines;
    std::copy_n(held.begin(), std::min(held.size(), lines.size()), lines.begin());

    // A line that fails after acceptance raises: what was stored before it stays stored, and
    // no button is selected.
    if (LoadSettingsLines(lines, decimalSeparator_, settings_) == LoadResult::Refused) {
        w_.dialogs.ShowError("Data Error!");
        return;
    }
    ShowChoice(FileRadioChoice(settings_));
    fileLoaded_ = true;
    Say("Settings file loaded: " + *path + " — Start writes its values to the sensor");
}

} // namespace tvk9

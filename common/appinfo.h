// What each program tells about itself: its command-line answers and its identity on the desktop.
#pragma once

#include <optional>

struct ProgramInfo
{
    const char *desktopId; // the desktop entry's and the themed icon's name
    const char *summary;   // one line for --help
};

// Answers --help and --version before any window system is needed; the program then ends with
// the returned status. Anything else, Qt's own options included, is left for QApplication.
std::optional<int> AnswerCommandLine(int argc, char *argv[], const ProgramInfo &info);

// Once the QApplication exists: the window icon from the icon theme, else the built-in one, and
// the desktop entry the windows belong to.
void SetDesktopIdentity(const ProgramInfo &info);

// Which windowing platform a program runs on.
#pragma once

// Call before the application object exists. On a Wayland session a client cannot place its own
// windows, so when an X server is offered as well (XWayland) the program runs through it. A
// platform the user chose (QT_QPA_PLATFORM or -platform) is left alone. Without an X server the
// program runs on Wayland and says once on standard error what it cannot do there: consequence,
// for example "popups cannot be placed next to their rings".
void ChooseWindowingPlatform(int argc, char **argv, const char *consequence);
